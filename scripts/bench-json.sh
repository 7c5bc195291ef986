#!/usr/bin/env bash
# Throughput of the JSON library under wine64: builds the x86_64 target and
# reads, writes and saves a generated document.
#   bench-json.sh [records, default 100000]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/lib.sh"
bash "$top/scripts/build.sh" x86_64
. "$top/scripts/wine-env.sh"
wine_start
[ -n "${SALVORA_KEEP_WINE:-}" ] || trap wine_stop EXIT
stage "json benchmark"
out="$top/build/bench/json"
rm -rf "$out"; mkdir -p "$out"
"$top/scripts/wine-run" --dir "B=$out" "$top/build/x86_64/bin/json_bench.exe" "${1:-100000}" 'B:\saved\bench.json'
stage_done
