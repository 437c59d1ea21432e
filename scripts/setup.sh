#!/usr/bin/env bash
# Installs the build and test toolchain on Debian 12 (run as root; idempotent).
# Cross compilers for Windows, Wine (32- and 64-bit), Xvfb and screenshot tools,
# GoogleTest sources, the public USB ID list used to generate vendor names, and osslsigncode for
# signed releases.
set -euo pipefail

packages=(cmake ninja-build g++ make libgtest-dev
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
          wine wine32 wine64 xvfb xauth imagemagick x11-apps
          usb.ids openssl osslsigncode python3 fonts-wqy-microhei file)

missing=()
for p in "${packages[@]}"; do
  case "$p" in
    wine32) q="wine32:i386" ;;
    *) q="$p" ;;
  esac
  dpkg-query -W -f='${Status}' "$q" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
