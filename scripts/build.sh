#!/usr/bin/env bash
# Builds the three trees into build/: win32 (i686), win64 (x86_64) and host, in the order the
# payload needs (both installer builds before anything that carries them), and copies the release
# binaries and the MSI to dist/ with their SHA256SUMS once the app is checked to carry the shipped
# installers.
# The release is signed when VELMOR_SIGN_PKCS12, VELMOR_SIGN_CERT and VELMOR_SIGN_KEY, or
# VELMOR_SIGN_PKCS11_MODULE and the token's key name the vendor's certificate (README).
#   scripts/build.sh [--no-host]
#   scripts/build.sh --for-run TREE   only what scripts/run.sh needs: both installers, then the app,
#                                     the probe lab and the screenshot tool of TREE (win32 or win64)
#   scripts/build.sh --release-only   only the three shipped programs and the MSI, then dist/ (no tests)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMOR_BUILD_DIR:-$top/build}
dist=${VELMOR_DIST_DIR:-$top/dist}
jobs=$(nproc)
with_host=1
run_tree=
release_only=0
usage() { sed -n '7,10p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
case "${1:-}" in
  "") ;;
  --no-host) with_host=0; [ $# -eq 1 ] || usage ;;
  --for-run)
    run_tree=${2:-}; with_host=0
    case "$run_tree" in win32|win64) ;; *) echo "build.sh: --for-run needs win32 or win64" >&2; usage ;; esac
    [ $# -eq 2 ] || usage ;;
  --release-only) release_only=1; with_host=0; [ $# -eq 1 ] || usage ;;
  *) echo "build.sh: unknown option $1" >&2; usage ;;
esac

gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
# Compiles go through ccache where it is installed (VELMOR_CCACHE=0 turns it off). The objects carry
# no path of the clone (-ffile-prefix-map), and paths under the clone are hashed relative to it, so
# every clone of the same sources on this machine shares the cache.
launcher=()
if [ "${VELMOR_CCACHE:-1}" != 0 ] && command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=$top CCACHE_NOHASHDIR=true
else
  launcher=(-UCMAKE_C_COMPILER_LAUNCHER -UCMAKE_CXX_COMPILER_LAUNCHER)
fi

# Each Windows tree's tests have a Wine bench of their own (prefixes, servers, Xvfb), so that the
# two trees can be tested at the same time; the run command and the benchmarks use build/wine.
wine_root() { if [ "$1" = win32 ]; then echo "$build/wine32"; else echo "$build/wine"; fi; }

# Two builds of one commit give the same bytes: the shipped programs carry this time (the commit's,
# unless SOURCE_DATE_EPOCH says otherwise), and nothing of the clone's or build's paths.
epoch=${SOURCE_DATE_EPOCH:-$(git -c safe.directory="$top" -C "$top" log -1 --format=%ct 2>/dev/null || true)}
if ! [[ "$epoch" =~ ^[0-9]+$ ]]; then
  echo "build.sh: no commit time to stamp the programs with; set SOURCE_DATE_EPOCH" >&2
  exit 1
fi
sign=()
for var in VELMOR_SIGN_PKCS12 VELMOR_SIGN_CERT VELMOR_SIGN_KEY VELMOR_SIGN_PASSWORD_FILE VELMOR_SIGN_TIMESTAMP_URL \
           VELMOR_SIGN_PKCS11_MODULE VELMOR_SIGN_PKCS11_KEY VELMOR_SIGN_PKCS11_CERT VELMOR_SIGN_PKCS11_ENGINE \
           VELMOR_SIGN_PIN_FILE; do
  sign+=("-D$var=${!var:-}")
done

