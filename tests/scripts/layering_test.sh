#!/usr/bin/env bash
# The house's arrows point one way: what a folder may include from the project's other folders.
#   protocol/   nothing (what the engine and the installer program agree on)
#   win/        protocol/
#   installer/  win/, protocol/ (never engine/: the installer is carried by the engine's payload)
#   engine/     win/, protocol/, payload/
#   app/        app/, framework/, win/, and of the engine only its one public header engine/engine.h
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
allowed() {  # folder -> extended regex of the include paths it may use
  case "$1" in
    protocol) echo '^protocol/' ;;
    win) echo '^(win|protocol)/' ;;
    installer) echo '^(installer|win|protocol)/' ;;
    engine) echo '^(engine|win|protocol|payload)/' ;;
    app) echo '^((app|framework|win)/|engine/engine\.h$)' ;;
  esac
}
failures=0
for folder in protocol win installer engine app; do
  pattern=$(allowed "$folder")
  while IFS=: read -r file line include; do
    path=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"$include")
    [[ "$path" == */* ]] || continue  # a file of the same folder
    if ! [[ "$path" =~ $pattern ]]; then
      echo "FAIL ${file#$top/}:$line includes \"$path\", outside what $folder/ may use" >&2
      failures=$((failures + 1))
    fi
  done < <(grep -rn -E '^\s*#\s*include "' "$top/$folder" --include='*.h' --include='*.cpp' --include='*.c' || true)
done
[ "$failures" -eq 0 ] && echo "layering: every include points the allowed way"
exit $((failures > 0))
