#!/usr/bin/env bash
# The Wine bench: private prefixes, one persistent wineserver per prefix, Xvfb when a program needs
# a real display, and the Windows version Wine reports to one program.
#
#   bench.sh start                        create the default prefix (once) and keep its server up
#   bench.sh stop                         stop every server and Xvfb this bench started
#   bench.sh prefix [--kind K]            print the prefix folder, creating it on first use
#   bench.sh env [--kind K] [--display]   print "export ..." lines for a shell that runs wine itself
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
# State lives in $WINE_BENCH_ROOT (default: build/wine of the repository).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=${WINE_BENCH_ROOT:-$here/../../build/wine}
mkdir -p "$root"
root=$(cd "$root" && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

kind=null
version=default
display=0

prefix_dir() { echo "$root/prefix-$1"; }

ensure_display() {
  local n=${WINE_BENCH_DISPLAY_NUMBER:-97}
  if [ -f "$root/xvfb.pid" ] && kill -0 "$(cat "$root/xvfb.pid")" 2>/dev/null; then
    echo ":$n"; return
  fi
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
  echo $! >"$root/xvfb.pid"
  for _ in $(seq 1 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
  done
  echo ":$n"
}

# Creates the prefix once (serialised with flock, so parallel tests wait for one creation).
ensure_prefix() {
  local k=$1 p
  p=$(prefix_dir "$k")
  [ -f "$p/.bench-ready" ] && return 0
  exec 9>"$root/.lock-$k"
  flock 9
  if [ ! -f "$p/.bench-ready" ]; then
    rm -rf "$p"
    local arch=win64
    [ "$k" = win32 ] && arch=win32
    if [ "$k" = x11 ]; then export DISPLAY; DISPLAY=$(ensure_display); fi
    WINEPREFIX=$p WINEARCH=$arch wineboot -i >/dev/null 2>&1 </dev/null
    WINEPREFIX=$p wineserver -w
    if [ "$k" = x11 ]; then
      WINEPREFIX=$p wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 </dev/null
      WINEPREFIX=$p wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1000 /f >/dev/null 2>&1 </dev/null
      # The dialog's full-width colons and Chinese texts: link a CJK font behind the UI fonts.
      for font in Verdana Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif"; do
        WINEPREFIX=$p wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
          /v "$font" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1 </dev/null
      done
    else
      WINEPREFIX=$p wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 </dev/null
    fi
    WINEPREFIX=$p wineserver -w
    touch "$p/.bench-ready"
  fi
  flock -u 9
}

# One persistent server per prefix; Wine's own processes are started with their output detached,
# so that no caller capturing a program's output waits on them.
ensure_server() {
  local k=$1 p
  p=$(prefix_dir "$k")
  ensure_prefix "$k"
  exec 8>"$root/.server-$k"
  flock 8
  if [ ! -f "$root/.server-up-$k" ] || ! pgrep -x wineserver -u "$(id -u)" >/dev/null 2>&1; then
    WINEPREFIX=$p wineserver -p >/dev/null 2>&1 </dev/null || true
    WINEPREFIX=$p wine wineboot >/dev/null 2>&1 </dev/null || true
    touch "$root/.server-up-$k"
  fi
  flock -u 8
}

set_version() {
  local k=$1 exe=$2 ver=$3
  local dir base copy
  dir=$(dirname "$exe"); base=$(basename "$exe" .exe)
  copy="$dir/$base.$ver.exe"
  cp -p "$exe" "$copy.tmp.$$" && mv -f "$copy.tmp.$$" "$copy"
  WINEPREFIX=$(prefix_dir "$k") wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$base.$ver.exe" \
    /v Version /d "$ver" /f >/dev/null 2>&1 </dev/null
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

cmd=${1:-}; shift || true
rest=()
case "$cmd" in
  start)
    ensure_server null ;;
  stop)
    for p in "$root"/prefix-*; do
      [ -d "$p" ] && WINEPREFIX=$p wineserver -k >/dev/null 2>&1 || true
    done
    rm -f "$root"/.server-up-*
    if [ -f "$root/xvfb.pid" ]; then kill "$(cat "$root/xvfb.pid")" 2>/dev/null || true; rm -f "$root/xvfb.pid"; fi ;;
  prefix)
    parse_opts "$@"; ensure_prefix "$kind"; prefix_dir "$kind" ;;
  env)
    parse_opts "$@"; ensure_server "$kind"
    echo "export WINEPREFIX='$(prefix_dir "$kind")' WINEDEBUG='$WINEDEBUG'"
    if [ "$kind" = x11 ]; then echo "export DISPLAY='$(ensure_display)'"; fi ;;
  run)
    parse_opts "$@"
    [ ${#rest[@]} -ge 1 ] || { echo "bench.sh run: no program" >&2; exit 2; }
    if [ "$kind" = x11 ]; then export DISPLAY; DISPLAY=$(ensure_display); fi
    ensure_server "$kind"
    exe=${rest[0]}
    if [ "$version" != default ]; then exe=$(set_version "$kind" "$exe" "$version"); fi
    export WINEPREFIX; WINEPREFIX=$(prefix_dir "$kind")
    exec wine "$exe" "${rest[@]:1}" ;;
  screenshot)
    DISPLAY=$(ensure_display) import -window root -display "$(ensure_display)" "$1" ;;
  *)
    sed -n '2,22p' "$0" >&2; exit 2 ;;
esac
