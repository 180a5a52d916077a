# Qt pieces that both tray programs share: the GUI thread's dispatcher, the top-level
# exception seam and message boxes that tests can answer in advance.
add_library(qvr_gui_common STATIC
  ${CMAKE_CURRENT_LIST_DIR}/message_box.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt_dispatcher.cpp
  ${CMAKE_CURRENT_LIST_DIR}/top_level.cpp)
target_include_directories(qvr_gui_common PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qvr_gui_common PUBLIC Qt6::Widgets qvr_ipc PRIVATE qvr_warnings)
