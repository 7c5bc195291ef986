#!/usr/bin/env bash
# Benchmark (not a test): the lost-partition search against testdisk's
# analysis on a 64 GiB disk (a sparse image, so this measures the search's
# own cost, not a drive's seeks) whose table entries were zeroed: NTFS 40 GiB
# at 1 MiB, FAT32 1 GiB after it, 23 GiB free behind. The search reads every
# sector of the disk once; testdisk's quick analysis looks at far fewer. Each
# is run RUNS times (default 5); the ratio is of the medians.
#   bench-partition.sh        the image is made once and kept in build/bench
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/bench-lib.sh"
lost=$bench/part-lost-64g.img
gib=$((1024 * 1024 * 2))   # sectors
runs=${RUNS:-5}

if [ ! -f "$lost.done" ]; then
  stage "image: 64 GiB disk (sfdisk, mkntfs, mkfs.fat)"
  rm -f "$lost"
  truncate -s 64G "$lost"
  printf 'label: dos\nstart=2048, size=%d, type=7, bootable\nstart=%d, size=%d, type=b\n' \
    $((40 * gib)) $((2048 + 40 * gib)) $gib | sfdisk --no-reread --no-tell-kernel "$lost" >/dev/null
  part=$bench/part-ntfs.tmp
  rm -f "$part" && truncate -s 40G "$part"
  mkntfs -F -Q -q -s 512 -c 4096 -p 2048 -H 255 -S 63 "$part"
  dd if="$part" of="$lost" bs=1M seek=1 conv=notrunc,sparse status=none
  rm -f "$part"
  mkfs.fat -a -F 32 -s 8 --offset $((2048 + 40 * gib)) "$lost" $((1024 * 1024)) >/dev/null
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

stage "salvora: lost-partition search under wine64 ($runs runs)"
ours=()
for i in $(seq "$runs"); do
  out=$("$top/scripts/wine-run" --disk-copy 1="$lost" "$exe" 1)
  [ "$i" = 1 ] && echo "$out"
  ours+=("$(echo "$out" | sed -n 's/.* in \([0-9.]*\) ms.*/\1/p' | head -1)")
done

stage "testdisk: partition_i386,analyze ($runs runs)"
work=$(mktemp -d)
cp --sparse=always "$lost" "$work/disk.img"
theirs=()
for i in $(seq "$runs"); do
  rm -f "$work/testdisk.log"
  t0=$(now)
  (cd "$work" && testdisk /log /cmd disk.img partition_i386,analyze >/dev/null 2>&1)
  t1=$(now)
  theirs+=("$(python3 -c "print(1000 * ($t1 - $t0))")")
done
sed -n '/interface_write()/,$p' "$work/testdisk.log" | head -6
rm -rf "$work"
stage_done

python3 - "${ours[*]}" "${theirs[*]}" "$(nproc)" "$(cut -d' ' -f1-3 /proc/loadavg)" <<'PY'
import statistics, sys
ours = [float(x) for x in sys.argv[1].split()]
theirs = [float(x) for x in sys.argv[2].split()]
print("machine: %s cpus, load %s" % (sys.argv[3], sys.argv[4]))
print("salvora search (in process) ms: %s" % " ".join("%.0f" % x for x in ours))
print("testdisk analyse (process)  ms: %s" % " ".join("%.0f" % x for x in theirs))
mo, mt = statistics.median(ours), statistics.median(theirs)
print("median: salvora %.0f ms, testdisk %.0f ms, ratio salvora/testdisk %.2f" % (mo, mt, mo / mt))
PY
