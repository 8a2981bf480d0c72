# The Debian package: dozewick_<version>_<arch>.deb, built by CPack from an install of this tree.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dozewick)
set(CPACK_PACKAGE_VENDOR "The Dozewick developers")
set(CPACK_PACKAGE_CONTACT "The Dozewick developers <developers@dozewick.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Debian wraps nothing: the lines of the long description stay under 80 characters.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Dozewick lives in the system tray and, once a second, looks at the"
  "application windows on screen. Every application whose windows have been"
  "left alone for a minute or more is iconified, except the three most"
  "recently used of those windows and every window of the application in"
  "front. Nothing is closed: iconified windows stay in the task bar."
  "It works in X11 sessions with an EWMH window manager, on KDE Plasma on"
  "Wayland and on GNOME on Wayland.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its Wayland platform as a plugin, which dpkg-shlibdeps cannot see; without it Dozewick
# falls back to XWayland on Plasma and GNOME on Wayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Debian keeps a package's licence and changelog under /usr/share/doc/<package>.
execute_process(COMMAND date -u -R -d "${DOZEWICK_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE DOZEWICK_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
set(package_doc ${PROJECT_BINARY_DIR}/package-doc)
configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright.in ${package_doc}/copyright @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${package_doc}/changelog @ONLY)
add_custom_command(OUTPUT ${package_doc}/changelog.gz
  COMMAND gzip -9nkf changelog
  DEPENDS ${package_doc}/changelog
  WORKING_DIRECTORY ${package_doc})
add_custom_target(dozewick_changelog ALL DEPENDS ${package_doc}/changelog.gz)
install(FILES ${package_doc}/copyright ${package_doc}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})

# lintian's overrides, each with its reason.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${CPACK_PACKAGE_NAME})

include(CPack)
