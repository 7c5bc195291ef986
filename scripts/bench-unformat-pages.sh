#!/usr/bin/env bash
# The unformat result page with a large scan's worth of records under wine64:
# the fill (tree built on the worker, rows made by the page), check all,
# invert, the collection of the ticks, expand all, closing.
#   bench-unformat-pages.sh [folders, default 200] [files per folder, default 100]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/lib.sh"
bash "$top/scripts/setup.sh" >/dev/null
stage "build unformat_result_bench"
SALVORA_BUILD_TARGETS=unformat_result_bench bash "$top/scripts/build.sh" x86_64
. "$top/scripts/wine-env.sh"
wine_start
[ -n "${SALVORA_KEEP_WINE:-}" ] || trap wine_stop EXIT
stage "unformat result page benchmark"
"$top/scripts/wine-run" "$top/build/x86_64/bin/unformat_result_bench.exe" "${1:-200}" "${2:-100}"
stage_done
