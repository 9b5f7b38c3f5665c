#!/usr/bin/env bash
# A wrapper that cannot give a test its world: by hand the test is skipped
# (77) with the reason; under ./dev.sh test (NUVOKRC_NO_SKIPS=1) it fails and
# says why. Checked on the wrappers themselves, each lacking a program it needs.
#   test_skip.sh SOURCE_DIR
set -uo pipefail
source_dir=$1
. "$(dirname "$0")/harness.sh"

# A PATH with bash and the basic tools only, so that the desktop and sound
# programs are missing.
mkdir "$work/bin"
for tool in bash sh env dirname cat mktemp id tail tr seq sleep rm mkdir ls; do
    ln -s "$(command -v "$tool")" "$work/bin/$tool"
done

# expect NO_SKIPS STATUS TEXT WRAPPER ARGS...: runs the wrapper around `true`
# and checks its status and that its message gives the reason.
expect() {
    local noSkips=$1 status=$2 text=$3 got output
    shift 3
    output=$(env -i PATH="$work/bin" NUVOKRC_NO_SKIPS="$noSkips" "$@" true 2>&1)
    got=$?
    [ "$got" = "$status" ] || fail "$* with NUVOKRC_NO_SKIPS=$noSkips: status $got, not $status: $output"
    case "$output" in
    *"$text"*) ;;
    *) fail "$* with NUVOKRC_NO_SKIPS=$noSkips: no '$text' in: $output" ;;
    esac
}

for wrapper in "$source_dir/scripts/private-desktop.sh --wm icewm" \
    "$source_dir/scripts/private-desktop.sh --wm sway" \
    "$source_dir/scripts/private-desktop.sh --wm weston" \
    "$source_dir/tests/mixer/with-pulseaudio.sh"; do
    # shellcheck disable=SC2086 # the wrapper's words
    expect "" 77 "SKIP: " $wrapper
    # shellcheck disable=SC2086
    expect 1 1 "FAILED, not run: " $wrapper
    # shellcheck disable=SC2086
    expect 1 1 "is not installed" $wrapper
done

finish "every wrapper skips by hand and fails under ./dev.sh test, with the reason"
