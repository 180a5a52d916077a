# Forwarder against a loopback server; the client core with the slot reader.
qvr_add_test(NAME client_forwarder_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/forwarder_test.cpp ${CMAKE_CURRENT_LIST_DIR}/forwarder_test_server.cpp
  LIBS qvr_client_core
  LABELS unit)
qvr_add_test(NAME client_error_text_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/client_error_text_test.cpp
  LIBS qvr_client_core
  LABELS unit)
