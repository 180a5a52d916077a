# The client's core (forwarder, main window core, error texts) and the program QVRemoteClient.
add_library(qvr_client_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/forwarder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/error_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/client_form.cpp)
target_include_directories(qvr_client_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qvr_client_core PUBLIC qvr_ipc qvr_relay Threads::Threads PRIVATE qvr_warnings)
