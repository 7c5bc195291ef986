#!/usr/bin/env python3
"""Runs the boot program of a rebuilt sector 0 in a 16-bit x86 emulator
(unicorn), with a BIOS stand-in for int 10h, 13h and 18h, on the roads a PC
takes: extended reads, cylinder/head/sector reads, no active partition, a
damaged table, read errors and a partition without a boot sector.

  mbr_boot_test.py path/to/mbr_boot.cpp      exit 77 when unicorn is missing
"""
import re
import struct
import sys

try:
    import unicorn
    from unicorn import x86_const as X
except ImportError:
    print("python3-unicorn is not installed: skipped")
    sys.exit(77)

LOAD = 0x7C00
TABLE = 0x600 + 0x1BE


def boot_program(path):
    text = open(path).read()
    code = bytes(int(x, 16) for x in re.findall(r"0x([0-9A-F]{2})", text.split("{", 1)[1]))
    assert len(code) == 446, len(code)
    return code


def chs(lba):
    c, rest = divmod(lba, 255 * 63)
    h, s = divmod(rest, 63)
    return h, (s + 1) | ((c >> 2) & 0xC0), c & 0xFF


def entry(flag, type_, start, count):
    h, s, c = chs(start)
    eh, es, ec = chs(start + count - 1)
    return struct.pack("<BBBBBBBBII", flag, h, s, c, type_, eh, es, ec, start, count)


class Pc:
    """A PC with one disk: sectors by LBA; the BIOS services the program uses."""

    def __init__(self, sector0, disk, extensions=True, failing_reads=0, zero_count_on_failure=False):
        self.disk = disk
        self.extensions = extensions
        self.failing_reads = failing_reads
        self.zero_count_on_failure = zero_count_on_failure
        self.output = ""
        self.reads = []          # ("lba", n) or ("chs", lba)
        self.resets = 0
        self.int18 = False
        self.jumped = None       # registers when control reached the loaded boot sector
        self.halted = False
        uc = unicorn.Uc(unicorn.UC_ARCH_X86, unicorn.UC_MODE_16)
        uc.mem_map(0, 0x100000)
        uc.mem_write(LOAD, sector0)
        uc.reg_write(X.UC_X86_REG_DL, 0x80)
        uc.hook_add(unicorn.UC_HOOK_INTR, self.interrupt)
        uc.hook_add(unicorn.UC_HOOK_CODE, self.code)
        self.uc = uc
        self.entered = 0

    def carry(self, on):
        f = self.uc.reg_read(X.UC_X86_REG_EFLAGS)
        self.uc.reg_write(X.UC_X86_REG_EFLAGS, (f | 1) if on else (f & ~1))

    def read_ok(self):
        if self.failing_reads > 0:
            self.failing_reads -= 1
            return False
        return True

    def interrupt(self, uc, intno, _):
        ah = uc.reg_read(X.UC_X86_REG_AH)
        if intno == 0x10 and ah == 0x0E:
            self.output += chr(uc.reg_read(X.UC_X86_REG_AL))
        elif intno == 0x18:
            self.int18 = True
            uc.emu_stop()
        elif intno == 0x13 and ah == 0x41:
            ok = self.extensions and uc.reg_read(X.UC_X86_REG_BX) == 0x55AA
            if ok:
                uc.reg_write(X.UC_X86_REG_BX, 0xAA55)
                uc.reg_write(X.UC_X86_REG_CX, 1)
            self.carry(not ok)
        elif intno == 0x13 and ah == 0x42:
            dap = uc.reg_read(X.UC_X86_REG_SI)
            size, _, count, off, seg, lba = struct.unpack("<BBHHHQ", uc.mem_read(dap, 16))
            if self.read_ok() and size == 16 and count >= 1:
                self.reads.append(("lba", lba, count))
                uc.mem_write(seg * 16 + off, self.disk.get(lba, bytes(512)))
                self.carry(False)
            else:
                if self.zero_count_on_failure:
                    uc.mem_write(dap + 2, b"\0\0")
                self.carry(True)
        elif intno == 0x13 and ah == 0x02:
            cx, dh = uc.reg_read(X.UC_X86_REG_CX), uc.reg_read(X.UC_X86_REG_DH)
            s = cx & 63
            c = (cx >> 8) | ((cx & 0xC0) << 2)
            lba = (c * 255 + dh) * 63 + s - 1
            if self.read_ok() and uc.reg_read(X.UC_X86_REG_AL) == 1:
                self.reads.append(("chs", lba, 1))
                es, bx = uc.reg_read(X.UC_X86_REG_ES), uc.reg_read(X.UC_X86_REG_BX)
                uc.mem_write(es * 16 + bx, self.disk.get(lba, bytes(512)))
                self.carry(False)
            else:
                self.carry(True)
        elif intno == 0x13 and ah == 0x00:
            self.resets += 1
            self.carry(False)
        else:
            raise AssertionError("unexpected int %02Xh AH=%02X" % (intno, ah))

    def code(self, uc, address, size, _):
        if address == LOAD:
            self.entered += 1
            if self.entered == 2:
                self.jumped = {r: uc.reg_read(getattr(X, "UC_X86_REG_" + r)) for r in ("DL", "SI", "CS", "DS")}
                uc.emu_stop()
                return
        if uc.mem_read(address, 1) == b"\xf4":
            self.halted = True
            uc.emu_stop()

    def run(self):
        self.uc.emu_start(LOAD, 0x100000, count=200000)
        return self


