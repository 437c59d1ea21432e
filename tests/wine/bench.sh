#!/usr/bin/env bash
# The Wine bench: private prefixes, one persistent wineserver per prefix, Xvfb when a program needs
# a real display, and the Windows version Wine reports to one program.
#
#   bench.sh start [--bits 32|64]         create the default prefix (once) and keep its server up;
#                                         prints the Wine version and the kind of host (with
#                                         --bits 32 on a 64-only host: nothing to prepare)
#   bench.sh stop                         stop every server and Xvfb this bench started
#   bench.sh host                         print "ia32" or "64-only" (see below)
#   bench.sh prefix [--kind K]            print the prefix folder, creating it on first use
#   bench.sh env [--kind K] [--display]   print "export ..." lines for a shell that runs wine itself
#                                         (PATH gets a "wine" that uses the right loader)
#   bench.sh run [--kind K] [--version V] [--display] -- prog.exe [args...]
#                                         run a Windows program; exit code is the program's
#   bench.sh screenshot out.png           save the Xvfb screen as PNG
#
# Kinds: null  (64-bit prefix, Wine's null graphics driver: headless, fastest; the default)
#        x11   (64-bit prefix on Xvfb with a virtual desktop: title bars, screenshots; --display)
#        win32 (32-bit-only prefix, WINEARCH=win32, null driver)
# Versions: default (prefix default, 6.1), winxp, win2003, vista, win7, win8, win81, win10. The
# version applies to one program: it runs as a copy "<name>.<version>.exe" next to the original
# (so DLLs beside it are still found) with HKCU\Software\Wine\AppDefaults\<copy>\Version set.
#
# Hosts: some machines cannot execute i386 Linux programs at all, Wine's 32-bit loader among them.
# The bench checks that once (cached in the state folder); VELMOR_NO_IA32=1 forces the answer "no".
# On such a "64-only" host every Wine call goes through the 64-bit loader, no 32-bit-only prefix is
# made, and running a 32-bit program (read from its PE header) or "--kind win32" exits 77, which
# CTest counts as skipped.
# State lives in $WINE_BENCH_ROOT (default: build/wine of the repository); with WINE_BENCH_SHARD=X
# (one letter or word: a second CTest run of the same tree beside the first) in "$WINE_BENCH_ROOT-X",
# a bench of its own.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=${WINE_BENCH_ROOT:-$here/../../build/wine}
if [ -n "${WINE_BENCH_SHARD:-}" ]; then
  [[ "$WINE_BENCH_SHARD" =~ ^[a-z0-9]+$ ]] || { echo "bench.sh: WINE_BENCH_SHARD must be letters or digits" >&2; exit 1; }
  root=$root-$WINE_BENCH_SHARD
