#!/usr/bin/env bash
# Installs a build into a private prefix and checks what a desktop needs:
# both programs run from bin/, the desktop entry passes desktop-file-validate
# and names an installed program and icon, the icons, the manual page, the
# copyright and the AppStream entry (with appstreamcli) are well formed.
# Usage: check-install.sh BUILD_DIR PREFIX
# Exits 77 (skipped) when desktop-file-validate is not installed (a failure
# under ./dev.sh test: see skip.sh).
set -u
build=$1
prefix=$2

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

. "$(dirname "$0")/skip.sh"
command -v desktop-file-validate >/dev/null ||
    skip "desktop-file-validate is not installed (Debian: desktop-file-utils; ./dev.sh test installs it)"

rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >"$build/install-test.log" 2>&1 ||
    { cat "$build/install-test.log" >&2; fail "cmake --install into $prefix failed"; }

entry=$prefix/share/applications/nuvokrc.desktop
png=$prefix/share/icons/hicolor/64x64/apps/nuvokrc.png
svg=$prefix/share/icons/hicolor/scalable/apps/nuvokrc.svg
manual=$prefix/share/man/man1/nuvokrc.1
copyright=$prefix/share/doc/nuvokrc/copyright
for file in "$prefix/bin/nuvokrc" "$prefix/bin/nuvok-send" "$entry" "$png" "$svg" "$manual" \
    "$copyright"; do
    [ -f "$file" ] || fail "${file#"$prefix"/} was not installed"
done
for program in nuvokrc nuvok-send; do
    [ -x "$prefix/bin/$program" ] || fail "bin/$program is not executable"
done

# Both programs answer without a display and without sending anything.
version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/nuvokrc" --version) ||
    fail "nuvokrc --version failed"
[[ $version == "nuvokrc "[0-9]* ]] || fail "nuvokrc --version printed '$version'"
"$prefix/bin/nuvok-send" --help | grep -q '^Usage: nuvok-send' || fail "nuvok-send --help failed"

# Hints (such as two main categories) are allowed; errors and warnings are not.
report=$(desktop-file-validate "$entry" 2>&1)
status=$?
[ -n "$report" ] && echo "$report"
[ $status -eq 0 ] || fail "desktop-file-validate rejected the entry"
if grep -Eq ': (error|warning):' <<<"$report"; then
    fail "desktop-file-validate found problems in the entry"
fi

value() { sed -n "s/^$1=//p" "$entry" | head -n1; }
[ "$(value Name)" = "NUVOK Remote Control" ] || fail "Name is '$(value Name)'"
exec_program=$(value Exec | cut -d' ' -f1)
[ -x "$prefix/bin/$exec_program" ] || fail "Exec starts '$exec_program', which is not installed in bin/"
icon=$(value Icon)
[ "$icon.png" = "$(basename "$png")" ] && [ "$icon.svg" = "$(basename "$svg")" ] ||
    fail "Icon '$icon' does not name the installed theme icons"
categories=$(value Categories)
for category in AudioVideo Utility; do
    [[ ";$categories" == *";$category;"* ]] || fail "Categories '$categories' lack $category"
done

# A PNG of 64 by 64 pixels: the signature, then width and height in IHDR.
[ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
    fail "the 64x64 icon is not a PNG"
size=$(od -An -tu1 -j16 -N8 "$png" | tr -s ' ' | sed 's/^ //')
[ "$size" = "0 0 0 64 0 0 0 64" ] || fail "the 64x64 icon has the size bytes '$size'"
grep -q '<svg' "$svg" && grep -q 'viewBox="0 0 64 64"' "$svg" || fail "the scalable icon is no SVG"

# The copyright in Debian's machine-readable form, with the licence's text.
[ "$(head -n 1 "$copyright")" = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
    fail "share/doc/nuvokrc/copyright is not in Debian's machine-readable form"
grep -q '^Files: \*$' "$copyright" && grep -q '^License: Expat$' "$copyright" ||
    fail "share/doc/nuvokrc/copyright does not give the project's files the MIT (Expat) licence"

# The AppStream entry, with the desktop entry it names.
if command -v appstreamcli >/dev/null; then
    "$(dirname "$0")/check-metainfo.sh" "$prefix" "${version#nuvokrc }" || exit 1
else
    echo "appstreamcli is not installed (Debian: appstream); the AppStream entry was not validated"
    [ -f "$prefix/share/metainfo/org.example.nuvokrc.metainfo.xml" ] ||
        fail "share/metainfo/org.example.nuvokrc.metainfo.xml was not installed"
fi

# The manual page formats without a single warning.
if command -v groff >/dev/null; then
    warnings=$(groff -man -Tutf8 -ww -z "$manual" 2>&1)
    [ -z "$warnings" ] || fail "the manual page has formatting problems: $warnings"
    text=$(groff -man -Tutf8 "$manual" 2>/dev/null | sed 's/.\x08//g')
    for wanted in -port --log-stderr --help --version NUVOKrc.conf portNum Protocol autostart; do
        grep -q -- "$wanted" <<<"$text" || fail "the manual page does not mention $wanted"
    done
else
    echo "groff is not installed (Debian: groff-base); the manual page was not formatted"
fi
echo "installed and checked in $prefix"
