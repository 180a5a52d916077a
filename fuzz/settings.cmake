# libFuzzer target for the settings file reader (clang only). The reader's sources are
# compiled into the target itself so that the fuzzer sees their coverage.
#   settings_fuzz NEW_CORPUS_DIR ${source}/fuzz/corpus/settings -dict=${source}/fuzz/settings.dict
# CI runs it for a bounded time: add -max_total_time=60.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(WARNING "settings_fuzz needs clang; not built")
  return()
endif()

add_executable(settings_fuzz
  ${CMAKE_CURRENT_LIST_DIR}/settings_fuzz.cpp
  ${PROJECT_SOURCE_DIR}/client/settings_file.cpp)
target_include_directories(settings_fuzz PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(settings_fuzz PRIVATE -fsanitize=fuzzer,address,undefined
                       -fno-sanitize-recover=undefined -g)
target_link_options(settings_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_libraries(settings_fuzz PRIVATE qvr_ipc qvr_warnings)

if(QVR_BUILD_TESTS)
  # The bounded run for CI: one minute, starting from the seed files.
  add_test(NAME settings_fuzz_bounded
    COMMAND settings_fuzz -max_total_time=60 -dict=${CMAKE_CURRENT_LIST_DIR}/settings.dict
            ${CMAKE_CURRENT_BINARY_DIR}/settings_fuzz_corpus ${CMAKE_CURRENT_LIST_DIR}/corpus/settings)
  set_tests_properties(settings_fuzz_bounded PROPERTIES LABELS fuzz TIMEOUT 180)
  file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/settings_fuzz_corpus)
endif()
