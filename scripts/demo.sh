#!/usr/bin/env bash
# Sets up everything, builds, and runs salvora on the bundled demo volume: a
# FAT32 image with deleted photos and documents, mapped as drive X: (raw
# volume) with drive R: as the place to save to.
#
# With a display, the program opens on the deleted-file road for you to use.
# Without one (or with --headless), the real program is driven through the
# main job under Xvfb: X: is chosen, scanned, every file ticked and copied to
# build/demo/recovered, and the report shown. It prints every deleted file of
# the volume with its size and whether the copy's sha256 equals the original,
# and saves a screenshot of each page (location, scan, result, destination,
# report) in build/artifacts/demo_*.png. It fails unless every deleted file
# came back byte for byte.
#   demo.sh [--headless] [salvora arguments]      default: -fixdel
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/lib.sh"

headless=""
if [ "${1:-}" = --headless ]; then headless=1; shift; fi
[ -n "${DISPLAY:-}" ] || headless=1

bash "$top/scripts/setup.sh"
SALVORA_BUILD_TARGETS="salvora pictaran demo_run" bash "$top/scripts/build.sh" x86_64

stage "demo volume"
fixtures="$top/build/x86_64/fixtures"
python3 "$top/tests/fixtures/mkimages.py" --out "$fixtures" demo-fat32
work="$top/build/demo"
rm -rf "$work"
mkdir -p "$work/recovered" "$work/xroot"
cp --sparse=always "$fixtures/demo-fat32/image.img" "$work/demo.img"
note "X: = $work/demo.img (deleted: 3 photos, 2 documents)"
note "R: = $work (the recovered files go to R:\\recovered = $work/recovered)"

. "$top/scripts/wine-env.sh"
# The prefix is made before any drive is mapped: a dosdevices folder that
# exists before the prefix makes Wine's first start wait for ever.
stage "wine prefix"
wine_start

if [ -n "$headless" ]; then
  stage "salvora, driven through the main job (no display)"
  winfix="Z:${fixtures//\//\\}\\demo-fat32"
  rc=0
  SALVORA_SCRATCH="$work" "$top/scripts/wine-run" \
    --drive "X=$work/demo.img" --dir "X=$work/xroot" --dir "R=$work" \
    "$top/build/x86_64/bin/demo_run.exe" "$winfix" || rc=$?
  for b in "$SALVORA_ARTIFACTS"/demo_*.bmp; do
    [ -e "$b" ] || continue
    convert "$b" "${b%.bmp}.png" && rm -f "$b"
  done
  note "recovered files: $work/recovered"
  note "screenshots: $(ls "$SALVORA_ARTIFACTS"/demo_*.png 2>/dev/null | tr '\n' ' ')"
  wine_stop
  stage_done
  exit $rc
fi

stage "salvora"
# Wine lists the drives it finds when its server starts: map them, then
# start the server again.
wineserver -k 2>/dev/null || true
ln -sfn "$work/demo.img" "$WINEPREFIX/dosdevices/x::"
ln -sfn "$work/xroot" "$WINEPREFIX/dosdevices/x:"
ln -sfn "$work" "$WINEPREFIX/dosdevices/r:"
trap 'rm -f "$WINEPREFIX/dosdevices/x::" "$WINEPREFIX/dosdevices/x:" "$WINEPREFIX/dosdevices/r:"' EXIT
wine_start
args=("$@")
[ ${#args[@]} -gt 0 ] || args=(-fixdel)
wine "$top/build/x86_64/bin/salvora.exe" "${args[@]}"
stage_done
