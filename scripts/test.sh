#!/usr/bin/env bash
# Builds everything and runs every test: host (GoogleTest, ASan/UBSan), then the Windows test
# programs under Wine, 32-bit and 64-bit. Installs what it needs first (Debian 12, as root or with sudo).
# On a host that cannot execute i386 Linux programs, where wine32 cannot be installed, or with
# VELMOR_NO_IA32=1, the 32-bit Wine tests cannot run: CTest reports them as skipped, and the 64-bit
# tree, which holds every suite, runs whole. The first line after the set-up says which mode runs.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMOR_BUILD_DIR:-$top/build}
export WINE_BENCH_ROOT=${WINE_BENCH_ROOT:-$build/wine}
bench=$top/tests/wine/bench.sh
"$top/scripts/setup.sh"
if [ "$("$bench" host)" = 64-only ]; then
  echo "== Mode: 64-bit only; the win32 tree's Wine tests are skipped: $("$bench" reason). The release checks still read the shipped 32-bit files."
else
  echo "== Mode: normal; both Wine trees run."
fi
"$top/scripts/build.sh"

status=0
# Both Windows trees at once, each on its Wine bench (scripts/build.sh): their tests mostly wait on
# windows, timers and installers, so side by side they take the time of one, and the host tests,
# which compute, run beside them. In the 64-bit-only mode
# the win32 tree's Wine tests skip, and the win64 tree runs as its two shards (cmake/WineTests.cmake)
# side by side instead, the second on a bench of its own. Each run's output is printed whole when all
# are done.
if [ "$("$bench" host)" = 64-only ]; then
  runs=(host win32 win64:a win64:b)
else
  runs=(host win32 win64)
fi
echo "== Testing ${runs[*]} side by side ..."
declare -A pid
for run in "${runs[@]}"; do
  tree=${run%%:*} shard=
  [ "$run" = "$tree" ] || shard=${run#*:}
  select=()
  case "$shard" in
    a) select=(-LE wine-shard-b) ;;
    b) select=(-L wine-shard-b) ;;
  esac
  [ "$shard" = b ] && export WINE_BENCH_SHARD=b
  ctest --test-dir "$build/$tree" --output-on-failure -j 2 "${select[@]}" ${CTEST_ARGS:-} \
    >"$build/ctest-${run/:/-}.log" 2>&1 &
  pid[$run]=$!
  unset WINE_BENCH_SHARD
done
for run in "${runs[@]}"; do
  wait "${pid[$run]}" || status=1
  echo "== $run"
  cat "$build/ctest-${run/:/-}.log"
done
for run in "${runs[@]}"; do
  tree=${run%%:*}
  [ "$tree" = host ] && continue
  root=$(sed -n 's/^VELMOR_WINE_ROOT:PATH=//p' "$build/$tree/CMakeCache.txt")
  shard=
  [ "$run" = "$tree" ] || shard=${run#*:}
  [ "$shard" = b ] || shard=
  WINE_BENCH_SHARD=$shard WINE_BENCH_ROOT=${root:-$WINE_BENCH_ROOT} "$bench" stop || true
done
exit $status
