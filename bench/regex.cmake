add_executable(regex_bench ${CMAKE_CURRENT_LIST_DIR}/regex_bench.cpp)
target_link_libraries(regex_bench PRIVATE qh_regex qh_text benchmark::benchmark)
