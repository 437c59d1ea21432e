#!/usr/bin/env bash
# Makes a catalog through the engine (with the stand-ins) and reads the file with openssl: a PKCS #7
# signed-data trust list of the catalog kind, the two catalog attributes, three members (two PE
# files, one INF) each with its name-value attributes, member info and indirect data.
#   catalog_openssl.sh <bench.sh> <catalog_test.exe>
set -euo pipefail
bench=$1 exe=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
win_out="Z:${out//\//\\}\\kept.cat"
VELMOR_KEEP_CATALOG=$win_out WINEDLLOVERRIDES="wintrust,mssign32=n,b" \
  "$bench" run -- "$exe" --gtest_filter='*ListsTheInfAndADriver*' >"$out/run.txt" 2>&1 </dev/null || {
  status=$?; cat "$out/run.txt"; [ $status = 77 ] && exit 77; exit 1; }
openssl asn1parse -inform DER -in "$out/kept.cat" >"$out/asn1.txt"

fail=0
expect() {  # expect <count> <pattern> <what>
  local n
  n=$(grep -c -- "$2" "$out/asn1.txt" || true)
  if [ "$n" != "$1" ]; then echo "expected $1 x $3, found $n"; fail=1; fi
}
expect 1 ':pkcs7-signedData' 'signed data'
expect 1 ':1.3.6.1.4.1.311.10.1$' 'trust list content'
expect 1 ':1.3.6.1.4.1.311.12.1.1$' 'catalog list usage'
expect 3 ':1.3.6.1.4.1.311.2.1.4$' 'indirect data'
expect 2 ':1.3.6.1.4.1.311.2.1.15$' 'PE image data'
expect 1 ':1.3.6.1.4.1.311.2.1.25$' 'INF link data'
expect 3 ':1.3.6.1.4.1.311.12.2.2$' 'member info'
expect 3 ':sha1$' 'SHA-1 digests'
expect 6 'INTEGER *:10010001' 'member attributes with flags 10010001'
# The catalog attributes sit in extensions: "usb\vid_2e3c&pid_f000&mi_00" as UTF-16 with its terminator.
hwid=$(printf 'usb\\vid_2e3c&pid_f000&mi_00' | iconv -t UTF-16LE | od -An -tx1 | tr -d ' \n' | tr a-f A-F)0000
expect 8 ':1.3.6.1.4.1.311.12.2.1$' 'name-value attributes (2 of the catalog, 2 per member)'
expect 1 "HEX DUMP\]:.*$hwid\$" 'lower-case hardware ID'
if [ $fail != 0 ]; then cat "$out/asn1.txt"; exit 1; fi
echo "catalog parsed by openssl: $(wc -c <"$out/kept.cat") bytes"
