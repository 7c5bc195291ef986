#!/usr/bin/env bash
# Benchmark (not a test): the NTFS deleted-file scan against sleuthkit's
# `fls -r -d` and ntfs-3g's `ntfsundelete --scan` on the same image, an NTFS
# volume of about 20,000 files of which half are deleted.
#   bench-ntfs.sh [files] [--copy [--memory] [--runs N]]     default 20000
# With --copy, every deleted file found is also copied out (scan and copy,
# Wine's start included), against sleuthkit's tsk_recover (which recovers the
# unallocated files) on the same image: N runs each (default 1), the times,
# the files written, the four counts of our copy-out and the ratio (with its
# range over several runs). --memory writes both to /dev/shm. Each run also
# times Wine's floor for the same files (bench_floor: what creating and
# writing them costs here without reading the disk) and the native round
# trip between two processes, both under that run's load.
# The image is built once (mkntfs + libntfs-3g) and cached in
# ~/.cache/salvora-bench. Each tool runs three times; the best time counts
# (warm page cache for all three). Our time is measured inside the program,
# without Wine's start-up, which is reported apart.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/bench-lib.sh"
files=${1:-20000}
copy=${2:-}
copy_out=$bench copy_runs=1
[ $# -gt 2 ] && shift 2 || set --
while [ $# -gt 0 ]; do
  case "$1" in
    --memory) copy_out=/dev/shm/salvora-bench-ntfs.$$; shift ;;
    --runs) copy_runs=$2; shift 2 ;;
    *) die "usage: bench-ntfs.sh [files] [--copy [--memory] [--runs N]]" ;;
  esac
done

bench_exe ntfs_bench

cache=${SALVORA_BENCH_CACHE:-$HOME/.cache/salvora-bench}
key=$(cat "$top/tests/fixtures/ntfsfix.c" "$top/tests/fixtures/recipes/ntfs.py" "$0" | sha256sum | cut -c1-12)
img="$cache/ntfs-$files-$key.img"
mkdir -p "$cache"
if [ ! -f "$img" ]; then
  stage "building the image ($files files, half deleted)"
  python3 - "$img.tmp" "$files" "$top" <<'EOF'
import os, random, sys
here = os.path.join(sys.argv[3], "tests", "fixtures")
sys.path[:0] = [here, os.path.join(here, "recipes")]
os.environ["TZ"] = "UTC"
import ntfs
from fixturelib import content

