# `make install` / `cmake --install`: the two programs, the desktop entry that offers vnsetup for
# Windows software discs, folders and ISO images, and its icon. `make package`: the same as a Debian
# package made with CPack, its library dependencies found by dpkg-shlibdeps.
include(GNUInstallDirs)

if(TARGET vnsetup)
  install(TARGETS vnsetup RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/vnsetup.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/vnsetup.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  # The image types shared-mime-info lacks (.nrg, .ccd), for the desktop entry's MimeType.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/vnsetup-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
          RENAME vnsetup.xml)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
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
# Wine converts a Windows game's Japanese file names only under a Japanese locale: where ja_JP.UTF-8
# is not generated, vnsetup compiles it from the sources the package "locales" brings, so it is a
# dependency. Windows games and setups run through Wine; the desktop's opener shows readmes; the
# Japanese fonts stand in for the Windows fonts the games name.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "locales")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "wine, xdg-utils, fonts-noto-cjk | fonts-ipafont")
include(CPack)
