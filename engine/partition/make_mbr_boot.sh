#!/usr/bin/env bash
# Assembles mbr_boot.S (GNU as, 16-bit code) into the byte table of
# mbr_boot.cpp. Run it after changing the boot program and commit both.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
as --32 -o "$tmp/mbr.o" "$here/mbr_boot.S"
objcopy -O binary -j .text "$tmp/mbr.o" "$tmp/mbr.bin"
python3 - "$tmp/mbr.bin" "$here/mbr_boot.cpp" <<'PY'
import sys
code = open(sys.argv[1], "rb").read()
assert len(code) == 440, len(code)
code += bytes(6)   # disk signature and the two bytes after it: filled per disk
rows = []
for i in range(0, len(code), 16):
    rows.append("    " + ", ".join("0x%02X" % b for b in code[i:i + 16]) + ",")
with open(sys.argv[2], "w") as f:
    f.write("// Made by make_mbr_boot.sh from mbr_boot.S; do not edit by hand.\n")
    f.write('#include "partition/partition_table.h"\n\n')
    f.write("const uint8_t kStandardBootProgram[kBootProgramBytes] = {\n")
    f.write("\n".join(rows) + "\n};\n")
PY
