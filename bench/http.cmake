add_executable(http_bench ${CMAKE_CURRENT_LIST_DIR}/http_bench.cpp)
target_link_libraries(http_bench PRIVATE qh_http qh_text PkgConfig::HTTPLIB Threads::Threads benchmark::benchmark)
