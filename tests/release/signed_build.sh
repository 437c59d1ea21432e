#!/usr/bin/env bash
# A signed release end to end, with a throwaway CA and code-signing certificate made here: builds
# into a build and dist folder of its own with VELMOR_SIGN_CERT/KEY (and a password-protected
# PKCS#12 with --pkcs12), verifies the three shipped programs with osslsigncode against that CA,
# runs the release checks (the app embeds the signed installers) and the app's suites under Wine
# with the signed app. Not part of scripts/test.sh: it is a full second build.
#   tests/release/signed_build.sh [--pkcs12] [--release-only]
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
pkcs12=0 release_only=0
for arg in "$@"; do
  case "$arg" in
    --pkcs12) pkcs12=1 ;;
    --release-only) release_only=1 ;;
    *) echo "usage: $0 [--pkcs12] [--release-only]" >&2; exit 2 ;;
  esac
done
out=${VELMOR_SIGNED_DIR:-$top/build-signed}
keys=$out/keys
mkdir -p "$keys"
"$top/scripts/setup.sh"

# The CA and a code-signing certificate it issues, valid for a day.
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Velmor Test Release CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" \
  -keyout "$keys/ca.key" -out "$keys/ca.pem" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/O=Velmor/CN=Velmor Test Publisher" \
  -keyout "$keys/signer.key" -out "$keys/signer.csr" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$keys/ext"
openssl x509 -req -in "$keys/signer.csr" -CA "$keys/ca.pem" -CAkey "$keys/ca.key" -CAcreateserial \
  -days 1 -extfile "$keys/ext" -out "$keys/signer.pem" 2>/dev/null
if [ $pkcs12 = 1 ]; then
  echo "throwaway-$RANDOM" >"$keys/password"
  openssl pkcs12 -export -inkey "$keys/signer.key" -in "$keys/signer.pem" -certfile "$keys/ca.pem" \
    -passout file:"$keys/password" -out "$keys/signer.p12"
  export VELMOR_SIGN_PKCS12=$keys/signer.p12 VELMOR_SIGN_PASSWORD_FILE=$keys/password
else
  export VELMOR_SIGN_CERT=$keys/signer.pem VELMOR_SIGN_KEY=$keys/signer.key
fi

export VELMOR_BUILD_DIR=$out/build VELMOR_DIST_DIR=$out/dist WINE_BENCH_ROOT=$out/build/wine
if [ $release_only = 1 ]; then
  "$top/scripts/build.sh" --release-only
else
  "$top/scripts/build.sh" --no-host
fi
status=0
for program in Velmor_VirtualCOM_DriverInstall installer_x86 installer_x64; do
  if osslsigncode verify -CAfile "$keys/ca.pem" -in "$VELMOR_DIST_DIR/$program.exe" >"$out/verify-$program.log" 2>&1; then
    echo "== $program.exe: signature verified"
  else
    cat "$out/verify-$program.log"; echo "== $program.exe: signature NOT verified"; status=1
  fi
done
[ $release_only = 1 ] && exit $status
ctest --test-dir "$VELMOR_BUILD_DIR/win32" -R '^release[.]' --output-on-failure || status=1
ctest --test-dir "$VELMOR_BUILD_DIR/win64" -R '^release[.]' --output-on-failure || status=1
# The app's suites (the dialog, its commands, the command line) with the signed app, in both trees.
for tree in win32 win64; do
  WINE_BENCH_ROOT=$(sed -n 's/^VELMOR_WINE_ROOT:PATH=//p' "$VELMOR_BUILD_DIR/$tree/CMakeCache.txt")
  export WINE_BENCH_ROOT
  ctest --test-dir "$VELMOR_BUILD_DIR/$tree" -R '(app_|command|probe_view)' -j 2 --output-on-failure || status=1
  "$top/tests/wine/bench.sh" stop || true
done
exit $status
