#!/usr/bin/env bash
# Runs the enumeration benchmark under Wine in the built trees (scripts/build.sh first) and prints
# its figures. Plants device nodes in the bench prefix: do not run it while device tests run.
#   bench/run_enum_bench.sh [iterations] [device counts...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMOR_BUILD_DIR:-$top/build}
export WINE_BENCH_ROOT=${WINE_BENCH_ROOT:-$build/wine}
bench="$top/tests/wine/bench.sh"
"$bench" start
for tree in win32 win64; do
  exe="$build/$tree/bench/enum_bench.exe"
  [ -f "$exe" ] || { echo "missing $exe: run scripts/build.sh" >&2; exit 1; }
  "$bench" run -- "$exe" "$@"
done
