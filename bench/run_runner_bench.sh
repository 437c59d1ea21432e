#!/usr/bin/env bash
# Runs the runner benchmark under Wine with the 32-bit and the 64-bit engine and prints its figures.
#   bench/run_runner_bench.sh [rounds]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMOR_BUILD_DIR:-$top/build}
export WINE_BENCH_ROOT=${WINE_BENCH_ROOT:-$build/wine}
bench="$top/tests/wine/bench.sh"
"$bench" start >/dev/null 2>&1
for tree in win32 win64; do
  exe="$build/$tree/bench/runner_overhead_bench.exe"
  installer="$build/$tree/tests/wine/runner/scripted_installer.exe"
  [ -f "$exe" ] || { echo "missing $exe (run scripts/build.sh)"; continue; }
  "$bench" run -- "$exe" "Z:$installer" "${1:-30}"
done
