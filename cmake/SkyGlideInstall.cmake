# What `cmake --install` puts where, and the Debian package made from it.
#
#   bin/                                   the programs
#   share/man/man1/<program>.1             one manual page per program
#   share/skyglide/samples/                the sample terrain and palettes/
#   share/applications/, share/metainfo/,  the desktop entry, its AppStream
#   share/icons/hicolor/, share/mime/      metadata, icon and raster file type
#
# Programs find each other and the samples relative to their own folder
# (bin/../share/skyglide), so an installed tree works wherever it is put.
# Included once from the top-level CMakeLists.txt, before the programs.

set(SKYGLIDE_APP_ID org.kartova.SkyGlide)
set(SKYGLIDE_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(SKYGLIDE_INSTALL_SAMPLES_DIR ${CMAKE_INSTALL_DATADIR}/skyglide/samples)

# skyglide_install_program(<target>)
# Installs a program into bin/ together with its manual page
# packaging/man/<target>.1; a program without a page does not configure.
function(skyglide_install_program target)
  set(page ${SKYGLIDE_PACKAGING_DIR}/man/${target}.1)
  if(NOT EXISTS ${page})
    message(FATAL_ERROR "skyglide_install_program(${target}): no manual page ${page}")
  endif()
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

# The script that makes the samples again needs a build and the source
# grids; the installed samples are the files themselves.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/samples/ DESTINATION ${SKYGLIDE_INSTALL_SAMPLES_DIR}
        PATTERN regenerate EXCLUDE)

install(FILES ${SKYGLIDE_PACKAGING_DIR}/${SKYGLIDE_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${SKYGLIDE_PACKAGING_DIR}/${SKYGLIDE_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${SKYGLIDE_PACKAGING_DIR}/application-x-kartova-raster.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)

# The icon is drawn once as SVG; the bitmap sizes that menus and software
# centres ask for are rendered from it at build time.
find_program(SKYGLIDE_RSVG_CONVERT rsvg-convert REQUIRED)
set(icon_svg ${SKYGLIDE_PACKAGING_DIR}/${SKYGLIDE_APP_ID}.svg)
set(icon_pngs)
foreach(size 16 24 32 48 64 128 256)
  set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/${SKYGLIDE_APP_ID}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
    COMMAND ${SKYGLIDE_RSVG_CONVERT} --width ${size} --height ${size} --output ${png} ${icon_svg}
    DEPENDS ${icon_svg}
    VERBATIM)
  list(APPEND icon_pngs ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(skyglide_icons ALL DEPENDS ${icon_pngs})
install(FILES ${icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The Debian package: `cpack -G DEB` in a build folder (scripts/package).
set(CPACK_PACKAGE_NAME skyglide)
set(CPACK_PACKAGE_CONTACT "Sky Glide developers <skyglide@kartova.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "terrain fly-through viewer for elevation rasters")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beyond the libraries the programs link: skyglide-host starts a session bus
# of its own where none runs.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "dbus-daemon")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Sky Glide shows an elevation raster as a lit, textured surface and lets you
fly over it with the keyboard, record and play flight paths and render them
into AVI movies. It is one of the processes of the Kartova desktop GIS; the
stand-in host skyglide-host plays the GIS's part, so that a raster can be
opened on its own. Sample terrain and palettes are included.")
include(CPack)
