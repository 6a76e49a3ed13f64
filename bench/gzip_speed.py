#!/usr/bin/env python3
"""gzip_speed.py BUILD_DIR [--rounds N] [--file FILE]

How fast annotator and extract_patterns of BUILD_DIR read gzip input: the
real trees (or FILE) gzipped at level 6 into a scratch folder, each program
run on the plain file and on its gzip twin, in alternating rounds, output to
/dev/null (annotator's listing too). Prints, for each program, the median
CPU seconds (user + system) of each, their ratio, and the gzip run's speed
in MB/s of compressed input and of the plain bytes it holds; beside them,
the same for gzip -dc alone, the floor of inflating the file.
"""
import argparse
import gzip
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
REAL = os.path.join(HERE, "..", "..", "shared", "realdata", "treebank-records.txt")


def cpu_seconds(argv):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--file", default=REAL)
    args = parser.parse_args()
    if not os.path.exists(args.file):
        sys.exit(f"no {args.file}")
    scratch = tempfile.mkdtemp()
    try:
        plain = os.path.join(scratch, "trees.txt")
        packed = plain + ".gz"
        shutil.copyfile(args.file, plain)
        with open(plain, "rb") as source, gzip.open(packed, "wb", 6) as target:
            shutil.copyfileobj(source, target)
        plain_mb = os.path.getsize(plain) / 1e6
        packed_mb = os.path.getsize(packed) / 1e6
        print(f"input: {plain_mb:.1f} MB plain, {packed_mb:.1f} MB gzipped")
        floor = statistics.median(
            cpu_seconds(["gzip", "-dc", packed]) for _ in range(args.rounds))
        print(f"gzip -dc: {floor:.3f} s: {packed_mb / floor:.0f} MB/s compressed, "
              f"{plain_mb / floor:.0f} MB/s of records")
        for program in ("annotator", "extract_patterns"):
            binary = os.path.join(args.build, program)
            times = {plain: [], packed: []}
            for _ in range(args.rounds):
                for source in (plain, packed):
                    times[source].append(
                        cpu_seconds([binary, source, "/dev/null"]))
            flat = statistics.median(times[plain])
            unpacked = statistics.median(times[packed])
            print(f"{program}: plain {flat:.3f} s, gzip {unpacked:.3f} s "
                  f"({unpacked / flat:.2f}x): {packed_mb / unpacked:.0f} MB/s "
                  f"compressed, {plain_mb / unpacked:.0f} MB/s of records")
    finally:
        shutil.rmtree(scratch)


if __name__ == "__main__":
    main()
