#!/usr/bin/env python3
"""Prints the size of the exe users download and fails above the budget.
The exe is linked stripped; a symbol table left in it would be shipped too,
so one counts as a failure of its own. So does a part of the runtime that the
link map beside the exe shows linked in, though the program needs none of it:
winpthread, the exception runtime, or code that parses or prints floating point.

Usage: check_size.py <exe> [budget in bytes, default 204800]"""

import os
import re
import sys

import pe

BUDGET = 200 * 1024
UNWANTED = re.compile(r"\S*(libpthread\.a|libstdc\+\+\.a\((eh_|[\w-]*string-inst|[\w-]*stdexcept)"
                      r"|libmingwex\.a\(\S*(strto[dfl]|dtoa|pformat|printf))\S*")


def unwanted_parts(map_path):
    """The archive members with bytes in the image that the program must not carry."""
    with open(map_path, encoding="utf-8", errors="replace") as file:
        memory_map = file.read().partition("Linker script and memory map")[2]
    return sorted({os.path.basename(found.group(1)) for found in
                   re.finditer(r"^ \S+\s+0x[0-9a-f]+\s+0x0*[1-9a-f][0-9a-f]*\s+(%s)$" % UNWANTED.pattern,
                               memory_map, re.M)})


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__)
        return 2
    budget = int(sys.argv[2]) if len(sys.argv) == 3 else BUDGET
    with open(sys.argv[1], "rb") as file:
        image = pe.PeFile(file.read())
    size = os.path.getsize(sys.argv[1])
    print("size: %d bytes (%.1f KiB) of a %d byte budget, %d bytes to spare"
          % (size, size / 1024, budget, budget - size))
    for name, _, virtual_size, _, raw_size in image.sections:
        print("  %-8s %8d bytes in the file" % (name, raw_size))
    failed = False
    if image.symbol_count or image.symbol_table_offset:
        print("FAILED  not stripped: %d symbols" % image.symbol_count)
        failed = True
    if size > budget:
        print("FAILED  %d bytes over the budget" % (size - budget))
        failed = True
    map_path = os.path.splitext(sys.argv[1])[0] + ".map"
    for part in unwanted_parts(map_path) if os.path.exists(map_path) else []:
        print("FAILED  linked in: %s" % part)
        failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
