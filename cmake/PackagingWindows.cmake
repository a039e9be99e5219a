# The Windows packages: `cpack` in a Windows build makes a ZIP of the
# programs and their documents and a 64-bit installer (NSIS) that puts them
# in Program Files, adds SaveQLR5500 and "Check the receiver connection" (the
# doctor) to the Start menu and registers an uninstaller. The emulator needs
# a pty and is not among them.
if(NOT WIN32)
  return()
endif()

# The programs' own install(TARGETS) rules put them beside the documents,
# at the top of the installed folder, as Windows programs are laid out.
set(CMAKE_INSTALL_BINDIR .)

set(QLR_DOCS ${PROJECT_SOURCE_DIR}/docs)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
install(FILES ${QLR_DOCS}/windows.md ${QLR_DOCS}/cli.md DESTINATION docs)
install(FILES ${PROJECT_SOURCE_DIR}/data/debian/copyright DESTINATION . RENAME COPYRIGHT.txt)
# The doctor in a console window that waits for Enter: the Start-menu entry
# runs it, and in the ZIP's folder a double-click does. cmd wants CR LF.
configure_file(${PROJECT_SOURCE_DIR}/data/windows/check-connection.cmd ${CMAKE_CURRENT_BINARY_DIR}/check-connection.cmd
               @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/check-connection.cmd DESTINATION .)

# The programs are defined further down the top-level list: CPack is set
# up when the whole list has been read.
function(qlr_package_windows)
  set(CPACK_GENERATOR ZIP NSIS)
  set(CPACK_PACKAGE_NAME SaveQLR5500)
  set(CPACK_PACKAGE_VENDOR "SaveQLR5500 developers")
  set(CPACK_PACKAGE_CONTACT "SaveQLR5500 developers <saveqlr5500@example.org>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "back up and restore the EEPROM of a QLR5500 receiver")
  set(CPACK_PACKAGE_FILE_NAME SaveQLR5500-${PROJECT_VERSION}-win64)
  set(CPACK_PACKAGE_INSTALL_DIRECTORY SaveQLR5500)
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY SaveQLR5500)
  set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/data/debian/copyright)
  set(CPACK_STRIP_FILES ON)
  # Without it the archive's files sit in a folder named like the archive.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)

  # CPack's own template makes a 32-bit installer, which 64-bit Windows
  # runs but a 64-bit-only Wine cannot; ours targets amd64.
  set(CPACK_MODULE_PATH ${PROJECT_SOURCE_DIR}/cmake/windows)
  set(CPACK_NSIS_DISPLAY_NAME SaveQLR5500)
  set(CPACK_NSIS_PACKAGE_NAME "SaveQLR5500 ${PROJECT_VERSION}")
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/src/dialog_win32/app.ico)
  set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/src/dialog_win32/app.ico)
  set(CPACK_NSIS_URL_INFO_ABOUT https://example.org/saveqlr5500)
  if(TARGET SaveQLR5500)
    set(CPACK_NSIS_INSTALLED_ICON_NAME SaveQLR5500.exe)
    set(CPACK_NSIS_CREATE_ICONS_EXTRA "CreateShortCut '$SMPROGRAMS\\\\SaveQLR5500.lnk' '$INSTDIR\\\\SaveQLR5500.exe'")
    set(CPACK_NSIS_DELETE_ICONS_EXTRA "Delete '$SMPROGRAMS\\\\SaveQLR5500.lnk'")
  endif()
  include(CPack)
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL qlr_package_windows)
