#!/usr/bin/env bash
# Takes the README's pictures: starts NUVOKrc on a private X server with the
# icewm desktop, a private sound server and a private session bus with the
# notification daemon dunst, plays a few handset keys to it with nuvok-send
# over loopback, opens the window from its notification-area icon and saves
# the framed window as a PNG; then a few Up keys, and the volume bubble that
# dunst shows for them is saved as a second PNG; last, the settings window
# on its controller page, which shows none of the machine's own addresses.
#   scripts/screenshot.sh [BUILD_DIR] [WINDOW.png] [BUBBLE.png] [SETTINGS.png]
# (defaults: build/default, docs/nuvokrc-window.png, docs/nuvokrc-volume-bubble.png,
# docs/nuvokrc-settings.png; ./dev.sh screenshot)
# Only keys that change modes, step the volume and type into the stand-in
# player window are sent, so no command ever leaves for the LED controller.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/default}")
output=$(realpath -m "${2:-docs/nuvokrc-window.png}")
bubbleOutput=$(realpath -m "${3:-docs/nuvokrc-volume-bubble.png}")
settingsOutput=$(realpath -m "${4:-docs/nuvokrc-settings.png}")

for tool in Xvfb icewm xdotool xmessage xwd xwdtopnm pnmtopng pulseaudio pactl dunst dunstctl \
    dbus-daemon dbus-send; do
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
        scripts/private-desktop.sh --screen 800x600x24 "$0" "$build" "$output" "$bubbleOutput" \
        "$settingsOutput"
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
    tail -n 20 "$work"/*.log "$work"/log.txt "$work"/dunst.out >&2 2>/dev/null || true
    exit 1
}

export QT_QPA_PLATFORM=xcb

# A session bus of its own that starts nothing installed on demand, and dunst
# on it with settings of its own (never the user's): NUVOKrc's bubbles stay
# while no one touches the display, so that the picture finds them.
cat >"$work/bus.conf" <<END
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$work</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
END
dbus-daemon --config-file="$work/bus.conf" --nofork --print-address=1 >"$work/bus.address" \
    2>"$work/bus.log" &
pids+=($!)
waitFor "the start of the session bus" test -s "$work/bus.address"
DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus.address")
export DBUS_SESSION_BUS_ADDRESS
unset WAYLAND_DISPLAY

mkdir -p "$work/icons"
cp data/nuvokrc.svg "$work/icons/"
cat >"$work/dunstrc" <<END
[global]
    font = FreeSans 13
    width = 300
    frame_width = 2
    frame_color = "#6c8ebf"
    separator_height = 0
    padding = 12
    horizontal_padding = 12
    icon_position = left
    min_icon_size = 40
    max_icon_size = 40
    icon_path = $work/icons
    progress_bar = true
    progress_bar_height = 10
    progress_bar_frame_width = 1
    notification_limit = 0
    idle_threshold = 1
[urgency_low]
    background = "#26303d"
    foreground = "#eef2f6"
    highlight = "#7fb3e6"
[nuvokrc]
    appname = NUVOKrc
    set_transient = no
END
dunst -config "$work/dunstrc" -print >"$work/dunst.out" 2>"$work/dunst.log" &
pids+=($!)
waitFor "the start of dunst" dunstctl debug
# Held back while the window's picture is taken.
dunstctl set-paused true

# A stand-in for the video player, found by its title as a real one would be.
xmessage -title "holiday.mkv - VLC media player" -geometry 300x80+460+40 \
    "the video player" >/dev/null 2>&1 &
pids+=($!)
waitFor "the stand-in player window" xdotool search --name "VLC media player"

port=47653
# Beside the user's own NUVOKrc, should one run with the same settings.
"$build/bin/nuvokrc" -port "$port" --log-stderr --new-instance 2>"$work/log.txt" &
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
root=$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')
frameOf() {
    local frame=$1 parent
    while :; do
        parent=$(xwininfo -tree -id "$frame" | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p')
        [ -z "$parent" ] || [ "$((parent))" -eq "$((root))" ] && break
        frame=$parent
    done
    echo "$frame"
}
shoot() { # shoot WINDOW FILE: the framed window as a PNG
    mkdir -p "$(dirname "$2")"
    xwd -silent -id "$(frameOf "$1")" | xwdtopnm 2>/dev/null | pnmtopng -compression 9 >"$2"
    echo "screenshot: $2"
}
shoot "$window" "$output"

# The volume bubble: from 40 %, a few Up keys in the video mode replace
# whatever bubble waited with one that says the level. The picture is taken
# once dunst shows that one bubble alone, at the level of the last key.
pactl set-sink-volume @DEFAULT_SINK@ 40%
dunstctl set-paused false
steps=$(grep -c '^Vol+$' "$work/log.txt" || true)
send menu right up up up
stepsMade() { [ "$(grep -c '^Vol+$' "$work/log.txt")" -ge $((steps + 3)) ]; }
waitFor "the three volume steps" stepsMade
level=$(pactl get-sink-volume @DEFAULT_SINK@ | grep -o '[0-9]*%' | head -n1)
lastSummary() { sed -n "s/^[[:space:]]*summary: '\(.*\)'$/\1/p" "$work/dunst.out" | tail -n1; }
bubbleShown() {
    [ "$(lastSummary)" = "Volume ${level%\%} %" ] && [ "$(dunstctl count displayed)" = 1 ] &&
        [ "$(dunstctl count waiting)" = 0 ] && xdotool search --onlyvisible --class Dunst
}
waitFor "the volume bubble" bubbleShown
bubble=$(xdotool search --onlyvisible --class Dunst | head -n1)
mkdir -p "$(dirname "$bubbleOutput")"
xwd -silent -id "$bubble" | xwdtopnm 2>/dev/null | pnmtopng -compression 9 >"$bubbleOutput"
echo "screenshot: $bubbleOutput ($(lastSummary))"
# Options > Settings… (Ctrl+,), turned to the controller's page.
dunstctl close-all
xdotool windowactivate --sync "$window" key --clearmodifiers ctrl+comma
settingsOpen() { xdotool search --onlyvisible --name "^NUVOKrc Settings$"; }
waitFor "the opening of the settings window" settingsOpen
settings=$(settingsOpen | head -n1)
xdotool windowactivate --sync "$settings" key --clearmodifiers ctrl+Tab mousemove 790 300
sleep 1
shoot "$settings" "$settingsOutput"

echo "screenshot: log of the run:"
sed 's/^/  /' "$work/log.txt"
