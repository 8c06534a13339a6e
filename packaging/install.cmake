# Two packages from one build.
#
# The portable folder (cpack -G TGZ): the program, the simulator, a README
# and the licence in one folder. The program keeps setting.ini and data.csv
# next to itself, so the folder goes wherever its operator can write.
#
# The Debian package (cpack -G DEB), also what `cmake --install` installs:
# the program in /usr/lib/rtupoll, which users cannot write to, behind
# /usr/bin/rtupoll, a launcher that runs a copy from each user's own
# ${XDG_DATA_HOME:-~/.local/share}/rtupoll/; rtu-sim in /usr/bin; the
# desktop entry, icons and AppStream metadata where desktops look for them.

include(GNUInstallDirs)

# Debian keeps a package's private programs in /usr/lib/<package>.
set(RTUPOLL_INSTALL_PROGRAMDIR lib/rtupoll CACHE STRING
  "Folder of the program behind the launcher, under the installation prefix")
set(RTUPOLL_MAINTAINER "the rtupoll developers <rtupoll@example.org>" CACHE STRING
  "Maintainer of the Debian package, as \"Name <address>\"")

set(desktop ${PROJECT_SOURCE_DIR}/packaging/desktop)

# A build without the simulator (no libmodbus) packs the program alone.
set(portable_programs rtupoll)
if(TARGET rtu-sim)
  list(APPEND portable_programs rtu-sim)
endif()

# --- portable folder --------------------------------------------------------
install(TARGETS ${portable_programs} RUNTIME DESTINATION . COMPONENT portable EXCLUDE_FROM_ALL)
install(FILES packaging/README.txt LICENSE DESTINATION . COMPONENT portable EXCLUDE_FROM_ALL)

# --- system layout ----------------------------------------------------------
file(RELATIVE_PATH RTUPOLL_PROGRAM_FROM_LAUNCHER
  /${CMAKE_INSTALL_BINDIR} /${RTUPOLL_INSTALL_PROGRAMDIR})
configure_file(packaging/launcher.sh.in launcher/rtupoll @ONLY)

# The licence in the form Debian reads it: its terms indented by one blank,
# an empty line as " .".
file(READ LICENSE license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" _ "${license}")
set(RTUPOLL_COPYRIGHT "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^.*Copyright \\(c\\) [^\n]*\n\n" "" terms "${license}")
string(STRIP "${terms}" terms)
string(REPLACE "\n\n" "\n.\n" terms "${terms}")
string(REPLACE "\n" "\n " terms "${terms}")
set(RTUPOLL_LICENSE_TERMS " ${terms}")
configure_file(packaging/copyright.in copyright @ONLY)

install(TARGETS rtupoll RUNTIME DESTINATION ${RTUPOLL_INSTALL_PROGRAMDIR} COMPONENT system)
install(PROGRAMS ${PROJECT_BINARY_DIR}/launcher/rtupoll DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT system)
if(TARGET rtu-sim)
  install(TARGETS rtu-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT system)
endif()
install(FILES ${desktop}/org.rtupoll.rtupoll.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT system)
install(FILES ${desktop}/org.rtupoll.rtupoll.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT system)
install(FILES ${desktop}/rtupoll.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT system)
if(RTUPOLL_ICON_PNGS)
  install(DIRECTORY ${RTUPOLL_ICON_DIR}/hicolor
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons COMPONENT system)
endif()
install(FILES ${PROJECT_BINARY_DIR}/copyright packaging/README.Debian
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT system)

# --- packages ---------------------------------------------------------------
set(CPACK_PACKAGE_NAME rtupoll)
set(CPACK_PACKAGE_VENDOR "the rtupoll developers")
set(CPACK_PACKAGE_CONTACT "${RTUPOLL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Modbus TCP poller for the holding registers of up to three RTU field devices")
# Debian shows the lines as they are: wrapped at 72 columns, a paragraph break as " .".
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "rtupoll is a small desktop Modbus TCP master for operators who watch the"
  "holding registers of up to three field devices of an RTU installation."
  "Five read definitions are polled in turn with function 3 (Read Holding"
  "Registers), all five once a second, and their values fill a table beside"
  "their register numbers. Devices connected at the last close are connected"
  "again at the start, and the first register of each read is written to a"
  "one-line data file every second."
  ""
  "It comes with rtu-sim, a Modbus TCP device simulator that serves on"
  "127.0.0.1 only.")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR TGZ)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/cpack_generators.cmake)
# One package per generator, of the components cpack_generators.cmake picks.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
# The machine it runs on is in the archive's name: rtupoll-0.1.0-Linux-x86_64.
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from dpkg-shlibdeps; the font is the one the window's
# fixed layout is drawn for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2 | fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
