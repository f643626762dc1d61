# The compression benchmark (bench/compress_bench.cpp); corpora come from
# bench/make_corpora.sh.
find_package(ZLIB)
if(ZLIB_FOUND AND TARGET ov_pack)
  add_executable(compress_bench compress_bench.cpp)
  target_link_libraries(compress_bench PRIVATE ov_pack ov_archive ZLIB::ZLIB)
endif()
if(TARGET ov_pack)
  add_executable(thread_bench thread_bench.cpp)
  target_link_libraries(thread_bench PRIVATE ov_pack)
endif()
