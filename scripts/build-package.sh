#!/usr/bin/env bash
# Builds the Debian package of the program in build/package and prints the
# path of the .deb. The package gets the controller address of the default
# cache variables, not the loopback one of the test builds.
# Usage: build-package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/package}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DNUVOKRC_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 >&2
rm -f "$build"/nuvokrc_*.deb
(cd "$build" && cpack -G DEB) >&2
deb=$(ls "$build"/nuvokrc_*.deb)
realpath "$deb"
