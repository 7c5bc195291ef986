#!/usr/bin/env bash
# Runs a copy-out test with a destination that is too small for it: a 24 KB
# tmpfs mounted for the run and handed to the test as SALVORA_FULL_DEST.
#   full_destination.sh WINE_RUN SCRATCH [wine-run mappings] -- PROGRAM [ARGS]
set -uo pipefail
wine_run=$1 scratch=$2
shift 2
mappings=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do mappings+=("$1"); shift; done
shift
mkdir -p "$scratch"
mnt=$(mktemp -d "$scratch/full.XXXXXX")
if ! mount -t tmpfs -o size=24k tmpfs "$mnt" 2>/dev/null; then
  echo "skipped: cannot mount a small file system here"
  rmdir "$mnt"
  exit 77
fi
trap 'umount "$mnt"; rmdir "$mnt"' EXIT
export SALVORA_FULL_DEST="Z:${mnt//\//\\}\\"
"$wine_run" "${mappings[@]}" "$@"
