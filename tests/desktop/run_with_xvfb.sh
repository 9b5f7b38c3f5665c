#!/usr/bin/env bash
# Runs a test program on a private Xvfb display with the icewm window manager.
# Exits 77 (skipped) only when Xvfb itself cannot be started.
set -u
tmp=$(mktemp -d)
xvfb_pid=""
wm_pid=""
cleanup() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

if ! command -v Xvfb >/dev/null; then
    echo "Xvfb is not installed; skipping" >&2
    exit 77
fi
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$tmp/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
if [ ! -s "$tmp/display" ]; then
    echo "Xvfb could not start; skipping" >&2
    cat "$tmp/xvfb.log" >&2
    exit 77
fi
export DISPLAY=":$(head -n1 "$tmp/display")"
unset WAYLAND_DISPLAY

HOME="$tmp" icewm >"$tmp/wm.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.1
done
if ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then
    echo "the window manager did not start" >&2
    cat "$tmp/wm.log" >&2
    exit 1
fi

"$@"
