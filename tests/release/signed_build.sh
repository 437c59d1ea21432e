#!/usr/bin/env bash
# A signed release end to end, with a throwaway CA and code-signing certificate made here: builds
# into a build and dist folder of its own, signed with VELMOR_SIGN_CERT/KEY (a password-protected
# PKCS#12 with --pkcs12; with --pkcs11 a key made inside a SoftHSM2 token, which never leaves it, as
# certificate authorities issue keys today), every signature time-stamped by a local RFC 3161
# responder. Verifies the three shipped programs, the MSI and their time stamps with osslsigncode against
# those CAs, runs the release checks (the app embeds the signed installers) and, unless
# --release-only, the app's suites under Wine with the signed app. Not part of scripts/test.sh: it
# is a full second build.
#   tests/release/signed_build.sh [--pkcs12 | --pkcs11] [--release-only]
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
mode=files release_only=0
for arg in "$@"; do
  case "$arg" in
    --pkcs12) mode=pkcs12 ;;
    --pkcs11) mode=pkcs11 ;;
    --release-only) release_only=1 ;;
    *) echo "usage: $0 [--pkcs12 | --pkcs11] [--release-only]" >&2; exit 2 ;;
  esac
done
out=${VELMOR_SIGNED_DIR:-$top/build-signed}
keys=$out/keys
rm -rf "$keys"
mkdir -p "$keys"
"$top/scripts/setup.sh"

ca() {  # name: a self-signed CA valid for a day
  openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Velmor Test $1 CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" \
    -keyout "$keys/$1-ca.key" -out "$keys/$1-ca.pem" 2>/dev/null
}
issue() {  # name ca extended-key-usage: the CA signs name.csr into name.pem
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$3" >"$keys/$1.ext"
  openssl x509 -req -in "$keys/$1.csr" -CA "$keys/$2-ca.pem" -CAkey "$keys/$2-ca.key" -CAcreateserial \
    -days 1 -extfile "$keys/$1.ext" -out "$keys/$1.pem" 2>/dev/null
}

# The time-stamp authority: its own CA, a certificate for time stamping only, and a responder that
# runs until this script ends.
ca release
ca tsa
openssl req -newkey rsa:2048 -nodes -subj "/O=Velmor/CN=Velmor Test Time Stamps" \
  -keyout "$keys/tsa.key" -out "$keys/tsa.csr" 2>/dev/null
issue tsa tsa critical,timeStamping
echo 01 >"$keys/tsa.serial"
cat >"$keys/tsa.cnf" <<CNF
[ tsa ]
default_tsa = velmor_tsa
[ velmor_tsa ]
serial = $keys/tsa.serial
signer_cert = $keys/tsa.pem
certs = $keys/tsa-ca.pem
signer_key = $keys/tsa.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.99999.1
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
CNF
responder=
trap '[ -n "$responder" ] && kill "$responder" 2>/dev/null; true' EXIT
python3 "$top/tests/release/timestamp_responder.py" "$keys/tsa.cnf" "$keys/tsa.port" 2>"$out/timestamp.log" &
responder=$!
for _ in $(seq 100); do [ -s "$keys/tsa.port" ] && break; kill -0 $responder || break; sleep 0.1; done
if ! [ -s "$keys/tsa.port" ]; then cat "$out/timestamp.log" >&2; echo "signed_build.sh: no time-stamp responder" >&2; exit 1; fi
export VELMOR_SIGN_TIMESTAMP_URL=http://127.0.0.1:$(cat "$keys/tsa.port")

# The code-signing key and certificate, valid for a day.
subject="/O=Velmor/CN=Velmor Test Publisher"
if [ $mode = pkcs11 ]; then
  module=/usr/lib/softhsm/libsofthsm2.so
  mkdir -p "$keys/tokens"
  printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$keys/tokens" >"$keys/softhsm2.conf"
  export SOFTHSM2_CONF=$keys/softhsm2.conf
  pin=$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')
  printf '%s' "$pin" >"$keys/pin"
  softhsm2-util --init-token --free --label "Velmor test token" --pin "$pin" --so-pin "$pin$pin" >/dev/null
  pkcs11-tool --module $module --login --pin "$pin" --keypairgen --key-type rsa:2048 --id 5e01 \
    --label "Velmor signing key" >/dev/null
  # The request is signed inside the token, through OpenSSL's pkcs11 engine.
  cat >"$keys/engine.cnf" <<CNF
