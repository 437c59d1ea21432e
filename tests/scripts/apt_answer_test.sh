#!/usr/bin/env bash
# What the set-up reads from apt-get's answers, on answers recorded from real runs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/lib/apt_answer.sh"
answers=$here/apt_answers
failures=0
expect() {  # name actual expected
  if [ "$2" != "$3" ]; then
    printf 'FAIL %s\n  got:      %s\n  expected: %s\n' "$1" "$2" "$3" >&2
    failures=$((failures + 1))
  fi
}

expect "a mirror mid-sync names the one index that failed" \
  "$(apt_failed_indexes "$answers/update_mirror_sync.txt")" \
  "http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz"
expect "a clean update names no index" "$(apt_failed_indexes "$answers/update_clean.txt")" ""
expect "multiarch breaks: the first unmet dependency and apt's error, on one line" \
  "$(apt_refusal_reason "$answers/install_wine32_breaks.txt" 100)" \
  "libcurl4:i386 : Depends: libbrotli1:i386 (>= 0.6.0) but it is not going to be installed (Error, pkgProblemResolver::Resolve generated breaks, this may be caused by held packages)"
expect "an unknown package: apt's error alone" \
  "$(apt_refusal_reason "$answers/install_unknown.txt" 100)" "Unable to locate package wixl"
expect "no answer at all still gives a reason" \
  "$(apt_refusal_reason /dev/null 100)" "apt-get gave no reason (exit status 100)"

[ "$failures" -eq 0 ] && echo "apt answers: all read as expected"
exit $((failures > 0))
