#!/usr/bin/env bash
# Runs the tool under Wine with one simulated Korvex probe attached (its interfaces without
# drivers), after setting up the machine and building.
#   scripts/run.sh
# With $DISPLAY set, the dialog opens on that display and the script returns when it is closed.
# Without one, the app runs on the bench's Xvfb display for a few seconds and a picture of the
# dialog is saved to docs/screenshot.png.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMOR_BUILD_DIR:-$top/build}
export WINE_BENCH_ROOT=${WINE_BENCH_ROOT:-$build/wine}

"$top/scripts/setup.sh"
"$top/scripts/build.sh"

bench=$top/tests/wine/bench.sh
app=$build/win32/app/Velmor_VirtualCOM_DriverInstall.exe
lab=$build/win32/tests/lab/probe_lab.exe
instance=1A2B3C4D

user_display=${DISPLAY:-}
# The prefix with Wine's x11 driver; its environment points DISPLAY at the bench's Xvfb.
eval "$("$bench" env --kind x11)"
if [ -n "$user_display" ]; then export DISPLAY=$user_display; fi

unplug() { wine "$lab" unplug --instance "$instance" >/dev/null 2>&1 </dev/null || true; }
trap unplug EXIT
wine "$lab" plant-probe --instance "$instance" >/dev/null 2>&1 </dev/null

if [ -n "$user_display" ]; then
  echo "Velmor Korvex driver installer on $DISPLAY, probe UID 6&$instance&0 attached (close the dialog to end)"
  wine "$app" </dev/null
else
  out=$top/docs/screenshot.png
  tmp=$(mktemp -d)
  trap 'unplug; rm -rf "$tmp"' EXIT
  # Starts the app, lets it refresh, saves its window and closes it.
  wine "$build/win32/tests/wine/gui/app_screenshot.exe" "Z:${tmp//\//\\}\\dialog.bmp" </dev/null
  convert "$tmp/dialog.bmp" "$out"
  echo "No display: the app ran on Xvfb ($DISPLAY); screenshot saved to $out"
fi
