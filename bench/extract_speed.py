#!/usr/bin/env python3
"""extract_speed.py BIN [--rounds N] [--file FILE]

Wall time of extract_patterns BIN on the real trees (or FILE), plain and with
--consistent, side by side with the physical limit for the same output: the
copy floor (../shared/tools/copy_floor.cpp) writing as many bytes as the
patterns take to a regular file in 1 MiB blocks (it copies the patterns just
written, which the page cache holds), and doing nothing else. Both create or
empty their output file inside the time taken. Runs alternate program /
floor; medians are compared.

Last line:
  plain=.. consistent=.. status=ok|short
with each figure the program's time over the floor's; ok when both are at
most 2.5.
"""
import argparse
import hashlib
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = os.path.join(os.path.dirname(HERE), "..", "shared", "tools")
REAL = os.path.join(TOOLS, "..", "realdata", "treebank-records.txt")
GOAL = 2.5


def copy_floor():
    source = os.path.join(TOOLS, "copy_floor.cpp")
    if not os.path.exists(source):
        sys.exit(f"no {source}")
    tag = hashlib.sha1(open(source, "rb").read()).hexdigest()[:12]
    cache = os.path.join(os.environ.get("TMPDIR", "/tmp"), "annotator-speed")
    os.makedirs(cache, exist_ok=True)
    binary = os.path.join(cache, "copy_floor-" + tag)
    if not os.path.exists(binary):
        subprocess.run(["g++", "-O2", "-std=c++17", "-o", binary + ".part", source],
                       check=True)
        os.replace(binary + ".part", binary)
    return binary


def wall(cmd, stdout_path):
    with open(stdout_path, "wb") as out:
        started = time.perf_counter()
        subprocess.run(cmd, stdout=out, stderr=subprocess.DEVNULL, check=True)
        return time.perf_counter() - started


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("binary")
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--file", default=REAL)
    a = ap.parse_args()
    if not os.path.exists(a.file):
        sys.exit(f"no {a.file}")
    binary = os.path.abspath(a.binary)
    floor = copy_floor()
    ratios = {}
    with tempfile.TemporaryDirectory() as tmp:
        patterns = os.path.join(tmp, "patterns.txt")
        filler = os.path.join(tmp, "floor.txt")
        for mode, options in (("plain", []), ("consistent", ["--consistent"])):
            cmd = [binary, *options, a.file, patterns]
            wall(cmd, os.devnull)
            size = os.path.getsize(patterns)
            ours, floors = [], []
            for _ in range(a.rounds):
                ours.append(wall(cmd, os.devnull))
                floors.append(wall([floor, patterns, filler], os.devnull))
            ours_s, floor_s = statistics.median(ours), statistics.median(floors)
            ratios[mode] = ours_s / floor_s
            print(f"{mode:10s} {size / 1e6:6.1f} MB of patterns: extract_patterns "
                  f"{ours_s:6.3f} s, copy floor {floor_s:6.3f} s, ratio {ratios[mode]:5.2f}")
    ok = all(r <= GOAL for r in ratios.values())
    print(" ".join(f"{k}={v:.2f}" for k, v in ratios.items()) +
          f" status={'ok' if ok else 'short'}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
