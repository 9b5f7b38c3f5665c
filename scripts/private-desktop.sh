#!/usr/bin/env bash
# Runs a command on a private desktop: its own Xvfb display and a window
# manager, or a headless Wayland compositor, ended when the command ends. The
# tests, the benchmarks and the screenshot all start their desktops through
# this one script.
#   private-desktop.sh [--wm icewm|fluxbox|openbox|none|sway|weston]
#                      [--screen WxHxD] [--artifacts DIR] COMMAND [ARGS...]
# --wm       the window manager (default icewm); icewm and fluxbox have a
#            notification area, openbox has none; sway (with waybar as its
#            panel, whose tray takes icons over the session bus) and weston
#            (no notification area) are Wayland compositors on their headless
#            back-ends
# --screen   the screen size and depth (default 1024x768x24)
# --artifacts keep the server's and window manager's logs there (default: a
#            temporary folder that is removed afterwards)
# The command sees DISPLAY (X11) or WAYLAND_DISPLAY (Wayland, a full path),
# NUVOKRC_DESKTOP_WM (the window manager's name), NUVOKRC_DESKTOP_TRAY (yes or
# no: whether the desktop has a notification area) and NUVOKRC_DESKTOP_PLATFORM
# (xcb or wayland: the toolkit platform of the desktop); the window manager
# runs with a private HOME of its own. NUVOKRC_DESKTOP_PANEL is the command
# that starts the panel again after the command stopped it: waybar on sway,
# the window manager itself on X11 (whose process is NUVOKRC_DESKTOP_WM_PID). A Wayland desktop also has a private
# XDG_RUNTIME_DIR and session bus (DBUS_SESSION_BUS_ADDRESS); sway adds
# SWAYSOCK for swaymsg and NUVOKRC_DESKTOP_XWAYLAND, the display of its
# XWayland (unset when there is none; DISPLAY itself stays unset). sway does
# not run as root: started as root, the script runs the compositor and the
# command as the unprivileged user nuvokrc-desktop, which it creates when
# missing. Exits with the command's status, or 77 (skipped) when the desktop
# cannot be started here (a failure under ./dev.sh test: see skip.sh).
set -u
. "$(dirname "$0")/skip.sh"

wm=icewm
screen=1024x768x24
artifacts=""
while [ $# -gt 0 ]; do
    case "$1" in
    --wm) wm=$2; shift 2 ;;
    --screen) screen=$2; shift 2 ;;
    --artifacts) artifacts=$2; shift 2 ;;
    --) shift; break ;;
    *) break ;;
    esac
done
[ $# -gt 0 ] || { sed -n '2,/^set /{/^#/p}' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }

case "$wm" in
icewm | fluxbox) tray=yes ;;
openbox | none) tray=no ;;
sway) tray=yes ;;
weston) tray=no ;;
*) echo "private-desktop: unknown window manager '$wm'" >&2; exit 2 ;;
esac
case "$wm" in
sway | weston) exec "$(dirname "$0")/private-wayland.sh" "$wm" "$screen" "$artifacts" "$@" ;;
esac
for tool in Xvfb xprop $([ "$wm" = none ] || echo "$wm"); do
    if ! command -v "$tool" >/dev/null; then
        skip "$tool is not installed (./dev.sh test installs it)"
    fi
done

if [ -n "$artifacts" ]; then
    mkdir -p "$artifacts"
    work=$(realpath "$artifacts")
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/nuvokrc-desktop.XXXXXX")
fi
mkdir -p "$work/wm-home"
pids=()
. "$(dirname "$0")/stop-processes.sh"
cleanup() {
    stop_processes "${pids[@]}"
    wait 2>/dev/null
    [ -n "$artifacts" ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

# Xvfb picks a free display itself and writes its number to the file.
rm -f "$work/display"
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 150); do
    [ -s "$work/display" ] && break
    kill -0 "${pids[0]}" 2>/dev/null || break
    sleep 0.1
done
if ! [ -s "$work/display" ]; then
    echo "private-desktop: Xvfb did not start" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"
unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER

if [ "$wm" != none ]; then
    printf '#!/bin/sh\nHOME=%s exec %s >>%s 2>&1\n' "$work/wm-home" "$wm" "$work/$wm.log" \
        >"$work/panel.sh"
    chmod 755 "$work/panel.sh"
    "$work/panel.sh" &
    pids+=($!)
    export NUVOKRC_DESKTOP_WM_PID=$! NUVOKRC_DESKTOP_PANEL="$work/panel.sh"
    for _ in $(seq 150); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
        sleep 0.1
    done
    if ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then
        echo "private-desktop: $wm did not start" >&2
        cat "$work/$wm.log" >&2
        exit 1
    fi
fi

export NUVOKRC_DESKTOP_WM=$wm NUVOKRC_DESKTOP_TRAY=$tray NUVOKRC_DESKTOP_PLATFORM=xcb
# In the background, with the caller's input, so that a TERM ends the desktop too.
"$@" <&0 &
wait $!
