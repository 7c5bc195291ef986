#!/usr/bin/env bash
# The deep-scan result page with a whole disk's worth of hits under wine64:
# the list handed over and drawn, select all, invert twice, expand, the ticks
# written into the records, the page destroyed.
#   bench-deeppages.sh [hits, default 20000] [types, default 16]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/lib.sh"
bash "$top/scripts/setup.sh" >/dev/null
stage "build deep_result_bench"
SALVORA_BUILD_TARGETS=deep_result_bench bash "$top/scripts/build.sh" x86_64
. "$top/scripts/wine-env.sh"
wine_start
[ -n "${SALVORA_KEEP_WINE:-}" ] || trap wine_stop EXIT
stage "deep result page benchmark"
"$top/scripts/wine-run" "$top/build/x86_64/bin/deep_result_bench.exe" "${1:-20000}" "${2:-16}"
stage_done