fi
mkdir -p "$root"
root=$(cd "$root" && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# The Wine release docs/WINE.md was written against.
expected_wine="wine-8.0"
skip_code=77
loader32=/usr/lib/wine/wine
loader64=/usr/lib/wine/wine64

kind=null
version=default
display=0

fail() { echo "bench.sh: $*" >&2; exit 1; }

prefix_dir() { echo "$root/prefix-$1"; }

host_runs_ia32() {
  [ "${VELMOR_NO_IA32:-0}" = 1 ] && return 1
  [ -x "$loader32" ] || return 1  # not cached: the set-up may install it later
  local mark=$root/.host-ia32
  if [ ! -f "$mark" ]; then
    if [ -x "$loader32" ] && "$loader32" --version >/dev/null 2>&1 </dev/null; then
      echo yes >"$mark.$$"
    else
      echo no >"$mark.$$"
    fi
    mv -f "$mark.$$" "$mark"
  fi
  [ "$(cat "$mark")" = yes ]
}

skip_reason() {
  if [ "${VELMOR_NO_IA32:-0}" = 1 ]; then
    echo "VELMOR_NO_IA32=1 asks for the 64-bit-only path"
  elif [ ! -x "$loader32" ]; then
    echo "Wine's 32-bit tree (package wine32) is not installed; scripts/setup.sh said why"
  else
    echo "this machine cannot execute 32-bit (i386) Linux programs ($loader32: Exec format error)"
  fi
}

# Every Wine call of the bench goes through here. A host that runs i386 programs keeps Debian's
# wrappers; a 64-only host calls the 64-bit loader, which the wrappers would never pick.
if host_runs_ia32; then
  ia32=1
  wine_cmd() { wine "$@"; }
else
  ia32=0
  [ -x "$loader64" ] || fail "$loader64 is missing: install the wine64 package (scripts/setup.sh)"
  export WINELOADER=$loader64
  wine_cmd() { "$loader64" "$@"; }
fi

# A "wine" for shells that run programs themselves (bench.sh env puts it first in PATH).
shim_dir() {
  local dir=$root/bin
  if [ ! -x "$dir/wine" ]; then
    mkdir -p "$dir"
    if [ $ia32 = 1 ]; then
      printf '#!/bin/sh\nexec /usr/bin/wine "$@"\n' >"$dir/wine.$$"
    else
      printf '#!/bin/sh\nWINELOADER=%s exec %s "$@"\n' "$loader64" "$loader64" >"$dir/wine.$$"
    fi
    chmod +x "$dir/wine.$$"
    mv -f "$dir/wine.$$" "$dir/wine"
  fi
  echo "$dir"
}

# Background processes must not inherit the bench's lock descriptors (7, 8, 9): a leftover Xvfb or
# wineserver holding one would make the next run wait for ever.
detached() { "$@" 7>&- 8>&- 9>&-; }
# The same for a program left running: "spawn prog ... &" replaces the background shell with the
# program, so that $! is the program itself and "stop" ends it, not an empty shell around it.
spawn() { exec "$@" 7>&- 8>&- 9>&-; }

# One Xvfb for the bench, on a display it found free itself (-displayfd), unless
# WINE_BENCH_DISPLAY_NUMBER names one.
ensure_display() {
  local pidfile=$root/xvfb.pid numfile=$root/xvfb.display
  if [ -f "$pidfile" ] && [ -s "$numfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; then
    echo ":$(cat "$numfile")"; return
  fi
  exec 7>"$root/.lock-display"
  flock 7
  if ! { [ -f "$pidfile" ] && [ -s "$numfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; }; then
    command -v Xvfb >/dev/null || fail "Xvfb is missing: install the xvfb package (scripts/setup.sh)"
    rm -f "$numfile"
    if [ -n "${WINE_BENCH_DISPLAY_NUMBER:-}" ]; then
      spawn Xvfb ":$WINE_BENCH_DISPLAY_NUMBER" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
      echo $! >"$pidfile"
      for _ in $(seq 1 100); do
        [ -e "/tmp/.X11-unix/X$WINE_BENCH_DISPLAY_NUMBER" ] && break
        sleep 0.1
      done
      echo "$WINE_BENCH_DISPLAY_NUMBER" >"$numfile"
    else
      spawn Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile.tmp" >/dev/null 2>&1 </dev/null &
      echo $! >"$pidfile"
      # Xvfb writes the display number once it accepts clients.
      for _ in $(seq 1 100); do
        [ -s "$numfile.tmp" ] && break
        kill -0 "$(cat "$pidfile")" 2>/dev/null || break
        sleep 0.1
      done
      [ -s "$numfile.tmp" ] || { flock -u 7; fail "Xvfb did not start (is another X server in the way?)"; }
      tr -d '\n' <"$numfile.tmp" >"$numfile"; rm -f "$numfile.tmp"
    fi
  fi
  flock -u 7
  exec 7>&-
  echo ":$(cat "$numfile")"
}

# The wineservers working for this prefix folder (another prefix's do not count): a server works
# in the folder Wine names after the prefix's device and inode.
server_pids() {
  local dir pid
  dir=$(printf 'server-%x-%x' "$(stat -c %d "$1")" "$(stat -c %i "$1")")
  for pid in $(pgrep -u "$(id -u)" wineserver); do
    [ "$(basename "$(readlink "/proc/$pid/cwd" 2>/dev/null)")" = "$dir" ] && echo "$pid"
  done
  return 0
}
server_running() { [ -n "$(server_pids "$1")" ]; }

# A new prefix folder, and a wineserver that no other prefix can lend it: Wine finds a prefix's
# server by the folder's device and inode, so a server left running for a removed prefix whose
# inode the new folder reuses would serve the new one with the old one's state.
make_prefix() {  # folder arch log
  local p=$1 pid
  [ -d "$p" ] && WINEPREFIX=$p detached wineserver -k >/dev/null 2>&1 </dev/null || true
  rm -rf "$p"
  mkdir -p "$p"
  for pid in $(server_pids "$p"); do kill -9 "$pid" 2>/dev/null || true; done
  WINEPREFIX=$p WINEARCH=$2 detached wine_cmd wineboot -i >"$3" 2>&1 </dev/null
}

# Creates the prefix once (serialised with flock, so parallel tests wait for one creation). A
# prefix left half-made by an interrupted run is removed together with its server and made anew.
ensure_prefix() {
  local k=$1 p
  p=$(prefix_dir "$k")
  [ -f "$p/.bench-ready" ] && return 0
  exec 9>"$root/.lock-$k"
  flock 9
  if [ ! -f "$p/.bench-ready" ]; then
    local arch=win64
    [ "$k" = win32 ] && arch=win32
    if [ "$k" = x11 ]; then export DISPLAY; DISPLAY=$(ensure_display); fi
    if ! make_prefix "$p" "$arch" "$root/wineboot-$k.log"; then
      # Once more from nothing: a first wineboot can fail before it wrote anything; the log of
      # each attempt goes to the caller's output, where a CI log keeps it.
      sed 's/^/  wineboot: /' "$root/wineboot-$k.log" >&2
      make_prefix "$p" "$arch" "$root/wineboot-$k.log" || {
        sed 's/^/  wineboot: /' "$root/wineboot-$k.log" >&2
        flock -u 9; fail "creating the Wine prefix $p failed twice (wineboot -i; its output: $root/wineboot-$k.log)"; }
    fi
    WINEPREFIX=$p detached wineserver -w
    if [ "$k" = x11 ]; then
      WINEPREFIX=$p detached wine_cmd reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 </dev/null
      WINEPREFIX=$p detached wine_cmd reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1000 /f >/dev/null 2>&1 </dev/null
      # The dialog's full-width colons and Chinese texts: link a CJK font behind the UI fonts.
      for font in Verdana Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif"; do
        WINEPREFIX=$p detached wine_cmd reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
          /v "$font" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1 </dev/null
      done
    else
      WINEPREFIX=$p detached wine_cmd reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 </dev/null
    fi
    WINEPREFIX=$p detached wineserver -w
    touch "$p/.bench-ready"
  fi
  flock -u 9
  exec 9>&-
}

# One persistent server per prefix; Wine's own processes are started with their output detached,
# so that no caller capturing a program's output waits on them.
ensure_server() {
  local k=$1 p
  p=$(prefix_dir "$k")
  ensure_prefix "$k"
  exec 8>"$root/.server-$k"
  flock 8
  if [ ! -f "$root/.server-up-$k" ] || ! server_running "$p"; then
    WINEPREFIX=$p detached wineserver -p >/dev/null 2>&1 </dev/null || true
    WINEPREFIX=$p detached wine_cmd wineboot >/dev/null 2>&1 </dev/null || true
    touch "$root/.server-up-$k"
  fi
  flock -u 8
  exec 8>&-
}

set_version() {
  local k=$1 exe=$2 ver=$3
  local dir base copy
  dir=$(dirname "$exe"); base=$(basename "$exe" .exe)
  copy="$dir/$base.$ver.exe"
  { cp -p "$exe" "$copy.tmp.$$" && mv -f "$copy.tmp.$$" "$copy"; } || fail "copying $exe for Windows version $ver failed"
  # Called inside $(...), where set -e does not hold: a failure must end the run, not let the
  # program run under the prefix's default version.
  WINEPREFIX=$(prefix_dir "$k") wine_cmd reg add "HKCU\\Software\\Wine\\AppDefaults\\$base.$ver.exe" \
    /v Version /d "$ver" /f >/dev/null 2>&1 </dev/null || fail "setting Windows version $ver for $base.exe failed"
  echo "$copy"
}

parse_opts() {
  while [ $# -gt 0 ]; do
    case "$1" in
      --kind) kind=$2; shift 2 ;;
      --version) version=$2; shift 2 ;;
      --display) display=1; kind=x11; shift ;;
      --) shift; rest=("$@"); return ;;
      *) rest=("$@"); return ;;
    esac
  done
  rest=()
}

