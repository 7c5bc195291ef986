#!/usr/bin/env bash
# Benchmark (not a test): the signature (deep) scan of a disk image against
# photorec (testdisk) carving the same image. Both carve and write every file
# they find; the scan alone is timed as well. Prints the times, their ratio,
# and how many of the files laid out each tool found.
#   bench-deepscan.sh [1g]   1 GiB disk (sfdisk), a few hundred pictures and
#                            documents made by ImageMagick, Ghostscript,
#                            ffmpeg, gsf, xlwt and zipfile, among stretches of
#                            random bytes and zeros
#   bench-deepscan.sh 2g     2 GiB disk, 200 JPEGs (ImageMagick), zeros and
#                            stretches of random bytes between them
#   bench-deepscan.sh hits   8,192 small JPEGs back to back: the per-file
#                            cost of the copy-out
#   ... window               the scan and the copy-out send their messages to
#                            a window, as to the pages
#   ... memory               both tools write to /dev/shm: the disk's
#                            write-back then slows neither, and the ratio is
#                            the programs' own
# Images are made once and kept in build/bench.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/bench-lib.sh"
kind=${1:-1g}
case "$kind" in
  1g|2g|hits) ;;
  *) die "usage: bench-deepscan.sh [1g|2g|hits] [window]" ;;
esac
window=()
out=$bench
shift || true
for option in "$@"; do
  case "$option" in
    window) window=(--window) ;;
    memory) out=/dev/shm/salvora-bench-deep.$$ ;;
    *) die "usage: bench-deepscan.sh [1g|2g|hits] [window] [memory]" ;;
  esac
done
mkdir -p "$out"
img=$bench/deepscan-$kind.img
truth=$bench/deepscan-$kind.tsv

if [ "$kind" = 1g ] && [ ! -f "$img.done" ]; then
  stage "image: 1 GiB disk (sfdisk), a few hundred pictures and documents"
  rm -f "$img" "$img.done" "$truth"
  python3 - "$img" "$truth" "$top/tests/fixtures" <<'PY'
import os, random, shutil, sys, tempfile
img, truth, fixtures = sys.argv[1:4]
sys.path[:0] = [fixtures, os.path.join(fixtures, "recipes")]
import deepscan as recipe
from fixturelib import sfdisk
work = tempfile.mkdtemp(prefix="bench-deep-")
try:
    files = []
    for seed in (101, 202, 303):
        files += recipe.make_files(work, seed, big=True)
    rng = random.Random(7)
    sectors = 1 << 21                          # 1 GiB
    start, sector = 2048, 2048
    rows = []
    with open(img, "wb") as f:
        f.truncate(sectors * 512)
        # Pictures weigh most: photo cards and "My Pictures" folders.
        pool = files + [x for x in files if x[1] in ("jpg", "png", "gif", "bmp")] * 3
        while True:
            name, kind, data, refined = rng.choice(pool)
            gap = rng.choice([0, 0, 1, 7, 64, 300])
            if rng.random() < 0.5:
                f.seek(sector * 512)
                f.write(os.urandom(gap * 512))
            sector += gap
            n = (len(data) + 511) // 512
            if sector + n >= sectors - 2048:
                break
            f.seek(sector * 512)
            f.write(data)
            rows.append("%s\t%d\t%d\t%d" % (kind, sector, len(data), refined))
            sector += n
            # Now and then a stretch of old, unrecognisable data.
            if rng.random() < 0.1:
                stretch = rng.randrange(2048, 40960)
                f.seek(sector * 512)
                f.write(os.urandom(stretch * 512))
                sector += stretch
    sfdisk(img, "label: dos\nlabel-id: 0x5a1f0b0b\nstart=2048, type=83\n")
    with open(truth, "w") as t:
        t.write("\n".join(rows) + "\n")
    print("  %d files laid out" % len(rows))
finally:
    shutil.rmtree(work, ignore_errors=True)
PY
  touch "$img.done"
fi

if [ "$kind" = 2g ] && [ ! -f "$img.done" ]; then
  stage "image: 2 GiB disk (sfdisk), 200 JPEGs"
  rm -f "$img" "$img.done" "$truth"
  python3 - "$img" "$truth" "$top/tests/fixtures" <<'PY'