openssl_conf = velmor_conf
[ velmor_conf ]
engines = velmor_engines
[ velmor_engines ]
pkcs11 = velmor_pkcs11
[ velmor_pkcs11 ]
engine_id = pkcs11
MODULE_PATH = $module
init = 0
[ req ]
distinguished_name = velmor_dn
[ velmor_dn ]
CNF
  OPENSSL_CONF=$keys/engine.cnf openssl req -new -engine pkcs11 -keyform engine -passin file:"$keys/pin" \
    -key "pkcs11:id=%5e%01;type=private" -subj "$subject" -out "$keys/signer.csr" >/dev/null 2>&1
  issue signer release codeSigning
  openssl x509 -in "$keys/signer.pem" -outform der -out "$keys/signer.der"
  pkcs11-tool --module $module --login --pin "$pin" --write-object "$keys/signer.der" --type cert \
    --id 5e01 --label "Velmor signing certificate" >/dev/null
  export VELMOR_SIGN_PKCS11_MODULE=$module VELMOR_SIGN_PKCS11_KEY=5e01 VELMOR_SIGN_PKCS11_CERT=5e01 \
         VELMOR_SIGN_PIN_FILE=$keys/pin
else
  openssl req -newkey rsa:2048 -nodes -subj "$subject" -keyout "$keys/signer.key" -out "$keys/signer.csr" 2>/dev/null
  issue signer release codeSigning
  if [ $mode = pkcs12 ]; then
    echo "throwaway-$RANDOM" >"$keys/password"
    openssl pkcs12 -export -inkey "$keys/signer.key" -in "$keys/signer.pem" -certfile "$keys/release-ca.pem" \
      -passout file:"$keys/password" -out "$keys/signer.p12"
    export VELMOR_SIGN_PKCS12=$keys/signer.p12 VELMOR_SIGN_PASSWORD_FILE=$keys/password
  else
    export VELMOR_SIGN_CERT=$keys/signer.pem VELMOR_SIGN_KEY=$keys/signer.key
  fi
fi

export VELMOR_BUILD_DIR=$out/build VELMOR_DIST_DIR=$out/dist WINE_BENCH_ROOT=$out/build/wine
if [ $release_only = 1 ]; then
  "$top/scripts/build.sh" --release-only
  cmake --build "$VELMOR_BUILD_DIR/win32" --target payload_with_placeholders >/dev/null
else
  "$top/scripts/build.sh" --no-host
fi
status=0
for file in Velmor_VirtualCOM_DriverInstall.exe installer_x86.exe installer_x64.exe Velmor_VirtualCOM_DriverInstall.msi; do
  log=$out/verify-$file.log
  osslsigncode verify -CAfile "$keys/release-ca.pem" -TSA-CAfile "$keys/tsa-ca.pem" \
    -in "$VELMOR_DIST_DIR/$file" >"$log" 2>&1 || true
  if grep -q '^Signature verification: ok' "$log" && grep -q '^Timestamp Server Signature verification: ok' "$log" &&
     grep -q 'CN=Velmor Test Publisher' "$log"; then
    echo "== $file: signature and time stamp verified ($(sed -n "s/^[[:space:]]*Timestamp time: //p" "$log"))"
  else
    cat "$log"; echo "== $file: signature or time stamp NOT verified"; status=1
  fi
done
ctest --test-dir "$VELMOR_BUILD_DIR/win32" -R '^release[.]' --output-on-failure || status=1
ctest --test-dir "$VELMOR_BUILD_DIR/win64" -R '^release[.]' --output-on-failure || status=1
[ $release_only = 1 ] && exit $status
# The app's suites (the dialog, its commands, the command line) with the signed app, in both trees.
for tree in win32 win64; do
  WINE_BENCH_ROOT=$(sed -n 's/^VELMOR_WINE_ROOT:PATH=//p' "$VELMOR_BUILD_DIR/$tree/CMakeCache.txt")
  export WINE_BENCH_ROOT
  ctest --test-dir "$VELMOR_BUILD_DIR/$tree" -R '(app_|command|probe_view)' -j 2 --output-on-failure || status=1
  "$top/tests/wine/bench.sh" stop || true
done
exit $status
