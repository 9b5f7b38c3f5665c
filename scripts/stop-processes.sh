# Sourced by the private-desktop launchers.
# stop_processes PID...: asks each process to end, the last started first,
# and kills whatever is left after five seconds (some window managers and
# compositors outlive a TERM), so that a desktop never outlives its command.
stop_processes() {
    local pids=("$@") pid left i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null
    done
    for _ in $(seq 50); do
        left=0
        for pid in "${pids[@]}"; do
            kill -0 "$pid" 2>/dev/null && left=1
        done
        [ "$left" = 0 ] && break
        sleep 0.1
    done
    for pid in "${pids[@]}"; do
        kill -9 "$pid" 2>/dev/null
    done
    return 0
}
