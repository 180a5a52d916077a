# Forwarder against a loopback server; the client core with the slot reader.
qvr_add_test(NAME client_forwarder_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/forwarder_test.cpp ${CMAKE_CURRENT_LIST_DIR}/forwarder_test_server.cpp
  LIBS qvr_client_core
  LABELS unit)
qvr_add_test(NAME client_error_text_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/client_error_text_test.cpp
  LIBS qvr_client_core
  LABELS unit)
qvr_add_test(NAME client_form_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/client_form_test.cpp ${CMAKE_CURRENT_LIST_DIR}/forwarder_test_server.cpp
  LIBS qvr_client_core
  LABELS unit)
if(TARGET QVRemoteClient AND NOT WIN32)  # POSIX processes; tests/windows has the Windows run
  qvr_add_test(NAME client_program_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/client_program_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/forwarder_test_server.cpp
    LIBS qvr_client_core qvr_ipc
    LABELS e2e
    LOCKS port19150)
  target_compile_definitions(client_program_test PRIVATE
    QVR_CLIENT_PROGRAM="$<TARGET_FILE:QVRemoteClient>")
  add_dependencies(client_program_test QVRemoteClient)
  if(TARGET QVRemoteServer)
    target_compile_definitions(client_program_test PRIVATE
      QVR_SERVER_PROGRAM="$<TARGET_FILE:QVRemoteServer>")
    add_dependencies(client_program_test QVRemoteServer)
  endif()
endif()
