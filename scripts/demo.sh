#!/usr/bin/env bash
# Sets up everything, builds, and runs salvora on the bundled demo volume: a
# FAT32 image with deleted photos and documents, mapped as drive X: (raw
# volume) with drive R: as a place to save to. Without a display it runs under
# Xvfb and saves a screenshot to build/artifacts/demo.png after a few seconds.
#   demo.sh [salvora arguments]      default: -fixdel
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/lib.sh"

bash "$top/scripts/setup.sh"
bash "$top/scripts/build.sh" x86_64

stage "demo volume"
python3 "$top/tests/fixtures/mkimages.py" --out "$top/build/x86_64/fixtures" demo-fat32
work="$top/build/demo"
mkdir -p "$work/recovered"
cp --sparse=always "$top/build/x86_64/fixtures/demo-fat32/image.img" "$work/demo.img"
note "X: = $work/demo.img (deleted: 3 photos, 2 documents)"
note "R: = $work/recovered (save the recovered files here)"

stage "salvora"
headless=""
[ -z "${DISPLAY:-}" ] && headless=1
. "$top/scripts/wine-env.sh"
wine_start
args=("$@")
[ ${#args[@]} -gt 0 ] || args=(-fixdel)
if [ -n "$headless" ]; then
  "$top/scripts/wine-run" --drive "X=$work/demo.img" --dir "R=$work/recovered" \
    "$top/build/x86_64/bin/salvora.exe" "${args[@]}" &
  pid=$!
  sleep "${SALVORA_DEMO_SECONDS:-8}"
  import -window root "$SALVORA_ARTIFACTS/demo.png" && note "screenshot: $SALVORA_ARTIFACTS/demo.png"
  kill "$pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
else
  "$top/scripts/wine-run" --drive "X=$work/demo.img" --dir "R=$work/recovered" \
    "$top/build/x86_64/bin/salvora.exe" "${args[@]}"
fi
stage_done
