#!/usr/bin/env bash
# The key map of the manual page must be the usage card the program shows.
# Usage: check-keymap.sh NUVOKRC_ASSETS MANUAL_PAGE
set -u
assets=$1
manual=$2

card=$("$assets" usage) || { echo "FAIL: $assets usage failed" >&2; exit 1; }
# The manual's block between its keymap markers, as written (no roff requests inside).
manual_map=$(sed -n '/^\.\\" keymap begin$/,/^\.\\" keymap end$/p' "$manual" | sed '1d;$d')
[ -n "$manual_map" ] || { echo "FAIL: no key map block in $manual" >&2; exit 1; }
if grep -q '^[.'"'"']' <<<"$manual_map"; then
    echo "FAIL: a key map line of the manual starts with a roff control character" >&2
    exit 1
fi
# The card's key map: everything between its title line and its author line,
# without the blank lines that set them apart.
card_map=$(sed '1d;$d' <<<"$card" | sed '/./,$!d' | tac | sed '/./,$!d' | tac)
if [ "$card_map" != "$manual_map" ]; then
    echo "FAIL: the manual's key map differs from the usage card:" >&2
    diff <(echo "$card_map") <(echo "$manual_map") >&2
    exit 1
fi
echo "the manual's key map is the usage card ($(wc -l <<<"$manual_map") lines)"