# The machine field of a PE file's header ("014c": i386, "8664": x86-64).
pe_machine() {
  local offset
  offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || return 0
  [ -n "$offset" ] && od -An -tx2 -j$((offset + 4)) -N2 "$1" 2>/dev/null | tr -d ' '
}

# A 32-bit program or the 32-bit-only prefix on a 64-only host: skipped, with the reason.
skip_if_ia32_needed() {  # [program]
  local needs=0
  [ "$kind" = win32 ] && needs=1
  [ -n "${1:-}" ] && [ -f "$1" ] && [ "$(pe_machine "$1")" = 014c ] && needs=1
  if [ $ia32 = 0 ] && [ $needs = 1 ]; then
    echo "skipped: needs Wine's 32-bit loader; $(skip_reason)"
    exit $skip_code
  fi
}

wine_version() { wine_cmd --version 2>/dev/null || echo "unknown"; }

cmd=${1:-}; shift || true
rest=()
case "$cmd" in
  start)
    v=$(wine_version)
    if [ $ia32 = 1 ]; then mode="32- and 64-bit programs"; else mode="64-bit programs only: $(skip_reason)"; fi
    echo "Wine bench: $v ($mode)"
    [ "$v" = "$expected_wine" ] || [ "${v%% *}" = "$expected_wine" ] ||
      echo "warning: docs/WINE.md was written against $expected_wine, this is $v; its findings may not hold" >&2
    # The 32-bit tree on a 64-only host: every program of it is skipped, so no prefix is made.
    if [ "${1:-}" = --bits ] && [ "${2:-}" = 32 ] && [ $ia32 = 0 ]; then
      echo "No prefix prepared: this tree's 32-bit programs are skipped on this host."
      exit 0
    fi
    ensure_server null ;;
  stop)
    for p in "$root"/prefix-*; do
      [ -d "$p" ] && WINEPREFIX=$p wineserver -k >/dev/null 2>&1 || true
    done
    rm -f "$root"/.server-up-*
    if [ -f "$root/xvfb.pid" ]; then
      xpid=$(cat "$root/xvfb.pid")
      kill "$xpid" 2>/dev/null || true
      for _ in $(seq 1 50); do kill -0 "$xpid" 2>/dev/null || break; sleep 0.1; done
      rm -f "$root/xvfb.pid" "$root/xvfb.display"
    fi ;;
  host)
    if [ $ia32 = 1 ]; then echo ia32; else echo 64-only; fi ;;
  reason)
    skip_reason ;;
  prefix)
    parse_opts "$@"; skip_if_ia32_needed; ensure_prefix "$kind"; prefix_dir "$kind" ;;
  env)
    parse_opts "$@"; skip_if_ia32_needed; ensure_server "$kind"
    echo "export WINEPREFIX='$(prefix_dir "$kind")' WINEDEBUG='$WINEDEBUG' PATH='$(shim_dir):$PATH'"
    [ $ia32 = 1 ] || echo "export WINELOADER='$loader64'"
    if [ "$kind" = x11 ]; then echo "export DISPLAY='$(ensure_display)'"; fi ;;
  run)
    parse_opts "$@"
    [ ${#rest[@]} -ge 1 ] || { echo "bench.sh run: no program" >&2; exit 2; }
    skip_if_ia32_needed "${rest[0]}"
    if [ "$kind" = x11 ]; then export DISPLAY; DISPLAY=$(ensure_display); fi
    ensure_server "$kind"
    exe=${rest[0]}
    if [ "$version" != default ]; then exe=$(set_version "$kind" "$exe" "$version") || exit 1; fi
    export WINEPREFIX; WINEPREFIX=$(prefix_dir "$kind")
    if [ $ia32 = 1 ]; then exec wine "$exe" "${rest[@]:1}"; fi
    exec "$loader64" "$exe" "${rest[@]:1}" ;;
  screenshot)
    d=$(ensure_display); import -window root -display "$d" "$1" ;;
  *)
    sed -n '2,27p' "$0" >&2; exit 2 ;;
esac
