#!/usr/bin/env bash
# Benchmark (not a test): the NTFS deleted-file scan of a volume whose MFT
# holds one million records, against sleuthkit's `fls -r -d` on the same
# image: time and peak memory of each, and their ratios.
#   bench-ntfs-1m.sh [records]        default 1000000
# The image (4 GiB, sparse) is made once and kept in ~/.cache/salvora-bench:
# mkntfs makes the volume, then a script writes the records into a new MFT of
# the right size and points the boot sector and $MFT at it (libntfs-3g would
# take hours to make a million files). 50,000 folders in three levels; of the
# other records every second is a deleted file, the rest live files, all with
# small resident data.
# Our time is measured inside the program (best of three, page cache warm);
# our peak memory is the program's peak working set as Wine reports it, and
# the whole wine process's maximum resident size as GNU time sees it.
# fls is slow on this image: measured here, more than 90 minutes (about 4 s
# for 100,000 records), against about half a second for our scan.
#   SALVORA_FLS_LIMIT=S    stops fls after S seconds; its time and memory are
#                          then floors and the ratios ceilings ("<")
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/bench-lib.sh"
records=${1:-1000000}
fls_limit=${SALVORA_FLS_LIMIT:-0}

bench_exe ntfs_bench

cache=${SALVORA_BENCH_CACHE:-$HOME/.cache/salvora-bench}
key=$(cat "$top/tests/fixtures/recipes/_ntfspatch.py" "$0" | sha256sum | cut -c1-12)
img="$cache/ntfs-1m-$records-$key.img"
mkdir -p "$cache"
if [ ! -f "$img" ]; then
  stage "building the image ($records MFT records)"
  rm -f "$img.tmp"
  truncate -s 4G "$img.tmp"
  mkntfs -F -Q -q -c 4096 -L BENCH1M "$img.tmp" >/dev/null 2>&1
  python3 - "$img.tmp" "$records" "$top/tests/fixtures/recipes" <<'EOF'
import os, struct, sys

path, total, recipes = sys.argv[1], int(sys.argv[2]), sys.argv[3]
sys.path[:0] = [os.path.dirname(recipes), recipes]
from recipes._siblings import load  # noqa: E402
np = load("_ntfspatch")

CLUSTER = 4096
FIRST_FREE = 64                       # records below are mkntfs's own
MFT_LCN = 655360                      # 2.5 GiB: past the mirror and $LogFile, clear of mkntfs's files
mft_clusters = total * 1024 // CLUSTER
bitmap_lcn = MFT_LCN + mft_clusters
bitmap_bytes = (total + 7) // 8
bitmap_clusters = (bitmap_bytes + CLUSTER - 1) // CLUSTER
TIME = 132000000000000000             # a FILETIME in 2019


def si():
    v = struct.pack("<QQQQI", TIME, TIME, TIME, TIME, 0x20) + bytes(12)
    return v


def resident(type_, value, attr_id, name="", indexed=0):
    uname = name.encode("utf-16-le")
    value_off = (0x18 + len(uname) + 7) & ~7
    length = (value_off + len(value) + 7) & ~7
    head = struct.pack("<IIBBHHHIHBB", type_, length, 0, len(name), 0x18, 0, attr_id, len(value), value_off,
                       indexed, 0)
    body = head + uname
    body += bytes(value_off - len(body)) + value
    return body + bytes(length - len(body))


def file_name(parent_ref, name, folder):
    uname = name.encode("utf-16-le")
    v = struct.pack("<QQQQQQQII", parent_ref, TIME, TIME, TIME, TIME, 0, 0, 0x10000000 if folder else 0x20, 0)
    return v + struct.pack("<BB", len(name), 1) + uname


def empty_index_root():
    # Indexed attribute $FILE_NAME, collation by file name, 4 KiB blocks;
    # an index header and its end entry alone.
    root = struct.pack("<IIIB3x", 0x30, 1, 4096, 1)
    header = struct.pack("<IIIB3x", 16, 32, 32, 0)
    end = struct.pack("<QHHI", 0, 16, 0, 2)
    return root + header + end


