#!/usr/bin/env bash
# Builds the Windows zip and set-up program from the windows preset's build
# and checks the zip:
#   package-windows.sh [BUILD_DIR]        build/package-windows/nuvokrc-<version>-win64.zip
#                                         and nuvokrc-<version>-win64-setup.exe
#   package-windows.sh --check ZIP        (run on a private desktop and sound server)
#   package-windows.sh --installer BUILD_DIR SETUP_EXE [VERSION]
#                                         the set-up program alone, for the tests
# The zip holds the two programs, every DLL and Qt plugin they load (the MinGW
# runtime included), a short readme and licenses\ (scripts/windows-licenses.sh:
# the licences of all of it and where the source is). The check unpacks it
# into an empty folder, runs it on a fresh Wine prefix with nothing else
# installed, and demands that every DLL the programs and DLLs import is either
# in the zip or part of Windows, and that licenses\ names each of them. The
# set-up program (packaging/windows/nuvokrc.nsi, NSIS) installs exactly the
# zip's files; its tests run in ctest --preset windows.
set -euo pipefail
cd "$(dirname "$0")/.."

wine_env() {
    export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

# Every imported DLL must be in the folder or in the fresh prefix's system32.
check_imports() {
    local folder=$1 system32=$2 status=0 file dll
    while IFS= read -r -d '' file; do
        while read -r dll; do
            [ -n "$dll" ] || continue
            if [ -n "$(find "$folder" -maxdepth 1 -iname "$dll" -print -quit)" ]; then continue; fi
            if [ -n "$(find "$system32" -maxdepth 1 -iname "$dll" -print -quit)" ]; then continue; fi
            case "${dll,,}" in
            api-ms-win-* | ext-ms-win-*) continue ;; # API sets, resolved by Windows itself
            esac
            echo "package-windows: ${file#"$folder"/} needs $dll, which is neither in the zip nor part of Windows" >&2
            status=1
        done < <(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p')
    done < <(find "$folder" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
    return $status
}

# nuvokrc.exe is a GUI program (no console window) whose Explorer icon is
# there: an icon directory and the PNG picture it points at.
check_program_file() {
    local exe=$1 headers resources status=0
    headers=$(x86_64-w64-mingw32-objdump -p "$exe")
    if ! grep -q "^Subsystem.*(Windows GUI)" <<<"$headers"; then
        echo "package-windows: nuvokrc.exe is not a Windows GUI program" >&2
        status=1
    fi
    resources=$(x86_64-w64-mingw32-windres -i "$exe" -O rc 2>&1)
    if ! grep -q "RT_GROUP_ICON" <<<"$resources" ||
        ! grep -A3 "RT_ICON" <<<"$resources" | grep -q "0x474e5089L"; then
        echo "package-windows: nuvokrc.exe has no program icon" >&2
        status=1
    fi
    return $status
}

check() {
    local zip folder port log pid status=0
    # Global: the exit trap removes it after this function has returned.
    work=""
    zip=$(realpath "$1")
    work=$(mktemp -d "${TMPDIR:-/tmp}/nuvokrc-winzip.XXXXXX")
    trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
    wine_env "$work/prefix"
    wine wineboot -i >/dev/null 2>&1
    # Unpacked on drive C, and Wine's drive Z (this system's /) taken away, so
    # that nothing outside the zip's folder (the Qt build above all) is found.
    (cd "$WINEPREFIX/drive_c" && cmake -E tar xf "$zip")
    folder=$(find "$WINEPREFIX/drive_c" -mindepth 1 -maxdepth 1 -type d -name 'nuvokrc-*')
    check_imports "$folder" "$WINEPREFIX/drive_c/windows/system32" || status=1
    check_program_file "$folder/nuvokrc.exe" || status=1
    scripts/windows-licenses.sh --check "$folder" || status=1
    wineserver -w
    rm -f "$WINEPREFIX/dosdevices/z:"
    cd "$folder"
    folder="C:\\${folder##*/}"

    if ! wine "$folder\\nuvok-send.exe" --help >"$work/send-help.txt" 2>&1 ||
        ! grep -q -- "--port" "$work/send-help.txt"; then
        echo "package-windows: nuvok-send.exe --help failed on a fresh prefix:" >&2
        cat "$work/send-help.txt" >&2
        status=1
    fi

    # The program starts and its listener takes a key from the zip's own
    # handset simulator.
    port=$((20000 + RANDOM % 20000))
    log=$work/nuvokrc.log
    wine "$folder\\nuvokrc.exe" -port "$port" --log-stderr 2>"$log" &
    pid=$!
    local got=0
    for _ in $(seq 120); do
        wine "$folder\\nuvok-send.exe" --port "$port" 00 >/dev/null 2>&1 || true
        if grep -q $'Remote: \xe2\x90\x80' "$log"; then
            got=1
            break
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 1
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    if [ "$got" = 1 ]; then
        echo "package-windows: the zip starts on a fresh Wine prefix and receives a key on port $port"
    else
        echo "package-windows: nuvokrc.exe from the zip did not receive a key on a fresh Wine prefix; its log:" >&2
        cat "$log" >&2
        status=1
    fi
    return $status
}

if [ "${1:-}" = --check ]; then
    check "$2"
    exit
fi

# The program's icon as a Windows .ico for the set-up program: one 64x64
# entry holding the PNG picture as it is, as the program's own resources do.
write_icon() { # PNG ICO
    local size
    size=$(stat -c %s "$1")
    le32() { printf '\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
    {
        printf '\x00\x00\x01\x00\x01\x00'                 # icon file, one image
        printf '\x40\x40\x00\x00\x01\x00\x20\x00'         # 64x64, 1 plane, 32 bits
        printf "$(le32 "$size")$(le32 22)"                  # its size and offset
        cat "$1"
    } >"$2"
}

# The set-up program from a staged folder: the files of the zip, as they are.
make_installer() { # STAGE VERSION SETUP
    local stage work file folder
    stage=$(realpath "$1")
    work=$(mktemp -d)
    (
        cd "$stage"
        find . -type f | LC_ALL=C sort | while IFS= read -r file; do
            folder=$(dirname "${file#./}")
            [ "$folder" = . ] && folder="" || folder="\\${folder//\//\\}"
            printf '${FileEntry} "%s" "%s"\n' "$folder" "$(basename "$file")"
        done >"$work/files.nsh"
        find . -mindepth 1 -type d | LC_ALL=C sort -r | while IFS= read -r folder; do
            folder=${folder#./}
            printf '${FolderEntry} "\\%s"\n' "${folder//\//\\}"
        done >"$work/folders.nsh"
    )
    write_icon src/app/icons/idle.png "$work/nuvokrc.ico"
    makensis -V2 -INPUTCHARSET UTF8 "-DVERSION=$2" "-DSTAGE=$stage" "-DFILES=$work/files.nsh" \
        "-DFOLDERS=$work/folders.nsh" "-DICON=$work/nuvokrc.ico" "-DOUTFILE=$(realpath -m "$3")" \
        packaging/windows/nuvokrc.nsi >"$work/makensis.log" 2>&1 || {
        cat "$work/makensis.log" >&2
        rm -rf "$work"
        echo "package-windows: makensis failed" >&2
        return 1
    }
    rm -rf "$work"
}

# The programs, every DLL and plugin they load (stripped), the readme and the
# licences: what both the zip and the set-up program carry.
stage() { # BUILD FOLDER VERSION
    local out
    out=$(mktemp -d)
    cmake --install "$1" --prefix "$out" >/dev/null
    rm -rf "$2"
    mv "$out/bin" "$2"
    rm -rf "$out"
    # Debug information stays in the build; the packages are for running.
    find "$2" -type f \( -iname '*.exe' -o -iname '*.dll' \) -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
    sed "s/@VERSION@/$3/" data/windows-readme.txt | sed 's/$/\r/' >"$2/README.txt"
    scripts/windows-licenses.sh "$1" "$2" "$3"
}

project_version() {
    sed -n 's/^project(NUVOKrc VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt
}

# Only the set-up program, for the tests: from a build, with a version of
# their choice (an update needs a newer one).
if [ "${1:-}" = --installer ]; then
    [ $# -ge 3 ] || { echo "usage: package-windows.sh --installer BUILD_DIR SETUP_EXE [VERSION]" >&2; exit 2; }
    version=${4:-$(project_version)}
    staged=$(mktemp -d)
    trap 'rm -rf "$staged"' EXIT
    stage "$2" "$staged/nuvokrc" "$version"
    make_installer "$staged/nuvokrc" "$version" "$3"
    exit
fi

build=${1:-build/windows}
version=$(project_version)
name=nuvokrc-$version-win64
out=build/package-windows
rm -rf "$out"
mkdir -p "$out"
stage "$build" "$out/$name" "$version"
(cd "$out" && cmake -E tar cf "$name.zip" --format=zip "$name")
echo "package-windows: $out/$name.zip ($(du -h "$out/$name.zip" | cut -f1))"
make_installer "$out/$name" "$version" "$out/$name-setup.exe"
rm -rf "${out:?}/$name"
echo "package-windows: $out/$name-setup.exe ($(du -h "$out/$name-setup.exe" | cut -f1))"

scripts/private-desktop.sh tests/mixer/with-pulseaudio.sh "$0" --check "$out/$name.zip"
