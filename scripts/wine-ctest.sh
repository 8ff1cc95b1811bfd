#!/usr/bin/env bash
# Runs the tests of a Windows cross build (configured with -DCMAKE_CROSSCOMPILING_EMULATOR set to
# a Wine loader) under Wine, in a prefix of the build's own, without a display.
# Usage: wine-ctest.sh BUILD_DIR [ctest arguments]. WINE names the loader that prepares the prefix:
# wine (the default) for a 32-bit build, /usr/lib/wine/wine64 for a 64-bit one.
#
# One Wine server stays up for the whole run, and the prefix and Wine's own services are started
# once before the first test: a test that started them would hand them its output pipe, and
# ctest would wait for services that never end.
set -euo pipefail
build=$(cd "$1" && pwd)
shift
wine=${WINE:-wine}

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k || true' EXIT

first_start=$SECONDS
"$wine" wineboot --init </dev/null >/dev/null 2>&1
echo "-- Wine prefix ready in $((SECONDS - first_start)) s"

ctest --test-dir "$build" --output-on-failure "$@"
