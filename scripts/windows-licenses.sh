#!/usr/bin/env bash
# The licences of what the Windows zip and set-up program carry, in the
# folder's licenses\, taken from the files Debian installs on this machine:
# NUVOKrc's own (LICENSE), Qt's LGPL-3.0 with the GPL-3.0 it adds to, the
# copyright of every file of the Qt source the DLLs are built from (with the
# third-party code built into Qt), the MinGW-w64 runtime's, and SOURCES.txt,
# which names each program and DLL with its licence files and where its
# source can be had.
#   windows-licenses.sh BUILD_DIR FOLDER VERSION   writes FOLDER/licenses
#   windows-licenses.sh --check FOLDER             fails unless every program
#       and DLL in FOLDER is named in licenses/SOURCES.txt with licence files
#       that are there
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
    echo "windows-licenses: $*" >&2
    exit 1
}

# Every line ends in CR LF, as Windows' editors expect.
crlf() { sed 's/\r$//; s/$/\r/'; }

# Entries of SOURCES.txt: an unindented line naming the files, then indented
# lines about them.
check() {
    local folder=$1 licenses=$1/licenses status=0 file name sources
    sources=$licenses/SOURCES.txt
    [ -s "$sources" ] || fail "licenses/SOURCES.txt is missing"
    for name in LICENSE.txt LGPL-3.0.txt GPL-3.0.txt; do
        [ -s "$licenses/$name" ] || { echo "windows-licenses: licenses/$name is missing" >&2; status=1; }
    done
    local named
    named=$(tr -d '\r' <"$sources" | grep -v '^ ' | tr ',' '\n' | sed 's/^ *//; s/ *$//')
    while IFS= read -r -d '' file; do
        file=${file#"$folder"/}
        grep -qxF "${file//\//\\}" <<<"$named" ||
            { echo "windows-licenses: $file is not named in licenses/SOURCES.txt" >&2; status=1; }
    done < <(find "$folder" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
    for name in $(tr -d '\r' <"$sources" | grep '^ ' | grep -oE '[A-Za-z0-9.+-]+\.txt' | sort -u); do
        [ -s "$licenses/$name" ] ||
            { echo "windows-licenses: licenses/SOURCES.txt names $name, which is missing" >&2; status=1; }
    done
    grep -q 'apt-get source qt6-base=' "$sources" ||
        { echo "windows-licenses: licenses/SOURCES.txt does not say where Qt's source is" >&2; status=1; }
    return $status
}

if [ "${1:-}" = --check ]; then
    check "$2"
    exit
fi

build=$1
folder=$2
version=$3
licenses=$folder/licenses
mkdir -p "$licenses"

# The compiler of the Windows builds, which finds its runtime's files.
cxx=$(sed -n 's/^set(CMAKE_CXX_COMPILER \(.*\))$/\1/p' cmake/mingw-w64.cmake)
[ -n "$cxx" ] || fail "no C++ compiler named in cmake/mingw-w64.cmake"

# The Debian package that installed FILE, and its source package and version.
owner() { dpkg -S "$(realpath "$1")" | head -n 1 | sed 's/: .*//; s/:.*//'; }
source_of() { dpkg-query -W -f='${source:Package} ${source:Version}' "$1"; }
copyright_of() { echo "/usr/share/doc/$1/copyright"; }

# Qt for Windows: its prefix, the upstream version it was built from, and the
# Debian source version. Builds of scripts/build-qt-windows.sh record that
# source's version and keep its debian/copyright; for older builds they are
# the host's Qt of the same upstream version, which the toolchain insists on.
qt_dir=$(sed -n 's/^Qt6_DIR:PATH=//p' "$build/CMakeCache.txt")
[ -n "$qt_dir" ] || fail "$build is not configured against Qt for Windows (no Qt6_DIR)"
qt_prefix=$(realpath "$qt_dir/../../..")
qt_version=$(sed -n 's/^qt=//p' "$qt_prefix/build-info.txt")
qt_source=$(sed -n 's/^debian-source=//p' "$qt_prefix/build-info.txt")
qt_copyright=$qt_prefix/debian-copyright
if [ -z "$qt_source" ] || [ ! -s "$qt_copyright" ]; then
    host_core=$(owner "$(find /usr/lib -name 'libQt6Core.so.6' -print -quit)")
    qt_source=$(source_of "$host_core")
    qt_copyright=$(copyright_of "$host_core")
fi
read -r qt_source_package qt_source_version <<<"$qt_source"
upstream=${qt_source_version#*:}
upstream=${upstream%%[+~-]*}
[ "$upstream" = "$qt_version" ] ||
    fail "Qt for Windows is $qt_version, but its Debian source is taken to be $qt_source"

crlf <LICENSE >"$licenses/LICENSE.txt"
crlf </usr/share/common-licenses/LGPL-3 >"$licenses/LGPL-3.0.txt"
crlf </usr/share/common-licenses/GPL-3 >"$licenses/GPL-3.0.txt"
crlf <"$qt_copyright" >"$licenses/$qt_source_package-copyright.txt"

# The MinGW-w64 runtime: the DLLs beside the programs that are not Qt's, and
# the start-up code linked into every program and DLL, grouped by the Debian
# source package they come from.
declare -A runtime_files runtime_version runtime_package
add_runtime() { # HOST_FILE SHIPPED_NAME
    local package src ver
    package=$(owner "$1") || fail "no Debian package owns $1"
    read -r src ver <<<"$(source_of "$package")"
    runtime_files[$src]+="${runtime_files[$src]:+, }$2"
    runtime_version[$src]=$ver
    runtime_package[$src]=$package
}
qt_files=()
while IFS= read -r file; do
    name=${file#"$folder"/}
    if [[ $name == */* || $name == Qt6*.dll ]]; then
        qt_files+=("${name//\//\\}")
        continue
    fi
    host=$("$cxx" -print-file-name="$name")
    [[ $host == /* && -f $host ]] ||
        fail "$name is neither Qt's nor the compiler's: its licence is not known here"
    add_runtime "$host" "$name"
done < <(find "$folder" -type f -iname '*.dll' | LC_ALL=C sort)
crt=$("$cxx" -print-file-name=crt2.o)
[[ $crt == /* && -f $crt ]] || fail "the compiler's start-up code crt2.o was not found"
crt_package=$(owner "$crt")
read -r crt_source _ <<<"$(source_of "$crt_package")"
[ -n "${runtime_package[$crt_source]:-}" ] || add_runtime "$crt" ""
for src in "${!runtime_package[@]}"; do
    crlf <"$(copyright_of "${runtime_package[$src]}")" >"$licenses/$src-copyright.txt"
done

# What each source package's files are; any other says only where its
# licences are.
runtime_text() { # SOURCE_PACKAGE
    case "$1" in
    gcc-mingw-w64)
        echo "    The GCC runtime (libgcc, libstdc++), under the GPL-3.0 (GPL-3.0.txt) with"
        echo "    the GCC Runtime Library Exception 3.1, whose text is in"
        echo "    $1-copyright.txt."
        ;;
    mingw-w64)
        echo "    MinGW-w64's runtime and its POSIX threads library (winpthreads); their"
        echo "    copyright and licences are in $1-copyright.txt."
        ;;
    *) echo "    Their copyright and licences are in $1-copyright.txt." ;;
    esac
}

# Debian's gcc-mingw-w64 builds from the GCC source that its version names
# first (12.2.0-14+deb12u1+25.2: GCC 12.2.0-14+deb12u1, packaging 25.2).
gcc_source() { # SOURCE_PACKAGE
    [ "$1" = gcc-mingw-w64 ] || return 0
    local binary gcc
    binary=$(dpkg-query -W -f='${Version}' "${runtime_package[$1]}")
    gcc=${binary%%+"${runtime_version[$1]}"*}
    [ "$gcc" != "$binary" ] || return 0
    echo "    It is built from GCC's source in Debian's gcc-${gcc%%.*} source package:"
    echo "        apt-get source gcc-${gcc%%.*}=$gcc"
}

{
    echo "NUVOKrc $version for Windows: what this folder holds, its licences and its source"
    echo "==============================================================================="
    echo
    echo "nuvokrc.exe, nuvok-send.exe"
    echo "    NUVOKrc $version, free software under the MIT licence: LICENSE.txt."
    echo "    They carry MinGW-w64's start-up code: $crt_source-copyright.txt; its source:"
    echo "        apt-get source $crt_source=${runtime_version[$crt_source]}"
    echo
    joined=$(
        IFS=,
        echo "${qt_files[*]}"
    )
    echo "${joined//,/, }"
    echo "    Qt $qt_version, under the GNU Lesser General Public License version 3:"
    echo "    LGPL-3.0.txt, which adds to the GNU General Public License version 3 in"
    echo "    GPL-3.0.txt. The copyright of every file of Qt's source, with the licences"
    echo "    of the third-party code built into Qt: $qt_source_package-copyright.txt."
    echo "    These DLLs are built from Debian's $qt_source_package source package, version"
    echo "    $qt_source_version (Qt's source with Debian's changes), unchanged by NUVOKrc,"
    echo "    as shared libraries for MinGW-w64 (64-bit, POSIX threads) by NUVOKrc's"
    echo "    scripts/build-qt-windows.sh. That source, on a Debian system with deb-src"
    echo "    entries in apt's sources:"
    echo "        apt-get source $qt_source_package=$qt_source_version"
    echo "    Debian keeps every version it published at"
    echo "        https://snapshot.debian.org/package/$qt_source_package/$qt_source_version/"
    echo "    The Qt DLLs may be replaced by other builds of Qt $qt_version for MinGW-w64."
    for src in $(printf '%s\n' "${!runtime_package[@]}" | LC_ALL=C sort); do
        [ -n "${runtime_files[$src]}" ] || continue
        echo
        echo "${runtime_files[$src]}"
        runtime_text "$src"
        echo "    From Debian's $src source package, version ${runtime_version[$src]}:"
        echo "        apt-get source $src=${runtime_version[$src]}"
        echo "        https://snapshot.debian.org/package/$src/${runtime_version[$src]}/"
        gcc_source "$src"
    done
} | crlf >"$licenses/SOURCES.txt"
check "$folder"
