# What `cmake --install` puts beside the programs on Linux (the menu entry,
# icons, AppStream metainfo, manual pages, bash completion) and the Debian
# package that `cpack -G DEB` builds from it.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()
include(GNUInstallDirs)

set(QLR_APP_ID org.example.SaveQLR5500)
set(QLR_DATA ${PROJECT_SOURCE_DIR}/data)

install(FILES ${QLR_DATA}/${QLR_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${QLR_DATA}/${QLR_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 32 48 64 128)
  install(FILES ${QLR_DATA}/icons/SaveQLR5500-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${QLR_APP_ID}.png)
endforeach()
install(FILES ${QLR_DATA}/icons/SaveQLR5500.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${QLR_APP_ID}.svg)
install(FILES ${QLR_DATA}/qlr5500.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME qlr5500)

# The manual pages and the changelog carry the project's version and are
# installed compressed; -n keeps the archives free of time stamps.
function(qlr_compressed source target)
  configure_file(${source} ${target} @ONLY)
  add_custom_command(OUTPUT ${target}.gz COMMAND gzip -9nkf ${target} DEPENDS ${target})
  set_property(GLOBAL APPEND PROPERTY qlr_compressed ${target}.gz)
endfunction()
foreach(page SaveQLR5500 qlr5500 qlr5500-emulator)
  qlr_compressed(${PROJECT_SOURCE_DIR}/docs/${page}.1 ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
set(QLR_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/saveqlr5500)
qlr_compressed(${QLR_DATA}/debian/changelog ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog.gz ${QLR_DATA}/debian/copyright DESTINATION ${QLR_DOCDIR})
get_property(compressed GLOBAL PROPERTY qlr_compressed)
add_custom_target(compressed_docs ALL DEPENDS ${compressed})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME saveqlr5500)
set(CPACK_PACKAGE_CONTACT "SaveQLR5500 developers <saveqlr5500@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "back up and restore the EEPROM of a QLR5500 receiver")
set(CPACK_PACKAGE_DESCRIPTION
    "SaveQLR5500 reads the 128-byte EEPROM of a QLR5500 communications receiver
over a serial line and saves it to a file, compares it with a file, writes a
file back into it, or writes a built-in set of medium values into it when the
receiver's own values are lost. It finds the port the receiver is on and shows
the receiver's region.

The package holds the dialog (SaveQLR5500, with an unattended snapshot mode for
cron), the command-line tool qlr5500 for scripts, and qlr5500-emulator, a
receiver played on a pseudo-terminal for trying them without one.

To open a serial port a user must be in the dialout group:
sudo adduser $USER dialout, then log in again.")
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://example.org/saveqlr5500)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
