# The server's tray layer (Qt): the hidden window with the test panel and tray icon, the
# crash reporter and the tray program's entry. Included from server/CMakeLists.txt.

# The report file and the fatal-signal report, free of Qt.
if(WIN32)
  message(FATAL_ERROR "The crash reporter has no Windows backend yet")
endif()
add_library(qvr_crash_report STATIC
  ${CMAKE_CURRENT_LIST_DIR}/crash_report.cpp
  ${CMAKE_CURRENT_LIST_DIR}/crash_report_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fatal_report_posix.cpp)
target_include_directories(qvr_crash_report PUBLIC ${PROJECT_SOURCE_DIR}
                                            PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
target_link_libraries(qvr_crash_report PRIVATE qvr_warnings)

add_library(qvr_server_gui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/crash_reporter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_form.cpp
  ${CMAKE_CURRENT_LIST_DIR}/send_assistant.cpp
  ${CMAKE_CURRENT_LIST_DIR}/server_icon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../icons/server_icons.qrc)
target_include_directories(qvr_server_gui PUBLIC ${PROJECT_SOURCE_DIR})
# The core names a member "slots"; Qt's keyword macros would swallow it.
target_compile_definitions(qvr_server_gui PUBLIC QT_NO_KEYWORDS)
target_link_libraries(qvr_server_gui PUBLIC qvr_server_core qvr_crash_report qvr_gui_common
                                            Qt6::Widgets PRIVATE qvr_warnings)

set(QVR_SERVER_TRAY_SOURCES ${CMAKE_CURRENT_LIST_DIR}/tray_entry_qt.cpp)
target_sources(QVRemoteServer PRIVATE ${QVR_SERVER_TRAY_SOURCES})
target_link_libraries(QVRemoteServer PRIVATE qvr_server_gui)

# Renders server/icons/*.png from the drawing; run by hand, not part of the build.
add_executable(render_server_icons EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/../icons/render_icons.cpp)
target_link_libraries(render_server_icons PRIVATE Qt6::Gui qvr_warnings)
