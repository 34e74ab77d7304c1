#!/bin/bash
# Installs the build into a temporary prefix and checks that the installed tree works on its
# own: the layout, a tool run from libexec, and the app converting a dropped document.
# Usage: run_install_test.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1
src=$2
prefix=$(mktemp -d /tmp/vorpel-install.XXXXXX)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/vorpelconverter \
         libexec/vorpelconverter/textutil libexec/vorpelconverter/sips \
         libexec/vorpelconverter/say libexec/vorpelconverter/chflags \
         share/vorpelconverter/support/index.html \
         share/applications/vorpelconverter.desktop \
         share/icons/hicolor/scalable/apps/vorpelconverter.svg; do
    [ -e "$prefix/$f" ] || { echo "FAIL: $f not installed"; exit 1; }
done
echo "ok   - installed layout"

printf '{\\rtf1\\ansi Installed \\b tree\\b0 .\\par}' >"$prefix/sample.rtf"
"$prefix/libexec/vorpelconverter/textutil" -convert html "$prefix/sample.rtf"
grep -q "Installed" "$prefix/sample.html" || { echo "FAIL: installed textutil"; exit 1; }
echo "ok   - installed textutil converts"

# The installed app, driven on its own display (skips where Xvfb or xdotool are missing).
"$src/tests/e2e/run_e2e.sh" "$build" "$build/install-screenshots" "$prefix/bin/vorpelconverter"
