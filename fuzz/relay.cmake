add_executable(relay_fuzz ${PROJECT_SOURCE_DIR}/fuzz/relay_fuzz.cpp)
target_link_libraries(relay_fuzz PRIVATE qvr_relay qvr_warnings)
target_link_options(relay_fuzz PRIVATE -fsanitize=fuzzer,address)
