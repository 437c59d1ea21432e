#!/usr/bin/env bash
# Runs benchmarks under Wine with the 32-bit and the 64-bit build and prints their figures
# (scripts/build.sh first). Benchmarks are not tests: run them while no test runs.
#   bench/run.sh all                                     every benchmark below with its defaults, then
#                                                        one table: figure, goal, measured, met or not
#   bench/run.sh enum [iterations] [device counts...]    enumeration against a walk with the same reads
#   bench/run.sh prepare [iterations]                    package preparation against writing the bytes
#   bench/run.sh runner [rounds]                         engine overhead per scripted installation
#   bench/run.sh list [rounds]                           /list with one probe against a bare program
#   bench/run.sh install [rounds]                        /install /quiet (one and three interfaces)
#                                                        against a floor of plain calls
#   bench/run.sh install-one-cpu [rounds]                the same with the Wine bench held on one CPU
#   bench/run.sh dialog [rounds]                         the dialog's start to its first painted probe
#                                                        list against a bare dialog, same resources
#   bench/run.sh soak [refreshes]                        handles, private bytes and GDI objects gained
#                                                        by the open dialog over 10,000 refreshes
# A benchmark reports and does not judge: the exit code is 0 whatever was measured. Where the host
# cannot execute 32-bit programs the 32-bit build is skipped with one line.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMOR_BUILD_DIR:-$top/build}
export WINE_BENCH_ROOT=${WINE_BENCH_ROOT:-$build/wine}
bench="$top/tests/wine/bench.sh"
which=${1:-}; shift || true

program_of() {
  case "$1" in
    enum) echo enum_bench ;;
    prepare) echo prepare_bench ;;
    runner) echo runner_overhead_bench ;;
    list) echo list_bench ;;
    install|install-one-cpu) echo install_bench ;;
    dialog) echo dialog_bench ;;
    soak) echo soak_bench ;;
    *) return 1 ;;
  esac
}

# One benchmark in one tree; its output on stdout.
run_one() {  # name tree args...
  local name=$1 tree=$2 program exe
  shift 2
  program=$(program_of "$name")
  exe="$build/$tree/bench/$program.exe"
  if [ ! -f "$exe" ]; then
    echo "$tree: missing $exe (scripts/build.sh builds it)"
    return 0
  fi
  local args=("$@")
  case "$name" in
    runner) args=("Z:$build/$tree/tests/wine/runner/scripted_installer.exe" "${1:-40}") ;;
    list) args=("Z:$build/$tree/app/Velmor_VirtualCOM_DriverInstall.exe" "Z:$build/$tree/bench/bare_program.exe"
                "${1:-40}") ;;
    # The installer's bitness is Windows's: the 64-bit bare program for both builds here.
    install|install-one-cpu)
      args=("Z:$build/$tree/app/Velmor_VirtualCOM_DriverInstall.exe" "Z:$build/$tree/bench/install_floor.exe"
            "Z:$build/win64/bench/bare_console.exe" "${1:-8}") ;;
    dialog) args=("Z:$build/$tree/app/Velmor_VirtualCOM_DriverInstall.exe" "Z:$build/$tree/bench/bare_dialog.exe"
                  "${1:-20}") ;;
    soak) args=("Z:$build/$tree/app/Velmor_VirtualCOM_DriverInstall.exe" "${1:-10000}") ;;
  esac
  if [ "$name" = install-one-cpu ]; then
    on_one_cpu "$bench" run -- "$exe" "${args[@]}" | sed 's/^\(@figure|[^|]*\)|/\1 on one CPU|/'
  else
    "$bench" run -- "$exe" "${args[@]}"
  fi
  local code=${PIPESTATUS[0]}
  if [ $code = 77 ]; then
    echo "$tree: skipped, this host cannot execute 32-bit programs"
  elif [ $code != 0 ]; then
    echo "$tree: $program ended with exit code $code"
  fi
  return 0
}

# A command with the Wine bench held on CPU 0: the wineserver, the Windows programs already running
# (the prefix's services) and those it starts. On a virtual machine an installation's programs hand
# work to each other and to the wineserver thousands of times, and each hand-over to an idle CPU
# waits for that CPU to wake; on one CPU that wait is gone, for the floor and the app alike.
on_one_cpu() {
  command -v taskset >/dev/null || { echo "taskset is missing (util-linux): not held on one CPU"; "$@"; return; }
  local all p
  all=0-$(($(nproc) - 1))
  hold() { for p in $(pgrep -u "$(id -u)" -f 'wineserver|^[A-Z]:\\'); do taskset -a -p -c "$1" "$p" >/dev/null 2>&1; done; }
  hold 0
  taskset -c 0 "$@"
  local code=$?
  hold "$all"
  return $code
}

# The "@figure|name|unit|goal|measured" lines of the benchmarks as one table.
table() {
  awk -F'|' '
    BEGIN { printf "%-58s %-9s %-10s %s\n", "Figure", "Goal", "Measured", "Met"; n = 0 }
    $1 == "@figure" {
      unit = ($3 == "x") ? "x" : " " $3
      met = ($5 + 0 <= $4 + 0) ? "yes" : "no"
      printf "%-58s <= %-6s %-10s %s\n", $2, $4 unit, $5 unit, met; n++
    }
    END { if (n == 0) print "(no figures: nothing ran)" }'
}

case "$which" in
  all)
    "$bench" start >/dev/null 2>&1
    out=$(mktemp)
    for name in prepare runner enum list install install-one-cpu dialog soak; do
      for tree in win32 win64; do
        echo "== $name, $tree"
        run_one "$name" "$tree" | tee -a "$out" | grep -v "^@figure"
      done
    done
    echo
    table <"$out"
    rm -f "$out"
    exit 0 ;;
  enum|prepare|runner|list|install|install-one-cpu|dialog|soak)
    "$bench" start >/dev/null 2>&1
    for tree in win32 win64; do run_one "$which" "$tree" "$@"; done
    exit 0 ;;
  *)
    sed -n '2,17p' "$0" >&2
    exit 2 ;;
esac
