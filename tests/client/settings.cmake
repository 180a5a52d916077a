qvr_add_test(NAME settings_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_write_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/settings_read_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/settings_binary_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/settings_store_test.cpp
  LIBS qvr_client_settings
  LABELS unit)
