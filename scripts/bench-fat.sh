#!/usr/bin/env bash
# Benchmark (not a test): the FAT deleted-file scan plus the copy-out of
# everything it finds, on a 1 GiB FAT32 image with 10,000 files of which half
# are deleted, against sleuthkit's tsk_recover (which recovers the deleted
# files by default) on the same image. Prints both times and their ratio.
#   bench-fat.sh            the image is made once and kept in build/bench
#   bench-fat.sh --memory   both write to /dev/shm: the disk's write-back of
#                           200 MB then slows neither, and the ratio is the
#                           programs' own
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/bench-lib.sh"
img=$bench/fat32-1g.img
out=$bench
if [ "${1:-}" = "--memory" ]; then
  out=/dev/shm/salvora-bench-fat.$$
  mkdir -p "$out"
fi

if [ ! -f "$img.done" ]; then
  stage "image: 1 GiB FAT32, 10,000 files, 5,000 deleted (mkfs.fat + mtools)"
  rm -f "$img" "$img.done"
  mkfs.fat -F 32 -n BENCH -C "$img" $((1024 * 1024)) >/dev/null
  bench_fill_fat "$img" 20240601 20 500 1024 $((80 * 1024)) 2 1
  touch "$img.done"
fi

bench_exe bench_fat
bench_wine
if [ "$out" != "$bench" ]; then
  trap 'rm -rf "$out"; [ -n "${SALVORA_KEEP_WINE:-}" ] || wine_stop' EXIT
fi

stage "salvora: scan + copy-out under wine64"
rm -rf "$out/ours" && mkdir -p "$out/ours"
t0=$(now)
"$top/scripts/wine-run" --drive X="$img" --dir R="$out/ours" "$exe" 'X:\' 'R:\out' | tee "$bench/ours.txt"
t1=$(now)
ours_files=$(find "$out/ours/out" -type f | wc -l)
ours_bytes=$(du -sb "$out/ours/out" | cut -f1)

stage "tsk_recover (deleted files, the default)"
rm -rf "$out/tsk" && mkdir -p "$out/tsk"
t2=$(now)
tsk_recover "$img" "$out/tsk" | tail -1
t3=$(now)
tsk_files=$(find "$out/tsk" -type f | wc -l)
tsk_bytes=$(du -sb "$out/tsk" | cut -f1)
stage_done

# The same files, the same bytes: compare the recovered trees.
same=$(tree_sums "$out/ours/out" | sort -k2 | sha256sum | cut -c1-16)
theirs=$(tree_sums "$out/tsk" | sort -k2 | sha256sum | cut -c1-16)

python3 - "$t0" "$t1" "$t2" "$t3" "$ours_files" "$ours_bytes" "$tsk_files" "$tsk_bytes" "$same" "$theirs" <<'PY'
import sys
t0, t1, t2, t3 = map(float, sys.argv[1:5])
of, ob, tf, tb = map(int, sys.argv[5:9])
ours, tsk = t1 - t0, t3 - t2
print("salvora      %7.2f s wall (wine start included)  %5d files %11d bytes" % (ours, of, ob))
print("tsk_recover  %7.2f s wall                        %5d files %11d bytes" % (tsk, tf, tb))
print("ratio salvora / tsk_recover: %.2f" % (ours / tsk))
print("recovered trees %s" % ("identical" if sys.argv[9] == sys.argv[10] else "differ"))
PY
