#!/usr/bin/env bash
# Benchmark (not a test): the unformat scan of a 1 GiB FAT32 volume that was
# filled by mtools (100 folders of 40 files, about 600 MB) and then formatted
# again by mkfs.fat, and the copy-out of everything it finds. Compared with
# sleuthkit on the volume as it was before the format: `fls -r` (the folder
# walk of the intact file system) and `tsk_recover -a` (its copy-out).
# Prints the times, the counts and how many recovered files are byte-identical
# to the files sleuthkit recovers from the intact volume.
#   bench-unformat.sh        the images are made once and kept in build/bench
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/bench-lib.sh"
img=$bench/unformat-fat32-1g.img
old=$bench/unformat-fat32-1g.before.img

if [ ! -f "$img.done" ]; then
  stage "image: 1 GiB FAT32, 4,000 files in 100 folders, then formatted again (mkfs.fat + mtools)"
  rm -f "$img" "$old" "$img.done"
  mkfs.fat -F 32 -s 8 -n BENCH -C "$img" $((1024 * 1024)) >/dev/null
  bench_fill_fat "$img" 20240602 100 40 $((4 * 1024)) $((280 * 1024)) 3 0
  cp --sparse=always "$img" "$old"
  mkfs.fat -F 32 -s 8 -n FORMATTED "$img" >/dev/null
  touch "$img.done"
fi

bench_exe bench_unformat
bench_wine

stage "salvora: unformat scan alone, three runs (best counts)"
best_scan=999999
for _ in 1 2 3; do
  s=$("$top/scripts/wine-run" --drive X="$img" "$exe" 1 X | awk '/^scan/{print $2}')
  best_scan=$(awk -v a="$s" -v b="$best_scan" 'BEGIN { print (a < b) ? a : b }')
done

stage "salvora: scan + copy-out under wine64"
rm -rf "$bench/unformat-ours" && mkdir -p "$bench/unformat-ours"
t0=$(now)
"$top/scripts/wine-run" --drive X="$img" --dir R="$bench/unformat-ours" "$exe" 1 X 'R:\out' | tee "$bench/unformat-ours.txt"
t1=$(now)

stage "fls -r on the volume before the format (three runs, best counts)"
best_fls=999999
for _ in 1 2 3; do
  a=$(now); fls -r -p "$old" >/dev/null; b=$(now)
  best_fls=$(awk -v a="$a" -v b="$b" -v c="$best_fls" 'BEGIN { d = b - a; print (d < c) ? d : c }')
done
fls_files=$(fls -r -p -F "$old" | wc -l)

stage "tsk_recover -a on the volume before the format"
rm -rf "$bench/unformat-tsk" && mkdir -p "$bench/unformat-tsk"
t2=$(now)
tsk_recover -a "$old" "$bench/unformat-tsk" | tail -1
t3=$(now)
stage_done

ours_files=$(find "$bench/unformat-ours/out" -type f | wc -l)
tsk_files=$(find "$bench/unformat-tsk" -type f | wc -l)
tree_sums "$bench/unformat-ours/out" | cut -c1-64 | sort > "$bench/unformat-ours.sha"
tree_sums "$bench/unformat-tsk" | cut -c1-64 | sort > "$bench/unformat-tsk.sha"
same=$(comm -12 "$bench/unformat-ours.sha" "$bench/unformat-tsk.sha" | wc -l)
records=$(awk '/^result/{print $4}' "$bench/unformat-ours.txt")
scan=$(awk '/^scan/{print $2}' "$bench/unformat-ours.txt")
copy=$(awk '/^scan/{print $5}' "$bench/unformat-ours.txt")

python3 - "$best_scan" "$scan" "$copy" "$t0" "$t1" "$best_fls" "$t2" "$t3" "$records" "$ours_files" "$fls_files" \
  "$tsk_files" "$same" <<'PY'
import sys
best_scan, scan, copy, t0, t1, fls, t2, t3 = map(float, sys.argv[1:9])
records, ours, fls_files, tsk, same = map(int, sys.argv[9:14])
print()
print("salvora unformat scan (in process, best of 3)  %7.3f s   %5d files found" % (best_scan, records))
print("salvora copy-out of everything found          %7.3f s   %5d files written" % (copy, ours))
print("salvora scan + copy-out, wine start included   %7.3f s" % (t1 - t0))
print("fls -r on the intact volume (best of 3)        %7.3f s   %5d files listed" % (fls, fls_files))
print("tsk_recover -a on the intact volume            %7.3f s   %5d files written" % (t3 - t2, tsk))
print("ratio scan / fls:                 %.2f" % (best_scan / fls if fls else 0))
print("ratio copy-out / tsk_recover:     %.2f" % (copy / (t3 - t2) if t3 > t2 else 0))
print("recovered files byte-identical to sleuthkit's copy of the intact volume: %d of %d" % (same, ours))
PY
