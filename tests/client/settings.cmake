set(_settings_test_sources
  ${CMAKE_CURRENT_LIST_DIR}/settings_write_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_read_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_binary_test.cpp)
if(WIN32)  # the store's files below the shell's folder: tests/windows
  list(APPEND _settings_test_sources ${PROJECT_SOURCE_DIR}/tests/windows/appdata_win_test.cpp)
else()
  list(APPEND _settings_test_sources ${CMAKE_CURRENT_LIST_DIR}/settings_store_test.cpp)
endif()
qvr_add_test(NAME settings_tests
  SOURCES ${_settings_test_sources}
  LIBS qvr_client_settings
  LABELS unit)
