#!/usr/bin/env python3
"""write_sizes.py BIN INFILE

How many bytes annotator BIN hands OutFile in one write call, with the
listing on (standard output to a file, as a terminal gets it) and with it on
/dev/null, from the write calls strace(1) records. The last write of a run
carries the rest and is left out of the median.

Prints the figures as doc/records.md gives them, for example
  listing on: OutFile gets about 110 KiB per write (median 113096 bytes, 101 writes)
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

WRITE = re.compile(r'^\d+\s+write\((\d+), .*\) = (\d+)$')
OPEN = re.compile(r'^\d+\s+openat\(AT_FDCWD, "(.*)", .*\) = (\d+)$')


def out_file_writes(binary, infile, listing_to, tmp):
    out = os.path.join(tmp, "out.txt")
    log = os.path.join(tmp, "strace.txt")
    with open(listing_to, "wb") as listing:
        subprocess.run(["strace", "-f", "-e", "trace=openat,write", "-e", "signal=none",
                        "-o", log, binary, infile, out],
                       stdout=listing, stderr=subprocess.DEVNULL, check=True)
    out_fd, sizes = None, []
    for line in open(log, encoding="utf-8", errors="replace"):
        opened = OPEN.match(line)
        if opened and opened.group(1) == out:
            out_fd = opened.group(2)
        written = WRITE.match(line)
        if written and written.group(1) == out_fd:
            sizes.append(int(written.group(2)))
    return sizes


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("binary")
    ap.add_argument("infile")
    a = ap.parse_args()
    if not shutil.which("strace"):
        sys.exit("needs strace (apt-get install strace)")
    binary = os.path.abspath(a.binary)
    with tempfile.TemporaryDirectory() as tmp:
        for name, listing_to in (("listing on", os.path.join(tmp, "listing.txt")),
                                 ("listing on /dev/null", os.devnull)):
            sizes = out_file_writes(binary, a.infile, listing_to, tmp)
            if len(sizes) < 2:
                sys.exit(f"{name}: {len(sizes)} writes; give a larger INFILE")
            median = statistics.median(sizes[:-1])
            print(f"{name}: OutFile gets about {median / 1024:.0f} KiB per write "
                  f"(median {median:.0f} bytes, {len(sizes)} writes)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
