#!/usr/bin/env python3
"""parallel_recipe.py BIN [--mb M] [--rounds N] [--file FILE]

Times the GNU parallel recipe of doc/large-corpora.md for large corpora against one run of
annotator BIN over the same file, on this machine:

  one        BIN FILE OUT, standard output on /dev/null
  pipe       the old recipe: parallel --pipe --recstart ... (parallel itself
             reads the file and pushes every byte to the jobs)
  part -jN   the recipe doc/large-corpora.md gives: parallel --pipe-part -a FILE
             --block -1 ... (each job reads its own part of the file), with
             N job slots for N from 1 to the number of cores

Every recipe's output must equal one run's, byte for byte. FILE defaults to a
generated corpus of M megabytes (../shared/tools/gen_corpus.py, cached under
$TMPDIR/annotator-speed, as speed.py caches its corpora).

From the part -j1 and part -jN times a line T(j) = fixed + work / j is fitted:
the fixed part is what splitting and joining cost whatever the cores, and the
last lines say from how many cores the recipe beats one run on this file, from
the medians and from each round alone: where the rounds disagree, the answer
is within the noise of the machine. The table rows are doc/large-corpora.md's.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
GEN = os.path.join(os.path.dirname(HERE), "..", "shared", "tools", "gen_corpus.py")
RECSTART = "SentenceIndex:"


def corpus(megabytes):
    cache = os.path.join(os.environ.get("TMPDIR", "/tmp"), "annotator-speed")
    os.makedirs(cache, exist_ok=True)
    path = os.path.join(cache, f"corpus-__megabytes_{megabytes}___seed_1.txt")
    if not os.path.exists(path):
        if not os.path.exists(GEN):
            sys.exit(f"no {GEN}: give a corpus with --file")
        subprocess.run([sys.executable, GEN, "--megabytes", str(megabytes), "--seed", "1",
                        "--out", path + ".part"], check=True, stdout=subprocess.DEVNULL)
        os.replace(path + ".part", path)
    return path


def timed(cmd, out_path, stdin=None):
    with open(out_path, "wb") as out:
        started = time.perf_counter()
        subprocess.run(cmd, stdin=stdin, stdout=out, check=True)
        return time.perf_counter() - started


def fit(one, t1, tn, cores):
    """Fixed cost, shared work and the cores from which the recipe beats one
    run, from T(j) = fixed + work / j through part -j1 and part -jN."""
    if cores < 2 or t1 <= tn:
        return "?", "?", "?"
    work = (t1 - tn) * cores / (cores - 1)
    fixed = t1 - work
    pays = "never" if fixed >= one else str(int(work / (one - fixed)) + 1)
    return f"{fixed:.2f}s", f"{work:.2f}s", pays


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("binary")
    ap.add_argument("--mb", type=int, default=200)
    ap.add_argument("--rounds", type=int, default=7)
    ap.add_argument("--file")
    a = ap.parse_args()
    binary = os.path.abspath(a.binary)
    infile = a.file or corpus(a.mb)
    cores = os.cpu_count() or 1
    job = f"'{binary}' /dev/stdin /dev/fd/3 3>&1 >/dev/null"

    with tempfile.TemporaryDirectory() as tmp:
        reference = os.path.join(tmp, "one.txt")
        result = os.path.join(tmp, "result.txt")
        runs = {"one": lambda: timed([binary, infile, reference], os.devnull)}
        def pipe():
            with open(infile, "rb") as src:
                return timed(["parallel", "--pipe", "--recstart", RECSTART, "--keep-order",
                              job], result, stdin=src)
        runs["pipe"] = pipe
        for jobs in range(1, cores + 1):
            runs[f"part -j{jobs}"] = (lambda j: lambda: timed(
                ["parallel", "-j", str(j), "--pipe-part", "-a", infile, "--block", "-1",
                 "--recstart", RECSTART, "--keep-order", job], result))(jobs)

        times = {name: [] for name in runs}
        expected = None
        for _ in range(a.rounds):
            for name, run in runs.items():
                times[name].append(run())
                if name == "one":
                    expected = open(reference, "rb").read()
                elif open(result, "rb").read() != expected:
                    sys.exit(f"{name}: the pieces put together differ from one run")

    med = {name: statistics.median(t) for name, t in times.items()}
    mb = os.path.getsize(infile) / 1e6
    print(f"{os.path.basename(infile)}: {mb:.1f} MB, {cores} cores, medians of {a.rounds}")
    for name, t in med.items():
        print(f"  {name:10s} {t:7.3f} s  {mb / t:7.1f} MB/s  {t / med['one']:5.2f} x one run")
    # doc/large-corpora.md's table: the median, and the spread of the rounds around it.
    titles = {"one": "one run", "pipe": "`--pipe` (the former recipe)"}
    for jobs in range(1, cores + 1):
        titles[f"part -j{jobs}"] = f"`--pipe-part`, {jobs} job{'s' if jobs > 1 else ''}"
    for name, t in times.items():
        print(f"| {titles[name]} | {med[name]:.2f} s ({min(t):.2f}-{max(t):.2f}) "
              f"| {med[name] / med['one']:.1f} |")
    fits = [fit(times["one"][r], times["part -j1"][r], times[f"part -j{cores}"][r], cores)
            for r in range(a.rounds)]
    fixed, work, pays = fit(med["one"], med["part -j1"], med[f"part -j{cores}"], cores)
    print(f"fixed={fixed} work={work} pays_from_cores={pays}")
    print("per round: fixed " + ", ".join(f[0] for f in fits) +
          "; pays_from_cores " + ", ".join(f[2] for f in fits))
    return 0


if __name__ == "__main__":
    sys.exit(main())
