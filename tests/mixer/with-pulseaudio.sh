#!/usr/bin/env bash
# Runs a command against a private PulseAudio server that has one null sink
# "spk" and one null source "mic" as its defaults, and stops the server
# afterwards. Exits with 77 (skipped) when no server can be started here
# (a failure under ./dev.sh test: see scripts/skip.sh).
#   with-pulseaudio.sh [--alsa] COMMAND [ARGS...]
# --alsa: the command reaches the server through ALSA's "default" device, so
# ALSA's PulseAudio plugin must be installed as well.
set -u

. "$(dirname "$0")/../../scripts/skip.sh"

needAlsa=0
if [ "${1:-}" = --alsa ]; then
    needAlsa=1
    shift
fi

command -v pulseaudio >/dev/null || skip "pulseaudio is not installed (Debian package pulseaudio)"
command -v pactl >/dev/null || skip "pactl is not installed (Debian package pulseaudio-utils)"
if [ "$needAlsa" = 1 ] && ! ls /usr/lib/*/alsa-lib/libasound_module_ctl_pulse.so >/dev/null 2>&1; then
    skip "ALSA's PulseAudio plugin is not installed (Debian package libasound2-plugins)"
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/nuvokrc-pulse.XXXXXX") || skip "no temporary directory"
mkdir -p "$dir/runtime" "$dir/home"
chmod 700 "$dir/runtime"

stopServer() {
    local pidFile="$dir/runtime/pulse/pid"
    if [ -f "$pidFile" ]; then
        local pid
        pid=$(cat "$pidFile")
        if [ -n "$pid" ] && kill "$pid" 2>/dev/null; then
            for _ in $(seq 50); do
                kill -0 "$pid" 2>/dev/null || break
                sleep 0.1
            done
        fi
    fi
    rm -rf "$dir"
}
trap stopServer EXIT

# Everything of this run stays in the private directory: the server's socket
# and cookie, and no ~/.asoundrc or client.conf of the user changes the result.
export HOME="$dir/home"
export XDG_RUNTIME_DIR="$dir/runtime"
export XDG_CONFIG_HOME="$dir/home/.config"
export PULSE_SERVER="unix:$dir/runtime/pulse/native"
unset PULSE_SINK PULSE_SOURCE ALSA_CONFIG_PATH

# As root PulseAudio warns that it is meant for a user session but runs.
if ! pulseaudio --daemonize=yes --exit-idle-time=-1 -n --realtime=no --high-priority=no \
    --log-target="file:$dir/pulse.log" \
    --load="module-null-sink sink_name=spk" \
    --load="module-null-source source_name=mic" \
    --load="module-native-protocol-unix auth-anonymous=1" 2>"$dir/start.err"; then
    skip "PulseAudio could not be started: $(tail -n 3 "$dir/pulse.log" "$dir/start.err" 2>/dev/null | tr '\n' ' ')"
fi

ready=0
for _ in $(seq 100); do
    if pactl info >/dev/null 2>&1; then
        ready=1
        break
    fi
    sleep 0.1
done
[ "$ready" = 1 ] || skip "PulseAudio started but does not answer: $(tail -n 3 "$dir/pulse.log" | tr '\n' ' ')"

pactl set-default-sink spk && pactl set-default-source mic ||
    skip "the test sink and source could not be made the defaults"

"$@"
