#!/usr/bin/env bash
# Benchmark (not a test): the FAT deleted-file scan plus the copy-out of
# everything it finds, on a 1 GiB FAT32 image with 10,000 files of which half
# are deleted, against sleuthkit's tsk_recover (which recovers the deleted
# files by default) on the same image. Prints both times and their ratio,
# the four counts of our copy-out, and with several runs the range of each.
# Each run also times Wine's floor for the same files (bench_floor: what
# creating and writing them costs here without reading the disk) and the
# native round trip between two processes, both under that run's load.
#   bench-fat.sh [--memory] [--runs N]
#     the image is made once and kept in build/bench
#     --memory   both write to /dev/shm: the disk's write-back of 200 MB then
#                slows neither, and the ratio is the programs' own
#     --runs N   N runs of each, one after the other (default 1)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/bench-lib.sh"
img=$bench/fat32-1g.img
out=$bench
runs=1
while [ $# -gt 0 ]; do
  case "$1" in
    --memory) out=/dev/shm/salvora-bench-fat.$$; mkdir -p "$out"; shift ;;
    --runs) runs=$2; shift 2 ;;
    *) die "usage: bench-fat.sh [--memory] [--runs N]" ;;
  esac
done

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

results=$bench/fat-runs.txt
: >"$results"
for run in $(seq 1 "$runs"); do
  stage "run $run of $runs: salvora (scan + copy-out under wine64), then tsk_recover"
  rm -rf "$out/ours" && mkdir -p "$out/ours"
  t0=$(now)
  "$top/scripts/wine-run" --drive X="$img" --dir R="$out/ours" "$exe" 'X:\' 'R:\out' | tr -d '\r' >"$bench/ours.txt"
  t1=$(now)
  cat "$bench/ours.txt"
  ours_files=$(find "$out/ours/out" -type f | wc -l)
  ours_bytes=$(du -sb "$out/ours/out" | cut -f1)
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
  load=$(cut -d' ' -f1 /proc/loadavg)
  inside=$(awk '/^scan /{print $8}' "$bench/ours.txt")
  # Wine's floor for files like these (as many, of their mean size, in as
  # many folders) and the native round trip, under this run's load.
  floor=$(bench_floor "$out/floor" "$ours_files" $(( ours_bytes / (ours_files > 0 ? ours_files : 1) )) 4 \
    "$(find "$out/ours/out" -type d | wc -l)")
  echo "$t0 $t1 $t2 $t3 $ours_files $ours_bytes $tsk_files $tsk_bytes $same $theirs $load ${inside:-0} ${floor:-0}" \
    "$(bench_round_trip)" >>"$results"
done
tally=$(grep '^ticked' "$bench/ours.txt" || true)

python3 - "$results" "$tally" "$(nproc)" <<'PY'
import sys
rows = [l.split() for l in open(sys.argv[1]) if l.strip()]
ratios = []
for r in rows:
    t0, t1, t2, t3 = map(float, r[0:4])
    of, ob, tf, tb = map(int, r[4:8])
    ours, tsk = t1 - t0, t3 - t2
    inside = float(r[11]) if len(r) > 11 else 0.0
    # What the program spends inside (scan and copy) and outside it (Wine's
    # start and the process's end), to tell where a ratio comes from.
    floor = float(r[12]) / 1000 if len(r) > 13 else 0.0
    trip = float(r[13]) if len(r) > 13 else 0.0
    ratios.append((ours, tsk, ours / tsk, float(r[10]), inside, ours - inside, floor, trip))
    print("salvora %6.2f s (wine start included) %5d files %11d bytes | tsk_recover %6.2f s %5d files %11d bytes"
          " | ratio %.2f | trees %s | floor %.2f s | trip %.1f us | load %s"
          % (ours, of, ob, tsk, tf, tb, ours / tsk, "identical" if r[8] == r[9] else "DIFFER",
             ratios[-1][6], ratios[-1][7], r[10]))
print("salvora copy-out: %s" % (sys.argv[2] or "(no tally printed)"))
if len(ratios) > 1:
    rng = lambda k: "%.2f-%.2f" % (min(x[k] for x in ratios), max(x[k] for x in ratios))
    print("over %d runs: salvora %s s, tsk_recover %s s, ratio salvora / tsk_recover %s, load %s on %s CPUs"
          % (len(ratios), rng(0), rng(1), rng(2), rng(3), sys.argv[3]))
    print("salvora in process (scan + copy) %s s, outside it (Wine start and exit) %s s" % (rng(4), rng(5)))
    print("Wine's floor for the same files on 4 threads (no disk read) %s s; native round trip %s us"
          % (rng(6), "%.1f-%.1f" % (min(x[7] for x in ratios), max(x[7] for x in ratios))))
else:
    print("ratio salvora / tsk_recover: %.2f" % ratios[0][2])
PY
