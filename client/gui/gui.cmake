# The tray program's face: the settings dialog, the main window with its tray icon, the
# error box and the Qt program entry. The core below it stays Qt-free.
set(_qvr_client_icons)
foreach(_picture sender settings)
  foreach(_size 16 24 32 48)
    list(APPEND _qvr_client_icons ${PROJECT_SOURCE_DIR}/client/icons/${_picture}-${_size}.png)
  endforeach()
endforeach()

add_library(qvr_client_dialog STATIC
  ${CMAKE_CURRENT_LIST_DIR}/icons.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_dialog.cpp)
target_include_directories(qvr_client_dialog PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qvr_client_dialog PUBLIC Qt6::Widgets PRIVATE qvr_warnings)
qt_add_resources(qvr_client_dialog qvr_client_icons PREFIX /client/icons
                 BASE ${PROJECT_SOURCE_DIR}/client/icons FILES ${_qvr_client_icons})

# Draws the PNGs and the .ico of client/icons; run by hand after changing the pictures.
add_executable(qvr_make_client_icons EXCLUDE_FROM_ALL
  ${PROJECT_SOURCE_DIR}/client/icons/make_icons.cpp)
target_link_libraries(qvr_make_client_icons PRIVATE Qt6::Gui qvr_warnings)

# Main window with the tray icon, the error box of the top-level handler, the end step.
add_library(qvr_client_gui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/end_step.cpp
  ${CMAKE_CURRENT_LIST_DIR}/error_box.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_form.cpp)
target_link_libraries(qvr_client_gui PUBLIC qvr_client_dialog qvr_client_core qvr_client_settings
                                            qvr_gui_common PRIVATE qvr_warnings)

if(TARGET QVRemoteClient)
  if(WIN32)
    set(_client_display ${CMAKE_CURRENT_LIST_DIR}/display_win.cpp)
  else()
    set(_client_display ${CMAKE_CURRENT_LIST_DIR}/display_posix.cpp)
  endif()
  target_sources(QVRemoteClient PRIVATE ${CMAKE_CURRENT_LIST_DIR}/tray_entry_qt.cpp ${_client_display})
  if(WIN32)
    target_sources(QVRemoteClient PRIVATE ${PROJECT_SOURCE_DIR}/client/icons/client.rc)
  endif()
  target_link_libraries(QVRemoteClient PRIVATE qvr_client_gui)
endif()
