#!/usr/bin/env bash
# Builds and tests this source tree on a fresh Debian of the named
# release, as a new user of the README would: a minimal chroot made with
# debootstrap from the package source this machine uses, then
# "./dev.sh test" in it for the test preset's suite (the sanitizers, fuzzing,
# Wine and the package stay with the host). The tree goes in as
# scripts/copy-source-tree.sh copies it: the committed tree (HEAD) of a git
# checkout, else the working tree's files (a tarball, or no git). Prints one
# line with the verdict, which says which of the two it was.
#   check-debian.sh RELEASE [COMMAND]
# RELEASE    bookworm (12) or trixie (13)
# COMMAND    the dev.sh command to run there instead, e.g. asan or wine (its
#            arguments may follow)
# Needs root and debootstrap. The downloaded packages are kept in
# $NUVOKRC_DEBIAN_CACHE/RELEASE (default /var/cache/nuvokrc-debian), so a
# second run downloads nothing; the chroot itself is removed after each run.
# The whole log is kept in that folder as last-run.log.
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-}" in
bookworm | 12) release=bookworm ;;
trixie | 13) release=trixie ;;
*)
    sed -n '2,/^set /{/^#/p}' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
    ;;
esac
shift
command=("${@:-test}")
[ "$(id -u)" -eq 0 ] || { echo "check-debian: $release needs root (chroot, mounts)" >&2; exit 2; }
command -v debootstrap >/dev/null || { echo "check-debian: debootstrap is not installed" >&2; exit 2; }

# The Debian mirror that apt on this machine uses (not its security source).
mirror() {
    local uri
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        uri=$(awk '/^URIs:/ { for (i = 2; i <= NF; i++) if ($i !~ /security/) { print $i; exit } }' \
            /etc/apt/sources.list.d/debian.sources)
    fi
    if [ -z "${uri:-}" ] && [ -f /etc/apt/sources.list ]; then
        uri=$(awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /:\/\//) { if ($i !~ /security/) print $i; break } }' \
            /etc/apt/sources.list | head -n 1)
    fi
    [ -n "${uri:-}" ] || { echo "check-debian: no Debian mirror found in apt's sources" >&2; exit 2; }
    echo "$uri"
}
uri=$(mirror)

cache=${NUVOKRC_DEBIAN_CACHE:-/var/cache/nuvokrc-debian}/$release
mkdir -p "$cache/debootstrap" "$cache/apt/partial"
log=$cache/last-run.log
# One run of a release at a time: the package cache is shared.
exec 9>"$cache/lock"
flock 9
root=$(mktemp -d /var/tmp/nuvokrc-$release.XXXXXX)
# mktemp makes the folder for its owner only; as the chroot's / it must be
# open to every user, as / is: the desktop tests run their compositors as an
# unprivileged user, which could otherwise reach no program at all.
chmod 755 "$root"
tools=""
start=$SECONDS
copied=$(scripts/copy-source-tree.sh --method)

# Unmounts whatever is mounted in the chroot, the deepest first; the chroot
# is removed only when nothing is mounted in it any more, so that a stuck mount
# never lets rm reach /dev or the package cache.
cleanup() {
    local target
    for target in $(awk -v root="$root/" 'index($2, root) == 1 { print $2 }' /proc/self/mounts |
        sort -r); do
        umount "$target" 2>/dev/null || umount -l "$target" 2>/dev/null || true
    done
    if ! grep -q " $root/" /proc/self/mounts; then
        rm -rf --one-file-system "$root"
    else
        echo "check-debian: $root is left behind: something is still mounted in it" >&2
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

bind() { # SOURCE TARGET [MOUNT-OPTIONS...]
    mkdir -p "$2"
    mount "${@:3}" "$1" "$2"
}

verdict() {
    echo "check-debian: Debian $release${tools:+ ($tools)}, tree from $copied: $1 in $(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s (log: $log)"
}

run() {
    debootstrap --variant=minbase --cache-dir="$cache/debootstrap" "$release" "$root" "$uri"
    bind proc "$root/proc" -t proc
    bind sysfs "$root/sys" -t sysfs
    # The host's devices, kept private: a mount below them (dev/shm) must not
    # spread to the host's /dev where mounts are shared (systemd).
    bind /dev "$root/dev" --bind
    mount --make-private "$root/dev"
    bind /dev/pts "$root/dev/pts" --bind
    mount --make-private "$root/dev/pts"
    bind tmpfs "$root/dev/shm" -t tmpfs -o mode=1777
    bind "$cache/apt" "$root/var/cache/apt/archives" --bind
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    # An installed Debian names localhost in /etc/hosts; a minimal chroot may
    # have no such file, and then "localhost" is not 127.0.0.1 there.
    [ -s "$root/etc/hosts" ] || printf '127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n' \
        >"$root/etc/hosts"
    scripts/copy-source-tree.sh "$root/src/nuvokrc"
    # The chroot's apt keeps what it downloads, in the bound cache.
    echo 'APT::Keep-Downloaded-Packages "true";' >"$root/etc/apt/apt.conf.d/90keep"
    chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        NUVOKRC_TEST_ONLY=suite CI="${CI:-}" \
        /bin/bash -c 'cd /src/nuvokrc && exec ./dev.sh "$@"' dev.sh "${command[@]}" 9>&-
}

echo "check-debian: Debian $release from $uri, tree from $copied: ./dev.sh ${command[*]} (log: $log)"
# In a subshell of its own with errexit, so that any failing step fails the
# run (a function called as a condition would ignore errexit).
set +e
(
    set -e
    run
) >"$log" 2>&1
status=$?
set -e
# What the verdict was reached with.
tools=$(chroot "$root" dpkg-query -W -f='${Package} ${Version}, ' qt6-base-dev g++ cmake 2>/dev/null |
    sed 's/, $//' || true)
# ctest's counts, and what it did not run: a skip passes in ctest's own
# summary, so the tests that ran and those that did not are named apart.
suiteSummary() {
    local total skipped wayland
    total=$(grep -E '^[0-9]+% tests passed' "$log" | tail -n 1 | grep -oE '[0-9]+$' || true)
    [ -n "$total" ] || return 0
    skipped=$(sed -n '/^The following tests did not run:/,/^$/p' "$log" |
        sed -nE 's/^[[:space:]]*[0-9]+ - ([^ ]+) .*/\1/p' | paste -sd ' ' -)
    wayland=$(grep -oE 'Test +#[0-9]+: test_wayland_[a-z0-9_]+ [.]* +Passed' "$log" |
        awk '{ print $3 }' | sort -u | paste -sd ' ' -)
    printf '%s' "$(($total - $(echo "$skipped" | wc -w)))/$total run and passed"
    [ -z "$skipped" ] || printf ', not run: %s' "$skipped"
    printf ', Wayland tests run: %s' "${wayland:-none}"
}
if [ "$status" -eq 0 ]; then
    summary=$(suiteSummary)
    verdict "PASSED${summary:+ ($summary)}"
else
    tail -n 40 "$log" >&2
    verdict "FAILED"
    exit 1
fi
