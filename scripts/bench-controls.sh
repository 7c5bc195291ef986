#!/usr/bin/env bash
# The result tree-list with a large scan's worth of rows under wine64: insert
# (with column texts and check states), expand, paint, tick all, delete.
#   bench-controls.sh [folders, default 200] [files per folder, default 100]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/lib.sh"
bash "$top/scripts/setup.sh" >/dev/null
stage "build controls_bench"
SALVORA_BUILD_TARGETS=controls_bench bash "$top/scripts/build.sh" x86_64
. "$top/scripts/wine-env.sh"
wine_start
[ -n "${SALVORA_KEEP_WINE:-}" ] || trap wine_stop EXIT
stage "tree-list benchmark"
"$top/scripts/wine-run" "$top/build/x86_64/bin/controls_bench.exe" "${1:-200}" "${2:-100}"
stage_done
