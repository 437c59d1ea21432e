#!/usr/bin/env bash
# Runs one benchmark under Wine with the 32-bit and the 64-bit build and prints its figures
# (scripts/build.sh first). Benchmarks are not tests: run them while no test runs.
#   bench/run.sh enum [iterations] [device counts...]   enumeration against a bare walk (plants devices)
#   bench/run.sh prepare [iterations]                    package preparation against writing the bytes
#   bench/run.sh runner [rounds]                         engine overhead per scripted installation
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMOR_BUILD_DIR:-$top/build}
export WINE_BENCH_ROOT=${WINE_BENCH_ROOT:-$build/wine}
bench="$top/tests/wine/bench.sh"
which=${1:-}; shift || true
case "$which" in
  enum) program=enum_bench ;;
  prepare) program=prepare_bench ;;
  runner) program=runner_overhead_bench ;;
  *) sed -n '2,6p' "$0" >&2; exit 2 ;;
esac
"$bench" start >/dev/null 2>&1
for tree in win32 win64; do
  exe="$build/$tree/bench/$program.exe"
  [ -f "$exe" ] || { echo "missing $exe: run scripts/build.sh" >&2; exit 1; }
  if [ "$which" = runner ]; then
    "$bench" run -- "$exe" "Z:$build/$tree/tests/wine/runner/scripted_installer.exe" "${1:-30}"
  else
    "$bench" run -- "$exe" "$@"
  fi
done
