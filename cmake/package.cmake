# The Debian package (./dev.sh package): cpack -G DEB in a build configured
# with CMAKE_INSTALL_PREFIX=/usr.
set(CPACK_PACKAGE_NAME nuvokrc)
set(CPACK_PACKAGE_VENDOR "NUVOKrc developers")
set(CPACK_PACKAGE_CONTACT "NUVOKrc developers <nuvokrc@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "network remote handset as remote control for the PC")
set(CPACK_PACKAGE_DESCRIPTION
    "NUVOKrc turns a network remote handset into a remote control for the PC: it types
keystrokes into the media player, moves the speakers volume and sends text commands
to a LED and door-opener controller on the local network. It shows a log of
everything it did and lives in the notification area. The handset simulator
nuvok-send is included.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# MIT; the package carries it as share/doc/nuvokrc/copyright (cmake/install.cmake).
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The library dependencies are read from the binaries by dpkg-shlibdeps;
# the xcb platform plugin is loaded at run time, so it is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Native on Wayland sessions with the wayland platform plugin; without it the
# program runs through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libasound2-plugins, qt6-wayland")

include(CPack)
