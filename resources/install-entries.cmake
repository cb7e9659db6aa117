# Run by `cmake --install` and cpack: writes the menu entry, the autostart entry and the systemd
# user units with the program's installed absolute path in them. The prefix is only known now
# (`cmake --install --prefix` and cpack choose it after configuration), so the files are written
# straight into their place, under DESTDIR when there is one, and listed in the install manifest
# as install(FILES) would list them (this script runs in the install script's own scope).
# Set by the caller: VELMORIX_SOURCE (this folder), VELMORIX_BINDIR, VELMORIX_DATADIR.

function(velmorix_installed_dir dir out)
  if(NOT IS_ABSOLUTE "${dir}")
    set(dir "${CMAKE_INSTALL_PREFIX}/${dir}")
  endif()
  set(${out} "${dir}" PARENT_SCOPE)
endfunction()

velmorix_installed_dir("${VELMORIX_BINDIR}" bindir)
velmorix_installed_dir("${VELMORIX_DATADIR}" datadir)
velmorix_installed_dir(lib/systemd/user unitdir)
set(VELMORIX_PROGRAM "${bindir}/velmorix2")

foreach(entry "velmorix2.desktop|${datadir}/applications"
              "velmorix2-autostart.desktop|${datadir}/velmorix2"
              "systemd/velmorix2.service|${unitdir}"
              "systemd/velmorix2@.service|${unitdir}")
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 source)
  list(GET entry 1 dir)
  get_filename_component(name "${source}" NAME)
  set(target "$ENV{DESTDIR}${dir}/${name}")
  message(STATUS "Installing: ${target}")
  configure_file("${VELMORIX_SOURCE}/${source}.in" "${target}" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${target}")
endforeach()
