#!/usr/bin/env bash
# Runs the tool under Wine with one simulated Korvex probe attached (its interfaces without
# drivers), after setting up the machine and building what the run needs.
#   scripts/run.sh [--refresh-readme-picture]
# With $DISPLAY set, the dialog opens on that display and the script returns when it is closed.
# Without one, the app runs on the bench's Xvfb display for a few seconds and a picture of the
# dialog is saved to build/screenshot.png (to docs/screenshot.png, the README's picture, with
# --refresh-readme-picture).
# A host that cannot execute i386 Linux programs runs only 64-bit Windows programs under Wine: there
# the 64-bit test build of the app runs instead of the shipped 32-bit one.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMOR_BUILD_DIR:-$top/build}
export WINE_BENCH_ROOT=${WINE_BENCH_ROOT:-$build/wine}
bench=$top/tests/wine/bench.sh
out=$build/screenshot.png
case "${1:-}" in
  "") ;;
  --refresh-readme-picture) out=$top/docs/screenshot.png ;;
  *) echo "usage: scripts/run.sh [--refresh-readme-picture]" >&2; exit 2 ;;
esac

# Every step names itself and what to do when it fails, so that no failure ends in a bare status.
step= fix=
on_error() {
  local status=$?
  [ "$BASH_SUBSHELL" -eq 0 ] || exit "$status"  # reported once, by the script itself
  echo "run.sh: failed while $step (exit status $status)." >&2
  echo "  To fix: $fix" >&2
  exit "$status"
}
trap on_error ERR
set -E
doing() { step=$1; fix=$2; }

doing "installing the toolchain, Wine and Xvfb (scripts/setup.sh)" \
  "run it as root or with sudo available, on Debian 12 with network access; apt-get's output above says what it could not install"
"$top/scripts/setup.sh"

doing "checking which Windows programs Wine can run here" \
  "make sure the wine64 package is installed (scripts/setup.sh); $bench host repeats the check"
host=$("$bench" host)
tree=win32
if [ "$host" = 64-only ]; then
  tree=win64
  echo "Mode: 64-bit only ($("$bench" reason)): running the 64-bit test build of the app; the shipped app is the 32-bit build."
else
  echo "Mode: normal: running the shipped 32-bit app."
fi

doing "building the app, the probe lab and the screenshot tool ($tree)" \
  "the compiler output above names the file and line; scripts/build.sh --for-run $tree repeats the build"
"$top/scripts/build.sh" --for-run "$tree"

app=$build/$tree/app/Velmor_VirtualCOM_DriverInstall.exe
lab=$build/$tree/tests/lab/probe_lab.exe
shooter=$build/$tree/tests/wine/gui/app_screenshot.exe
instance=1A2B3C4D

doing "starting the Wine prefix and the Xvfb display (tests/wine/bench.sh)" \
  "see $WINE_BENCH_ROOT/wineboot-x11.log; '$bench stop', then 'rm -rf $WINE_BENCH_ROOT' and run again to make the prefix anew"
user_display=${DISPLAY:-}
# What this script starts (the bench's Xvfb and wineservers) it stops again at the end, unless the
# bench was already up (a test run, say): then it is left as it was found.
bench_was_up=0
if [ -f "$WINE_BENCH_ROOT/xvfb.pid" ] && kill -0 "$(cat "$WINE_BENCH_ROOT/xvfb.pid")" 2>/dev/null; then
  bench_was_up=1
fi
leave() { [ "$bench_was_up" = 1 ] || "$bench" stop >/dev/null 2>&1 || true; }
trap leave EXIT
# The prefix with Wine's x11 driver; its environment points DISPLAY at the bench's Xvfb and PATH at
# a "wine" that uses the right loader for this host.
bench_env=$("$bench" env --kind x11)
eval "$bench_env"
if [ -n "$user_display" ]; then export DISPLAY=$user_display; fi

unplug() { wine "$lab" unplug --instance "$instance" >/dev/null 2>&1 </dev/null || true; }
doing "attaching the simulated probe (probe_lab.exe plant-probe)" \
  "'$bench stop' and run again; if it persists, remove $WINE_BENCH_ROOT/prefix-x11 to make the prefix anew"
trap 'unplug; leave' EXIT
wine "$lab" plant-probe --instance "$instance" >/dev/null 2>&1 </dev/null

if [ -n "$user_display" ]; then
  doing "running the app on $DISPLAY" "check that $DISPLAY accepts X clients (xhost, XAUTHORITY), or unset DISPLAY to run on Xvfb"
  echo "Velmor Korvex driver installer on $DISPLAY, probe UID 6&$instance&0 attached (close the dialog to end)"
  wine "$app" </dev/null
else
  tmp=$(mktemp -d)
  trap 'unplug; rm -rf "$tmp"; leave' EXIT
  doing "running the app on Xvfb and capturing its window (app_screenshot.exe)" \
    "'$bench stop' and run again; the dialog must appear within the tool's wait"
  # Starts the app, lets it refresh, saves its window and closes it.
  wine "$shooter" "Z:${tmp//\//\\}\\dialog.bmp" </dev/null
  doing "converting the picture (ImageMagick convert)" "install imagemagick (scripts/setup.sh)"
  mkdir -p "$(dirname "$out")"
  convert "$tmp/dialog.bmp" "$out"
  echo "No display: the app ran on Xvfb ($DISPLAY); screenshot saved to $out"
fi
