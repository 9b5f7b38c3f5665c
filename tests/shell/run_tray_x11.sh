#!/usr/bin/env bash
# Runs the notification-area test on a private X server with icewm, whose task
# bar has a notification area. Usage: run_tray_x11.sh TEST_PROGRAM ARTIFACT_DIR
set -u
program=$1
artifacts=$2
for tool in Xvfb icewm xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (./dev.sh test installs it)"
        exit 77
    fi
done
rm -rf "$artifacts"
mkdir -p "$artifacts/home"

pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    wait 2>/dev/null
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number to the file.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$artifacts/display" \
    >"$artifacts/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    [ -s "$artifacts/display" ] && break
    sleep 0.1
done
if ! [ -s "$artifacts/display" ]; then
    echo "Xvfb did not start; see $artifacts/xvfb.log"
    exit 1
fi
export DISPLAY=":$(head -n1 "$artifacts/display")"
unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER

export HOME="$artifacts/home"
icewm >"$artifacts/icewm.log" 2>&1 &
pids+=($!)

export QT_QPA_PLATFORM=xcb
export NUVOKRC_ARTIFACTS="$artifacts"
"$program"
