#!/usr/bin/env python3
"""Reads back with Python's json module what the interop test saved.

  readback.py <fixture folder json-texts> <folder the test saved into>

For every text the library accepted, each saved file (compact and pretty, in
each code page) must decode strictly, carry no byte-order mark, end its lines
with CR LF when pretty, and hold exactly the value Python read from the
original text (types compared strictly: True is not 1). The texts the library
refuses must be refused by Python too when they are malformed, and read by
Python when they are valid JSON outside what the library takes.
"""
import json
import os
import sys

ENCODINGS = {65001: "utf-8", 936: "gbk"}


def same(a, b, where="$"):
    if type(a) is not type(b):
        return "%s: %s vs %s" % (where, type(a).__name__, type(b).__name__)
    if isinstance(a, dict):
        if set(a) != set(b):
            return "%s: keys differ: %r" % (where, sorted(set(a) ^ set(b))[:5])
        for k in a:
            r = same(a[k], b[k], "%s[%r]" % (where, k))
            if r:
                return r
        return None
    if isinstance(a, list):
        if len(a) != len(b):
            return "%s: %d vs %d elements" % (where, len(a), len(b))
        for i, (x, y) in enumerate(zip(a, b)):
            r = same(x, y, "%s[%d]" % (where, i))
            if r:
                return r
        return None
    return None if a == b else "%s: %r vs %r" % (where, a, b)


def main():
    fixtures, saved = sys.argv[1], sys.argv[2]
    failures = []
    checked = 0
    with open(os.path.join(fixtures, "cases.tsv"), encoding="utf-8") as f:
        cases = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    for name, flavour, expect, pages, python in cases:
        with open(os.path.join(fixtures, "%s.%s.json" % (name, flavour)), encoding="utf-8", newline="") as f:
            source = f.read()
        try:
            original = json.loads(source)
            py_ok = True
        except ValueError:
            py_ok = False
        if py_ok != (python == "valid"):
            failures.append("%s.%s: Python %s it" % (name, flavour, "reads" if py_ok else "refuses"))
        if expect != "ok":
            continue
        for cp in [int(p) for p in pages.split(",") if p]:
            for layout in ("compact", "pretty"):
                path = os.path.join(saved, "%s.%s.%d.%s.json" % (name, flavour, cp, layout))
                tag = os.path.basename(path)
                if not os.path.exists(path):
                    failures.append("%s: not saved" % tag)
                    continue
                with open(path, "rb") as f:
                    data = f.read()
                if data.startswith(b"\xef\xbb\xbf"):
                    failures.append("%s: byte-order mark" % tag)
                try:
                    text = data.decode(ENCODINGS[cp], errors="strict")
                except UnicodeDecodeError as e:
                    failures.append("%s: %s" % (tag, e))
                    continue
                if layout == "pretty" and text.count("\n") != text.count("\r\n"):
                    failures.append("%s: a line not ended by CR LF" % tag)
                if layout == "compact" and ("\n" in text or "\r" in text):
                    failures.append("%s: line break in compact text" % tag)
                try:
                    ours = json.loads(text)
                except ValueError as e:
                    failures.append("%s: Python refuses it: %s" % (tag, e))
                    continue
                diff = same(original, ours)
                if diff:
                    failures.append("%s: %s" % (tag, diff))
                checked += 1
    for f in failures:
        print("FAIL", f)
    print("%d saved files read back by Python, %d failures" % (checked, len(failures)))
    if checked == 0:
        print("FAIL nothing was read back")
        return 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
