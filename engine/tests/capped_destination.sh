#!/usr/bin/env bash
# Runs a copy-out test whose files cannot grow past a size, as on a
# destination that fills up: the run's file-size limit (ulimit -f) does it,
# without mounting anything and without root. A write past the limit fails
# (SIGXFSZ is ignored, so the write returns an error instead of ending the
# program), which the copy-out must treat as a full destination.
#   capped_destination.sh WINE_RUN LIMIT_KB [wine-run mappings] -- PROGRAM [ARGS]
# The mappings must not make copies (wine-run's copies would be capped too).
# The program sees SALVORA_FILE_LIMIT_KB.
set -uo pipefail
wine_run=$1 limit_kb=$2
shift 2
mappings=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do mappings+=("$1"); shift; done
shift
# The wineserver writes the prefix's registry: it must not run under the
# limit. It is already up when the whole suite runs; start it if not.
. "$(dirname "$0")/../../scripts/wine-env.sh"
wine_env
wineserver -p >/dev/null 2>&1 || true
export SALVORA_FILE_LIMIT_KB=$limit_kb
trap '' XFSZ
ulimit -f "$limit_kb" || { echo "skipped: cannot limit the file size here"; exit 77; }
"$wine_run" "${mappings[@]}" "$@"
