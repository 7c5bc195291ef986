#!/usr/bin/env bash
# Benchmark (not a test): the recycle-bin result page on an emptied NTFS bin
# of many "$R"/"$I" pairs (the fixture ntfs-recycle-many, made by libntfs-3g,
# built once into the fixture cache): the scan, then the page from its
# opening to its filled list with every item named from its partner, against
# the same records under plain names. In process, under wine64.
#   bench-recycle.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/bench-lib.sh"
bench_exe recycle_bench
stage "image (ntfs-recycle-many)"
python3 "$top/tests/fixtures/mkimages.py" --out "$bench/fixtures" ntfs-recycle-many >/dev/null
img="$bench/fixtures/ntfs-recycle-many/image.img"
[ -f "$img" ] || die "no $img"
stage_done
bench_wine >/dev/null
stage "recycle-bin page benchmark"
"$top/scripts/wine-run" --drive X="$img" "$exe" 'X:\$Recycle.Bin'
stage_done
