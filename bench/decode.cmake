# The decoding benchmark (bench/decode_bench.cpp): our RAR 2.0 decoder on our
# packer's output against zlib's inflate on the same data.
find_package(benchmark)
find_package(ZLIB)
if(benchmark_FOUND AND ZLIB_FOUND AND TARGET ov_pack)
  add_executable(decode_bench decode_bench.cpp)
  target_link_libraries(decode_bench PRIVATE ov_archive ov_pack benchmark::benchmark ZLIB::ZLIB)
endif()