configure() {  # tree toolchain
  local tree=$1 toolchain=$2 extra=() stamp=$build/$1/.velmor-toolchain
  if [ -n "$toolchain" ]; then
    extra+=(-DCMAKE_TOOLCHAIN_FILE="$top/cmake/$toolchain" "${sign[@]}")
    # CMake keeps the compilers a tree was first configured with: a tree made with another
    # version of the toolchain file starts from a fresh cache.
    if [ -f "$build/$tree/CMakeCache.txt" ] && ! cmp -s "$top/cmake/$toolchain" "$stamp"; then
      extra+=(--fresh)
    fi
  fi
  cmake -S "$top" -B "$build/$tree" "${gen[@]}" -DCMAKE_BUILD_TYPE=Release "${extra[@]}" "${launcher[@]}" \
    -DVELMOR_INSTALLER_X86="$build/win32/installer/installer_x86.exe" \
    -DVELMOR_INSTALLER_X64="$build/win64/installer/installer_x64.exe" \
    -DVELMOR_RELEASE_PAYLOAD=ON -DVELMOR_SOURCE_DATE_EPOCH="$epoch" \
    -DVELMOR_WINE_ROOT="$(wine_root "$tree")" -DVELMOR_DIST_DIR="$dist" \
    ${VELMOR_PAYLOAD_DIR:+-DVELMOR_PAYLOAD_DIR="$VELMOR_PAYLOAD_DIR"} >/dev/null
  if [ -n "$toolchain" ]; then cp "$top/cmake/$toolchain" "$stamp"; fi
}

configure win32 mingw-i686.cmake
configure win64 mingw-x86_64.cmake
# Stage 1: the installer programs the payload carries, before anything that embeds them. Each is a
# target of its own tree; a failure here stops the build (the payload would have nothing to carry).
cmake --build "$build/win32" -j "$jobs" --target installer_x86
cmake --build "$build/win64" -j "$jobs" --target installer_x64
# Stage 2: everything else (or only what the run command needs).
if [ -n "$run_tree" ]; then
  cmake --build "$build/$run_tree" -j "$jobs" --target Velmor_VirtualCOM_DriverInstall probe_lab app_screenshot
elif [ $release_only = 1 ]; then
  cmake --build "$build/win32" -j "$jobs" --target Velmor_VirtualCOM_DriverInstall velmor_msi
else
  cmake --build "$build/win32" -j "$jobs"
  cmake --build "$build/win64" -j "$jobs"
fi
if [ $with_host = 1 ]; then
  configure host ""
  cmake --build "$build/host" -j "$jobs"
fi

[ -n "$run_tree" ] && exit 0

# dist/: the shipped files, only when the app carries exactly the installers shipped beside it.
# VELMOR_DIST_DIR may name a folder that holds other files too: only the shipped ones are replaced.
shipped=(Velmor_VirtualCOM_DriverInstall.exe installer_x86.exe installer_x64.exe Velmor_VirtualCOM_DriverInstall.msi SHA256SUMS)
remove_shipped() { local f; for f in "${shipped[@]}"; do rm -f "$dist/$f"; done; }
mkdir -p "$dist"
remove_shipped
cp "$build/win32/installer/installer_x86.exe" "$build/win64/installer/installer_x64.exe" "$dist/"
app=$build/win32/app/Velmor_VirtualCOM_DriverInstall.exe
expected=$(sed -n 's/^VELMOR_PAYLOAD_EXPECTED:INTERNAL=//p' "$build/win32/CMakeCache.txt")
if ! python3 "$top/tests/release/check_payload.py" --expected "$expected" "$app" >"$build/payload-check.log"; then
  cat "$build/payload-check.log" >&2
  remove_shipped
  echo "build.sh: the app does not carry the payload it must; nothing copied to dist/" >&2
  exit 1
fi
cp "$app" "$dist/"
# The MSI carries the app checked above (its build depends on exactly that file).
cp "$build/win32/msi/Velmor_VirtualCOM_DriverInstall.msi" "$dist/"
(cd "$dist" && sha256sum Velmor_VirtualCOM_DriverInstall.exe installer_x86.exe installer_x64.exe \
   Velmor_VirtualCOM_DriverInstall.msi >SHA256SUMS)
if [ -n "${VELMOR_SIGN_PKCS12:-}${VELMOR_SIGN_CERT:-}${VELMOR_SIGN_PKCS11_MODULE:-}" ]; then
  echo "== Signed release in $dist"
else
  echo "== Unsigned release in $dist (README: \"Signing a release\" says how to sign it)"
fi
exit 0
