# The manual page and the Debian package: `cpack -G DEB` in the build folder makes
# velmorix2_VERSION_ARCH.deb of everything `cmake --install` puts in place, under /usr.
include(GNUInstallDirs)

# Debian keeps manual pages compressed, with no time stamp in the header (gzip -n), so two builds
# of one source give the same package.
set(manual ${CMAKE_BINARY_DIR}/velmorix2.1.gz)
add_custom_command(OUTPUT ${manual}
  COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/docs/velmorix2.1 > ${manual}
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/velmorix2.1
  COMMENT "Compressing the manual page")
add_custom_target(velmorix_manual ALL DEPENDS ${manual})
install(FILES ${manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME velmorix2)
set(CPACK_PACKAGE_VENDOR "Velmorix2")
set(CPACK_PACKAGE_CONTACT "Velmorix2 <velmorix2@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "print spooler for the text files old programs leave in a folder")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Velmorix2 watches a folder from the system tray, or as a systemd user service, and prints every\n"
  "file that matches its pattern: graphically through CUPS, with Epson ESC/P codes laid out as the\n"
  "printer would have, or raw to a port, device or queue. Printed files are backed up or deleted.")
set(CPACK_STRIP_FILES ON)
# The units and the menu entries name the program by the path it has once installed, which the
# install learns from its prefix (see resources/): the prefix must be the real one, with the
# staging folder given apart as DESTDIR. With DESTDIR, cpack installs under CPACK_INSTALL_PREFIX.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The libraries the program links come from dpkg-shlibdeps; what it loads or looks up at run time
# is named here: the desktop's Qt platform plugin (xcb; offscreen comes with Qt Gui) and the
# Courier 10 Pitch face the pages are set in.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, xfonts-scalable, fontconfig")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cups, fonts-dejavu-core, fonts-urw-base35")
set(CPACK_GENERATOR DEB)
include(CPack)

# Building the program builds its manual page too, so `scripts/build velmorix2` has all cpack takes.
add_dependencies(velmorix2 velmorix_manual)
