#!/usr/bin/env bash
# The Wayland half of private-desktop.sh, which calls it as
#   private-wayland.sh sway|weston WxHxD ARTIFACTS-DIR-OR-EMPTY COMMAND [ARGS...]
# A headless compositor with a private runtime folder and session bus; sway
# with waybar as its panel (its tray module is the notification area, over the
# session bus). Started as root, everything runs as the user nuvokrc-desktop.
# A screenshot of the desktop (grim, sway only) is kept in the artifacts
# folder when one is given. Exits with the command's status, or 77 when the
# desktop cannot start here (a failure under ./dev.sh test: see skip.sh).
set -u

wm=$1
screen=$2
artifacts=$3
shift 3

. "$(dirname "$0")/skip.sh"

case "$wm" in
sway) tools="sway swaymsg waybar dbus-daemon dbus-send" ;;
weston) tools="weston dbus-daemon dbus-send" ;;
*) echo "private-wayland: unknown compositor '$wm'" >&2; exit 2 ;;
esac
for tool in $tools; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (./dev.sh test installs it)"
done
width=${screen%%x*}
height=${screen#*x}
height=${height%%x*}

# The compositor, the panel, the bus and the command all run as one user,
# never as root: sway refuses root, and the session bus lets in its own user.
user=nuvokrc-desktop
runas=()
if [ "$(id -u)" = 0 ]; then
    # Two desktops may start together on a fresh machine: one of them makes
    # the user, and the other waits for it and takes the same one.
    if ! (flock 9 && { id -u "$user" >/dev/null 2>&1 ||
                       useradd --system --user-group --no-create-home --home-dir /nonexistent \
                           --shell /usr/sbin/nologin "$user" 2>/dev/null; }) \
        9>"${TMPDIR:-/tmp}/nuvokrc-desktop-user.lock"; then
        skip "the unprivileged user $user could not be created"
    fi
    command -v setpriv >/dev/null || skip "setpriv is not installed (Debian package util-linux)"
    runas=(setpriv --reuid="$(id -u "$user")" --regid="$(id -g "$user")" --clear-groups --)
    # A root folder closed to other users (a chroot in a private folder)
    # would leave the user no program to run; said at once, not after the
    # session bus's time-out.
    if ! failure=$("${runas[@]}" env true 2>&1); then
        skip "the user $user cannot run programs here (is / or /usr closed to other users?): $failure"
    fi
    owner=$user
else
    owner=$(id -un)
fi

if [ -n "$artifacts" ]; then
    mkdir -p "$artifacts"
    work=$(realpath "$artifacts")
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/nuvokrc-wayland.XXXXXX") || skip "no temporary directory"
fi
runtime="$work/runtime"
mkdir -p "$runtime" "$work/wm-home" "$work/home"
chmod 755 "$work"
chmod 700 "$runtime"
chown "$owner:" "$work" "$runtime" "$work/wm-home" "$work/home" 2>/dev/null

pids=()
. "$(dirname "$0")/stop-processes.sh"
leftovers() {
    local environ pid
    for environ in /proc/[0-9]*/environ; do
        pid=${environ#/proc/}
        pid=${pid%/environ}
        [ "$pid" != $$ ] && [ "$(stat -c %U "/proc/$pid" 2>/dev/null)" = "$owner" ] &&
            tr '\0' '\n' 2>/dev/null <"$environ" | grep -qxF "XDG_RUNTIME_DIR=$runtime" &&
            echo "$pid"
    done
}
cleanup() {
    local pid
    if [ -n "$artifacts" ] && [ "$wm" = sway ] && command -v grim >/dev/null &&
        [ -n "${WAYLAND_DISPLAY:-}" ]; then
        "${runas[@]}" env XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$WAYLAND_DISPLAY" \
            grim "$work/desktop.png" >/dev/null 2>&1
    fi
    stop_processes "${pids[@]}"
    # Whatever the compositor started itself (waybar, Xwayland) goes too: the
    # processes of this desktop's user that run in this desktop's runtime
    # folder (other desktops of the same user run beside this one).
    for pid in $(leftovers); do
        kill -9 "$pid" 2>/dev/null
    done
    wait 2>/dev/null
    [ -n "$artifacts" ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

# waitFor SECONDS COMMAND...: polls the command every tenth of a second.
waitFor() {
    local tenths=$(($1 * 10))
    shift
    for _ in $(seq "$tenths"); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

unset DISPLAY WAYLAND_DISPLAY SWAYSOCK SESSION_MANAGER DBUS_SESSION_BUS_ADDRESS
export XDG_RUNTIME_DIR="$runtime"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/bus"
"${runas[@]}" env HOME="$work/wm-home" dbus-daemon --session --nofork --nopidfile \
    --address="$DBUS_SESSION_BUS_ADDRESS" >"$work/bus.log" 2>&1 &
pids+=($!)
asUser() { "${runas[@]}" env HOME="$work/wm-home" "$@"; }
waitFor 15 asUser dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.GetId || skip "the session bus did not start: $(tail -n 3 "$work/bus.log")"

case "$wm" in
sway)
    cat >"$work/waybar.json" <<EOF
{ "layer": "top", "position": "top", "height": 30,
  "modules-left": [], "modules-center": [], "modules-right": ["tray"],
  "tray": { "icon-size": 20, "spacing": 4 } }
EOF
    cat >"$work/sway.conf" <<EOF
output * resolution ${width}x${height}
xwayland enable
bar {
    swaybar_command $work/waybar.sh
}
EOF
    printf '#!/bin/sh\nexec waybar -c %s "$@" >>%s 2>&1\n' "$work/waybar.json" "$work/waybar.log" \
        >"$work/waybar.sh"
    chmod 644 "$work/waybar.json" "$work/sway.conf"
    chmod 755 "$work/waybar.sh"
    asUser WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
        sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
    pids+=($!)
    swaySocket() {
        local found
        for found in "$runtime"/sway-ipc.*.sock; do
            [ -S "$found" ] && echo "$found" && return 0
        done
        return 1
    }
    if ! waitFor 30 swaySocket; then
        echo "private-desktop: sway did not start" >&2
        tail -n 20 "$work/sway.log" >&2
        skip "sway could not start on its headless back-end"
    fi
    SWAYSOCK=$(swaySocket)
    export SWAYSOCK
    waitFor 15 asUser swaymsg -t get_version || skip "sway does not answer on $SWAYSOCK"
    # The panel's tray is ready when its watcher is on the bus.
    trayReady() {
        asUser dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
            org.freedesktop.DBus.NameHasOwner string:org.kde.StatusNotifierWatcher |
            grep -q "boolean true"
    }
    if ! waitFor 30 trayReady; then
        echo "private-desktop: waybar's tray did not come up" >&2
        tail -n 20 "$work/sway.log" >&2
        exit 1
    fi
    # XWayland's display, as sway gives it to the programs it starts; not
    # passed on as DISPLAY, so that the desktop offers no X11 unless asked.
    asUser swaymsg exec "printf %s \"\$DISPLAY\" >$work/xwayland-display" >/dev/null
    if command -v Xwayland >/dev/null && waitFor 15 test -s "$work/xwayland-display"; then
        NUVOKRC_DESKTOP_XWAYLAND=$(cat "$work/xwayland-display")
        export NUVOKRC_DESKTOP_XWAYLAND
    fi
    ;;
weston)
    asUser weston --no-config --backend=headless-backend.so --socket=wayland-nuvokrc \
        --width="$width" --height="$height" --shell=desktop-shell.so --idle-time=0 \
        --log="$work/weston.log" >"$work/weston.out" 2>&1 &
    pids+=($!)
    if ! waitFor 30 test -S "$runtime/wayland-nuvokrc"; then
        echo "private-desktop: weston did not start" >&2
        tail -n 20 "$work/weston.log" "$work/weston.out" >&2
        skip "weston could not start on its headless back-end"
    fi
    ;;
esac
socket=""
for found in "$runtime"/wayland-*; do
    [ -S "$found" ] && socket=$found && break
done
[ -n "$socket" ] || skip "the compositor made no Wayland socket"
# A full path: the command may move XDG_RUNTIME_DIR (the sound server does).
export WAYLAND_DISPLAY=$socket

export NUVOKRC_DESKTOP_WM=$wm NUVOKRC_DESKTOP_PLATFORM=wayland
if [ "$wm" = sway ]; then
    # Starts the panel again once the command has stopped it.
    export NUVOKRC_DESKTOP_TRAY=yes NUVOKRC_DESKTOP_PANEL="$work/waybar.sh"
else
    export NUVOKRC_DESKTOP_TRAY=no
fi
# The caller's settings folder may not be writable for the desktop's user.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
"${runas[@]}" "$@" <&0 &
wait $!
