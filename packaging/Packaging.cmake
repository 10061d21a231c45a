# Install rules and the Debian package.
include(GNUInstallDirs)

set(ZN_APP_ID example.tempora_zeitnahme.Zeitnahme)
set(ZN_PKG_DIR ${CMAKE_SOURCE_DIR}/packaging)

install(TARGETS Zeitnahme RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${ZN_PKG_DIR}/${ZN_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ZN_PKG_DIR}/${ZN_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/resources/app/zeitnahme.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${ZN_APP_ID}.svg)
foreach(size 16 32 48 64 128 256)
  install(FILES ${ZN_PKG_DIR}/icons/zeitnahme-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${ZN_APP_ID}.png)
endforeach()
# The help is built into the program; a copy to read without it.
install(FILES ${CMAKE_SOURCE_DIR}/resources/help/hilfe.html ${CMAKE_SOURCE_DIR}/README.md
              ${CMAKE_SOURCE_DIR}/resources/help/tag-startliste.png
              ${CMAKE_SOURCE_DIR}/resources/help/tag-lauf.png
              ${CMAKE_SOURCE_DIR}/resources/help/tag-wertung.png
              ${CMAKE_SOURCE_DIR}/resources/help/tag-live.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zeitnahme)
# Every picture the README shows, found in the README itself.
file(READ ${CMAKE_SOURCE_DIR}/README.md ZN_README)
string(REGEX MATCHALL "\\]\\(docs/[^)]+\\.png\\)" ZN_README_PICTURES "${ZN_README}")
set(ZN_PICTURES)
foreach(link ${ZN_README_PICTURES})
  string(REPLACE "](" "" picture "${link}")
  string(REPLACE ")" "" picture "${picture}")
  list(APPEND ZN_PICTURES ${CMAKE_SOURCE_DIR}/${picture})
endforeach()
list(REMOVE_DUPLICATES ZN_PICTURES)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/README.md)
install(FILES ${ZN_PICTURES} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zeitnahme/docs)

# What Debian asks of every package: the copyright, a changelog and a manual page, the
# last two compressed the way policy wants (gzip -9n: no name, no time stamp).
set(ZN_PKG_OUT ${CMAKE_BINARY_DIR}/packaging)
configure_file(${ZN_PKG_DIR}/changelog.in ${ZN_PKG_OUT}/changelog @ONLY)
configure_file(${ZN_PKG_DIR}/Zeitnahme.1.in ${ZN_PKG_OUT}/Zeitnahme.1 @ONLY)
add_custom_command(OUTPUT ${ZN_PKG_OUT}/changelog.gz ${ZN_PKG_OUT}/Zeitnahme.1.gz
                   COMMAND gzip -9nkf changelog Zeitnahme.1
                   DEPENDS ${ZN_PKG_OUT}/changelog ${ZN_PKG_OUT}/Zeitnahme.1
                   WORKING_DIRECTORY ${ZN_PKG_OUT} VERBATIM)
add_custom_target(zn_package_docs ALL DEPENDS ${ZN_PKG_OUT}/changelog.gz ${ZN_PKG_OUT}/Zeitnahme.1.gz)
install(FILES ${ZN_PKG_DIR}/copyright ${ZN_PKG_OUT}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zeitnahme)
install(FILES ${ZN_PKG_OUT}/Zeitnahme.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Real-time priority for the barrier's watch, for the group the package creates
# (postinst); only where the system's /etc is the target.
if(CMAKE_INSTALL_FULL_SYSCONFDIR STREQUAL "/etc")
  install(FILES ${ZN_PKG_DIR}/zeitnahme-rtprio.conf DESTINATION /etc/security/limits.d
          RENAME zeitnahme.conf)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zeitnahme)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Tempora)
set(CPACK_PACKAGE_CONTACT "Tempora <zeitnahme@tempora-zeitnahme.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Zeitmessung für Trainingsläufe und Zeitfahren im Motorsport")
# The summary above is the first line; this text follows it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Zeitnahme stoppt ein oder zwei Autos über zwei bis fünf Runden, von Hand
(Schaltflächen, F5/F4/F9) oder mit einer Lichtschranke an den Leitungen CTS
und DSR einer seriellen Schnittstelle, führt das Ergebnisprotokoll und gibt
es als Textdatei, Webseite, Druck oder PDF aus.

Für die Lichtschranke muss der Benutzer in der Gruppe dialout sein:
sudo adduser BENUTZER dialout, danach neu anmelden. Mitglieder der Gruppe
zeitnahme (sudo adduser BENUTZER zeitnahme) überwachen sie mit
Echtzeit-Priorität.")
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE ZN_DEB_ARCH
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT ZN_DEB_ARCH)
  set(ZN_DEB_ARCH ${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${ZN_DEB_ARCH})
set(CPACK_DEBIAN_FILE_NAME "Zeitnahme_${PROJECT_VERSION}_${ZN_DEB_ARCH}.deb")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.tempora-zeitnahme.example/software/")
# Library dependencies come from dpkg-shlibdeps; the platform, image and SQLite plugins and the print
# font are loaded at run time, which no linker sees.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6, libqt6sql6-sqlite, libqt6sql6-psql, fonts-liberation2, adduser")
# Qt's own German texts: without them the file and print dialogs speak English.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
# The limit is the admin's to change: kept over upgrades.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${ZN_PKG_DIR}/postinst ${ZN_PKG_DIR}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
