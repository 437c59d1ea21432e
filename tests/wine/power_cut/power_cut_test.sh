#!/usr/bin/env bash
# A power cut during the real app's /install: once the run has logged a line of the signing step,
# and once its installer program runs with the restore setting switched off, every process of the
# prefix ends at once (wineserver -k: no handler, no clean-up, the installer's watch included).
# The next /install then exits 0 and leaves no protected folder, no key container of the tool, no
# installer running, no record to undo, and the restore setting as it was before the first run.
#
#   power_cut_test.sh BENCH ROOT APP MACHINE LOGS
#     BENCH    tests/wine/bench.sh
#     ROOT     a bench root of the test's own (its prefix and server die with each cut; no other
#              suite's do)
#     APP      the app; MACHINE  power_cut_machine.exe (prepare, state); LOGS  a folder for the logs
set -euo pipefail
[ $# -eq 5 ] || { sed -n '8,12p' "$0" >&2; exit 2; }
bench=$1 app=$3 machine=$4 logs=$5
export WINE_BENCH_ROOT=$2
# Native first for the stand-ins the machine helper places; Wine's browser and .NET never.
export WINEDLLOVERRIDES="newdev,wintrust,mssign32=n,b;mscoree,mshtml="
export VELMOR_TEST_NEWDEV_ERROR=0
mkdir -p "$logs"
rm -f "$logs"/*.log

# The state a recovered machine is in (the setting: power_cut_machine's kSettingBefore).
expected="protected folders: none
key containers: none
installers running: none
restore setting: 0
journal: none"

run() { "$bench" run -- "$@"; }  # the program's exit code; 77 (skipped) where it cannot run
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
fail() {
  echo "FAIL: $*" >&2
  for f in "$logs"/*.log; do [ -f "$f" ] && { echo "--- $f"; cat "$f"; }; done >&2
  exit 1
}


# An /install to its end with the device installer answering at once; its exit code.
install_to_end() {  # log-name
  VELMOR_TEST_NEWDEV_DELAY_MS=0 run "$app" /install /quiet /interfaces usart /log "$(windows_path "$logs/$1.log")" \
    >/dev/null 2>&1 </dev/null
}

# The machine helper's state report, compared with the recovered one.
expect_recovered() {  # what
  local now
  now=$(run "$machine" state | tr -d '\r')
  [ "$now" = "$expected" ] || fail "$1: the machine is not as before:
$now
expected:
$expected"
}

# Waits until the log holds the line, while the run is alive (a log line, not a pause, is the cue).
wait_for_line() {  # log line pid
  local deadline=$((SECONDS + 180))
  until grep -qF -- "$2" "$1" 2>/dev/null; do
    kill -0 "$3" 2>/dev/null || fail "the run ended before it logged \"$2\""
    [ $SECONDS -lt $deadline ] || fail "no \"$2\" in $1 within 180 s"
    sleep 0.1
  done
}

# First, so that a tree whose programs this host cannot run is skipped before a prefix is made.
run "$machine" prepare || { rc=$?; [ $rc = 77 ] && exit 77; fail "prepare failed ($rc)"; }
prefix=$("$bench" prefix)
server() { WINEPREFIX=$prefix wineserver "$@" >/dev/null 2>&1 </dev/null; }
# Whatever the test leaves running ends with it.
trap 'server -k || true' EXIT
# Settles what an interrupted earlier run of this test may have left, and shows that the stand-ins
# let an installation switch the setting off and back.
install_to_end settle || fail "the first /install failed ($?)"
grep -qF "successfully restored the system restore point creation setting" "$logs/settle.log" ||
  fail "the installer never switched the restore setting (is the policy stand-in registered?)"
expect_recovered "before the first cut"

# Each cut: the line it follows, and the line of the next run that undoes what the cut left
# (a state as before could also be one the cut never changed).
points=("created new key container" "deleted the key container 'Velmor key "
        "successfully disabled the system restore point creation setting"
        "put back the restore point creation setting of a run that did not finish")
for cut in 1 2; do
  point=${points[$((cut * 2 - 2))]} undone=${points[$((cut * 2 - 1))]}
  echo "power cut $cut: after \"$point\""
  # Each point lasts until the cut: the first is held in the signing call (the key container
  # exists then, and a late cut would find it deleted), the second in the device installer.
  sign_delay=0
  [ "$cut" = 1 ] && sign_delay=600000
  VELMOR_TEST_SIGN_DELAY_MS=$sign_delay VELMOR_TEST_NEWDEV_DELAY_MS=600000 run "$app" /install /quiet /interfaces usart \
    /log "$(windows_path "$logs/cut-$cut.log")" >/dev/null 2>&1 </dev/null &
  pid=$!
  wait_for_line "$logs/cut-$cut.log" "$point" $pid
  server -k
  wait $pid || true
  # The prefix's server, and with it every process of the prefix, is gone before the next start.
  server -w
  install_to_end "after-cut-$cut" || fail "the /install after power cut $cut failed ($?)"
  grep -qF -- "$undone" "$logs/after-cut-$cut.log" || fail "the run after power cut $cut did not log \"$undone\""
  expect_recovered "after power cut $cut"
done
echo "both power cuts recovered"