def sector0(program, entries):
    table = b"".join(entries) + bytes(16 * (4 - len(entries)))
    return program[:446] + table + b"\x55\xaa"


def main():
    program = boot_program(sys.argv[1])
    vbr = b"\xeb\xfe" + bytes(508) + b"\x55\xaa"
    good = sector0(program, [entry(0, 7, 63, 1000), entry(0x80, 0x0B, 2048, 4096)])
    failures = []

    def check(name, cond):
        if not cond:
            failures.append(name)
        print("%-58s %s" % (name, "ok" if cond else "FAILED"))

    pc = Pc(good, {2048: vbr}).run()
    check("extended read: the active partition's sector is started",
          pc.jumped is not None and bytes(pc.uc.mem_read(LOAD, 512)) == vbr and pc.reads == [("lba", 2048, 1)])
    check("extended read: DL is the drive, SI the active entry",
          pc.jumped and pc.jumped["DL"] == 0x80 and pc.jumped["SI"] == TABLE + 16 and pc.output == "")

    pc = Pc(good, {2048: vbr}, extensions=False).run()
    check("CHS read: the same sector through its CHS bytes", pc.jumped is not None and pc.reads == [("chs", 2048, 1)])

    pc = Pc(good, {2048: vbr}, failing_reads=2, zero_count_on_failure=True).run()
    check("two failed reads: reset, then read again (count restored)",
          pc.jumped is not None and pc.resets == 2 and pc.reads == [("lba", 2048, 1)])

    pc = Pc(good, {2048: vbr}, failing_reads=99).run()
    check("read errors: 'Error loading operating system' after 5 tries",
          pc.output == "Error loading operating system" and pc.halted and pc.resets == 5)

    pc = Pc(good, {2048: bytes(512)}).run()
    check("no boot sector: 'Missing operating system'", pc.output == "Missing operating system" and pc.halted)

    pc = Pc(sector0(program, [entry(0, 7, 63, 1000)]), {}).run()
    check("no active partition: int 18h", pc.int18 and pc.output == "" and pc.reads == [])

    for name, entries in (("two active", [entry(0x80, 7, 63, 1000), entry(0x80, 7, 2048, 10)]),
                          ("a flag that is neither 0 nor 80h", [entry(0x81, 7, 63, 1000)])):
        pc = Pc(sector0(program, entries), {}).run()
        check("%s: 'Invalid partition table'" % name,
              pc.output == "Invalid partition table" and pc.halted and pc.reads == [])

    check("bytes 440-445 are left for the disk signature", program[440:446] == bytes(6))
    print("%d passed, %d failed" % (10 - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
