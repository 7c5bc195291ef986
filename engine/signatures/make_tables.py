#!/usr/bin/env python3
"""Builds ZEPFR.DAT and ZEPRS.DAT from signatures.tsv.

  make_tables.py signatures.tsv OUT_DIR

The output depends only on the list, so a rebuild gives the same bytes.
"""
import os
import sys

MAGIC = b"BRNK"
HEADER_REST = b"signature table 1".ljust(28, b"\0")
END_MARK = 0xFF
TABLES = {"FR": "ZEPFR.DAT", "RS": "ZEPRS.DAT"}


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
            if len(cols) != 3:
                fail(where, "want 3 tab-separated columns")
            tables, name, patterns = cols
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
                rows[t].append((name, slots, where))
    return rows


def record(name, slots):
    out = name.encode("ascii").ljust(7, b"\0") + bytes([len(slots)])
    for s in slots + [b""] * (5 - len(slots)):
        out += bytes([len(s)]) + s.ljust(7, b"\0")
    assert len(out) == 48
    return out


def build(rows):
    seen = set()
    body = b""
    for name, slots, where in rows:
        # The deleted-file scan looks a type up by name and takes the first
        # record: a second one of the same name would never be read.
        if name.lower() in seen:
            fail(where, "%s appears twice in one table" % name)
        seen.add(name.lower())
        body += record(name, slots)
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
