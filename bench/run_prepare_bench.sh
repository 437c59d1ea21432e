#!/usr/bin/env bash
# Runs the package preparation benchmark under Wine in the built trees (scripts/build.sh first).
#   bench/run_prepare_bench.sh [iterations]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMOR_BUILD_DIR:-$top/build}
export WINE_BENCH_ROOT=${WINE_BENCH_ROOT:-$build/wine}
bench="$top/tests/wine/bench.sh"
"$bench" start
for tree in win32 win64; do
  exe="$build/$tree/bench/prepare_bench.exe"
  [ -f "$exe" ] || { echo "missing $exe: run scripts/build.sh" >&2; exit 1; }
  "$bench" run -- "$exe" "$@"
done
