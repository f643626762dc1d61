# The compression benchmark (bench/compress_bench.cpp); corpora come from
# bench/make_corpora.sh. It runs the mksetup of this build and, for the
# setups it builds, the shipped stub of the win32 preset.
find_package(ZLIB)
if(ZLIB_FOUND AND TARGET ov_pack AND TARGET mksetup)
  add_executable(compress_bench compress_bench.cpp)
  target_link_libraries(compress_bench PRIVATE mksetup_commands ov_pack ov_archive ZLIB::ZLIB)
  target_compile_definitions(compress_bench PRIVATE OV_MKSETUP="$<TARGET_FILE:mksetup>"
                                                    OV_STUB="${PROJECT_SOURCE_DIR}/build/win32/app/Setup.exe")
  add_dependencies(compress_bench mksetup)
endif()
if(TARGET ov_pack)
  add_executable(thread_bench thread_bench.cpp)
  target_link_libraries(thread_bench PRIVATE ov_pack)
endif()
