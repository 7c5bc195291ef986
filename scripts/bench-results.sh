#!/usr/bin/env bash
# The deleted-file result page with a large scan's worth of records under
# wine64: the model's fill alone, the page's fill through its worker into the
# tree-list, tick all, collect the ticks, a filtered fill, close.
#   bench-results.sh [folders, default 1000] [files per folder, default 995] [files in one folder, default 5000]
# (the defaults make 10^6 records)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/lib.sh"
bash "$top/scripts/setup.sh" >/dev/null
stage "build results_bench"
SALVORA_BUILD_TARGETS=results_bench bash "$top/scripts/build.sh" x86_64
. "$top/scripts/wine-env.sh"
wine_start
[ -n "${SALVORA_KEEP_WINE:-}" ] || trap wine_stop EXIT
stage "result page benchmark"
"$top/scripts/wine-run" "$top/build/x86_64/bin/results_bench.exe" "${1:-1000}" "${2:-995}" "${3:-5000}"
stage_done
