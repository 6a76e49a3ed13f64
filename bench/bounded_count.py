#!/usr/bin/env python3
"""Times extract_patterns --count held to --memory against the run that
holds its whole table, and the read speed of --merge-counts; or, with
--score, score_patterns held to --memory against score_patterns unbounded.

    python3 bench/bounded_count.py build/release/extract_patterns \
        ../shared/realdata/treebank-records.txt [--copies 9] [--memory 64M] \
        [--runs 3]
    python3 bench/bounded_count.py --score build/release/score_patterns \
        ../shared/realdata/treebank-records.txt

The corpus is --copies copies of the file laid end to end (about 100 MB of
the real trees for 9), written to a temporary directory, where the runs go
too. Each round runs the unbounded program, then the one held to --memory,
each under GNU time (/usr/bin/time -f "%U %S %M"), and checks that both
tables are the same bytes. It prints, for each, the fewest and the median
CPU seconds (user + system) of the rounds, the median of each round's CPU
ratio of bounded to unbounded, and the peak resident memory in MiB. Then,
for --count, the table is cut in two by --count over the two halves of the
corpus, the halves merged with --merge-counts (at the same --memory) and
checked against the whole table; the merge's read speed is the tables'
bytes over its wall seconds.
"""
import argparse
import filecmp
import os
import statistics
import subprocess
import tempfile
import time


def timed(argv):
    """CPU seconds and peak resident MiB of one run, as GNU time says."""
    result = subprocess.run(["/usr/bin/time", "-f", "%U %S %M", *argv],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                            text=True, check=True)
    user, system, peak = result.stderr.split()[-3:]
    return float(user) + float(system), int(peak) / 1024


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("program")
    parser.add_argument("records")
    parser.add_argument("--copies", type=int, default=9)
    parser.add_argument("--memory", default="64M")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--score", action="store_true",
                        help="the program is score_patterns")
    args = parser.parse_args()
    if not os.path.exists("/usr/bin/time"):
        raise SystemExit("this needs GNU time (apt-get install time)")
    with open(args.records, "rb") as f:
        records = f.read()
    with tempfile.TemporaryDirectory() as scratch:
        big = os.path.join(scratch, "big.txt")
        with open(big, "wb") as f:
            for _ in range(args.copies):
                f.write(records)
        whole = os.path.join(scratch, "whole.tsv")
        bounded = os.path.join(scratch, "bounded.tsv")
        rows = {"unbounded": [], "bounded": []}
        mode = [] if args.score else ["--count"]
        for _ in range(args.runs):
            rows["unbounded"].append(timed(
                [args.program, "--quiet", *mode, big, whole]))
            rows["bounded"].append(timed(
                [args.program, "--quiet", *mode, "--memory", args.memory,
                 "--temp-dir", scratch, big, bounded]))
            if not filecmp.cmp(whole, bounded, shallow=False):
                raise SystemExit("the bounded table differs")
        print(f"corpus: {os.path.getsize(big) / 1e6:.1f} MB, "
              f"table: {os.path.getsize(whole) / 1e6:.1f} MB")
        for name, runs in rows.items():
            print(f"{name:>9}: cpu {min(cpu for cpu, _ in runs):.2f} s "
                  f"(median {statistics.median(cpu for cpu, _ in runs):.2f}), "
                  f"peak {max(peak for _, peak in runs):.1f} MiB")
        ratios = [b[0] / u[0] for u, b in zip(rows["unbounded"],
                                               rows["bounded"])]
        print(f"bounded / unbounded cpu, median of rounds: "
              f"{statistics.median(ratios):.2f}")
        if args.score:
            return

        # Two halves, cut at a record start near the middle.
        middle = len(records) * args.copies // 2
        with open(big, "rb") as f:
            data = f.read()
        cut = data.index(b"\nSentenceIndex:", middle) + 1
        tables = []
        for i, piece in enumerate((data[:cut], data[cut:])):
            path = os.path.join(scratch, f"half{i}.txt")
            with open(path, "wb") as f:
                f.write(piece)
            tables.append(path + ".tsv")
            subprocess.run([args.program, "--quiet", "--count", path,
                            tables[-1]], check=True)
        merged = os.path.join(scratch, "merged.tsv")
        size = sum(os.path.getsize(t) for t in tables)
        best = None
        for _ in range(args.runs):
            started = time.perf_counter()
            cpu, peak = timed([args.program, "--merge-counts", "--memory",
                               args.memory, "--temp-dir", scratch, "-o",
                               merged, *tables])
            wall = time.perf_counter() - started
            best = wall if best is None else min(best, wall)
            if not filecmp.cmp(whole, merged, shallow=False):
                raise SystemExit("the merged table differs")
        print(f"merge of {len(tables)} tables ({size / 1e6:.1f} MB): "
              f"{best:.2f} s, {size / 1e6 / best:.1f} MB/s, "
              f"peak {peak:.1f} MiB")


if __name__ == "__main__":
    main()
