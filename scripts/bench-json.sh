#!/usr/bin/env bash
# Throughput of the JSON library under wine64: builds the x86_64 target and
# reads, writes and saves a generated document; then Python's json module
# (C-accelerated parse and compact write) does the same with the same
# records, natively, and the ratios salvora/Python are printed. Python also
# reads the file the program saved, which must hold the same records.
#   bench-json.sh [records, default 100000]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/lib.sh"
bash "$top/scripts/build.sh" x86_64
. "$top/scripts/wine-env.sh"
wine_start
[ -n "${SALVORA_KEEP_WINE:-}" ] || trap wine_stop EXIT
stage "json benchmark"
out="$top/build/bench/json"
rm -rf "$out"; mkdir -p "$out"
"$top/scripts/wine-run" --dir "B=$out" "$top/build/x86_64/bin/json_bench.exe" "${1:-100000}" 'B:\saved\bench.json' \
  | tr -d '\r' | tee "$out/ours.txt"
stage "python3 json, the same records"
python3 - "${1:-100000}" "$out/ours.txt" "$out/saved/bench.json" <<'PY'
import json, sys, time
records = int(sys.argv[1])
ours = {}
for line in open(sys.argv[2]):
    f = line.split()
    if len(f) >= 3 and f[2] == "ms":
        ours[f[0]] = float(f[1])

def best(n, fn):
    t = 1e9
    for _ in range(n):
        t0 = time.perf_counter(); fn(); t = min(t, time.perf_counter() - t0)
    return t * 1e3

def build():
    return [{"id": i, "name": "file_%d_\u7167\u7247.jpg" % i, "path": "C:/photos/2025/\u4e2d\u6587/\"quoted\"\\",
             "deleted": i % 3 == 0, "size": i * 7919, "tags": ["jpeg", i, None]} for i in range(records)]

t0 = time.perf_counter(); doc = build(); theirs = {"build": (time.perf_counter() - t0) * 1e3}
text = json.dumps(doc, ensure_ascii=False, separators=(",", ":"))
theirs["parse"] = best(5, lambda: json.loads(text))
theirs["compact"] = best(5, lambda: json.dumps(doc, ensure_ascii=False, separators=(",", ":")))
theirs["pretty"] = best(5, lambda: json.dumps(doc, ensure_ascii=False, indent=2))
theirs["utf-8"] = best(5, lambda: json.dumps(doc, ensure_ascii=False, separators=(",", ":")).encode("utf-8"))
def save():
    with open(sys.argv[3] + ".py", "w", encoding="utf-8") as f:
        f.write(json.dumps(doc, ensure_ascii=False, indent=2))
theirs["save"] = best(3, save)
same = json.load(open(sys.argv[3], encoding="utf-8")) == doc
print("%-8s %10s %10s  %s" % ("", "salvora", "python3", "time ratio salvora/python3"))
for k in ("build", "parse", "compact", "pretty", "utf-8", "save"):
    if k in ours:
        print("%-8s %7.1f ms %7.1f ms %8.2f" % (k, ours[k], theirs[k], ours[k] / theirs[k]))
print("(Python's pretty writer and its save are pure Python; parse and compact are its C code)")
print("the program's saved file, read by Python, holds the same records: %s" % ("yes" if same else "NO"))
sys.exit(0 if same else 1)
PY
stage_done
