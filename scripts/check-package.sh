#!/usr/bin/env bash
# Builds the Debian package, installs it with apt-get as a user would, checks
# that both programs run from PATH, that the desktop files, the copyright and
# the AppStream entry are in place (appstreamcli finds the program), and
# removes the package again. Needs root (or sudo).
#   scripts/check-package.sh [BUILD_DIR]   (default build/package)
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)

if dpkg-query -W -f='${Status}' nuvokrc 2>/dev/null | grep -q "install ok installed"; then
    echo "check-package: SKIP: a nuvokrc package is installed already; it is left alone" >&2
    exit 0
fi

# The AppStream entry is validated and looked up with appstreamcli.
if ! command -v appstreamcli >/dev/null; then
    echo "check-package: installing appstream" >&2
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        appstream >/dev/null
fi

deb=$(scripts/build-package.sh "$@")
echo "check-package: built $deb"
dpkg-deb --field "$deb" Package Version Depends Recommends
# Native on Wayland sessions once the platform plugin is there.
dpkg-deb --field "$deb" Recommends | grep -qw qt6-wayland ||
    { echo "check-package: FAIL: the package does not recommend qt6-wayland" >&2; exit 1; }

installed=false
cleanup() {
    if $installed; then
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get purge -y -qq nuvokrc >/dev/null ||
            echo "check-package: could not remove the package again" >&2
    fi
}
trap cleanup EXIT

fail() {
    echo "check-package: FAIL: $*" >&2
    exit 1
}

apt_install() {
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "$deb" >/dev/null
}
# A stale package index is the usual reason dependencies cannot be fetched.
if ! apt_install; then
    "${sudo[@]}" apt-get update -qq
    apt_install || fail "apt-get install $deb failed"
fi
installed=true

[ "$(command -v nuvokrc)" = /usr/bin/nuvokrc ] || fail "nuvokrc is not /usr/bin/nuvokrc on PATH"
version=$(env -u DISPLAY -u WAYLAND_DISPLAY nuvokrc --version) || fail "nuvokrc --version failed"
echo "check-package: $version"
[[ $version == "nuvokrc $(dpkg-deb --field "$deb" Version)" ]] ||
    fail "nuvokrc --version printed '$version', the package is $(dpkg-deb --field "$deb" Version)"
nuvok-send --help | grep -q '^Usage: nuvok-send' || fail "nuvok-send --help failed"

appstream_id=org.example.nuvokrc
for file in /usr/share/applications/nuvokrc.desktop \
    /usr/share/icons/hicolor/64x64/apps/nuvokrc.png \
    /usr/share/icons/hicolor/scalable/apps/nuvokrc.svg \
    /usr/share/man/man1/nuvokrc.1 \
    /usr/share/doc/nuvokrc/copyright \
    /usr/share/metainfo/$appstream_id.metainfo.xml; do
    dpkg -S "$file" >/dev/null 2>&1 || fail "the package does not own $file"
done
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate /usr/share/applications/nuvokrc.desktop
fi
head -n 1 /usr/share/doc/nuvokrc/copyright | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' ||
    fail "/usr/share/doc/nuvokrc/copyright is not in Debian's machine-readable form"

# The software centres find the program: the package's entry validates with
# the package's desktop entry (on the package's own files: validating all of
# /usr would judge other packages' entries too), and the system's AppStream
# pool has it once the package is in. appstreamcli notices new metainfo files
# itself; a cache that does not is refreshed once.
unpacked=$(mktemp -d)
dpkg-deb -x "$deb" "$unpacked"
scripts/check-metainfo.sh "$unpacked/usr" "${version#nuvokrc }" ||
    { rm -rf "$unpacked"; fail "the AppStream entry did not pass"; }
rm -rf "$unpacked"
found() { appstreamcli get "$appstream_id" 2>/dev/null || true; }
if [ -z "$(found)" ]; then
    echo "check-package: appstreamcli get $appstream_id found nothing; refreshing its cache"
    "${sudo[@]}" appstreamcli refresh-cache --force >/dev/null
fi
grep -q "^Identifier: $appstream_id " <<<"$(found)" ||
    fail "appstreamcli get $appstream_id does not find the installed program"
echo "check-package: appstreamcli get $appstream_id finds the installed program"

DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get purge -y -qq nuvokrc >/dev/null ||
    fail "apt-get purge nuvokrc failed"
installed=false
[ ! -e /usr/bin/nuvokrc ] || fail "/usr/bin/nuvokrc is still there after removal"
echo "check-package: installed, ran and removed $(basename "$deb")"
