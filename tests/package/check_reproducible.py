#!/usr/bin/env python3
"""Builds the exe a second time, from a copy of the sources in another folder,
and fails unless the two are the same byte for byte. Several exes of one build
tree, separated by commas, are rebuilt and compared together.

Usage: check_reproducible.py <source dir> <exe>[,<exe>...] <work dir> [-DNAME=VALUE...]"""

import hashlib
import os
import shutil
import subprocess
import sys


def main():
    if len(sys.argv) < 4:
        print(__doc__)
        return 2
    source, exes, work, settings = sys.argv[1], sys.argv[2].split(","), sys.argv[3], sys.argv[4:]
    shutil.rmtree(work, ignore_errors=True)
    copy = os.path.join(work, "elsewhere")
    shutil.copytree(source, copy, ignore=lambda folder, _: {"build", ".git"} if folder == source else set())
    targets = [os.path.splitext(os.path.basename(exe))[0] for exe in exes]
    for command in (["cmake", "--preset", "windows", *settings], ["cmake", "--build", "--preset", "windows", "-t", *targets]):
        subprocess.run(command, cwd=copy, check=True, stdout=subprocess.DEVNULL)
    differ = False
    for exe in exes:
        digests = [hashlib.sha256(open(path, "rb").read()).hexdigest()
                   for path in (exe, os.path.join(copy, "build", "windows", os.path.basename(exe)))]
        print("%s\n  first build  %s\n  second build %s" % (os.path.basename(exe), *digests))
        differ = differ or digests[0] != digests[1]
    if differ:
        return 1
    shutil.rmtree(work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
