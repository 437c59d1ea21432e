#!/usr/bin/env bash
# Shows that the release is reproducible: builds the committed HEAD N times (default 2), each from a
# fresh clone in a folder of its own, one after the other, and compares the SHA-256 of the shipped
# programs. Each build also passes the release payload check (scripts/build.sh refuses an app that
# carries a placeholder). The MSI is compared by its content (every table, the embedded files): wixl
# gives each package a fresh package code and its build time (README). Exits 1 when the builds differ.
#   scripts/reproduce.sh [N]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
count=${1:-2}
work=$(mktemp -d /tmp/velmor-reproduce.XXXXXX)
trap 'rm -rf "$work"' EXIT
"$top/scripts/setup.sh"
for i in $(seq 1 "$count"); do
  clone=$work/clone-$i-$RANDOM
  git clone -q "$top" "$clone"
  echo "== Build $i of $count in $clone ($(date -u +%T))"
  # Another umask and time zone each time: neither may reach the bytes.
  (umask $([ $((i % 2)) = 0 ] && echo 077 || echo 022)
   TZ=$([ $((i % 2)) = 0 ] && echo Asia/Tokyo || echo UTC) "$clone/scripts/build.sh" --release-only >"$work/build-$i.log" 2>&1) ||
    { tail -30 "$work/build-$i.log"; echo "== Build $i failed"; exit 1; }
  grep -v '[.]msi$' "$clone/dist/SHA256SUMS" >"$work/SHA256SUMS.$i"
  msi=$clone/dist/Velmor_VirtualCOM_DriverInstall.msi
  for table in $(msiinfo tables "$msi" | grep -v "^_SummaryInformation$" | sort); do
    echo "$table $(msiinfo export "$msi" "$table" | sort | sha256sum | cut -c1-64)"
  done >>"$work/SHA256SUMS.$i"
  (mkdir "$work/cab-$i" && cd "$work/cab-$i" && msiextract "$msi" >/dev/null && find . -type f -exec sha256sum {} + | sort) \
    >>"$work/SHA256SUMS.$i"
  mkdir "$work/dist-$i" && cp "$clone"/dist/*.exe "$work/dist-$i/"
  sed 's/^/   /' "$work/SHA256SUMS.$i"
  rm -rf "$clone"
done
status=0
for i in $(seq 2 "$count"); do
  cmp -s "$work/SHA256SUMS.1" "$work/SHA256SUMS.$i" || { echo "== Build $i differs from build 1"; status=1; }
done
if [ $status != 0 ]; then
  trap - EXIT
  echo "== The programs of each build are kept in $work/dist-N for comparison"
fi
[ $status = 0 ] && echo "== All $count builds of $(git -C "$top" rev-parse --short HEAD) give the same bytes"
exit $status
