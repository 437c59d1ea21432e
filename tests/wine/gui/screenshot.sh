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
# Unix paths reach Wine programs as Z: paths.
"$top/tests/wine/bench.sh" run --display -- "$build/win32/tests/wine/gui/app_screenshot.exe" "Z:${tmp//\//\\}\\dialog.bmp"
convert "$tmp/dialog.bmp" "$out"
echo "$out"