import os, random, shutil, sys, tempfile
img, truth, fixtures = sys.argv[1:4]
sys.path[:0] = [fixtures, os.path.join(fixtures, "recipes")]
import deepscan as recipe
from fixturelib import sfdisk
work = tempfile.mkdtemp(prefix="bench-deep2g-")
try:
    pictures = [recipe.magick(work, "p%d.jpg" % i, "-size", "1024x768", "-seed", str(500 + i), "plasma:fractal",
                              "-quality", "90") for i in range(20)]
    rng = random.Random(11)
    sectors = 1 << 22                          # 2 GiB
    usable = sectors - 4096
    slots = sorted(rng.sample(range(2048, usable, 16), 200))
    rows = []
    with open(img, "wb") as f:
        f.truncate(sectors * 512)
        last_end = 2048
        for s in slots:
            data = pictures[rng.randrange(len(pictures))]
            n = (len(data) + 511) // 512
            # Spread over the disk; each picture away from the one before.
            s = max(s, last_end + 1)
            if s + n >= usable:
                break
            # Old data in front of some: random bytes never beginning a file.
            if rng.random() < 0.3 and s - last_end > 64:
                f.seek(last_end * 512)
                stretch = min(s - last_end, rng.randrange(64, 20000))
                f.write(os.urandom(stretch * 512))
            f.seek(s * 512)
            f.write(data)
            rows.append("jpg\t%d\t%d\t1" % (s, len(data)))
            last_end = s + n
    sfdisk(img, "label: dos\nlabel-id: 0x5a1f0b2b\nstart=2048, type=83\n")
    with open(truth, "w") as t:
        t.write("\n".join(rows) + "\n")
    print("  %d JPEGs laid out" % len(rows))
finally:
    shutil.rmtree(work, ignore_errors=True)
PY
  touch "$img.done"
fi

if [ "$kind" = hits ] && [ ! -f "$img.done" ]; then
  stage "image: 8,192 small JPEGs back to back"
  rm -f "$img" "$img.done" "$truth"
  python3 - "$img" "$truth" "$top/tests/fixtures" <<'PY'
import os, shutil, sys, tempfile
img, truth, fixtures = sys.argv[1:4]
sys.path[:0] = [fixtures, os.path.join(fixtures, "recipes")]
import deepscan as recipe
work = tempfile.mkdtemp(prefix="bench-deephits-")
try:
    tiny = recipe.magick(work, "tiny.jpg", "-size", "16x16", "-seed", "3", "plasma:fractal", "-strip",
                         "-define", "jpeg:extent=1000")
    n = (len(tiny) + 511) // 512
    rows = []
    with open(img, "wb") as f:
        for i in range(8192):
            f.write(tiny.ljust(n * 512, b"\0"))
            rows.append("jpg\t%d\t%d\t1" % (i * n, len(tiny)))
        f.write(b"\0" * (1 << 20))
    with open(truth, "w") as t:
        t.write("\n".join(rows) + "\n")
    print("  8192 JPEGs of %d bytes" % len(tiny))
finally:
    shutil.rmtree(work, ignore_errors=True)
PY
  touch "$img.done"
fi

bench_exe deepscan_bench
# Another build of the program (an older one, to compare) when given.
exe=${SALVORA_DEEPSCAN_BENCH_EXE:-$exe}
bench_wine
if [ "$out" != "$bench" ]; then
  trap '[ -n "${SALVORA_KEEP_WINE:-}" ] || wine_stop; rm -rf "$out"' EXIT
fi
cat "$img" > /dev/null   # both tools start from a warm page cache
runs=3

median() { printf '%s\n' "$@" | sort -g | sed -n "$(( ($# + 1) / 2 ))p"; }

stage "salvora: scan, then copy-out of every hit, under wine64 ($runs runs)"
scans=(); copies=(); walls=()
for run in $(seq $runs); do
  rm -rf "$out/deep-ours" && mkdir -p "$out/deep-ours"
  t0=$(now)
  "$top/scripts/wine-run" --disk 3="$img" --dir R="$out/deep-ours" "$exe" 3 'R:\out' "${window[@]}" \
    > "$out/deep-ours.txt"
  t1=$(now)
  read -r _ scan _ copy _ hits _ < <(head -1 "$out/deep-ours.txt")
  wall=$(python3 -c "print('%.3f' % ($t1 - $t0))")
  echo "  run $run: scan ${scan}s, copy-out ${copy}s, $hits hits, ${wall}s wall (Wine start included)"
  scans+=("$scan"); copies+=("$(python3 -c "print('%.3f' % ($scan + $copy))")"); walls+=("$wall")
