#!/usr/bin/env bash
# Copies the source tree this script belongs to into a folder, the way a
# release of it would look: in a git checkout with git at hand the committed
# tree (git archive HEAD); otherwise, as in an unpacked tarball or on a
# machine without git, the working tree's files without .git and without what
# .gitignore names (build/ and the other outputs).
#   copy-source-tree.sh DEST     copy into DEST (made if missing); prints how
#   copy-source-tree.sh --method print how it would copy, and copy nothing
set -euo pipefail
tree=$(cd "$(dirname "$0")/.." && pwd -P)

usage() {
    sed -n '2,/^set /{/^#/p}' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}
[ $# -eq 1 ] || usage

# A git checkout of this very tree: an unpacked tarball that happens to sit
# inside some other repository is not one.
is_checkout() {
    command -v git >/dev/null 2>&1 || return 1
    local top
    top=$(git -C "$tree" rev-parse --show-toplevel 2>/dev/null) || return 1
    [ "$(cd "$top" && pwd -P)" = "$tree" ]
}

# find(1) arguments, in the array "ignored", that match what .gitignore leaves
# out, and .git itself. A pattern with a slash before its end is anchored at
# the top, one without matches a name at any depth, as in git; a trailing
# slash is dropped (only folders carry such names here).
ignored_expression() {
    local line pattern
    ignored=(-name .git)
    [ -f "$tree/.gitignore" ] || return 0
    while IFS= read -r line || [ -n "$line" ]; do
        line=${line%$'\r'}
        case "$line" in
        '' | '#'*) continue ;;
        '!'*)
            echo "copy-source-tree: .gitignore re-includes with '$line', which this copy cannot follow" >&2
            exit 1
            ;;
        esac
        pattern=${line%/}
        if [[ "$pattern" == */* ]]; then
            ignored+=(-o -path "./${pattern#/}")
        else
            ignored+=(-o -name "$pattern")
        fi
    done <"$tree/.gitignore"
}

if is_checkout; then
    method="git archive HEAD"
elif command -v git >/dev/null 2>&1; then
    method="the working tree's files (not a git checkout)"
else
    method="the working tree's files (no git on this machine)"
fi
if [ "$1" = --method ]; then
    echo "$method"
    exit 0
fi
case "$1" in -*) usage ;; esac
dest=$1
mkdir -p "$dest"

if [ "$method" = "git archive HEAD" ]; then
    git -C "$tree" archive HEAD | tar -x -C "$dest"
else
    ignored_expression
    (cd "$tree" && find . \( "${ignored[@]}" \) -prune -o ! -type d -print0) |
        tar -c -C "$tree" --null --no-recursion -T - -f - | tar -x -C "$dest"
fi
echo "$method"
