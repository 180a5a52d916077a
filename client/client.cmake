# The client's core (forwarder, main window core, error texts) and the program QVRemoteClient.
if(WIN32)
  set(_client_core_platform ${CMAKE_CURRENT_LIST_DIR}/socket_error_text_win.cpp
                             ${CMAKE_CURRENT_LIST_DIR}/socket_flags_win.cpp)
else()
  set(_client_core_platform ${CMAKE_CURRENT_LIST_DIR}/socket_error_text_posix.cpp
                             ${CMAKE_CURRENT_LIST_DIR}/socket_flags_posix.cpp)
endif()
add_library(qvr_client_core STATIC
  ${_client_core_platform}
  ${CMAKE_CURRENT_LIST_DIR}/forwarder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/error_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/client_form.cpp)
target_include_directories(qvr_client_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qvr_client_core PUBLIC qvr_ipc qvr_relay Threads::Threads PRIVATE qvr_warnings)
if(WIN32)
  target_link_libraries(qvr_client_core PUBLIC ws2_32 mswsock)
endif()

# The program. Without the settings store there is nothing to start, so no program either.
if(TARGET qvr_client_settings)
  add_executable(QVRemoteClient
    ${CMAKE_CURRENT_LIST_DIR}/main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/headless.cpp)
  target_compile_definitions(QVRemoteClient PRIVATE QVR_CLIENT_VERSION="${PROJECT_VERSION}")
  target_link_libraries(QVRemoteClient PRIVATE qvr_client_core qvr_client_settings qvr_warnings)
  if(WIN32)
    qvr_add_windows_resources(QVRemoteClient ${CMAKE_CURRENT_LIST_DIR}/icons/sender_win.ico)
  endif()
  # The tray layer adds its sources (RunTrayProgram, TrayProgramAvailable) to QVRemoteClient.
  if(QVR_BUILD_GUI AND EXISTS ${CMAKE_CURRENT_LIST_DIR}/gui/gui.cmake)
    include(${CMAKE_CURRENT_LIST_DIR}/gui/gui.cmake)
  else()
    target_sources(QVRemoteClient PRIVATE ${CMAKE_CURRENT_LIST_DIR}/tray_entry_none.cpp)
  endif()
endif()
