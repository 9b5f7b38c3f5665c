#!/usr/bin/env bash
# Builds Qt for 64-bit Windows (MinGW-w64) from Debian's own qt6-base source,
# against the host's Qt tools of the same version, and installs it into a cache
# outside the work tree keyed by that version:
#   ${NUVOKRC_QT_WINDOWS_CACHE:-/var/cache/nuvokrc-qt-windows}/<version>
# Does nothing when that cache is already complete. Prints the prefix last.
# About 45 to 60 minutes of 2 cores; run it under nice on a shared machine.
#   scripts/build-qt-windows.sh [--print-prefix]
set -euo pipefail
cd "$(dirname "$0")/.."

CACHE_ROOT=${NUVOKRC_QT_WINDOWS_CACHE:-/var/cache/nuvokrc-qt-windows}
JOBS=${NUVOKRC_JOBS:-2}

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)

# The Windows Qt must match the host Qt whose moc, rcc and uic it uses.
host_version() {
    dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null | sed -E 's/^[0-9]+://; s/[+~-].*//'
}

install_missing() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "build-qt-windows: installing ${missing[*]}" >&2
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

# apt-get source needs deb-src entries; add them beside the binary ones, in a
# file of their own, when no source entry exists yet.
enable_sources() {
    if grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        return 0
    fi
    local list=/etc/apt/sources.list.d/nuvokrc-deb-src.sources
    echo "build-qt-windows: adding Debian's source entries ($list)" >&2
    local src tmp
    tmp=$(mktemp)
    for src in /etc/apt/sources.list.d/*.sources; do
        [ -f "$src" ] || continue
        # Every stanza of Debian's own archive, as a source stanza.
        awk 'BEGIN { RS = ""; ORS = "\n\n" }
             /URIs:[^\n]*debian/ && /(^|\n)Types:[^\n]*deb/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' \
            "$src" >>"$tmp"
    done
    if [ -f /etc/apt/sources.list ]; then
        sed -nE 's/^deb (.*debian.*)$/deb-src \1/p' /etc/apt/sources.list >"$tmp.list"
        [ -s "$tmp.list" ] && "${sudo[@]}" install -m 644 "$tmp.list" /etc/apt/sources.list.d/nuvokrc-deb-src.list
        rm -f "$tmp.list"
    fi
    [ -s "$tmp" ] && "${sudo[@]}" install -m 644 "$tmp" "$list"
    rm -f "$tmp"
    "${sudo[@]}" apt-get update -qq
}

# --print-prefix: where the cache is or would be, without building anything.
if [ "${1:-}" = "--print-prefix" ]; then
    version=$(host_version)
    [ -n "$version" ] || exit 1
    echo "$CACHE_ROOT/$version"
    exit 0
fi

install_missing qt6-base-dev qt6-base-dev-tools cmake ninja-build perl dpkg-dev \
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev

version=$(host_version)
if [ -z "$version" ]; then
    echo "build-qt-windows: cannot tell the host Qt version (is qt6-base-dev installed?)" >&2
    exit 1
fi
prefix=$CACHE_ROOT/$version
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

enable_sources
work=$CACHE_ROOT/work-$version
"${sudo[@]}" mkdir -p "$CACHE_ROOT"
[ -n "${sudo[*]}" ] && "${sudo[@]}" chown "$(id -u):$(id -g)" "$CACHE_ROOT"
mkdir -p "$work"
start=$(date +%s)

srcdir=$(find "$work" -maxdepth 1 -type d -name "qt6-base-$version*" | head -n 1)
if [ -z "$srcdir" ] || [ ! -f "$srcdir/CMakeLists.txt" ]; then
    echo "build-qt-windows: fetching Debian's qt6-base source" >&2
    rm -rf "${work:?}"/qt6-base-*
    (cd "$work" && apt-get source -qq "qt6-base=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)" >/dev/null)
    srcdir=$(find "$work" -maxdepth 1 -type d -name "qt6-base-$version*" | head -n 1)
fi

# The project's MinGW-w64 toolchain (POSIX threads, target libraries and
# headers only from the MinGW root), for a shared Qt: no static runtime, no
# emulator, and packages only from the MinGW root too.
toolchain=$work/mingw-w64-qt-build.cmake
cat >"$toolchain" <<EOF
include("$(pwd)/cmake/mingw-w64.cmake")
set(CMAKE_EXE_LINKER_FLAGS_INIT "")
unset(CMAKE_CROSSCOMPILING_EMULATOR)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

host_cmake_dir=$(dirname "$(dirname "$(dpkg -L qt6-base-dev | grep -m1 '/cmake/Qt6/Qt6Config.cmake$')")")

# Shared Qt: Windows loads the DLLs from the program's folder, and the LGPL is
# met by shipping the Qt DLLs as they are.
cmake -G Ninja -S "$srcdir" -B "$work/build" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR="$host_cmake_dir" \
    -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_xml=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_openssl=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_opengl=ON -DFEATURE_tabletevent=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_system_doubleconversion=OFF

cmake --build "$work/build" --parallel "$JOBS"
rm -rf "$prefix"
cmake --install "$work/build" >/dev/null
# The licences and the source version go with the DLLs into the Windows
# packages (scripts/windows-licenses.sh).
cp "$srcdir/debian/copyright" "$prefix/debian-copyright"

end=$(date +%s)
{
    echo "qt=$version"
    echo "debian-source=qt6-base $(dpkg-parsechangelog -l "$srcdir/debian/changelog" -S Version)"
    echo "built=$(date -u +%Y-%m-%dT%H:%M:%SZ)"
    echo "seconds=$((end - start))"
    echo "size=$(du -sh "$prefix" | cut -f1)"
} >"$prefix/build-info.txt"
touch "$prefix/.complete"
rm -rf "$work"
echo "build-qt-windows: Qt $version for Windows in $prefix ($(((end - start) / 60)) minutes)" >&2
echo "$prefix"
