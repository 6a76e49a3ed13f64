#!/usr/bin/env python3
"""Times the table-holding runs with memory the system has at hand and with
memory it must fetch anew, beside the plain run, which holds no table.

    python3 bench/fresh_memory.py build/release \
        ../shared/realdata/treebank-records.txt [--rounds 9] [--pause 3]

Some virtual machines give the pages a process freed back to their host a
moment later (Linux's free page reporting; this prints whether the kernel
here reports). The next process to touch that much memory then waits while
the host supplies each page again, and that wait is charged to it as system
time. `extract_patterns --count` and `score_patterns` fill tens of megabytes
of table (the real trees: about 60 MB of distinct lines), so they pay it in
full after a quiet spell and hardly at all right after a run that freed as
much, while the plain run holds next to nothing either way. Each round times:

- plain: `extract_patterns` without a table;
- settled: `--count` and `score_patterns`, each after --pause seconds of
  quiet, when the memory freed before has gone back;
- at hand: each again at once, right after the same run freed as much.

It prints the median CPU seconds (user + system) of each, the system part,
and the ratios the speed targets compare: `--count` to plain,
`score_patterns` to `--count`. The other benchmarks run back to back, so
most of their runs find memory at hand, some not.
"""
import argparse
import os
import resource
import statistics
import subprocess
import tempfile
import time

REPORTING = "/sys/module/page_reporting/parameters/page_reporting_order"


def cpu(argv):
    """User and system CPU seconds of one run."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(argv, stdout=subprocess.DEVNULL, check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return after.ru_utime - before.ru_utime, after.ru_stime - before.ru_stime


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bindir")
    parser.add_argument("corpus")
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("--pause", type=float, default=3.0)
    args = parser.parse_args()
    if os.path.exists(REPORTING):
        with open(REPORTING) as f:
            print("free page reporting: in this kernel, blocks of 2^"
                  f"{f.read().strip()} pages and up")
    else:
        print("free page reporting: not in this kernel")
    extract = os.path.join(args.bindir, "extract_patterns")
    score = os.path.join(args.bindir, "score_patterns")
    times = {}
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "out.tsv")
        runs = {
            "plain": [extract, "--quiet", args.corpus, out],
            "count": [extract, "--count", "--quiet", args.corpus, out],
            "score": [score, "--quiet", args.corpus, out],
        }
        for _ in range(args.rounds):
            times.setdefault("plain", []).append(cpu(runs["plain"]))
            for name in ("count", "score"):
                time.sleep(args.pause)
                times.setdefault(name + " settled", []).append(cpu(runs[name]))
                times.setdefault(name + " at hand", []).append(cpu(runs[name]))
    total = {name: statistics.median(u + s for u, s in values)
             for name, values in times.items()}
    for name, values in times.items():
        system = statistics.median(s for _, s in values)
        print(f"{name:15} {total[name]:.3f} s, of which system {system:.3f} s")
    for state in ("settled", "at hand"):
        count = total["count " + state]
        print(f"{state:8}: --count / plain {count / total['plain']:.2f}, "
              f"score_patterns / --count {total['score ' + state] / count:.2f}")


if __name__ == "__main__":
    main()
