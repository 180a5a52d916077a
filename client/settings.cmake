# The settings store and the settings file, with one backend file per platform.
if(WIN32)
  set(_settings_platform_sources appdata_win.cpp)
else()
  set(_settings_platform_sources appdata_posix.cpp)
endif()

add_library(qvr_client_settings STATIC
  ${CMAKE_CURRENT_LIST_DIR}/settings_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/${_settings_platform_sources})
target_include_directories(qvr_client_settings PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qvr_client_settings PUBLIC qvr_ipc PRIVATE qvr_warnings)
