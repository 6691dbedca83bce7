#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks that the menu entry,
# the icons, the AppStream data, vantor-cli and its manual page land in their standard places and pass
# the freedesktop validators. Skipped where the validators are missing.
set -u
build=$1
if ! command -v desktop-file-validate >/dev/null || ! command -v appstreamcli >/dev/null; then
    echo "desktop-file-validate or appstreamcli missing: skipped"
    exit 77
fi
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null || exit 1

status=0
expect() {
    if [ -e "$prefix/$1" ]; then echo "installed: $1"; else echo "MISSING: $1"; status=1; fi
}
expect bin/vantor
expect bin/vantor-cli
expect share/man/man1/vantor-cli.1
expect share/applications/org.vantor.Vantor.desktop
expect share/metainfo/org.vantor.Vantor.metainfo.xml
for size in 16 32 48 128 256 512; do
    expect share/icons/hicolor/${size}x${size}/apps/vantor.png
done
expect share/icons/hicolor/scalable/apps/vantor.svg

desktop-file-validate "$prefix/share/applications/org.vantor.Vantor.desktop" || status=1
appstreamcli validate --no-net "$prefix/share/metainfo/org.vantor.Vantor.metainfo.xml" || status=1
# The entry starts the installed program under the name the icons carry.
grep -qx 'Exec=vantor' "$prefix/share/applications/org.vantor.Vantor.desktop" || { echo "Exec is not vantor"; status=1; }
grep -qx 'Icon=vantor' "$prefix/share/applications/org.vantor.Vantor.desktop" || { echo "Icon is not vantor"; status=1; }
# The manual page renders without a warning from groff.
if command -v groff >/dev/null; then
    warnings=$(groff -man -Tutf8 -ww -z "$prefix/share/man/man1/vantor-cli.1" 2>&1)
    [ -z "$warnings" ] || { echo "man page: $warnings"; status=1; }
fi
exit $status
