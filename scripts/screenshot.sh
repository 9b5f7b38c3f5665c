#!/usr/bin/env bash
# Takes the README's picture of the window: starts NUVOKrc on a private X
# server with the icewm desktop and a private sound server, plays a few handset
# keys to it with nuvok-send over loopback, opens the window from its
# notification-area icon and saves the framed window as a PNG.
#   scripts/screenshot.sh [BUILD_DIR] [OUTPUT.png]
# (defaults: build/default, docs/nuvokrc-window.png; ./dev.sh screenshot)
# Only keys that change modes, step the volume and type into the stand-in
# player window are sent, so no command ever leaves for the LED controller.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/default}")
output=$(realpath -m "${2:-docs/nuvokrc-window.png}")

for tool in Xvfb icewm xdotool xmessage xwd xwdtopnm pnmtopng pulseaudio; do
    command -v "$tool" >/dev/null ||
        { echo "screenshot: $tool is missing; ./dev.sh screenshot installs it" >&2; exit 1; }
done
for program in nuvokrc nuvok-send; do
    [ -x "$build/bin/$program" ] ||
        { echo "screenshot: $build/bin/$program is not built" >&2; exit 1; }
done

if [ "${NUVOKRC_SCREENSHOT_INNER:-}" != 1 ]; then
    # The volume keys need a mixer: run everything against a private sound
    # server, on a private desktop.
    NUVOKRC_SCREENSHOT_INNER=1 exec tests/mixer/with-pulseaudio.sh --alsa \
        scripts/private-desktop.sh --screen 800x600x24 "$0" "$build" "$output"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/nuvokrc-shot.XXXXXX")
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "screenshot: line $LINENO failed: $BASH_COMMAND" >&2' ERR

waitFor() { # waitFor DESCRIPTION COMMAND...: polls for up to ten seconds
    local what=$1
    shift
    for _ in $(seq 100); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "screenshot: $what did not happen" >&2
    tail -n 20 "$work"/*.log "$work"/log.txt >&2 2>/dev/null || true
    exit 1
}

export QT_QPA_PLATFORM=xcb

# A stand-in for the video player, found by its title as a real one would be.
xmessage -title "holiday.mkv - VLC media player" -geometry 300x80+460+40 \
    "the video player" >/dev/null 2>&1 &
pids+=($!)
waitFor "the stand-in player window" xdotool search --name "VLC media player"

port=47653
"$build/bin/nuvokrc" -port "$port" --log-stderr 2>"$work/log.txt" &
pids+=($!)
waitFor "the start of NUVOKrc" grep -q "^Port: *$port" "$work/log.txt"

send() {
    "$build/bin/nuvok-send" --port "$port" --delay 300 "$@"
}
send menu right 5 right left up up down
send menu left
sleep 1

# A left click on the notification-area icon opens the window; the icon is the
# program's small visible window, docked once the panel has taken it.
trayIcon() {
    local id
    for id in $(xdotool search --onlyvisible --class nuvokrc); do
        eval "$(xdotool getwindowgeometry --shell "$id")"
        if [ "$WIDTH" -le 48 ] && [ "$HEIGHT" -le 48 ]; then
            echo "$id"
            return 0
        fi
    done
    return 1
}
windowOpen() { xdotool search --onlyvisible --name "^NUVOK Remote Control$"; }
waitFor "the notification-area icon" trayIcon
for _ in 1 2 3 4 5; do
    eval "$(xdotool getwindowgeometry --shell "$(trayIcon)")"
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
    sleep 1
    windowOpen >/dev/null && break
done
waitFor "the opening of the window" windowOpen
window=$(xdotool search --onlyvisible --name "^NUVOK Remote Control$" | head -n1)
xdotool windowactivate --sync "$window"
# Info > Enlarge (Ctrl+E) shows the whole window; the pointer rests where it
# shows no tip.
xdotool key --clearmodifiers ctrl+e mousemove 790 300
sleep 1

# The window manager's frame is the window's ancestor just below the root.
frame=$window
root=$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')
while :; do
    parent=$(xwininfo -tree -id "$frame" | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p')
    [ -z "$parent" ] || [ "$((parent))" -eq "$((root))" ] && break
    frame=$parent
done

mkdir -p "$(dirname "$output")"
xwd -silent -id "$frame" | xwdtopnm 2>/dev/null | pnmtopng -compression 9 >"$output"
echo "screenshot: $output"
echo "screenshot: log of the run:"
sed 's/^/  /' "$work/log.txt"
