add_executable(output_file_bench ${CMAKE_CURRENT_LIST_DIR}/output_file_bench.cpp)
target_link_libraries(output_file_bench PRIVATE qh_app qh_text benchmark::benchmark)
