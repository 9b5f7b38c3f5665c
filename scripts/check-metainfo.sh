#!/usr/bin/env bash
# Checks the AppStream entry of an installed tree: appstreamcli validate-tree
# passes it (the entry, and the desktop entry its launchable names, must be
# there), and its newest release is the version the program prints.
#   check-metainfo.sh PREFIX VERSION   (PREFIX: /usr, or a private prefix)
# Needs appstreamcli (Debian: appstream). The one warning let through is the
# missing homepage (AppStream 1.0 and later): the project has no web address
# yet.
set -u
prefix=$1
version=$2
id=org.example.nuvokrc
entry=$prefix/share/metainfo/$id.metainfo.xml

fail() {
    echo "check-metainfo: FAIL: $*" >&2
    exit 1
}

[ -f "$entry" ] || fail "${entry#"$prefix"/} was not installed"
grep -q "<id>$id</id>" "$entry" || fail "$entry does not carry the id $id its name says"
launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$entry")
[ -f "$prefix/share/applications/$launchable" ] ||
    fail "the launchable '$launchable' names no installed desktop entry"
newest=$(sed -n 's:.*<release version="\([^"]*\)".*:\1:p' "$entry" | head -n 1)
[ "$newest" = "$version" ] ||
    fail "the newest release in $id.metainfo.xml is '$newest', the program is $version"

report=$(appstreamcli validate-tree --no-net "$prefix" 2>&1)
status=$?
echo "$report"
if [ $status -ne 0 ]; then
    others=$(grep -E '^ *[EW]: ' <<<"$report" | grep -v ': url-homepage-missing')
    if [ -n "$others" ] || ! grep -q ': url-homepage-missing' <<<"$report"; then
        fail "appstreamcli validate-tree rejected the AppStream entry"
    fi
    echo "check-metainfo: only the homepage is missing; the project has no web address yet"
fi
echo "check-metainfo: $id $newest checked in $prefix"
