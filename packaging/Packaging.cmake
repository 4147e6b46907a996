# What `cmake --install` puts where, and the Debian package made of it by
# CPack (`cpack` in a build folder without tests writes
# minatori_<version>_amd64.deb; scripts/package.sh does it all).
#
# Installed: the program, its desktop entry and icon, the user manual at the
# fixed path the contact window opens (MINATORI_MANUAL_PATH), the copyright
# file. The stand-in server, the screenshot and manual tools and the tests
# have no install rules and stay out of the package.

install(TARGETS minatori RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/minatori.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/minatori-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME minatori.png)
endforeach()
get_filename_component(_manual_dir "${MINATORI_MANUAL_PATH}" DIRECTORY)
get_filename_component(_manual_name "${MINATORI_MANUAL_PATH}" NAME)
install(FILES ${MINATORI_MANUAL_PDF} DESTINATION ${_manual_dir} RENAME ${_manual_name})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME minatori)
set(CPACK_PACKAGE_VERSION ${MINATORI_FILE_VERSION})
set(CPACK_PACKAGE_VENDOR "湊ソフト")
set(CPACK_PACKAGE_CONTACT "ミナトリ サポートセンター <support@minato.example.jp>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ミナトリ: ORCA patient drug information viewer for clinics")
set(CPACK_PACKAGE_DESCRIPTION
    "At the reception desk and in the consulting room, ミナトリ shows from the\n"
    "clinic's ORCA receipt computer the day's reception list and, for a chosen\n"
    "patient, other institutions' prescriptions, medical information and\n"
    "specific health checkups, and the clinic's own medication history. It\n"
    "prints medication-notebook columns and exports the checkup CSV file.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
# The paths compiled into the program follow the install prefix, so the
# package installs under the same one.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # minatori_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.minato-soft.example.jp/minatori/")
# The libraries come from dpkg-shlibdeps; the fonts are not linked but drawn
# with: IPA Gothic for the Windows font names, Noto Sans CJK JP for the
# characters IPA lacks (such as 𠮷 in names).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, fonts-noto-cjk")
# Recommended: Qt's standard buttons and file dialogs in Japanese; xdg-open,
# through which the manual, saved PDFs, the web site and mail are opened.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, xdg-utils")
# A build with the test hook (every build with tests) makes no package to ship.
set(CPACK_MINATORI_TEST_HOOK ${MINATORI_TEST_HOOK})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/NoTestHook.cmake)
include(CPack)
