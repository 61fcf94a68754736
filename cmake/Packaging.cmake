# `cpack -G DEB` in the build folder: minutrex_<version>-1_<arch>.deb, installed
# under /usr, with a stripped program and its library dependencies computed
# by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME minutrex)
set(CPACK_PACKAGE_VENDOR "The Minutrex developers")
set(CPACK_PACKAGE_CONTACT "The Minutrex developers <dev@minutrex.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "countdown timer that runs an action at zero")
set(CPACK_PACKAGE_DESCRIPTION
    "Minutrex counts a delay of hours, minutes and seconds down on a\n"
    "seven-segment display. At zero it opens a document or a folder with the\n"
    "application the desktop associates with it, or starts a program with its\n"
    "parameters, then closes or stays open. Several timers can run side by\n"
    "side, each with its own settings file. Its texts are French.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/COPYING)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://minutrex.example.org)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Opening a document goes through xdg-open, the beep is the theme's bell and
# the window's fonts have metric-compatible substitutes. Without qt6-wayland a
# Wayland desktop quietly gets the X11 compatibility layer instead; the
# toolkit's French texts (file dialog, buttons) come with qt6-translations-l10n.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "xdg-utils, sound-theme-freedesktop, libcanberra-pulse, fonts-liberation2, fonts-urw-base35, qt6-wayland, qt6-translations-l10n")

include(CPack)
