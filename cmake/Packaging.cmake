# Install rules and the Debian package of the workspace (CPack DEB):
#
#   cmake --build --preset release --target package   ->  vanta-workspace_<version>_amd64.deb
#   cmake --install build/release --prefix /opt/vanta  ->  the same tree without the package
#
# The layout (set in the top CMakeLists): programs in bin, the report plugin in
# VANTA_INSTALL_PLUGINDIR (the programs find it relative to their own folder),
# data in share/vanta. Tests, benchmarks and fuzzers are never installed.

set(VANTA_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(VANTA_PACKAGE_BUILD_DIR ${CMAKE_BINARY_DIR}/packaging)
# The service's settings belong in the system's /etc, also when the programs go
# to /usr: a relative value puts them under the prefix (an install as a user).
set(VANTA_INSTALL_SYSCONFDIR "/etc" CACHE STRING "Folder of default/vanta-fleet; relative means below the prefix")

# --- programs and the report plugin ----------------------------------------
set(VANTA_PROGRAMS)
foreach(program vanta-host vanta-cli vanta-sim vanta-render vanta-fleet)
  if(TARGET ${program})
    list(APPEND VANTA_PROGRAMS ${program})
  else()
    # vanta-host and vanta-render need Qt Widgets; a package without them would be incomplete.
    message(WARNING "${program} is not built (Qt Widgets missing?): it is not installed or packaged")
  endif()
endforeach()
install(TARGETS ${VANTA_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS vanta_report LIBRARY DESTINATION ${VANTA_INSTALL_PLUGINDIR})

# --- data ---------------------------------------------------------------------
install(FILES ${VANTA_GENERATED_DATA_DIR}/MappingDB.db ${VANTA_GENERATED_DATA_DIR}/MappingDB.gz
              ${VANTA_GENERATED_DATA_DIR}/captions_de.tsv ${VANTA_GENERATED_DATA_DIR}/captions_en.tsv
              ${CMAKE_SOURCE_DIR}/data/device-defaults.ini
        DESTINATION ${VANTA_INSTALL_DATADIR})
# The simulator's sample device; the marker file only exists because git keeps no empty folders.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/device ${CMAKE_SOURCE_DIR}/data/networks DESTINATION ${VANTA_INSTALL_DATADIR}
        PATTERN ".keep" EXCLUDE)
file(GLOB VANTA_CLI_SCHEMAS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/cli-json/*.schema.json)
install(FILES ${VANTA_CLI_SCHEMAS} DESTINATION ${VANTA_INSTALL_DATADIR}/cli-json)
install(FILES ${CMAKE_SOURCE_DIR}/tools/wireshark/ccci.lua DESTINATION ${VANTA_INSTALL_DATADIR}/wireshark)

# --- desktop entry, icons, AppStream --------------------------------------------
install(FILES ${VANTA_PACKAGING_DIR}/vanta-host.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The release version in the metadata is project()'s, like everywhere else.
configure_file(${VANTA_PACKAGING_DIR}/io.github.vanta.workspace.host.metainfo.xml
               ${VANTA_PACKAGE_BUILD_DIR}/io.github.vanta.workspace.host.metainfo.xml @ONLY)
install(FILES ${VANTA_PACKAGE_BUILD_DIR}/io.github.vanta.workspace.host.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${VANTA_PACKAGING_DIR}/vanta-host.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# Menus that cannot draw SVG take the PNG sizes, drawn from the same SVG so they cannot differ.
find_program(VANTA_RSVG_CONVERT rsvg-convert)
if(VANTA_RSVG_CONVERT)
  set(VANTA_ICONS)
  foreach(size 48 128 256)
    set(png ${VANTA_PACKAGE_BUILD_DIR}/icons/${size}x${size}/vanta-host.png)
    add_custom_command(OUTPUT ${png}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${VANTA_PACKAGE_BUILD_DIR}/icons/${size}x${size}
                       COMMAND ${VANTA_RSVG_CONVERT} -w ${size} -h ${size} -o ${png}
                               ${VANTA_PACKAGING_DIR}/vanta-host.svg
                       DEPENDS ${VANTA_PACKAGING_DIR}/vanta-host.svg
                       COMMENT "Drawing the ${size}x${size} icon")
    list(APPEND VANTA_ICONS ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(vanta_icons ALL DEPENDS ${VANTA_ICONS})
else()
  message(WARNING "rsvg-convert (librsvg2-bin) not found: only the SVG icon is installed")
endif()

# --- manual pages ----------------------------------------------------------------
# Each page is the program's own --help and --version, run through help2man,
# so that a page never tells other options than the program takes.
find_program(VANTA_HELP2MAN help2man)
find_program(VANTA_GZIP gzip)
set(VANTA_MAN_NAME_vanta-host "desktop workspace for Vanta power-quality measuring devices")
set(VANTA_MAN_NAME_vanta-cli "command-line client for Vanta measuring devices")
set(VANTA_MAN_NAME_vanta-sim "simulated Vanta measuring device")
set(VANTA_MAN_NAME_vanta-render "draw a Vanta chart off screen from data")
set(VANTA_MAN_NAME_vanta-fleet "unattended readout of many Vanta devices")
if(VANTA_HELP2MAN AND VANTA_GZIP)
  set(VANTA_MAN_PAGES)
  foreach(program ${VANTA_PROGRAMS})
    set(page ${VANTA_PACKAGE_BUILD_DIR}/man/${program}.1)
    # Offscreen: vanta-host answers --help without a display. No leak report:
    # a sanitizer build would otherwise fail the page over Qt's exit-time allocations.
    add_custom_command(OUTPUT ${page}.gz
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${VANTA_PACKAGE_BUILD_DIR}/man
                       COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
                               ${VANTA_HELP2MAN} --no-info --section=1 "--name=${VANTA_MAN_NAME_${program}}"
                               --output=${page} $<TARGET_FILE:${program}>
                       COMMAND ${VANTA_GZIP} -9nf ${page}
                       DEPENDS ${program}
                       COMMENT "Manual page of ${program}")
    list(APPEND VANTA_MAN_PAGES ${page}.gz)
  endforeach()
  add_custom_target(vanta_man ALL DEPENDS ${VANTA_MAN_PAGES})
  install(FILES ${VANTA_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "help2man or gzip not found: no manual pages are installed")
endif()

# --- shell completion --------------------------------------------------------------
# One script for both programs; bash-completion loads it by the program's name.
foreach(program vanta-cli vanta-fleet)
  install(FILES ${VANTA_PACKAGING_DIR}/completion/vanta DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          RENAME ${program})
endforeach()

# --- the fleet service ---------------------------------------------------------------
# Installed, never enabled: the operator decides (README, "Install from the package").
install(FILES ${VANTA_PACKAGING_DIR}/vanta-fleet.service DESTINATION lib/systemd/system)
install(FILES ${VANTA_PACKAGING_DIR}/vanta-fleet.sysusers DESTINATION lib/sysusers.d RENAME vanta-fleet.conf)
install(FILES ${VANTA_PACKAGING_DIR}/vanta-fleet.tmpfiles DESTINATION lib/tmpfiles.d RENAME vanta-fleet.conf)
install(FILES ${VANTA_PACKAGING_DIR}/vanta-fleet.default DESTINATION ${VANTA_INSTALL_SYSCONFDIR}/default
        RENAME vanta-fleet)

# --- Debian's documentation files ----------------------------------------------------
# A native package: changelog.gz (not changelog.Debian.gz), its version from project().
configure_file(${VANTA_PACKAGING_DIR}/changelog.in ${VANTA_PACKAGE_BUILD_DIR}/changelog @ONLY)
if(VANTA_GZIP)
  add_custom_command(OUTPUT ${VANTA_PACKAGE_BUILD_DIR}/changelog.gz
                     COMMAND ${VANTA_GZIP} -9nkf ${VANTA_PACKAGE_BUILD_DIR}/changelog
                     DEPENDS ${VANTA_PACKAGE_BUILD_DIR}/changelog)
  add_custom_target(vanta_changelog ALL DEPENDS ${VANTA_PACKAGE_BUILD_DIR}/changelog.gz)
  install(FILES ${VANTA_PACKAGE_BUILD_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME})
endif()
install(FILES ${VANTA_PACKAGING_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME})

# --- the package ----------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vanta workspace maintainers <maintainers@users.noreply.c-seed-fa46011e.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop workspace and tools for Vanta power-quality devices")
# The extended description; CPack indents it and puts the full stop into the empty line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Connects to Vanta measuring devices over TCP, SSH or a serial line; reads,
checks and writes their parameters, shows live values and charts, downloads
and analyses events and recordings, updates firmware and calibrates.

The package holds the desktop host (vanta-host), the command-line client
(vanta-cli), a simulated device (vanta-sim), the chart renderer
(vanta-render), the unattended fleet readout service (vanta-fleet, not
enabled) and the report plugin.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # vanta-workspace_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link are read off the binaries. Qt's SQLite driver,
# which opens the mapping database and the fleet database, is a plugin loaded
# at run time that dpkg-shlibdeps cannot see; the translations give Qt's own
# dialogs the user's language.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n, libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql, wireshark")
# Installed binaries are stripped also in a sanitizer build tree: the package is
# meant to be installed, debugging happens in the build tree.
set(CPACK_STRIP_FILES ON)
# /etc/default/vanta-fleet must go to the package's /etc, not to the build machine's.
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
# postinst creates the service's user and folder; it does not enable the service.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${VANTA_PACKAGING_DIR}/postinst ${VANTA_PACKAGING_DIR}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)  # 0755 for postinst, 0644 for conffiles, as dpkg expects
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
