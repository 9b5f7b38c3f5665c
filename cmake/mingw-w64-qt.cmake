# Cross-build of the Windows program with Debian's MinGW-w64 against the Qt for
# Windows that scripts/build-qt-windows.sh builds from Debian's own source. Its
# moc, rcc and uic are the host's Qt tools of the same version.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# The Qt DLLs use the shared MinGW runtime; the program shares it with them
# (one C++ runtime and heap in the process), so nothing is linked statically.
set(CMAKE_EXE_LINKER_FLAGS_INIT "")

set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE})
if(NOT EXISTS ${QT_HOST_PATH_CMAKE_DIR}/cmake/Qt6)
    # The toolchain runs before the host's architecture is known.
    file(GLOB _nuvok_host_qt /usr/lib/*/cmake/Qt6/Qt6ConfigVersionImpl.cmake)
    list(GET _nuvok_host_qt 0 _nuvok_host_qt)
    get_filename_component(QT_HOST_PATH_CMAKE_DIR ${_nuvok_host_qt} DIRECTORY)
    get_filename_component(QT_HOST_PATH_CMAKE_DIR ${QT_HOST_PATH_CMAKE_DIR} DIRECTORY)
endif()
file(STRINGS ${QT_HOST_PATH_CMAKE_DIR}/Qt6/Qt6ConfigVersionImpl.cmake _nuvok_qt_version
     REGEX "^set\\(PACKAGE_VERSION \"")
string(REGEX REPLACE ".*\"(.*)\".*" "\\1" _nuvok_qt_version "${_nuvok_qt_version}")

if(DEFINED ENV{NUVOKRC_QT_WINDOWS_CACHE})
    set(NUVOKRC_QT_WINDOWS $ENV{NUVOKRC_QT_WINDOWS_CACHE}/${_nuvok_qt_version})
else()
    set(NUVOKRC_QT_WINDOWS /var/cache/nuvokrc-qt-windows/${_nuvok_qt_version})
endif()
if(NOT EXISTS ${NUVOKRC_QT_WINDOWS}/.complete)
    message(FATAL_ERROR "Qt ${_nuvok_qt_version} for Windows is not built in ${NUVOKRC_QT_WINDOWS}: "
                        "run ./dev.sh windows or scripts/build-qt-windows.sh (about an hour on 2 cores)")
endif()
list(APPEND CMAKE_FIND_ROOT_PATH ${NUVOKRC_QT_WINDOWS})
list(APPEND CMAKE_PREFIX_PATH ${NUVOKRC_QT_WINDOWS})
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