def record(number, sequence, flags, attrs):
    rec = bytearray(1024)
    rec[0:4] = b"FILE"
    struct.pack_into("<HHQHHHH", rec, 4, 0x30, 3, 0, sequence, 1, 0x38, flags)
    body = b"".join(attrs) + struct.pack("<II", 0xFFFFFFFF, 0)
    rec[0x38:0x38 + len(body)] = body
    struct.pack_into("<IIQHHI", rec, 24, 0x38 + len(body), 1024, 0, len(attrs), 0, number)
    struct.pack_into("<H", rec, 0x30, 1)
    return np.protect(rec)


def ref(number, sequence):
    return number | sequence << 48


# The folders: 100 below the root, 20 below each of those, the rest spread
# below the second level. Then files: every second one deleted.
folders = []      # (record, parent ref, name)
n = FIRST_FREE
level1 = []
for i in range(100):
    folders.append((n, ref(5, 5), "Area %03d" % i))
    level1.append(n)
    n += 1
level2 = []
for i, parent in enumerate(level1 * 20):
    folders.append((n, ref(parent, 1), "Group %04d" % i))
    level2.append(n)
    n += 1
level3 = []
while len(folders) < 50000:
    parent = level2[len(level3) % len(level2)]
    folders.append((n, ref(parent, 1), "Folder %05d" % len(level3)))
    level3.append(n)
    n += 1
first_file = n
in_use = bytearray(bitmap_bytes)

# The clusters the new MFT and its bitmap take must be free.
vbitmap = np.read_record(path, 6)
with open(path, "rb") as f:
    bits = b""
    for lcn, length in np.decode_runs(vbitmap, np.data_attribute(vbitmap)):
        f.seek(lcn * CLUSTER)
        bits += f.read(length * CLUSTER)
