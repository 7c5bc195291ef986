#!/usr/bin/env python3
"""Builds ZEPFR.DAT and ZEPRS.DAT from signatures.tsv.

  make_tables.py signatures.tsv OUT_DIR

The output depends only on the list, so a rebuild gives the same bytes.
"""
import os
import struct
import sys

MAGIC = b"BRNK"
HEADER_REST = b"signature table 1".ljust(28, b"\0")
END_MARK = 0xFF
TABLES = {"FR": "ZEPFR.DAT", "RS": "ZEPRS.DAT"}
# The scan table's size limit of a type rides in the record's fifth slot,
# which no reader tries (the slot count says four or fewer, its length is 0):
# the marker, then the limit in KiB, 32 bits little-endian.
CAP_MARKER = b"MX"
UNITS = {"K": 1, "M": 1024, "G": 1024 * 1024}


def fail(where, why):
    raise SystemExit("%s: %s" % (where, why))


def parse(path):
    rows = {k: [] for k in TABLES}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            where = "%s:%d" % (path, number)
            cols = line.split("\t")
            if len(cols) not in (3, 4):
                fail(where, "want 3 or 4 tab-separated columns")
            tables, name, patterns = cols[:3]
            cap = parse_cap(where, cols[3]) if len(cols) == 4 else None
            if not name or len(name) > 7 or not name.isascii() or not name.isprintable():
                fail(where, "type name must be 1 to 7 printable ASCII characters")
            slots = []
            for text in patterns.split("|"):
                try:
                    data = bytes.fromhex(text)
                except ValueError:
                    fail(where, "bad hex %r" % text.strip())
                # A slot of length 0 would match every sector: never author one.
                if not 1 <= len(data) <= 7:
                    fail(where, "a pattern holds 1 to 7 bytes")
                slots.append(data)
            if not 1 <= len(slots) <= 5:
                fail(where, "a type has 1 to 5 patterns")
            for t in tables.split():
                if t not in rows:
                    fail(where, "unknown table %r" % t)
                if t == "RS":
                    if cap is None:
                        fail(where, "a scan row names the largest size of its type")
                    if len(slots) == 5:
                        fail(where, "a scan row has at most four patterns: the fifth slot holds its size")
                rows[t].append((name, slots, cap if t == "RS" else None, where))
    return rows


def parse_cap(where, text):
    text = text.strip()
    if len(text) < 2 or text[-1] not in UNITS or not text[:-1].isdigit():
        fail(where, "a size is a number and K, M or G")
    kib = int(text[:-1]) * UNITS[text[-1]]
    if not 1 <= kib <= 0xFFFFFFFF:
        fail(where, "size out of range")
    return kib


def record(name, slots, cap):
    out = name.encode("ascii").ljust(7, b"\0") + bytes([len(slots)])
    for s in slots + [b""] * (5 - len(slots)):
        out += bytes([len(s)]) + s.ljust(7, b"\0")
    if cap is not None:
        out = out[:40] + b"\0" + CAP_MARKER + struct.pack("<I", cap) + b"\0"
    assert len(out) == 48
    return out


def build(rows):
    seen = set()
    body = b""
    for name, slots, cap, where in rows:
        # The deleted-file scan looks a type up by name and takes the first
        # record: a second one of the same name would never be read.
        if name.lower() in seen:
            fail(where, "%s appears twice in one table" % name)
        seen.add(name.lower())
        body += record(name, slots, cap)
    end = b"\0" * 7 + bytes([END_MARK]) + b"\0" * 40
    return MAGIC + HEADER_REST + body + end


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    rows = parse(sys.argv[1])
    os.makedirs(sys.argv[2], exist_ok=True)
    for key, file_name in TABLES.items():
        data = build(rows[key])
        out = os.path.join(sys.argv[2], file_name)
        tmp = out + ".tmp"
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, out)


if __name__ == "__main__":
    main()
