#!/usr/bin/env bash
# Makes a certificate through the engine as on Windows 7 and reads it with openssl: SHA-1 with RSA,
# 2048-bit key, valid until 2029-01-01, and the three extensions (code-signing usage marked
# critical, the publisher address under the old alternative-name OID 2.5.29.7, the CPS policy whose
# IA5 address keeps its terminating zero).
#   signing_openssl.sh <bench.sh> <signing_test.exe>
set -euo pipefail
bench=$1 exe=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
VELMOR_KEEP_CERT="Z:${out//\//\\}\\cert.der" WINEDLLOVERRIDES="wintrust,mssign32=n,b" \
  "$bench" run --version win7 -- "$exe" --gtest_filter='*CertificateCarries*' >"$out/run.txt" 2>&1 </dev/null || {
  status=$?; cat "$out/run.txt"; [ $status = 77 ] && exit 77; exit 1; }
openssl x509 -inform DER -in "$out/cert.der" -text -noout >"$out/text.txt"
openssl asn1parse -inform DER -in "$out/cert.der" >"$out/asn1.txt"

hex() { printf '%s' "$1" | od -An -tx1 | tr -d ' \n' | tr a-f A-F; }
publisher=https://velmor.example/
cps=https://velmor.example/cps
fail=0
expect() {  # expect <file> <pattern> <what>
  grep -q -- "$2" "$out/$1" || { echo "missing: $3"; fail=1; }
}
expect text.txt 'Signature Algorithm: sha1WithRSAEncryption' 'SHA-1 with RSA'
expect text.txt 'Public-Key: (2048 bit)' '2048-bit key'
expect text.txt 'Not After : Jan  1 00:00:00 2029 GMT' 'validity end'
expect text.txt 'Subject: CN = USB\\\\VID_2E3C&PID_F000&MI_03 (Velmor test' 'subject'
grep -A1 'X509v3 Extended Key Usage: critical' "$out/text.txt" | grep -q 'Code Signing' ||
  { echo "missing: critical code-signing usage"; fail=1; }
expect asn1.txt ':2.5.29.7$' 'alternative name under 2.5.29.7'
# SEQUENCE { [6] IA5 URL }
url_len=$(printf '%02X' ${#publisher})
expect asn1.txt "HEX DUMP\]:30$(printf '%02X' $((${#publisher} + 2)))86${url_len}$(hex $publisher)\$" 'URL entry'
expect asn1.txt ':X509v3 Certificate Policies$' 'policies'
# SEQUENCE { SEQUENCE { OID 1.3.6.1.5.5.7.2.1, SEQUENCE { SEQUENCE { OID 1.3.6.1.5.5.7.2.1, IA5 cps\0 } } } }
expect asn1.txt "HEX DUMP\]:.*06082B0601050507020116$(printf '%02X' $((${#cps} + 1)))$(hex $cps)00\$" 'CPS with its zero'
expect asn1.txt "HEX DUMP\]:30..30..06082B06010505070201" 'policy identifier 1.3.6.1.5.5.7.2.1'
if [ $fail != 0 ]; then cat "$out/text.txt" "$out/asn1.txt"; exit 1; fi
echo "certificate read by openssl: $(wc -c <"$out/cert.der") bytes"