for c in range(MFT_LCN, bitmap_lcn + bitmap_clusters):
    assert not bits[c // 8] >> (c % 8) & 1, "cluster %d is in use" % c

with open(path, "r+b") as f:
    # The MFT's first records as mkntfs wrote them, then everything else.
    runs, rec0 = np.mft_runs(path)
    old_lcn, old_len = runs[0]
    old_size = struct.unpack_from("<Q", rec0, np.data_attribute(rec0) + 48)[0]
    f.seek(old_lcn * CLUSTER)
    head = f.read(min(old_size, FIRST_FREE * 1024))
    head += bytes(FIRST_FREE * 1024 - len(head))
    f.seek(MFT_LCN * CLUSTER)
    f.write(head)
    for r in range(FIRST_FREE):
        rec = np.fixup(head[r * 1024:(r + 1) * 1024])
        if rec[:4] == b"FILE" and struct.unpack_from("<H", rec, 22)[0] & 1:
            in_use[r // 8] |= 1 << (r % 8)
    chunk = []
    for number, parent, name in folders:
        chunk.append(record(number, 1, 3, [resident(0x10, si(), 0), resident(0x30, file_name(parent, name, True), 2,
                                                                            indexed=1),
                                           resident(0x90, empty_index_root(), 3, name="$I30")]))
        in_use[number // 8] |= 1 << (number % 8)
    f.write(b"".join(chunk))
    chunk = []
    for number in range(first_file, total):
        deleted = (number - first_file) % 2 == 0
        parent = level3[(number * 7919) % len(level3)]
        name = "file%07d.bin" % number
        data = struct.pack("<Q", number) * 2
        chunk.append(record(number, 2 if deleted else 1, 0 if deleted else 1,
                            [resident(0x10, si(), 0), resident(0x30, file_name(ref(parent, 1), name, False), 2,
                                                               indexed=1),
                             resident(0x80, data, 3)]))
        if not deleted:
            in_use[number // 8] |= 1 << (number % 8)
        if len(chunk) == 4096:
            f.write(b"".join(chunk))
            chunk = []
    f.write(b"".join(chunk))
    f.seek(bitmap_lcn * CLUSTER)
    f.write(bytes(in_use))

    # $MFT: its data and its bitmap where they now are.
    rec0 = np.fixup(head[0:1024])
    np.set_runs(rec0, np.data_attribute(rec0), [(MFT_LCN, mft_clusters)])
    np.set_sizes(rec0, np.data_attribute(rec0), allocated=total * 1024, real=total * 1024, initialized=total * 1024)
    for p, t, ln, nr in np.attributes(rec0):
        if t == 0xB0 and nr:
            np.set_runs(rec0, p, [(bitmap_lcn, bitmap_clusters)])
            np.set_sizes(rec0, p, allocated=bitmap_clusters * CLUSTER, real=bitmap_bytes, initialized=bitmap_bytes)
    f.seek(MFT_LCN * CLUSTER)
    f.write(np.protect(rec0))
    f.seek(0)
    sector = bytearray(f.read(512))
    struct.pack_into("<Q", sector, 0x30, MFT_LCN)
    f.seek(0)
    f.write(sector)

# The volume's own bitmap: the new MFT and its bitmap are in use.
bitmap = np.read_record(path, 6)
places = []
for lcn, length in np.decode_runs(bitmap, np.data_attribute(bitmap)):
    places.append((lcn * CLUSTER, length * CLUSTER))
with open(path, "r+b") as f:
    def set_bits(first, count):
        for c in range(first, first + count, 8):
            byte, at = c // 8, None
            for start, size in places:
                if byte < size:
                    at = start + byte
                    break
                byte -= size
            f.seek(at)
            f.write(b"\xff")
    set_bits(MFT_LCN, mft_clusters + bitmap_clusters + 8)
print("records", total, "folders", len(folders), "deleted files", (total - first_file + 1) // 2)
EOF
  mv "$img.tmp" "$img"
  stage_done
fi
note "image: $img ($(du -h "$img" | cut -f1) on disk)"

bench_wine >/dev/null
stage "scan"
out=$("$top/scripts/wine-run" --drive X="$img" "$exe" 'X:\' 3 | tr -d '\r')
ours=$(echo "$out" | awk '/best_ms/{print $2}')
found=$(echo "$out" | awk '/^files/{print $2}')
peak=$(echo "$out" | awk '/peak_kb/{print $2}')
/usr/bin/time -f '%e %M' -o "$bench/time-ours" "$top/scripts/wine-run" --drive X="$img" "$exe" 'X:\' 1 >/dev/null
read -r wall rss < "$bench/time-ours"
fls=(fls -r -d "$img")
[ "$fls_limit" -gt 0 ] && fls=(timeout "$fls_limit" "${fls[@]}")
fls_rc=0
/usr/bin/time -f '%e %M' -o "$bench/time-fls" "${fls[@]}" > "$bench/fls-1m.txt" 2>/dev/null || fls_rc=$?
# GNU time puts "Command exited with non-zero status" first when fls fails.
read -r fls_s fls_rss < <(tail -1 "$bench/time-fls")
fls_count=$(grep -c -- '-/r \* [0-9]*-128' "$bench/fls-1m.txt" || true)
bound=""
if [ "$fls_limit" -gt 0 ] && [ "$fls_rc" = 124 ]; then
  bound="<"
  note "fls stopped after ${fls_limit} s: its time is a floor, its count partial"
elif [ "$fls_rc" != 0 ]; then
  note "fls exited with status $fls_rc"
fi
stage_done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else print "n/a" }'; }
fls_ms=$(awk -v s="$fls_s" 'BEGIN { printf "%d", s * 1000 }')
wall_ms=$(awk -v s="$wall" 'BEGIN { printf "%d", s * 1000 }')
echo
printf '%-36s %10s %12s %10s\n' "" "ms" "peak MB" "files"
printf '%-36s %10s %12s %10s\n' "salvora scan (in process)" "$ours" "$((peak / 1024))" "$found"
printf '%-36s %10s %12s\n' "salvora scan (wine start included)" "$wall_ms" "$((rss / 1024))"
printf '%-36s %10s %12s %10s\n' "fls -r -d" "${bound:+>}$fls_ms" "$((fls_rss / 1024))" "$fls_count"
echo
echo "ratio time scan/fls:              $bound$(ratio "$ours" "$fls_ms")"
echo "ratio time (wine start)/fls:      $bound$(ratio "$wall_ms" "$fls_ms")"
echo "ratio peak memory scan/fls:       $bound$(ratio "$peak" "$fls_rss")"
echo "ratio peak memory (wine)/fls:     $bound$(ratio "$rss" "$fls_rss")"