path, count = sys.argv[1], int(sys.argv[2])
folders = max(1, count // 100)
img = ntfs.NtfsImage(path, max(256, count * 14 // 1024 + 64))
sizes = [200, 500, 900, 1500, 3000, 4096, 6000, 9000, 12000, 16000, 24000, 40000]
hosts = [img._host(content(9000 + i, s)) for i, s in enumerate(sizes)]
rnd = random.Random(42)
for d in range(folders):
    img.cmds.append("mkdir\t/dir%03d" % d)
names = []
for i in range(count):
    p = "/dir%03d/file%05d.bin" % (i % folders, i)
    names.append(p)
    img.cmds.append("put\t%s\t%s" % (p, hosts[rnd.randrange(len(hosts))]))
for p in names[::2]:
    img.cmds.append("delete\t%s" % p)
img.run()
EOF
  mv "$img.tmp" "$img"
  stage_done
fi
note "image: $img ($(du -h --apparent-size "$img" | cut -f1))"

best() { # command... -> best wall time in ms of three runs
  local b=999999999 t0 t1 ms
  for _ in 1 2 3; do
    t0=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    t1=$(date +%s%N)
    ms=$(( (t1 - t0) / 1000000 ))
    [ "$ms" -lt "$b" ] && b=$ms
  done
  echo "$b"
}

bench_wine >/dev/null
stage "scan"
out=$("$top/scripts/wine-run" --drive X="$img" "$exe" 'X:\' 3)
ours=$(echo "$out" | awk '/best_ms/{print $2}')
found=$(echo "$out" | awk '/^files/{print $2}')
wall=$(best "$top/scripts/wine-run" --drive X="$img" "$exe" 'X:\' 1)
fls_ms=$(best fls -r -d "$img")
fls_count=$(fls -r -d "$img" | grep -c -- '-/r \* [0-9]*-128' || true)
und_ms=$(best ntfsundelete "$img" --scan)
und_count=$(ntfsundelete "$img" --scan 2>/dev/null | grep -c '^[0-9]' || true)
stage_done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
echo
printf '%-34s %10s %10s\n' "" "ms" "files"
printf '%-34s %10s %10s\n' "salvora scan (in process)" "$ours" "$found"
printf '%-34s %10s\n' "salvora scan (wine start included)" "$wall"
printf '%-34s %10s %10s\n' "fls -r -d" "$fls_ms" "$fls_count"
printf '%-34s %10s %10s\n' "ntfsundelete --scan" "$und_ms" "$und_count"
printf '%-34s %10s %10s\n' "deleted on the image" "" "$(( (files + 1) / 2 ))"
echo
echo "ratio scan/fls:          $(ratio "$ours" "$fls_ms")"
echo "ratio scan/ntfsundelete: $(ratio "$ours" "$und_ms")"

if [ "$copy" = "--copy" ]; then
  ours_out=$copy_out/ntfs-copy-ours tsk_out=$copy_out/ntfs-copy-tsk
  [ "$copy_out" = "$bench" ] || trap 'rm -rf "$copy_out"; [ -n "${SALVORA_KEEP_WINE:-}" ] || wine_stop' EXIT
  echo
  printf '%-6s %12s %10s %12s %10s %7s %9s %8s %6s\n' "run" "salvora ms" "files" "tsk ms" "files" "ratio" \
    "floor ms" "trip us" "load"
  ratios=() floors=() trips=() insides=()
  # The image's files, as the floor writes them: as many, of their mean
  # size, in as many folders.
  mean=$(python3 -c 'print(sum([200, 500, 900, 1500, 3000, 4096, 6000, 9000, 12000, 16000, 24000, 40000]) // 12)')
  for run in $(seq 1 "$copy_runs"); do
    rm -rf "$ours_out" "$tsk_out"
    mkdir -p "$ours_out" "$tsk_out"
    t0=$(date +%s%N)
    res=$("$top/scripts/wine-run" --drive X="$img" --dir R="$ours_out" "$exe" 'X:\' 1 'R:\' | tr -d '\r')
    ours_ms=$(( ($(date +%s%N) - t0) / 1000000 ))
    t0=$(date +%s%N)
    tsk_recover "$img" "$tsk_out" >/dev/null 2>&1 || true
    tsk_ms=$(( ($(date +%s%N) - t0) / 1000000 ))
    r=$(ratio "$ours_ms" "$tsk_ms")
    ratios+=("$r")
    insides+=("$(echo "$res" | awk '/copy_ms/{print $2}')")
    floors+=("$(bench_floor "$copy_out/ntfs-floor" "$found" "$mean" 4 $(( files > 100 ? files / 100 : 1 )))")
    trips+=("$(bench_round_trip)")
    printf '%-6s %12s %10s %12s %10s %7s %9s %8s %6s\n' "$run" "$ours_ms" "$(find "$ours_out" -type f | wc -l)" \
      "$tsk_ms" "$(find "$tsk_out" -type f | wc -l)" "$r" "${floors[-1]}" "${trips[-1]}" "$(cut -d' ' -f1 /proc/loadavg)"
  done
  span() { printf '%s\n' "$@" | sort -g | sed -n '1p;$p' | paste -sd- -; }
  echo "salvora copy-out (in process): $(span "${insides[@]}") ms"
  echo "Wine's floor for the same $found files on 4 threads (no disk read): $(span "${floors[@]}") ms;" \
    "on 1, 2, 4, 8 threads: $(bench_floor_threads "$copy_out/ntfs-floor" "$found" "$mean" $(( files > 100 ? files / 100 : 1 )))"
  echo "native round trip between two processes: $(span "${trips[@]}") us"
  echo "salvora copy-out: $(echo "$res" | sed -n 's/^tally //p')"
  echo "ratio copy-out (scan + copy, wine start included) / tsk_recover: $(printf '%s\n' "${ratios[@]}" | sort -n | sed -n '1p;$p' | paste -sd- -) over $copy_runs run(s), $(nproc) CPUs"
fi
