#!/usr/bin/env bash
# Benchmark (not a test): the FAT deleted-file scan plus the copy-out of
# everything it finds, on a 1 GiB FAT32 image with 10,000 files of which half
# are deleted, against sleuthkit's tsk_recover (which recovers the deleted
# files by default) on the same image. Prints both times and their ratio.
#   bench-fat.sh            the image is made once and kept in build/bench
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/lib.sh"
bench=$top/build/bench
img=$bench/fat32-1g.img
mkdir -p "$bench"

if [ ! -f "$img.done" ]; then
  stage "image: 1 GiB FAT32, 10,000 files, 5,000 deleted (mkfs.fat + mtools)"
  rm -f "$img" "$img.done"
  python3 - "$img" <<'PY'
import os, random, shutil, subprocess, sys, tempfile
img = sys.argv[1]
env = dict(os.environ, MTOOLS_SKIP_CHECK="1", LC_ALL="C.UTF-8", LANG="C.UTF-8")
subprocess.run(["mkfs.fat", "-F", "32", "-n", "BENCH", "-C", img, str(1024 * 1024)], check=True,
               stdout=subprocess.DEVNULL)
rng = random.Random(20240601)
tmp = tempfile.mkdtemp(prefix="bench-fat-")
try:
    for d in range(20):
        folder = "Folder %02d" % d
        subprocess.run(["mmd", "-i", img, "::/" + folder], check=True, env=env)
        src = os.path.join(tmp, folder)
        os.makedirs(src)
        names = []
        for i in range(500):
            name = "Bench File %05d.bin" % (d * 500 + i)
            with open(os.path.join(src, name), "wb") as f:
                f.write(rng.randbytes(rng.randint(1024, 80 * 1024)))
            names.append(os.path.join(src, name))
        subprocess.run(["mcopy", "-i", img] + names + ["::/" + folder + "/"], check=True, env=env)
        shutil.rmtree(src)
    for d in range(20):
        victims = ["::/Folder %02d/Bench File %05d.bin" % (d, d * 500 + i) for i in range(0, 500, 2)]
        subprocess.run(["mdel", "-i", img] + victims, check=True, env=env)
finally:
    shutil.rmtree(tmp, ignore_errors=True)
PY
  touch "$img.done"
fi

exe=$top/build/x86_64/bin/bench_fat.exe
[ -x "$exe" ] || bash "$top/scripts/build.sh" x86_64

stage "wine"
. "$top/scripts/wine-env.sh"
wine_start
[ -n "${SALVORA_KEEP_WINE:-}" ] || trap wine_stop EXIT

now() { date +%s.%N; }

stage "salvora: scan + copy-out under wine64"
rm -rf "$bench/ours" && mkdir -p "$bench/ours"
t0=$(now)
"$top/scripts/wine-run" --drive X="$img" --dir R="$bench/ours" "$exe" 'X:\' 'R:\out' | tee "$bench/ours.txt"
t1=$(now)
ours_files=$(find "$bench/ours/out" -type f | wc -l)
ours_bytes=$(du -sb "$bench/ours/out" | cut -f1)

stage "tsk_recover (deleted files, the default)"
rm -rf "$bench/tsk" && mkdir -p "$bench/tsk"
t2=$(now)
tsk_recover "$img" "$bench/tsk" | tail -1
t3=$(now)
tsk_files=$(find "$bench/tsk" -type f | wc -l)
tsk_bytes=$(du -sb "$bench/tsk" | cut -f1)
stage_done

# The same files, the same bytes: compare the recovered trees.
same=$(cd "$bench/ours/out" && find . -type f -exec sha256sum {} + | sort -k2 | sha256sum | cut -c1-16)
theirs=$(cd "$bench/tsk" && find . -type f -exec sha256sum {} + | sort -k2 | sha256sum | cut -c1-16)

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
