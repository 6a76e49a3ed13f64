#!/usr/bin/env python3
"""Times the two-core recipes of doc/large-corpora.md that count in pieces
and add the pieces up, against one plain run, and the merge's read speed.

    python3 bench/pieces_recipe.py build/release \
        ../shared/realdata/treebank-records.txt [--copies 9] [--jobs 2] \
        [--rounds 5]

The corpus is --copies copies of the records laid end to end (about 100 MB
of the real trees for 9), in a temporary directory where everything else
goes too. Each round runs, one after the other so that the machine's load
falls on all alike:

  count one      extract_patterns --count big.txt
  count pieces   parallel -j JOBS --pipe-part --block -1 --recstart ...
                 extract_patterns --count, then --merge-counts of the pieces
  score one      score_patterns big.txt
  score pieces   the same with score_patterns --counts-only, then
                 --from-counts

and checks that each recipe's table is one run's, byte for byte. It prints
the median wall seconds of each over the rounds with the fastest and slowest
round, the median of each round's ratio of recipe to one run (the target is
at most 0.7 on an idle machine), the merge steps' read speed (the count
files' bytes over their wall seconds), and the load average before and
after, since a loaded machine moves every figure. As a loaded machine
rarely gives the jobs both cores, it also prints what the ratio would be
on free cores, from CPU seconds: the jobs' shared by the cores, plus the
merge's, over one run's (parallel's own CPU included).
"""
import argparse
import filecmp
import glob
import os
import resource
import shlex
import statistics
import subprocess
import tempfile
import time


def wall(command, cwd):
    """Wall and CPU seconds (user + system, all its processes) of a shell
    command that must succeed."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    started = time.perf_counter()
    subprocess.run(["bash", "-c", "set -o pipefail; " + command], cwd=cwd,
                   check=True, stdout=subprocess.DEVNULL)
    elapsed = time.perf_counter() - started
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return elapsed, (after.ru_utime - before.ru_utime +
                     after.ru_stime - before.ru_stime)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("bin_dir")
    parser.add_argument("records")
    parser.add_argument("--copies", type=int, default=9)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    extract = shlex.quote(os.path.abspath(
        os.path.join(args.bin_dir, "extract_patterns")))
    score = shlex.quote(os.path.abspath(
        os.path.join(args.bin_dir, "score_patterns")))
    load_before = os.getloadavg()
    with open(args.records, "rb") as f:
        records = f.read()
    with tempfile.TemporaryDirectory() as scratch:
        with open(os.path.join(scratch, "big.txt"), "wb") as f:
            for _ in range(args.copies):
                f.write(records)
        split = (f"parallel -j {args.jobs} --pipe-part -a big.txt --block -1 "
                 f"--recstart 'SentenceIndex:' ")
        # Each recipe: one run, the pieces' step, the merge step, the files
        # the merge reads, and the two tables that must agree.
        recipes = {
            "count": (f"{extract} --quiet --count big.txt one.tsv",
                      split + f"\"{extract} --quiet --count - piece-{{#}}.tsv\"",
                      f"{extract} --merge-counts -o merged.tsv piece-*.tsv",
                      "piece-*.tsv", "one.tsv", "merged.tsv"),
            "score": (f"{score} --quiet big.txt one-score.tsv",
                      split + f"\"{score} --quiet --counts-only - "
                      f"piece-{{#}}.counts\"",
                      f"{score} --quiet --from-counts piece-*.counts "
                      f"-o merged-score.tsv",
                      "piece-*.counts", "one-score.tsv", "merged-score.tsv"),
        }
        times = {name: {"one": [], "pieces": [], "merge": [], "mb": [],
                        "idle": []}
                 for name in recipes}
        for _ in range(args.rounds):
            for name, (one, pieces, merge, read, a, b) in recipes.items():
                for old in glob.glob(os.path.join(scratch, read)):
                    os.remove(old)
                alone, alone_cpu = wall(one, scratch)
                counted, counted_cpu = wall(pieces, scratch)
                size = sum(os.path.getsize(p)
                           for p in glob.glob(os.path.join(scratch, read)))
                merged, merged_cpu = wall(merge, scratch)
                times[name]["one"].append(alone)
                times[name]["pieces"].append(counted + merged)
                times[name]["merge"].append(merged)
                # Were the cores free: the jobs' CPU shared by them, then
                # the merge's, against one run's CPU.
                times[name]["idle"].append(
                    (counted_cpu / args.jobs + merged_cpu) / alone_cpu)
                times[name]["mb"].append(size / 1e6)
                if not filecmp.cmp(os.path.join(scratch, a),
                                   os.path.join(scratch, b), shallow=False):
                    raise SystemExit(f"the {name} recipe's table differs")
        print(f"corpus: {os.path.getsize(os.path.join(scratch, 'big.txt')) / 1e6:.1f} MB, "
              f"{args.jobs} jobs, {args.rounds} rounds")
        spread = lambda xs: (f"{statistics.median(xs):.2f} s "
                             f"({min(xs):.2f}-{max(xs):.2f})")
        for name, t in times.items():
            ratios = [p / o for o, p in zip(t["one"], t["pieces"])]
            speeds = [mb / s for mb, s in zip(t["mb"], t["merge"])]
            print(f"{name}: one run {spread(t['one'])}, pieces "
                  f"{spread(t['pieces'])}, of which the merge "
                  f"{spread(t['merge'])}; pieces / one run median "
                  f"{statistics.median(ratios):.2f} "
                  f"({min(ratios):.2f}-{max(ratios):.2f}); merge reads "
                  f"{t['mb'][0]:.1f} MB at {statistics.median(speeds):.0f} "
                  f"MB/s ({min(speeds):.0f}-{max(speeds):.0f}); "
                  f"from CPU seconds, on free cores: "
                  f"{statistics.median(t['idle']):.2f} of one run")
    load_after = os.getloadavg()
    print("load average before: " +
          " ".join(f"{x:.2f}" for x in load_before) +
          ", after: " + " ".join(f"{x:.2f}" for x in load_after))


if __name__ == "__main__":
    main()
