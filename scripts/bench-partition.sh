#!/usr/bin/env bash
# Benchmark (not a test): the lost-partition search on two 100 GiB disks
# (sparse images, so this measures the search's own cost, not a drive's
# seeks): one whose table entries were zeroed (NTFS 60 GiB at 1 MiB, FAT32
# 1 GiB after it, 39 GiB free behind), and one with nothing on it at all,
# which every probe of the whole disk must read. testdisk's analysis of the
# first disk is timed beside it.
#   bench-partition.sh        the images are made once and kept in build/bench
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/bench-lib.sh"
lost=$bench/part-lost-100g.img
empty=$bench/part-empty-100g.img
gib=$((1024 * 1024 * 2))   # sectors

if [ ! -f "$lost.done" ]; then
  stage "images: 100 GiB disks (sfdisk, mkntfs, mkfs.fat)"
  rm -f "$lost" "$empty"
  truncate -s 100G "$lost" "$empty"
  printf 'label: dos\nstart=2048, size=%d, type=7, bootable\nstart=%d, size=%d, type=b\n' \
    $((60 * gib)) $((2048 + 60 * gib)) $gib | sfdisk --no-reread --no-tell-kernel "$lost" >/dev/null
  part=$bench/part-ntfs.tmp
  rm -f "$part" && truncate -s 60G "$part"
  mkntfs -F -Q -q -s 512 -c 4096 -p 2048 -H 255 -S 63 "$part"
  dd if="$part" of="$lost" bs=1M seek=1 conv=notrunc,sparse status=none
  rm -f "$part"
  mkfs.fat -F 32 -s 8 --offset $((2048 + 60 * gib)) "$lost" $((1024 * 1024)) >/dev/null
  printf 'label: dos\n' | sfdisk --no-reread --no-tell-kernel "$empty" >/dev/null
  python3 - "$lost" <<'PY'
import sys
with open(sys.argv[1], "r+b") as f:
    f.seek(446)
    f.write(bytes(64))
PY
  touch "$lost.done"
fi

bench_exe bench_partition
bench_wine

stage "salvora: lost-partition search under wine64"
t0=$(now)
"$top/scripts/wine-run" --disk-copy 1="$lost" --disk 2="$empty" "$exe" 1 2 | tee "$bench/partition-ours.txt"
t1=$(now)

stage "testdisk: partition_i386,analyze on the first disk"
work=$(mktemp -d)
cp --sparse=always "$lost" "$work/disk.img"
t2=$(now)
(cd "$work" && testdisk /log /cmd disk.img partition_i386,analyze >/dev/null 2>&1)
t3=$(now)
sed -n '/interface_write()/,$p' "$work/testdisk.log" | head -8
rm -rf "$work"
stage_done

python3 - "$t0" "$t1" "$t2" "$t3" <<'PY'
import sys
t0, t1, t2, t3 = map(float, sys.argv[1:5])
print("salvora (both disks, wine start included) %7.2f s" % (t1 - t0))
print("testdisk (first disk)                     %7.2f s" % (t3 - t2))
PY
