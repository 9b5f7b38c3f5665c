#!/usr/bin/env bash
# Developer entry point: installs what is missing, builds, runs, tests.
#   ./dev.sh run [ARGS...]   build and start the program
#   ./dev.sh test            build with the test preset and run the whole suite, then the
#                            suite with sanitizers, the fuzz step, the Windows build under
#                            Wine, the Windows program and its zip under Wine (when Qt for
#                            Windows is built), the package check and the other Debian
#                            release's check
#                            (NUVOKRC_TEST_ONLY=suite: only the test preset's suite)
#   ./dev.sh asan            the suite with address and undefined-behaviour sanitizers
#   ./dev.sh fuzz [SECONDS]  run each fuzz target of the core for SECONDS (default 30)
#   ./dev.sh wine            cross-build the core and Windows back-ends, run their tests under Wine
#   ./dev.sh windows         build Qt for Windows once (about an hour on 2 cores), cross-build the
#                            Windows program and run its tests under Wine
#   ./dev.sh package-windows build the Windows zip (build/package-windows/nuvokrc-*-win64.zip)
#                            and check it on a fresh Wine prefix
#   ./dev.sh bench           build optimised and print the benchmark figures
#   ./dev.sh package         build the Debian package (build/package/nuvokrc_*.deb)
#   ./dev.sh screenshot      take the README's pictures of the window (docs/nuvokrc-window.png),
#                            the volume bubble (docs/nuvokrc-volume-bubble.png), the
#                            settings window (docs/nuvokrc-settings.png) and the phone remote
#                            (docs/nuvokrc-phone.png)
#   ./dev.sh format          reformat the sources with clang-format
set -euo pipefail
cd "$(dirname "$0")"

BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libasound2-dev libxtst-dev
                libx11-dev libpulse-dev libqrencode-dev)
TEST_PACKAGES=(xvfb xauth icewm fluxbox openbox x11-utils x11-xkb-utils xdotool socat pulseaudio alsa-utils clang-format
               pulseaudio-utils libasound2-plugins
               # PipeWire and its session manager for the volume keys' tests. Its
               # PulseAudio service runs there from the tests' own configuration
               # (pipewire -c): package pipewire-pulse, though no package conflict
               # with pulseaudio, would make a PulseAudio desktop switch to PipeWire.
               pipewire wireplumber
               desktop-file-utils groff-base dpkg-dev file
               mpv mpv-mpris dbus-daemon dbus-bin
               # A real notification daemon for the desktop bubbles; dunstctl's
               # history asks the bus with busctl (package systemd).
               dunst systemd
               sway waybar weston grim qt6-wayland xwayland
               # A real lircd for the infrared input's tests, on a socket of the
               # tests' own with simulated buttons (irsend); the machine's
               # /run/lirc/lircd is never used.
               lirc
               # The phone remote's page in a real browser, headless, driven through DevTools.
               chromium chromium-driver python3-selenium)
# The steps after the test preset's suite: sanitizers and fuzzing (clang), the
# Windows build under Wine, the check of the other Debian release (debootstrap).
# Names without a version, so that one list serves Debian 12 and 13.
HOST_TEST_PACKAGES=(g++-mingw-w64-x86-64 wine wine64 clang libclang-rt-dev debootstrap)
# The Windows program: Qt for Windows is built from Debian's qt6-base source
# (scripts/build-qt-windows.sh installs what that needs); the tests and the
# zip's check run it under Wine on a private desktop and sound server.
WINDOWS_PACKAGES=(cmake ninja-build qt6-base-dev g++-mingw-w64-x86-64 wine wine64 nsis xvfb xauth icewm
                  x11-utils xdotool pulseaudio pulseaudio-utils)
# The Debian package: dpkg-shlibdeps finds the library dependencies.
PACKAGE_PACKAGES=(dpkg-dev file)
# The README's screenshots: a private X server and sound server, a font with control pictures,
# and a notification daemon on a private session bus for the volume bubble (with the SVG
# loader for the program's icon in it); the phone remote's page in headless Chromium.
SCREENSHOT_PACKAGES=(xvfb xauth icewm x11-utils x11-apps netpbm xdotool pulseaudio pulseaudio-utils
                     libasound2-plugins fonts-freefont-ttf dunst dbus-daemon dbus-bin librsvg2-common
                     chromium chromium-driver python3-selenium)

