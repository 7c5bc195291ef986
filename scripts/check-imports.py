#!/usr/bin/env python3
"""Fails when a file we ship could not load on Windows XP SP3.

    check-imports.py TRIPLET LIST

LIST names the files, one a line (the build's shipped.txt). Each file's import
table (objdump -p) is checked against:
  - the DLLs Windows XP has: any other DLL is refused;
  - the functions the mingw-w64 headers declare only for Vista or later: every
    imported name is compiled once with _WIN32_WINNT=0x0501 and once with
    0x0A00; declared in the second and not in the first is refused, and so is a
    name the headers below do not declare at all (add its header here);
  - for msvcrt.dll, which the headers do not tell apart: the secure (_s) and
    locale (_l) variants and the other functions the C runtime gained after XP.
Prints every finding and exits 1 when there is one.
"""
import os
import re
import subprocess
import sys
import tempfile

# System DLLs of Windows XP SP3 (lower case).
XP_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "crypt32.dll", "dbghelp.dll", "dnsapi.dll",
    "gdi32.dll", "gdiplus.dll", "imagehlp.dll", "imm32.dll", "iphlpapi.dll", "kernel32.dll",
    "mpr.dll", "msimg32.dll", "msvcrt.dll", "mswsock.dll", "netapi32.dll", "ntdll.dll",
    "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "secur32.dll", "setupapi.dll",
    "shell32.dll", "shlwapi.dll", "urlmon.dll", "user32.dll", "userenv.dll", "uxtheme.dll",
    "version.dll", "wininet.dll", "winmm.dll", "winspool.drv", "wintrust.dll", "ws2_32.dll",
    "wsock32.dll", "wtsapi32.dll",
}

# Functions msvcrt.dll gained with the Visual C++ 2005 runtime (Vista's copy),
# beyond the _s and _l families.
MSVCRT_LATER = {
    "_get_errno", "_set_errno", "_get_doserrno", "_set_doserrno", "_get_fmode", "_set_fmode",
    "_get_osplatform", "_get_osver", "_get_winver", "_get_winmajor", "_get_winminor",
    "_get_pgmptr", "_get_wpgmptr", "_get_environ", "_get_wenviron", "_get_timezone",
    "_get_daylight", "_get_dstbias", "_get_tzname", "_get_invalid_parameter_handler",
    "_set_invalid_parameter_handler", "_get_purecall_handler", "_set_purecall_handler",
    "_set_abort_behavior", "_get_output_format", "_set_output_format", "_configthreadlocale",
    "_create_locale", "_free_locale", "_get_current_locale", "_fseeki64", "_ftelli64",
    "_time32", "_localtime32", "_gmtime32", "_mktime32", "_ctime32", "_difftime32",
    "_difftime64", "_mkgmtime32", "_fstat32", "_stat32", "_wstat32", "_fstat64i32",
    "_stat64i32", "_wstat64i32", "_findfirst32", "_findnext32", "_wfindfirst32",
    "_wfindnext32", "_findfirst64i32", "_findnext64i32", "_wfindfirst64i32", "_wfindnext64i32",
    "_printf_p", "_fprintf_p", "_sprintf_p", "_wprintf_p", "_fwprintf_p", "_swprintf_p",
}

PROBE_HEADERS = """
#define SECURITY_WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <wincrypt.h>
#include <security.h>
#include <schannel.h>
#include <shlobj.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <commctrl.h>
#include <commdlg.h>
#include <psapi.h>
#include <objbase.h>
#include <oleauto.h>
#include <olectl.h>
#include <winver.h>
#include <mmsystem.h>
#include <gdiplus.h>
using namespace Gdiplus;
using namespace Gdiplus::DllExports;
"""


def imports(triplet, path):
    """{dll (lower case): [function names, '#ordinal' for ordinal imports]}"""
    out = subprocess.run([triplet + "-objdump", "-p", path], check=True, capture_output=True, text=True).stdout
    found, dll, delayed = {}, None, False
    for line in out.splitlines():
        if line.startswith("The ") or line.startswith("PE File"):
            delayed, dll = "Delay Import" in line, None
            continue
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1).lower() + (" (delay-loaded)" if delayed else "")
            found.setdefault(dll, [])
            continue
        m = re.match(r"\t[0-9a-fA-F]+\t\s*(\d+)(?:\s+(\S+))?\s*$", line)
        if dll and m:
            found[dll].append(m.group(2) if m.group(2) and m.group(2) != "<none>" else "#" + m.group(1))
    return found


def undeclared(triplet, names, winnt):
    """The names the headers do not declare with _WIN32_WINNT=winnt."""
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "probe.cpp")
        first = PROBE_HEADERS.count("\n") + 2
        with open(src, "w") as f:
            f.write(PROBE_HEADERS + "void probe() {\n" + "".join("(void)%s;\n" % n for n in names) + "}\n")
        cmd = [triplet + "-g++", "-fsyntax-only", "-fmax-errors=0", "-w", "-D_WIN32_WINNT=" + winnt,
               "-DWINVER=" + winnt, "-DNOMINMAX", src]
        res = subprocess.run(cmd, capture_output=True, text=True, env=dict(os.environ, LC_ALL="C"))
    missing = set()
    for m in re.finditer(r"probe\.cpp:(\d+):\d+: error: '?(\w+)'? (?:was not declared|has not been declared)",
                         res.stderr):
        i = int(m.group(1)) - first
        if 0 <= i < len(names):
            missing.add(names[i])
    if res.returncode != 0 and not missing:
        # The probe itself failed (a header missing or broken): say so.
        sys.exit("check-imports: the header probe does not compile:\n" + res.stderr[-3000:])
    return missing


def msvcrt_later(name):
    return name.endswith("_s") or name.endswith("_l") or name in MSVCRT_LATER


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    triplet, listing = sys.argv[1], sys.argv[2]
    files = [l.strip() for l in open(listing) if l.strip()]
    if not files:
        sys.exit("check-imports: %s names no file" % listing)
    tables = {f: imports(triplet, f) for f in files}
    probed = sorted({n for t in tables.values() for d, ns in t.items() if d != "msvcrt.dll"
                     for n in ns if not n.startswith("#")})
    old = undeclared(triplet, probed, "0x0501") if probed else set()
    new = undeclared(triplet, probed, "0x0A00") if probed else set()

    problems = []
    for f, table in tables.items():
        name = os.path.basename(f)
        if "kernel32.dll" not in table:
            problems.append("%s: no import of kernel32.dll read: is this a program for Windows?" % name)
        for dll, functions in sorted(table.items()):
            if dll not in XP_DLLS:
                problems.append("%s: imports %s, which Windows XP does not have" % (name, dll))
                continue
            for fn in functions:
                if fn.startswith("#"):
                    problems.append("%s: imports %s from %s by ordinal: cannot tell" % (name, fn, dll))
                elif dll == "msvcrt.dll":
                    if msvcrt_later(fn):
                        problems.append("%s: %s!%s is not in Windows XP's C runtime" % (name, dll, fn))
                elif fn in new:
                    problems.append("%s: %s!%s is declared by no header the check reads" % (name, dll, fn))
                elif fn in old:
                    problems.append("%s: %s!%s exists from Windows Vista on only" % (name, dll, fn))
    count = sum(len(ns) for t in tables.values() for ns in t.values())
    if problems:
        print("\n".join(problems))
        print("check-imports: %d problem(s) in %d files" % (len(problems), len(files)))
        return 1
    print("check-imports: %d files, %d imports, all on Windows XP" % (len(files), count))
    return 0


if __name__ == "__main__":
    sys.exit(main())
