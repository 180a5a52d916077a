# The server's tray layer (Qt): the hidden window with the test panel and tray icon, the
# crash reporter and the tray program's entry. Included from server/CMakeLists.txt.

# The report file and the fatal report, free of Qt; one backend file per platform and one
# per compiler family for type names.
if(WIN32)
  set(_crash_platform crash_report_win.cpp fatal_report_win.cpp)
  set(_crash_platform_libs ole32 shell32 uuid)
else()
  set(_crash_platform crash_report_posix.cpp fatal_report_posix.cpp)
  set(_crash_platform_libs)
endif()
if(MSVC)
  list(APPEND _crash_platform type_name_msvc.cpp)
else()
  list(APPEND _crash_platform type_name_gnu.cpp)
endif()
list(TRANSFORM _crash_platform PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
add_library(qvr_crash_report STATIC ${CMAKE_CURRENT_LIST_DIR}/crash_report.cpp ${_crash_platform})
target_include_directories(qvr_crash_report PUBLIC ${PROJECT_SOURCE_DIR}
                                            PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
target_link_libraries(qvr_crash_report PUBLIC ${_crash_platform_libs} PRIVATE qvr_warnings)

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

if(WIN32)
  set(_server_display ${CMAKE_CURRENT_LIST_DIR}/display_win.cpp)
else()
  set(_server_display ${CMAKE_CURRENT_LIST_DIR}/display_posix.cpp)
endif()
set(QVR_SERVER_TRAY_SOURCES ${CMAKE_CURRENT_LIST_DIR}/tray_entry_qt.cpp ${_server_display})
target_sources(QVRemoteServer PRIVATE ${QVR_SERVER_TRAY_SOURCES})
target_link_libraries(QVRemoteServer PRIVATE qvr_server_gui)

# Renders server/icons/*.png from the drawing; run by hand, not part of the build.
add_executable(render_server_icons EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/../icons/render_icons.cpp)
target_link_libraries(render_server_icons PRIVATE Qt6::Gui qvr_warnings)
