#!/usr/bin/env bash
# Builds the three trees into build/: win32 (i686), win64 (x86_64) and host, in the order the
# payload needs (both installer builds before anything that carries them), and copies the release
# binaries to dist/.
#   scripts/build.sh [--no-host]
#   scripts/build.sh --for-run TREE   only what scripts/run.sh needs: both installers, then the app,
#                                     the probe lab and the screenshot tool of TREE (win32 or win64)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMOR_BUILD_DIR:-$top/build}
jobs=$(nproc)
with_host=1
run_tree=
case "${1:-}" in
  --no-host) with_host=0 ;;
  --for-run) run_tree=${2:?--for-run needs win32 or win64}; with_host=0 ;;
esac

gen=()
command -v ninja >/dev/null && gen=(-G Ninja)

# Each Windows tree's tests have a Wine bench of their own (prefixes, servers, Xvfb), so that the
# two trees can be tested at the same time; the run command and the benchmarks use build/wine.
wine_root() { if [ "$1" = win32 ]; then echo "$build/wine32"; else echo "$build/wine"; fi; }

configure() {  # tree toolchain
  local tree=$1 toolchain=$2 extra=() stamp=$build/$1/.velmor-toolchain
  if [ -n "$toolchain" ]; then
    extra+=(-DCMAKE_TOOLCHAIN_FILE="$top/cmake/$toolchain")
    # CMake keeps the compilers a tree was first configured with: a tree made with another
    # version of the toolchain file starts from a fresh cache.
    if [ -f "$build/$tree/CMakeCache.txt" ] && ! cmp -s "$top/cmake/$toolchain" "$stamp"; then
      extra+=(--fresh)
    fi
  fi
  cmake -S "$top" -B "$build/$tree" "${gen[@]}" -DCMAKE_BUILD_TYPE=Release "${extra[@]}" \
    -DVELMOR_INSTALLER_X86="$build/win32/installer/installer_x86.exe" \
    -DVELMOR_INSTALLER_X64="$build/win64/installer/installer_x64.exe" \
    -DVELMOR_WINE_ROOT="$(wine_root "$tree")" -DVELMOR_DIST_DIR="$top/dist" \
    ${VELMOR_PAYLOAD_DIR:+-DVELMOR_PAYLOAD_DIR="$VELMOR_PAYLOAD_DIR"} >/dev/null
  if [ -n "$toolchain" ]; then cp "$top/cmake/$toolchain" "$stamp"; fi
}

configure win32 mingw-i686.cmake
configure win64 mingw-x86_64.cmake
# Stage 1: the installer programs the payload carries.
for tree in win32 win64; do
  target=installer_$([ $tree = win32 ] && echo x86 || echo x64)
  if cmake --build "$build/$tree" --target help 2>/dev/null | grep -qE "^(\.\.\. )?$target(:| |$)"; then
    cmake --build "$build/$tree" -j "$jobs" --target "$target"
  fi
done
# Stage 2: everything else (or only what the run command needs).
if [ -n "$run_tree" ]; then
  cmake --build "$build/$run_tree" -j "$jobs" --target Velmor_VirtualCOM_DriverInstall probe_lab app_screenshot
else
  cmake --build "$build/win32" -j "$jobs"
  cmake --build "$build/win64" -j "$jobs"
fi
if [ $with_host = 1 ]; then
  configure host ""
  cmake --build "$build/host" -j "$jobs"
fi

mkdir -p "$top/dist"
for f in "$build/win32/app/Velmor_VirtualCOM_DriverInstall.exe" \
         "$build/win32/installer/installer_x86.exe" "$build/win64/installer/installer_x64.exe"; do
  [ -f "$f" ] && cp -p "$f" "$top/dist/"
done
exit 0
