#!/usr/bin/env bash
# Benchmark (not a test): deleted FAT folders of thousands of files. A 1 GiB
# FAT32 image (512-byte clusters, so every folder spans hundreds of clusters)
# holds 6 folders of 1,500 files each; 5 of them are deleted whole (mdeltree).
# The deleted-file scan plus the copy-out of everything it finds, against
# sleuthkit's tsk_recover on the same image. Prints both times, both file
# counts, how many of the deleted files each gives back byte-identical, and
# the ratios. (tsk_recover's own "Files Recovered" line counts the files it
# wrote, also those that a later one of the same name in its orphan folder
# wrote over: the counts here are of the files left on disk.)
#   bench-fat-folders.sh     the image is made once and kept in build/bench
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/bench-lib.sh"
img=$bench/fat32-1g-folders.img
out=$bench/folders

if [ ! -f "$img.done" ]; then
  stage "image: 1 GiB FAT32, 6 folders of 1,500 files, 5 folders deleted (mkfs.fat + mtools)"
  rm -f "$img" "$img.done" "$img.sums"
  mkfs.fat -F 32 -s 1 -n BENCH -C "$img" $((1024 * 1024)) >/dev/null
  bench_fill_fat "$img" 20240701 6 1500 512 $((24 * 1024)) 1 0
  # The sums of the files to be deleted: what a recovery must give back.
  sums=$(mktemp -d)
  for d in 1 2 3 4 5; do
    MTOOLS_SKIP_CHECK=1 mcopy -s -n -i "$img" "::/Folder $d" "$sums/" >/dev/null
    MTOOLS_SKIP_CHECK=1 mdeltree -i "$img" "::/Folder $d"
  done
  tree_sums "$sums" | cut -d' ' -f1 | sort >"$img.sums"
  rm -rf "$sums"
  touch "$img.done"
fi

bench_exe bench_fat
bench_wine

stage "salvora: scan + copy-out under wine64"
rm -rf "$out/ours" && mkdir -p "$out/ours"
t0=$(now)
"$top/scripts/wine-run" --drive X="$img" --dir R="$out/ours" "$exe" 'X:\' 'R:\out' | tee "$bench/folders-ours.txt"
t1=$(now)

stage "tsk_recover (deleted files, the default)"
rm -rf "$out/tsk" && mkdir -p "$out/tsk"
t2=$(now)
tsk_recover "$img" "$out/tsk" | tail -1
t3=$(now)
stage_done

ours_files=$(find "$out/ours/out" -type f | wc -l)
tsk_files=$(find "$out/tsk" -type f | wc -l)
ours_same=$(tree_sums "$out/ours/out" | cut -d' ' -f1 | sort -u | comm -12 - "$img.sums" | wc -l)
tsk_same=$(tree_sums "$out/tsk" | cut -d' ' -f1 | sort -u | comm -12 - "$img.sums" | wc -l)
wanted=$(wc -l <"$img.sums")
# Files that come back under their own folder's path.
ours_placed=$(find "$out/ours/out" -path '*/Folder [1-5]/*' -type f | wc -l)
# The program's own time for the scan and the copy-out, without Wine's start.
ours_inproc=$(tr -d '\r' <"$bench/folders-ours.txt" | awk '/^scan .* total /{print $8}')

python3 - "$t0" "$t1" "$t2" "$t3" "$ours_files" "$tsk_files" "$ours_same" "$tsk_same" "$wanted" "$ours_placed" \
  "${ours_inproc:-0}" <<'PY'
import sys
t0, t1, t2, t3 = map(float, sys.argv[1:5])
of, tf, os_, ts, wanted, placed = map(int, sys.argv[5:11])
inproc = float(sys.argv[11])
ours, tsk = t1 - t0, t3 - t2
print("salvora      %7.2f s wall (wine start included)  %5d files, %5d of %d deleted byte-identical, %d under their folder"
      % (ours, of, os_, wanted, placed))
print("tsk_recover  %7.2f s wall                        %5d files, %5d of %d deleted byte-identical" % (tsk, tf, ts, wanted))
print("time ratio salvora / tsk_recover: %.2f" % (ours / tsk))
if inproc > 0:
    print("time ratio salvora in process (%.2f s) / tsk_recover: %.2f" % (inproc, inproc / tsk))
print("count ratio salvora / tsk_recover (byte-identical): %.3f" % (os_ / ts if ts else float("inf")))
PY