done
best_scan=$(median "${scans[@]}"); best_both=$(median "${copies[@]}"); best_wall=$(median "${walls[@]}")
files_written=$(find "$out/deep-ours" -type f | wc -l)
bytes_written=$(du -sb "$out/deep-ours" | cut -f1)

stage "photorec: whole image, every file type ($runs runs)"
prs=()
for run in $(seq $runs); do
  rm -rf "$out/deep-photorec" && mkdir -p "$out/deep-photorec"
  t0=$(now)
  (cd "$out/deep-photorec" && photorec /log /d "$out/deep-photorec/recup" /cmd "$img" \
    partition_none,options,fileopt,everything,enable,wholespace,search > /dev/null 2>&1)
  t1=$(now)
  pr=$(python3 -c "print('%.3f' % ($t1 - $t0))")
  echo "  run $run: ${pr}s"
  prs+=("$pr")
done
photorec_time=$(median "${prs[@]}")
stage_done
echo "  load: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
echo "  salvora wrote $files_written files, $bytes_written bytes"

python3 - "$best_scan" "$best_both" "$best_wall" "$photorec_time" "$(stat -c %s "$img")" "$out/deep-ours.txt" \
  "$truth" "$out/deep-photorec" <<'PY'
import os, sys, xml.etree.ElementTree as ET
scan, both, wall, photorec, size = map(float, sys.argv[1:6])
ours_txt, truth_tsv, prdir = sys.argv[6:9]
truth = [l.split("\t") for l in open(truth_tsv).read().split("\n") if l]
starts = {int(r[1]): r for r in truth}
ours = {}
for line in open(ours_txt).read().split("\n")[1:]:
    if line:
        first, last, name = line.split("\t")
        ours[int(first)] = name.split("\\")[0]
theirs = {}
for d in os.listdir(prdir):
    rep = os.path.join(prdir, d, "report.xml")
    if not os.path.exists(rep):
        continue
    for fo in ET.parse(rep).getroot().iter():
        if fo.tag.endswith("fileobject"):
            runs = [c for c in fo.iter() if c.tag.endswith("byte_run")]
            name = [c.text for c in fo.iter() if c.tag.endswith("filename")][0]
            if runs:
                theirs[int(runs[0].get("img_offset")) // 512] = name.rsplit(".", 1)[-1]
found_ours = sum(1 for s, r in starts.items() if ours.get(s) == r[0])
found_theirs = sum(1 for s in starts if s in theirs)
# Laid-out files photorec finds that the scan misses: a header the scan held
# inside another file must never cost a file photorec keeps.
missed = sorted(s for s in starts if s in theirs and ours.get(s) != starts[s][0])
counts = open(ours_txt).readline().split()
counts = dict(zip(counts[0::2], counts[1::2]))
gb = size / 1e9
print()
print("  files laid out:             %d" % len(truth))
print("  salvora found (type+start): %d   hits %d" % (found_ours, len(ours)))
print("  photorec found (start):     %d   files %d" % (found_theirs, len(theirs)))
print("  photorec's count kept:      %s (%d of photorec's %d laid-out files missed%s)" %
      ("yes" if not missed and found_ours >= found_theirs else "NO", len(missed), found_theirs,
       ": sectors " + ", ".join(map(str, missed[:10])) if missed else ""))
print("  copy-out: whole %s, damaged %s, failed %s, not started %s" %
      (counts.get("whole", "?"), counts.get("damaged", "?"), counts.get("failed", "?"), counts.get("notstarted", "?")))
print("  medians of the runs:")
print("  salvora scan:               %.3f s  (%.1f GB/s)" % (scan, gb / scan))
print("  salvora scan + copy-out:    %.3f s  (%.1f GB/s; %.3f ms per hit)" % (both, gb / both, 1000 * both / max(1, len(ours))))
print("  salvora whole run (Wine):   %.3f s  (%.1f GB/s)" % (wall, gb / wall))
print("  photorec (carve + write):   %.3f s  (%.1f GB/s)" % (photorec, gb / photorec))
print("  throughput salvora/photorec: %.2fx scan + copy-out, %.2fx whole run, %.2fx scan alone" %
      (photorec / both, photorec / wall, photorec / scan))
PY
