#!/usr/bin/env python3
"""ideal_speed.py BIN [--rounds N] [--mb M]

What ../shared/tools/speed.py says of an annotator that does no work at all:
ideal_annotator.cpp (beside this script) copies InFile to OutFile in 1 MiB
blocks and writes as many listing bytes as BIN's listing takes, the bytes
and write calls of copy_floor itself. speed.py times it in BIN's place and
prints its usual lines; the copy_ ratios it gives are the lowest any
annotator can reach in that run on this machine, whatever its code. Then
speed.py runs once more on BIN itself, for comparison.

Where the ideal program's copy_ ratios are well above 1, the time goes to
where each run stands in speed.py's sequence, not to what it does: on a
file system mounted with `discard`, emptying OutFile waits for the discards
of its old blocks, queued behind the writeback of what the runs before it
wrote.
"""
import argparse
import importlib.util
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SPEED = os.path.join(HERE, "..", "..", "shared", "tools", "speed.py")


def load_speed():
    if not os.path.exists(SPEED):
        sys.exit(f"no {SPEED}")
    spec = importlib.util.spec_from_file_location("speed", SPEED)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("binary")
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--mb", type=int, default=50)
    a = ap.parse_args()
    speed = load_speed()
    binary = os.path.abspath(a.binary)
    ideal = speed.floor_binary(os.path.join(HERE, "ideal_annotator.cpp"))
    corpora = [speed.REAL,
               speed.corpus(["--megabytes", str(a.mb), "--seed", "1"]),
               speed.corpus(["--shape", "deep", "--records", "200", "--seed", "1"])]
    with tempfile.TemporaryDirectory() as tmp:
        sizes = os.path.join(tmp, "listing-sizes")
        with open(sizes, "w") as out:
            for path in corpora:
                listing = os.path.join(tmp, "listing")
                with open(listing, "wb") as lst:
                    subprocess.run([binary, path, os.path.join(tmp, "out")],
                                   stdout=lst, stderr=subprocess.DEVNULL, check=True)
                out.write(f"{os.path.getsize(listing)} {path}\n")
        env = dict(os.environ, IDEAL_LISTING_SIZES=sizes)
        flags = ["--rounds", str(a.rounds), "--mb", str(a.mb)]
        for name, program in (("ideal (no work)", ideal), ("BIN", binary)):
            print(f"== speed.py on {name}: {program}", flush=True)
            subprocess.run([sys.executable, SPEED, program, *flags], env=env)


if __name__ == "__main__":
    main()
