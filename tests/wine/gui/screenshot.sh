#!/usr/bin/env bash
# Saves a PNG of the main dialog: tests/wine/gui/screenshot.sh [out.png] (default docs/dialog.png).
# Runs the app on the bench's Xvfb display (x11 driver, virtual desktop) and captures its window.
set -euo pipefail
top=$(cd "$(dirname "$0")/../../.." && pwd)
out=$(realpath -m "${1:-$top/docs/dialog.png}")
build=${VELMOR_BUILD_DIR:-$top/build}
export WINE_BENCH_ROOT=${WINE_BENCH_ROOT:-$build/wine}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The shipped 32-bit app, or its 64-bit test build where only 64-bit programs run.
tree=win32
[ "$("$top/tests/wine/bench.sh" host)" = 64-only ] && tree=win64
# Unix paths reach Wine programs as Z: paths.
"$top/tests/wine/bench.sh" run --display -- "$build/$tree/tests/wine/gui/app_screenshot.exe" "Z:${tmp//\//\\}\\dialog.bmp"
convert "$tmp/dialog.bmp" "$out"
echo "$out"
