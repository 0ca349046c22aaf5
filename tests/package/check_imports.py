#!/usr/bin/env python3
"""Fails when the exe's import table names a DLL other than KERNEL32.dll and
msvcrt.dll: every other system DLL is to be loaded from System32 at run time,
so a planted copy beside the exe is never picked up by the loader.

Usage: check_imports.py <objdump> <exe>"""

import re
import subprocess
import sys

ALLOWED = {"kernel32.dll", "msvcrt.dll"}


def imported_dlls(objdump, exe):
    report = subprocess.run([objdump, "-p", exe], check=True, capture_output=True, text=True).stdout
    return re.findall(r"^\s*DLL Name:\s*(\S+)\s*$", report, re.MULTILINE)


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    names = imported_dlls(sys.argv[1], sys.argv[2])
    print("imports: " + (", ".join(names) if names else "(none)"))
    unexpected = sorted({name for name in names if name.lower() not in ALLOWED})
    if not names:
        # objdump found no import table at all: the output format changed, not a clean exe.
        print("FAILED  no DLL Name lines in objdump -p")
        return 1
    if unexpected:
        print("FAILED  imports beyond KERNEL32.dll and msvcrt.dll: " + ", ".join(unexpected))
        return 1
    print("ok      only KERNEL32.dll and msvcrt.dll")
    return 0


if __name__ == "__main__":
    sys.exit(main())
