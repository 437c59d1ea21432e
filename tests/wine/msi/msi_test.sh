#!/usr/bin/env bash
# The tool's MSI under Wine's installer service, as a fleet deploys it: "msiexec /i /qn" puts the tool
# under Program Files and its three packages in the driver store (the installed tool's /check says
# so); "msiexec /x /qn" removes the packages, then the tool. The exit codes are the service's.
#   msi_test.sh <bench.sh> <msi> <bits of the msi> <the tree's app>
set -euo pipefail
bench=$1 msi=$2 bits=$3 app=$4
if [ "$bits" = 32 ] && [ "$("$bench" host)" = 64-only ]; then
  echo "skipped: a 32-bit package's actions need 32-bit Wine, which this host cannot run"
  exit 77
fi
eval "$("$bench" env)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
folder='Program Files'
[ "$bits" = 32 ] && folder='Program Files (x86)'
tool="C:\\$folder\\Velmor\\Korvex driver installer\\Velmor_VirtualCOM_DriverInstall.exe"
installed=$WINEPREFIX/drive_c/$folder/Velmor/Korvex\ driver\ installer/Velmor_VirtualCOM_DriverInstall.exe

fail() {
  echo "FAILED: $*"
  for log in "$work"/*.log "$work"/*.out; do [ -f "$log" ] && { echo "--- $log"; grep -a -E "Velmor|Return value 3|error" "$log" | tail -40; }; done
  exit 1
}
msiexec_rc() {  # msiexec_rc <switch> <log name>: the service's exit code
  local rc=0
  # The service's actions share its console: what the tool prints goes to a file of its own.
  wine msiexec "$1" "$(winepath -w "$msi")" /qn /l*v "$(winepath -w "$work/$2.log")" >"$work/$2.out" 2>&1 || rc=$?
  echo "$rc"
}

# Whatever earlier suites left in the driver store goes first, so that the check below sees the MSI's work.
wine "$app" /uninstall /quiet >/dev/null || fail "the clean-up before the package"

rc=$(msiexec_rc /i install)
[ "$rc" = 0 ] || fail "msiexec /i exited $rc"
[ -f "$installed" ] || fail "the tool is not under $folder"
wine "$tool" /check >"$work/check.txt" || fail "/check after the package's installation: $(cat "$work/check.txt")"
grep -q "Bridge driver package: in the driver store" "$work/check.txt" || fail "no bridge package: $(cat "$work/check.txt")"

rc=$(msiexec_rc /x remove)
[ "$rc" = 0 ] || fail "msiexec /x exited $rc"
[ ! -e "$installed" ] || fail "the tool is still under $folder"
grep -a -q "/uninstall /quiet exited with 0" "$work/remove.log" || fail "the removal did not run the tool's /uninstall"
rc=0
wine "$app" /check >"$work/check.txt" || rc=$?
[ "$rc" = 1 ] || fail "/check after the removal exited $rc, not 1 (missing): $(cat "$work/check.txt")"
echo "msiexec /i and /x: the tool and its packages installed and removed"
