# The decoding benchmark (bench/decode_bench.cpp): our RAR 2.0 decoder
# against zlib's inflate on the same data. Streams come from the test-only
# bit-stream writer, so the benchmark needs tests/support.
find_package(benchmark)
find_package(ZLIB)
if(benchmark_FOUND AND ZLIB_FOUND)
  if(NOT TARGET ov_test_support)
    add_subdirectory(${PROJECT_SOURCE_DIR}/tests/support ${CMAKE_BINARY_DIR}/bench-support)
  endif()
  add_executable(decode_bench decode_bench.cpp)
  target_link_libraries(decode_bench PRIVATE ov_payload ov_test_support benchmark::benchmark ZLIB::ZLIB)
endif()
