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
wine_env
# Wine lists the drives it finds when its server starts: map them first.
wine_stop
mkdir -p "$WINEPREFIX/dosdevices" "$work/xroot"
ln -sfn "$work/demo.img" "$WINEPREFIX/dosdevices/x::"
ln -sfn "$work/xroot" "$WINEPREFIX/dosdevices/x:"
ln -sfn "$work/recovered" "$WINEPREFIX/dosdevices/r:"
wine_start
args=("$@")
[ ${#args[@]} -gt 0 ] || args=(-fixdel)
if [ -n "$headless" ]; then
  wine "$top/build/x86_64/bin/salvora.exe" "${args[@]}" </dev/null >"$work/salvora.log" 2>&1 &
  sleep "${SALVORA_DEMO_SECONDS:-8}"
  import -window root "$SALVORA_ARTIFACTS/demo.png" && note "screenshot: $SALVORA_ARTIFACTS/demo.png"
  wine_stop
else
  wine "$top/build/x86_64/bin/salvora.exe" "${args[@]}"
fi
rm -f "$WINEPREFIX/dosdevices/x::" "$WINEPREFIX/dosdevices/x:" "$WINEPREFIX/dosdevices/r:"
stage_done
