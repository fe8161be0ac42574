# What `cmake --install` puts where, and the packages CPack makes of it: a .deb on Linux
# (make package), a zip on Windows (make package-win).

# A build that still asks the placeholder hosts is for trying the program out; its package
# says so, so that nobody hands it to subscribers by mistake.
set(KESTRION_PLACEHOLDER_ADDRESSES OFF)
foreach(address IN ITEMS "${KESTRION_BALANCE_URL}" "${KESTRION_STAT_URL}")
  string(REGEX REPLACE "^[A-Za-z]+://([^/:?#]*).*$" "\\1" host "${address}")
  string(TOLOWER "${host}" host)
  if(host MATCHES "(^|\\.)example(\\.(com|net|org))?$")
    set(KESTRION_PLACEHOLDER_ADDRESSES ON)
  endif()
endforeach()
string(REGEX REPLACE "^[A-Za-z]+://([^/:?#]*).*$" "\\1" KESTRION_BALANCE_HOST
       "${KESTRION_BALANCE_URL}")
if(KESTRION_PLACEHOLDER_ADDRESSES)
  # Lines short enough for a package description.
  set(KESTRION_PACKAGE_ADDRESS_NOTE
      "This build asks the placeholder server ${KESTRION_BALANCE_HOST}, not an\noperator's: it is for trying the program out. An operator builds the\npackages for its subscribers with its own billing addresses.")
else()
  set(KESTRION_PACKAGE_ADDRESS_NOTE
      "This build asks the billing server ${KESTRION_BALANCE_HOST}.")
endif()

set(CPACK_PACKAGE_NAME kestrion)
set(CPACK_PACKAGE_VENDOR "Kestrion team")
set(CPACK_PACKAGE_CONTACT "Kestrion team <${KESTRION_MAKER_EMAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Internet account balance in view on the desktop")
set(CPACK_PACKAGE_HOMEPAGE_URL "${KESTRION_MAKER_WEB}")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  if(KESTRION_PLACEHOLDER_ADDRESSES)
    set(KESTRION_README_PLACEHOLDER_RU
        " (заглушка: эта сборка для знакомства с программой, не для абонентов)")
    set(KESTRION_README_PLACEHOLDER_EN
        " (a placeholder: this build is for trying the program out, not for subscribers)")
  endif()
  # The zip: the 64-bit programs in x64\, the 32-bit ones in x86\, a short README and the
  # licence. The 64-bit tree makes the packages, and takes the 32-bit programs from the 32-bit
  # tree (make build-win32); that tree makes none of its own.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    install(TARGETS kestrion kestrion-check RUNTIME DESTINATION x86)
    return()
  endif()
  set(KESTRION_WIN32_BIN "${CMAKE_SOURCE_DIR}/build-win32/bin" CACHE PATH
      "bin folder of the 32-bit Windows build, whose programs the packages hold beside these")
  install(TARGETS kestrion kestrion-check RUNTIME DESTINATION x64)
  set(win32_programs ${KESTRION_WIN32_BIN}/kestrion.exe ${KESTRION_WIN32_BIN}/kestrion-check.exe)
  install(CODE "set(programs \"${win32_programs}\")
                foreach(program IN LISTS programs)
                  if(NOT EXISTS \"\${program}\")
                    message(FATAL_ERROR \"\${program} is missing: make build-win32 builds it\")
                  endif()
                endforeach()")
  install(PROGRAMS ${win32_programs} DESTINATION x86)
  configure_file(resources/windows/README.txt.in ${CMAKE_BINARY_DIR}/generated/README.txt @ONLY
                 NEWLINE_STYLE CRLF)
  configure_file(LICENSE ${CMAKE_BINARY_DIR}/generated/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/generated/README.txt ${CMAKE_BINARY_DIR}/generated/LICENSE.txt
          DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME kestrion-${PROJECT_VERSION}-win64)
  # The setup program beside the zip, made from the same staged files once they are stripped
  # and, when a certificate is given, signed (cmake/package_win.cmake).
  find_program(KESTRION_MAKENSIS makensis)
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/package_win.cmake)
  set(CPACK_KESTRION_SOURCE_DIR ${CMAKE_SOURCE_DIR})
  set(CPACK_KESTRION_MAKENSIS ${KESTRION_MAKENSIS})
  set(CPACK_KESTRION_MAKER_WEB ${KESTRION_MAKER_WEB})
  set(CPACK_KESTRION_STRIP ${CMAKE_STRIP})  # binutils' strip for both widths
  include(CPack)
  return()
endif()

include(GNUInstallDirs)
set(generated ${CMAKE_BINARY_DIR}/generated)
set(kestrion_appstream_id example.kestrion.Kestrion)

install(TARGETS kestrion kestrion-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES resources/linux/kestrion.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size IN ITEMS 16 24 32 48 64 128 256)
  install(FILES resources/images/hicolor/${size}x${size}/apps/kestrion.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES resources/images/hicolor/scalable/apps/kestrion.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
configure_file(resources/linux/kestrion.metainfo.xml.in
               ${generated}/${kestrion_appstream_id}.metainfo.xml @ONLY)
install(FILES ${generated}/${kestrion_appstream_id}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages and the changelog, compressed as the distribution keeps them.
set(compressed)
foreach(page IN ITEMS kestrion.1 kestrion-check.1)
  configure_file(resources/linux/${page} ${generated}/${page} @ONLY)
  list(APPEND compressed ${page})
endforeach()
configure_file(resources/linux/changelog ${generated}/changelog.Debian @ONLY)
list(APPEND compressed changelog.Debian)
set(compressed_files)
foreach(name IN LISTS compressed)
  add_custom_command(OUTPUT ${generated}/${name}.gz
                     COMMAND gzip -9 -n -c ${generated}/${name} > ${generated}/${name}.gz
                     DEPENDS ${generated}/${name} VERBATIM)
  list(APPEND compressed_files ${generated}/${name}.gz)
endforeach()
add_custom_target(kestrion_compressed_docs ALL DEPENDS ${compressed_files})
install(FILES ${generated}/kestrion.1.gz ${generated}/kestrion-check.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
configure_file(resources/linux/copyright ${generated}/copyright @ONLY)
install(FILES ${generated}/copyright ${generated}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kestrion)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from the binaries; Qt's X11 platform plugin is loaded at run time, so
# no binary names it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ca-certificates, xdg-utils")
# The summary is the first line; this is the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Kestrion shows the subscriber's account balance at the Internet service
provider in a narrow black bar that stays above other windows and in an
icon in the notification area, asking the operator's billing server every
20 seconds. The command kestrion-check runs one poll for scripts and status
bars such as waybar and i3blocks.
.
${KESTRION_PACKAGE_ADDRESS_NOTE}")
include(CPack)
