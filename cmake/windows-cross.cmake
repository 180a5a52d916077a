# Windows builds: target version, the Win32 API in its UTF-16 form, and for the MinGW
# cross-build asio, GoogleTest and Wine from the build machine.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE)
# Icons and version information of the programs (resources_win.rc.in beside each program).
enable_language(RC)

# qvr_add_windows_resources(<target> <icon>): the program's icon and VERSIONINFO.
function(qvr_add_windows_resources target icon)
  set(QVR_RC_ICON ${icon})
  set(_rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.rc)
  configure_file(${CMAKE_CURRENT_SOURCE_DIR}/resources_win.rc.in ${_rc} @ONLY)
  target_sources(${target} PRIVATE ${_rc})
endfunction()

if(NOT CMAKE_CROSSCOMPILING)
  return()
endif()

# GCC 12 reports false -Wrestrict overlaps inside libstdc++'s string code at -O2
# (GCC bug 105329); they would stop the -Werror build.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-restrict)
endif()

# asio standalone is plain C++ and works with MinGW, but /usr/include as a whole must not be
# seen by the cross compiler (glibc's headers); a folder with links to asio alone is.
set(_asio_dir ${CMAKE_BINARY_DIR}/cross-include)
file(MAKE_DIRECTORY ${_asio_dir})
foreach(_entry asio asio.hpp)
  if(NOT EXISTS /usr/include/${_entry})
    message(FATAL_ERROR "/usr/include/${_entry} is missing: apt-get install libasio-dev")
  endif()
  file(CREATE_LINK /usr/include/${_entry} ${_asio_dir}/${_entry} SYMBOLIC)
endforeach()
include_directories(SYSTEM ${_asio_dir})

# Debian ships GoogleTest as sources (libgtest-dev); they are built here with the cross
# compiler. Nothing is downloaded.
if(QVR_BUILD_TESTS)
  set(QVR_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
  if(NOT EXISTS ${QVR_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "${QVR_GOOGLETEST_SOURCE} is missing: apt-get install googletest")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(${QVR_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest)  # GoogleTest 1.11 and later define them themselves
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()

  # The tests run under Wine, in a prefix of their own inside the build folder, without a
  # display. Test lists are taken when the tests run, so building needs no Wine.
  find_program(QVR_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
  if(NOT QVR_WINE)
    message(FATAL_ERROR "Wine is missing: apt-get install wine64 wine")
  endif()
  set(QVR_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                 @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                 GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
endif()
