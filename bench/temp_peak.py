#!/usr/bin/env python3
"""The most temporary disk a run takes: the bytes of the files it holds open
in a directory, unlinked ones included, sampled every 20 ms.

    python3 bench/temp_peak.py DIR build/release/score_patterns \
        --temp-dir DIR --from-counts a.counts b.counts -o table.tsv

Runs the command after DIR and prints its exit status and the peak.
"""
import os
import subprocess
import sys
import time


def held_bytes(pid, directory):
    total = 0
    try:
        descriptors = os.listdir(f"/proc/{pid}/fd")
    except OSError:
        return 0
    for fd in descriptors:
        path = f"/proc/{pid}/fd/{fd}"
        try:
            if os.readlink(path).startswith(directory):
                total += os.stat(path).st_size
        except OSError:
            pass
    return total


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    directory = os.path.realpath(sys.argv[1])
    child = subprocess.Popen(sys.argv[2:])
    peak = 0
    while child.poll() is None:
        peak = max(peak, held_bytes(child.pid, directory))
        time.sleep(0.02)
    print(f"exit {child.returncode}, peak temporary bytes {peak}")


if __name__ == "__main__":
    main()