install_missing() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "dev.sh: installing ${missing[*]}" >&2
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

# Fails naming every package that the package source does not know, without
# installing anything: the packages of the steps that a run of only the suite
# leaves out must still exist on this release.
check_known() {
    local unknown=() pkg
    for pkg in "$@"; do
        apt-cache show --no-all-versions "$pkg" >/dev/null 2>&1 || unknown+=("$pkg")
    done
    [ ${#unknown[@]} -eq 0 ] && return 0
    echo "dev.sh: this release has no package ${unknown[*]}" >&2
    return 1
}

# The check of the Debian release this machine is not on (12 on 13, 13 on 12),
# in a fresh chroot; it needs root for the chroot and its mounts.
other_release() {
    local codename other
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    case "$codename" in
    bookworm) other=trixie ;;
    trixie) other=bookworm ;;
    *)
        echo "dev.sh: the other Debian release's check skipped: this is not Debian 12 or 13 (${codename:-unknown})"
        return 0
        ;;
    esac
    if [ "$(id -u)" -ne 0 ]; then
        echo "dev.sh: the $other check skipped: it needs root for its chroot"
        return 0
    fi
    if ! command -v debootstrap >/dev/null; then
        echo "dev.sh: the $other check skipped: debootstrap is not installed"
        return 0
    fi
    scripts/check-debian.sh "$other"
}

build() {
    local preset=$1
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
}

# Each fuzz target for a bounded time, starting from its corpus in the
# repository; fails on a crash, a leak or a sanitizer report (the input is
# kept in build/fuzz/crashes).
fuzz() {
    local seconds=${1:-30}
    build fuzz
    mkdir -p build/fuzz/crashes
    local status=0 target name work
    for target in build/fuzz/bin/fuzz_*; do
        name=${target##*/fuzz_}
        work=$(mktemp -d)
        if "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix="build/fuzz/crashes/$name-" "$work" "tests/fuzz/corpus/$name" \
            >"build/fuzz/$name.log" 2>&1; then
            echo "fuzz $name: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "build/fuzz/$name.log")"
        else
            tail -n 40 "build/fuzz/$name.log" >&2
            echo "fuzz $name: FAILED (input in build/fuzz/crashes)" >&2
            status=1
        fi
        rm -rf "$work"
    done
    return $status
}

# The Windows program against the cached Qt for Windows: its build, and its
# tests under Wine, driven from the test preset's build.
windows_tests() {
    build windows
    cmake --preset test >/dev/null
    cmake --build --preset test --target test_windows_program test_windows_installer
    ctest --preset windows
}

qt_windows_ready() {
    local prefix
    prefix=$(scripts/build-qt-windows.sh --print-prefix 2>/dev/null) && [ -f "$prefix/.complete" ]
}

cmd=${1:-help}
[ $# -gt 0 ] && shift
case "$cmd" in
run)
    install_missing "${BUILD_PACKAGES[@]}"
    build default
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
        echo "dev.sh: no display found; starting NUVOKrc on Qt's offscreen platform (no window will show)" >&2
        export QT_QPA_PLATFORM=offscreen
    fi
    exec build/default/bin/nuvokrc "$@"
    ;;
test)
    # Everything the suite needs is installed here, so a test that would be
    # skipped for want of it fails instead, saying why (tests/support/missing.h,
    # scripts/skip.sh).
    export NUVOKRC_NO_SKIPS=1
    if [ "${NUVOKRC_TEST_ONLY:-}" = suite ]; then
        install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
        build test
        ctest --preset test
        check_known "${HOST_TEST_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}" "${SCREENSHOT_PACKAGES[@]}" \
            "${WINDOWS_PACKAGES[@]}"
        exit 0
    fi
    install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${HOST_TEST_PACKAGES[@]}"
    build test
    ctest --preset test
    build asan
    ctest --preset asan
    fuzz
    if [ -f cmake/mingw-w64.cmake ]; then
        build mingw
        ctest --preset mingw
    fi
    if qt_windows_ready; then
        install_missing "${WINDOWS_PACKAGES[@]}"
        windows_tests
        scripts/package-windows.sh
    else
        echo "dev.sh: the Windows program tests were NOT run: Qt for Windows is not built here; ./dev.sh windows builds it once (about an hour on 2 cores) and runs them"
    fi
    scripts/check-package.sh
    other_release
    ;;
