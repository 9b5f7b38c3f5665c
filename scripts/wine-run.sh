#!/usr/bin/env bash
# Runs a cross-built Windows test program under Wine with a private prefix.
set -eu
export WINEPREFIX="${NUVOKRC_WINEPREFIX:-${TMPDIR:-/tmp}/nuvokrc-wine}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
exec wine "$@"
