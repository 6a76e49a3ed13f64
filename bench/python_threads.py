#!/usr/bin/env python3
"""Which calls of the Python module gain from threads working on different
files: two threads against the same two jobs one after the other.

Run with the interpreter the module was built for, after building the
release preset:

    /usr/bin/python3 bench/python_threads.py [--megabytes 200] [--rounds 5]

Two generated corpora of --megabytes each (../shared/tools/gen_corpus.py,
cached under $TMPDIR/annotator-speed, seeds 1 and 2) are each read with
`annotator.read` (summing the scores) and each annotated with
`annotator.annotate`. Prints the medians of --rounds rounds, their spread,
each round's ratio of the two (its median and spread), and whether two
threads took less time than one after the other in every round, as doc/python.md
gives them.
"""

import argparse
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import threading
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
GEN = ROOT.parent / "shared" / "tools" / "gen_corpus.py"


def corpus(megabytes, seed):
    cache = pathlib.Path(os.environ.get("TMPDIR", "/tmp")) / "annotator-speed"
    cache.mkdir(parents=True, exist_ok=True)
    path = cache / f"corpus-__megabytes_{megabytes}___seed_{seed}.txt"
    if not path.exists():
        if not GEN.exists():
            sys.exit(f"no {GEN}")
        part = path.with_suffix(".part")
        subprocess.run([sys.executable, str(GEN), "--megabytes", str(megabytes),
                        "--seed", str(seed), "--out", str(part)],
                       check=True, stdout=subprocess.DEVNULL)
        part.replace(path)
    return path


def timed(jobs, threaded):
    started = time.perf_counter()
    if threaded:
        threads = [threading.Thread(target=job) for job in jobs]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    else:
        for job in jobs:
            job()
    return time.perf_counter() - started


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=ROOT / "build" / "release", type=pathlib.Path)
    parser.add_argument("--megabytes", type=int, default=200)
    parser.add_argument("--rounds", type=int, default=5)
    arguments = parser.parse_args()
    sys.path.insert(0, str(arguments.build / "python"))
    import annotator

    files = [corpus(arguments.megabytes, seed) for seed in (1, 2)]
    with tempfile.TemporaryDirectory() as scratch:
        outs = [pathlib.Path(scratch) / f"out{n}.txt" for n in (1, 2)]
        calls = {
            "annotator.read": [
                (lambda f=f: sum(e.score for e in annotator.read(f))) for f in files],
            "annotator.annotate": [
                (lambda f=f, o=o: annotator.annotate(f, o)) for f, o in zip(files, outs)],
        }
        print(f"two files of {arguments.megabytes} MB, {os.cpu_count()} cores, "
              f"medians of {arguments.rounds} (spread)")
        for name, jobs in calls.items():
            apart, together = [], []
            # Interleaved, so that whatever else the machine does falls on both.
            for _ in range(arguments.rounds):
                apart.append(timed(jobs, threaded=False))
                together.append(timed(jobs, threaded=True))
            a, t = statistics.median(apart), statistics.median(together)
            # Each round's ratio: a load that comes and goes between rounds
            # moves it less than either time.
            ratios = sorted(t_ / a_ for t_, a_ in zip(together, apart))
            verdict = "gains" if ratios[-1] < 1 else (
                "does not gain" if ratios[0] >= 1 else "within noise")
            print(f"{name}: two threads {t:.2f} s ({min(together):.2f}-{max(together):.2f}) "
                  f"against {a:.2f} s ({min(apart):.2f}-{max(apart):.2f}) one after the "
                  f"other; per round {statistics.median(ratios):.2f} of the time "
                  f"({ratios[0]:.2f}-{ratios[-1]:.2f}): {verdict}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
