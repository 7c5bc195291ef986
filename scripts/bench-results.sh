#!/usr/bin/env bash
# The deleted-file result page with a large scan's worth of records under
# wine64: the model's fill alone, the page's fill through its worker into the
# tree-list, tick all, collect the ticks, a filtered fill, close.
#   bench-results.sh [folders, default 200] [files per folder, default 100] [files in one folder, default 5000]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/lib.sh"
bash "$top/scripts/setup.sh" >/dev/null
stage "build results_bench"
cmake --build "$top/build/x86_64" --target results_bench
. "$top/scripts/wine-env.sh"
wine_start
trap wine_stop EXIT
stage "result page benchmark"
"$top/scripts/wine-run" "$top/build/x86_64/bin/results_bench.exe" "${1:-200}" "${2:-100}" "${3:-5000}"
stage_done
