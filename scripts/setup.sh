#!/usr/bin/env bash
# Installs the build and test toolchain on Debian 12 (run as root or with sudo; idempotent), in two
# steps:
#  1. what the 64-bit-only mode needs: the cross compilers for Windows, Wine's 64-bit tree, Xvfb and
#     screenshot tools, GoogleTest sources, the public USB ID list used to generate vendor names,
#     osslsigncode with a software PKCS#11 token for signed releases, and wixl for the MSI. A package
#     of this step that cannot be installed fails the set-up, named with apt's reason.
#  2. wine32 (adding the i386 architecture), on its own: a machine where it cannot be installed (a
#     mirror mid-sync, i386 libraries older than their amd64 twins) still builds and tests everything
#     in the 64-bit-only mode, and the set-up says so in one line and succeeds.
# An index file that apt cannot fetch is a warning: `apt-get update` is tried a few times, then the
# set-up goes on with the indexes apt has. VELMOR_NO_IA32=1 leaves step 2 out; a refusal of step 2 is
# remembered for six hours (VELMOR_RETRY_IA32=1 asks again).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/apt_answer.sh"

packages64=(cmake ninja-build g++ make libgtest-dev
            g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
            wine wine64 xvfb xauth imagemagick x11-apps
            usb.ids openssl osslsigncode python3 fonts-wqy-microhei file
            softhsm2 libengine-pkcs11-openssl opensc wixl msitools)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
apt_install() { DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "$@"; }
answer=$(mktemp)
trap 'rm -f "$answer"' EXIT

indexes_fresh=0
update_indexes() {
  [ "$indexes_fresh" = 1 ] && return 0
  indexes_fresh=1
  local attempt status failed
  for attempt in 1 2 3; do
    status=0
    $SUDO apt-get update -q >"$answer" 2>&1 || status=$?
    failed=$(apt_failed_indexes "$answer")
    [ "$status" -eq 0 ] && [ -z "$failed" ] && return 0
    [ "$attempt" -lt 3 ] && sleep 5
  done
  echo "setup.sh: warning: apt-get update could not fetch ${failed:-every index (exit status $status)}; going on with the indexes apt has." >&2
}

# Step 1: everything the 64-bit-only mode needs.
missing=()
for p in "${packages64[@]}"; do installed "$p" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  update_indexes
  if ! apt_install "${missing[@]}" >"$answer" 2>&1; then
    cat "$answer" >&2
    for p in "${missing[@]}"; do
      status=0
      $SUDO apt-get install -s -q --no-install-recommends "$p" >"$answer" 2>&1 || status=$?
      [ "$status" -eq 0 ] || echo "setup.sh: cannot install $p: $(apt_refusal_reason "$answer" "$status")" >&2
    done
    echo "setup.sh: the packages above are needed to build and test; nothing can be built without them." >&2
    exit 1
  fi
fi

# A compiler cache shared by every clone on this machine: a fresh clone rebuilds in a fraction of the
# time. Only a speed-up: the build runs without it where it cannot be installed.
if ! installed ccache; then
  update_indexes
  apt_install ccache >"$answer" 2>&1 || echo "setup.sh: warning: ccache not installed ($(apt_refusal_reason "$answer" 1)); builds run uncached." >&2
fi

# Step 2: Wine's 32-bit tree, when this machine can have it.
installed wine32:i386 && exit 0
if [ "${VELMOR_NO_IA32:-0}" = 1 ]; then
  echo "setup.sh: wine32 not installed (VELMOR_NO_IA32=1): the 32-bit Wine tests will be skipped; the release checks still read the shipped 32-bit files."
  exit 0
fi
# A refusal is remembered for six hours (the mirror rarely heals sooner, and each retry costs apt
# three index updates): until then the set-up repeats the recorded reason at once.
# VELMOR_RETRY_IA32=1 asks again now.
refused=/var/cache/velmor-setup/wine32-refused
if [ "${VELMOR_RETRY_IA32:-0}" != 1 ] && [ -n "$(find "$refused" -mmin -360 2>/dev/null)" ]; then
  echo "setup.sh: wine32 cannot be installed here: $(cat "$refused") (asked at $(date -u -r "$refused" +%H:%M) UTC; VELMOR_RETRY_IA32=1 asks again now). The 32-bit Wine tests will be skipped; the release checks still read the shipped 32-bit files."
  exit 0
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  indexes_fresh=0
elif [ -n "$(find /var/lib/apt/lists -maxdepth 0 -mmin -60 2>/dev/null)" ]; then
  indexes_fresh=1  # the i386 indexes are under an hour old: a machine that refused wine32 is asked again without a new update
fi
update_indexes
status=0
apt_install wine32:i386 >"$answer" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  reason=$(apt_refusal_reason "$answer" "$status")
  echo "setup.sh: wine32 cannot be installed here: $reason. The 32-bit Wine tests will be skipped; the release checks still read the shipped 32-bit files."
  $SUDO mkdir -p "${refused%/*}" && printf '%s\n' "$reason" | $SUDO tee "$refused" >/dev/null || true
else
  $SUDO rm -f "$refused"
fi
exit 0
