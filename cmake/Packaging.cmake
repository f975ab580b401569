# SPDX-License-Identifier: MIT
# What `make install` puts on a system, and the Debian package made from it.
# Included after every subdirectory, so the targets it installs exist.

include(GNUInstallDirs)

set(TOLVANE_APP_ID io.github.tolvane.Tolvane)
set(TOLVANE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tolvane)

# Debian wants manual pages and changelogs compressed with gzip -9n (no name,
# no time stamp, so the package builds the same every time).
function(tolvane_gzip source output)
  get_filename_component(name ${output} NAME)
  set(plain ${CMAKE_CURRENT_BINARY_DIR}/gz/${name})
  string(REGEX REPLACE "\\.gz$" "" plain ${plain})
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
    COMMAND gzip -9nf ${plain}
    COMMAND ${CMAKE_COMMAND} -E rename ${plain}.gz ${output}
    DEPENDS ${source}
    VERBATIM)
endfunction()

function(tolvane_install_manpage source)
  get_filename_component(name ${source} NAME)
  set(gz ${CMAKE_CURRENT_BINARY_DIR}/man/${name}.gz)
  tolvane_gzip(${CMAKE_CURRENT_SOURCE_DIR}/${source} ${gz})
  string(MAKE_C_IDENTIFIER ${name} target)
  add_custom_target(gz_${target} ALL DEPENDS ${gz})
  install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

install(TARGETS tolvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
tolvane_install_manpage(app/tolvane.1)
install(FILES app/${TOLVANE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES app/${TOLVANE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES app/tolvane.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

install(TARGETS tolvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
tolvane_install_manpage(cli/tolvane-cli.1)
install(FILES cli/tolvane-cli.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
  RENAME tolvane-cli)

# Debian's own documentation files: the licence in the machine-readable
# format and the changelog of this native package.
set(changelog_gz ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog.gz)
tolvane_gzip(${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog ${changelog_gz})
add_custom_target(gz_changelog ALL DEPENDS ${changelog_gz})
install(FILES packaging/copyright ${changelog_gz} DESTINATION ${TOLVANE_DOC_DIR})

set(CPACK_PACKAGE_NAME tolvane)
set(CPACK_PACKAGE_CONTACT "Tolvane developers <dev@tolvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "serial terminal that downloads configuration bitstreams to a board")
# Lines stay under 80 columns: CPack does not wrap them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Tolvane loads a configuration bitstream file (.bit) into a target board"
  "over RS-232 at 115200 baud, 8 data bits, no parity, 1 stop bit, showing"
  "the transfer's progress. Beside that it shows what the board sends as"
  "CP932 text or as a running hex dump, reports line errors, and sends a"
  "typed line or up to sixteen bytes given in hex. Its interface is Japanese."
  "."
  "The package also holds tolvane-cli, a command line for scripts and CI that"
  "needs no display: it lists serial ports, downloads a bitstream (with exit"
  "statuses and a JSON summary a script can trust), monitors and logs what"
  "the board sends, sends text or bytes, and shows a .bit file's header.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The libraries come from the binaries themselves; the platform plugin and the
# Japanese font are loaded at run time, where no link shows them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-noto-cjk")
include(CPack)
