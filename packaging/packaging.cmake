# Install rules and the Debian package: the programs, their icons (hicolor theme), desktop
# entries, manual pages and systemd user units. Included last from the top-level
# CMakeLists.txt, when every program target exists.
include(GNUInstallDirs)

set(_pkg ${PROJECT_SOURCE_DIR}/packaging)

foreach(_program QVRemoteServer QVRemoteClient qvslot)
  if(TARGET ${_program})
    install(TARGETS ${_program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(FILES ${_pkg}/man/QVRemoteServer.1 ${_pkg}/man/QVRemoteClient.1 ${_pkg}/man/qvslot.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The desktop entries and tray icons only make sense beside the tray programs.
if(QVR_BUILD_GUI)
  install(FILES ${_pkg}/desktop/qvremote-server.desktop ${_pkg}/desktop/qvremote-client.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

  # qvr_install_icon(<theme name> <svg> <png pattern with SIZE>): the programs' own 16-48
  # pixel pictures, the larger ones drawn from the same SVG into packaging/icons. After a
  # change of a picture, draw those again (Debian package librsvg2-bin), e.g.
  #   rsvg-convert -w 128 -h 128 server/icons/server.svg -o packaging/icons/server-128.png
  #   rsvg-convert -w 128 -h 128 client/icons/sender.svg -o packaging/icons/client-128.png
  function(qvr_install_icon name svg small_pattern)
    set(_hicolor ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
    foreach(_size 16 24 32 48 64 128 256)
      if(_size GREATER 48)
        set(_png ${_pkg}/icons/${name}-${_size}.png)
      else()
        string(REPLACE SIZE ${_size} _png ${small_pattern})
      endif()
      install(FILES ${_png} DESTINATION ${_hicolor}/${_size}x${_size}/apps
              RENAME qvremote-${name}.png)
    endforeach()
    install(FILES ${svg} DESTINATION ${_hicolor}/scalable/apps RENAME qvremote-${name}.svg)
  endfunction()
  qvr_install_icon(server ${PROJECT_SOURCE_DIR}/server/icons/server.svg
                   ${PROJECT_SOURCE_DIR}/server/icons/server_SIZE.png)
  qvr_install_icon(client ${PROJECT_SOURCE_DIR}/client/icons/sender.svg
                   ${PROJECT_SOURCE_DIR}/client/icons/sender-SIZE.png)
endif()

# systemd user units for the headless programs. The program folder is filled in at install
# time, so that the package (prefix /usr) and a local install (/usr/local) both point at the
# installed programs.
foreach(_unit qvremote-server qvremote-client)
  install(CODE "
    set(QVR_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    configure_file(\"${_pkg}/systemd/${_unit}.service\"
                   \"${CMAKE_BINARY_DIR}/packaging/${_unit}.service\" @ONLY)
    file(INSTALL \"${CMAKE_BINARY_DIR}/packaging/${_unit}.service\"
         DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/user\")
  ")
endforeach()

# The Debian package: cmake --build <build> --target package
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qvremote)
set(CPACK_PACKAGE_VENDOR "QVRemote")
set(CPACK_PACKAGE_CONTACT "QVRemote maintainers <qvremote@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Relays Quelvane's event messages from one machine to another")
set(CPACK_PACKAGE_DESCRIPTION
    "Two small tray programs: QVRemoteClient takes the messages that the presentation program
Quelvane writes into its local slot and sends them over TCP port 19150; QVRemoteServer
receives them and writes them into the local slot that Quelvane reads on the other machine.
qvslot stands in for Quelvane in tests and scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
