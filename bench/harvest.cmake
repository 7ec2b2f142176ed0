add_executable(harvest_bench ${CMAKE_CURRENT_LIST_DIR}/harvest_bench.cpp)
target_compile_definitions(harvest_bench PRIVATE QINGHUA_BINARY="$<TARGET_FILE:qinghua>"
                                                 SAMPLE_SITE_BINARY="$<TARGET_FILE:sample-site>")
add_dependencies(harvest_bench qinghua sample-site)
