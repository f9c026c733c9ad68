# `make install` / `cmake --install`: the two programs, the desktop entry that offers vnsetup for
# Windows software discs, folders and ISO images, and its icon. `make package`: the same as a Debian
# package made with CPack, its library dependencies found by dpkg-shlibdeps.
include(GNUInstallDirs)

if(TARGET vnsetup)
  install(TARGETS vnsetup RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/vnsetup.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/vnsetup.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
if(TARGET vnkit)
  install(TARGETS vnkit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(CPACK_PACKAGE_NAME vnsetup)
set(CPACK_PACKAGE_VENDOR "vnsetup")
set(CPACK_PACKAGE_CONTACT "vnsetup developers <vnsetup@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "launcher, installer and uninstaller of visual-novel game discs")
set(CPACK_PACKAGE_DESCRIPTION
    "vnsetup opens a game disc (a folder, a mounted medium or an ISO image) as its own launcher would:
the start menu, the install wizard, the game started through Wine when it is a Windows program,
and the uninstaller. vnkit is the command-line toolkit for the disc formats.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)  # the debug information stays in the build tree
# Windows games and setups run through Wine; the desktop's opener shows readmes; localedef's data
# gives Wine the Japanese locale where it is not generated.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "wine, xdg-utils, locales")
include(CPack)
