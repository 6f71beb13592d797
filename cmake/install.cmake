# What `cmake --install` puts where a Debian system (or /usr/local) looks for
# it, and the Debian package built from that with `cpack -G DEB`.
include(GNUInstallDirs)

install(TARGETS orlune RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/docs/orlune.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/data/completion/orlune.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME orlune)
# Debian's zsh reads its packages' completions from vendor-completions; a
# build under /usr/local goes where zsh itself looks.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(ORLUNE_ZSH_COMPLETIONS ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
else()
  set(ORLUNE_ZSH_COMPLETIONS ${CMAKE_INSTALL_DATADIR}/zsh/site-functions)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/data/completion/_orlune DESTINATION ${ORLUNE_ZSH_COMPLETIONS})
if(ORLUNE_GUI)
  install(FILES ${PROJECT_SOURCE_DIR}/data/orlune.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/data/orlune.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
endif()

set(CPACK_PACKAGE_NAME orlune)
set(CPACK_PACKAGE_VENDOR "ORLUNE")
set(CPACK_PACKAGE_CONTACT "ORLUNE developers <orlune@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lists beside every label of a KiCad schematic the pages its signal reaches")
set(CPACK_PACKAGE_DESCRIPTION
    "ORLUNE places beside every global and hierarchical label of a multi-page KiCad\n"
    "schematic (and every sheet connector of its own design files) a text such as\n"
    "@2,5,12: the other pages on which the label's signal has pins. It works in\n"
    "place, byte-exact, from a small window or the orlune command line, and\n"
    "verifies in CI that every list is current.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY orlune)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "kicad")
set(CPACK_GENERATOR DEB)
include(CPack)
