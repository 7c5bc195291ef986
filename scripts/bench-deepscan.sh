#!/usr/bin/env bash
# Benchmark (not a test): the signature (deep) scan of a 1 GiB disk image
# holding a few hundred pictures and documents made by ImageMagick,
# Ghostscript, ffmpeg, gsf, xlwt and zipfile, among stretches of random bytes
# and zeros, against photorec (testdisk) carving the same image. Both carve
# and write every file they find; the scan alone is timed as well. Prints the
# times, their ratio, and how many of the files laid out each tool found.
#   bench-deepscan.sh        the image is made once and kept in build/bench
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/bench-lib.sh"
img=$bench/deepscan-1g.img

if [ ! -f "$img.done" ]; then
  stage "image: 1 GiB disk (sfdisk), a few hundred pictures and documents"
  rm -f "$img" "$img.done" "$bench/deepscan-1g.tsv"
  python3 - "$img" "$bench/deepscan-1g.tsv" "$top/tests/fixtures" <<'PY'
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

bench_exe deepscan_bench
bench_wine
cat "$img" > /dev/null   # both tools start from a warm page cache

stage "salvora: scan, then copy-out of every hit, under wine64"
best_scan=""; best_copy=""
for run in 1 2; do
  rm -rf "$bench/deep-ours" && mkdir -p "$bench/deep-ours"
  "$top/scripts/wine-run" --disk 3="$img" --dir R="$bench/deep-ours" "$exe" 3 'R:\out' > "$bench/deep-ours.txt"
  read -r _ scan _ copy _ hits _ < <(head -1 "$bench/deep-ours.txt")
  echo "  run $run: scan ${scan}s, copy-out ${copy}s, $hits hits"
  if [ -z "$best_scan" ] || python3 -c "import sys; sys.exit(0 if $scan + $copy < $best_scan + $best_copy else 1)"; then
    best_scan=$scan; best_copy=$copy
  fi
done

stage "photorec: whole image, every file type"
rm -rf "$bench/deep-photorec" && mkdir -p "$bench/deep-photorec"
t0=$(now)
(cd "$bench/deep-photorec" && photorec /log /d "$bench/deep-photorec/recup" /cmd "$img" \
  partition_none,options,fileopt,everything,enable,wholespace,search > /dev/null 2>&1)
t1=$(now)
stage_done

python3 - "$best_scan" "$best_copy" "$t0" "$t1" "$bench/deep-ours.txt" "$bench/deepscan-1g.tsv" "$bench/deep-photorec" <<'PY'
import os, sys, xml.etree.ElementTree as ET
scan, copy, t0, t1 = map(float, sys.argv[1:5])
ours_txt, truth_tsv, prdir = sys.argv[5:8]
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
photorec = t1 - t0
found_ours = sum(1 for s, r in starts.items() if ours.get(s) == r[0])
found_theirs = sum(1 for s in starts if s in theirs)
print()
print("  files laid out:            %d" % len(truth))
print("  salvora found (type+start): %d   hits %d" % (found_ours, len(ours)))
print("  photorec found (start):     %d   files %d" % (found_theirs, len(theirs)))
print("  salvora scan:               %.2f s" % scan)
print("  salvora scan + copy-out:    %.2f s" % (scan + copy))
print("  photorec (carve + write):   %.2f s" % photorec)
print("  ratio salvora/photorec:     %.2f (scan alone %.2f)" % ((scan + copy) / photorec, scan / photorec))
PY
