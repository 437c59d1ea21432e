#!/usr/bin/env bash
# Puts test stand-in DLLs into the system folder of the bench's prefix, where the engine loads
# system modules from. Programs run with WINEDLLOVERRIDES="<name>=n,b" get the stand-in; every
# other program still gets Wine's own module (Wine prefers its own for the system folder).
#   place_standins.sh <bench.sh> <system32|syswow64> <dll>...
set -euo pipefail
bench=$1 folder=$2; shift 2
prefix=$("$bench" prefix)
dest="$prefix/drive_c/windows/$folder"
[ -d "$dest" ] || { echo "place_standins.sh: no $dest" >&2; exit 1; }
for dll in "$@"; do
  # Renamed into place: a program that has the previous copy loaded keeps its own file.
  cp -f "$dll" "$dest/.$(basename "$dll").$$"
  mv -f "$dest/.$(basename "$dll").$$" "$dest/$(basename "$dll")"
done