asan)
    install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    export NUVOKRC_NO_SKIPS=1
    build asan
    ctest --preset asan
    ;;
fuzz)
    install_missing "${BUILD_PACKAGES[@]}" clang libclang-rt-dev
    fuzz "$@"
    ;;
wine)
    install_missing cmake ninja-build g++-mingw-w64-x86-64 wine wine64
    build mingw
    ctest --preset mingw
    ;;
windows)
    install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"
    qt_windows_ready || echo "dev.sh: building Qt for Windows once; this takes about an hour on 2 cores" >&2
    scripts/build-qt-windows.sh >/dev/null
    windows_tests
    ;;
package-windows)
    install_missing "${BUILD_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"
    qt_windows_ready || echo "dev.sh: building Qt for Windows once; this takes about an hour on 2 cores" >&2
    scripts/build-qt-windows.sh >/dev/null
    # The shipped programs talk to the controller's real default address;
    # the test builds' loopback address stays in the test builds.
    build windows-release
    scripts/package-windows.sh build/windows-release
    ;;
bench)
    install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    build bench
    # Figures, not pass or fail: every bench runs, and a bench that cannot
    # finish makes the command fail at the end.
    status=0
    for b in build/bench/bin/bench_*; do
        [ -x "$b" ] || continue
        case "$b" in
        # The real program on a private desktop, with a sound server so that
        # it finds a mixer and asks nothing at start-up.
        */bench_desktop)
            rc=0
            tests/mixer/with-pulseaudio.sh --alsa scripts/private-desktop.sh "$b" || rc=$?
            if [ "$rc" = 77 ]; then
                scripts/private-desktop.sh "$b" || status=1
            elif [ "$rc" != 0 ]; then
                status=1
            fi
            ;;
        *) QT_QPA_PLATFORM=offscreen "$b" || status=1 ;;
        esac
    done
    # The phone remote's keys from headless Chromium, with a sound server as above.
    tests/mixer/with-pulseaudio.sh --alsa bench/phone_latency.py build/bench/bin/nuvokrc || status=1
    exit $status
    ;;
package)
    install_missing "${BUILD_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
    scripts/build-package.sh
    ;;
screenshot)
    install_missing "${BUILD_PACKAGES[@]}" "${SCREENSHOT_PACKAGES[@]}"
    build default
    scripts/screenshot.sh build/default docs/nuvokrc-window.png docs/nuvokrc-volume-bubble.png \
        docs/nuvokrc-settings.png
    scripts/phone-screenshot.sh build/default docs/nuvokrc-phone.png
    ;;
format)
    install_missing clang-format
    # The tracked sources of a checkout; a tree without git (a tarball) has
    # no list of them, so there it formats what lies outside the build folders.
    if command -v git >/dev/null && [ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$(pwd -P)" ]; then
        git ls-files -z '*.cpp' '*.h' | xargs -0 -r clang-format -i
    else
        echo "dev.sh: no git checkout here (no git, or no .git); formatting every .cpp and .h outside build/" >&2
        find . \( -name .git -o -path './build' -o -path './build-*' \) -prune -o \
            \( -name '*.cpp' -o -name '*.h' \) -type f -print0 | xargs -0 -r clang-format -i
    fi
    ;;
*)
    sed -n '2,/^set /{/^#/p}' "$0" | sed 's/^# \{0,1\}//'
    [ "$cmd" = help ] || exit 2
    ;;
esac
