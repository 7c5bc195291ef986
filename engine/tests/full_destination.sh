#!/usr/bin/env bash
# Runs a copy-out test with a destination that fills up after 24 KB: a folder
# handed to the test as SALVORA_FULL_DEST, below which every write fails with
# "disk full" once 24 KB have been written (tests/support/fullfs.c, preloaded
# into Wine; no mount, so no root needed).
#   full_destination.sh WINE_RUN SCRATCH [wine-run mappings] -- PROGRAM [ARGS]
set -uo pipefail
wine_run=$1 scratch=$2
shift 2
mappings=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do mappings+=("$1"); shift; done
shift
top=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$scratch"
shim="$scratch/fullfs.so"
if [ ! -f "$shim" ] || [ "$top/tests/support/fullfs.c" -nt "$shim" ]; then
  gcc -shared -fPIC -O2 -o "$shim" "$top/tests/support/fullfs.c" -ldl || { echo "cannot build fullfs.so"; exit 1; }
fi
full=$(mktemp -d "$scratch/full.XXXXXX")
trap 'rm -rf "$full"' EXIT
export SALVORA_FULL_DIR=$full SALVORA_FULL_BYTES=24576
export SALVORA_FULL_DEST="Z:${full//\//\\}\\"
LD_PRELOAD="$shim${LD_PRELOAD:+:$LD_PRELOAD}" "$wine_run" "${mappings[@]}" "$@"
