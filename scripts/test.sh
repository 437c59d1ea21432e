#!/usr/bin/env bash
# Builds everything and runs every test: host (GoogleTest, ASan/UBSan), then the Windows test
# programs under Wine, 32-bit and 64-bit. Installs what it needs first (Debian 12, as root or with sudo).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMOR_BUILD_DIR:-$top/build}
"$top/scripts/setup.sh"
"$top/scripts/build.sh"

status=0
ctest --test-dir "$build/host" --output-on-failure -j 2 || status=1
for tree in win32 win64; do
  ctest --test-dir "$build/$tree" --output-on-failure -j 2 ${CTEST_ARGS:-} || status=1
done
"$top/tests/wine/bench.sh" stop || true
exit $status
