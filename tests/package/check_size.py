#!/usr/bin/env python3
"""Prints the size of the exe users download and fails above the budget.
The exe is linked stripped; a symbol table left in it would be shipped too,
so one counts as a failure of its own.

Usage: check_size.py <exe> [budget in bytes, default 204800]"""

import os
import sys

import pe

BUDGET = 200 * 1024


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
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
