#!/usr/bin/env python3
"""Times extract_patterns' output modes against its plain run, and measures
its peak memory on a tree nested about 25,000 deep.

    python3 bench/extract_modes.py build/release/extract_patterns \
        ../shared/realdata/treebank-records.txt [--runs 5] [--baseline OTHER]

For each mode (plain, --tsv, --count; all to a file) it prints the fewest
CPU seconds (user + system) and wall seconds of --runs runs and the ratio to
plain, and the median over the runs of each run's CPU ratio to the plain run
of the same round, which a load that comes and goes between rounds moves
less than the fewest seconds. CPU time is the steadier figure on a shared
machine. With --baseline,
the plain run of another build (say, before a change) is timed too. Then it
writes a record whose tree nests 24,995 labelled levels (the most a line of
99,999 bytes holds, nearly 1.9 GB of patterns), runs plain extraction of it
to /dev/null and prints its peak resident memory as GNU time (/usr/bin/time)
measures it, beside that of a run over the bundled example.
"""
import argparse
import os
import resource
import statistics
import subprocess
import tempfile
import time


def run(argv, stdout=subprocess.DEVNULL):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    started = time.perf_counter()
    subprocess.run(argv, stdout=stdout, check=True)
    wall = time.perf_counter() - started
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return cpu, wall, after.ru_maxrss


def deep_record(levels):
    tree = "C-Structure:" + "(A " * levels + "(N a-1)" + ")" * levels
    return ("SentenceIndex: 1\nSL: a/dt\nTL: un\nAlignment: ((1,1))\n"
            "Type: A\nCoEmbeddingScore: 0\n" + tree +
            "\nConstSeq: A\nXSideConstraints:\n\n")


def peak_memory(program, infile):
    """Peak resident memory of one plain run over `infile`, in MiB, as GNU
    time reports it: the run is forked from time, a small process, whereas
    a child of this interpreter would inherit the interpreter's own resident
    pages as its peak (ru_maxrss keeps the peak from before the exec)."""
    if not os.path.exists("/usr/bin/time"):
        raise SystemExit("the peak memory needs GNU time (apt-get install time)")
    peak = subprocess.run(
        ["/usr/bin/time", "-f", "%M", program, "--quiet", infile],
        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
        check=True).stderr.split()[-1]
    return int(peak) / 1024


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("corpus")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--baseline")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as scratch:
        out = os.path.join(scratch, "out.txt")
        modes = [("plain", [args.program]),
                 ("--tsv", [args.program, "--tsv"]),
                 ("--count", [args.program, "--count"])]
        if args.baseline:
            modes.append(("baseline plain", [args.baseline]))
        best = {}
        paired = {}
        for _ in range(args.runs):
            round_cpu = {}
            for name, argv in modes:
                cpu, wall, _ = run(argv + ["--quiet"] * (name != "baseline plain")
                                   + [args.corpus, out])
                old = best.get(name, (cpu, wall))
                best[name] = (min(old[0], cpu), min(old[1], wall))
                round_cpu[name] = cpu
            for name, cpu in round_cpu.items():
                paired.setdefault(name, []).append(cpu / round_cpu["plain"])
        plain_cpu, plain_wall = best["plain"]
        for name, (cpu, wall) in best.items():
            print(f"{name:15} cpu {cpu:6.3f} s ({cpu / plain_cpu:4.2f}x)  "
                  f"wall {wall:6.3f} s ({wall / plain_wall:4.2f}x)  "
                  f"paired cpu {statistics.median(paired[name]):4.2f}x")

        deep = os.path.join(scratch, "deep.txt")
        with open(deep, "w") as f:
            f.write(deep_record(24995))
        examples = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..",
                                "examples", "training-examples.txt")
        deep_peak = peak_memory(args.program, deep)
        print(f"deep record     peak {deep_peak:6.1f} MB")
        # doc/patterns.md's terms.
        print(f"memory peaks at {deep_peak:.1f} MB on a tree nested 24,995 deep "
              f"({peak_memory(args.program, examples):.1f} MB on the bundled example)")

if __name__ == "__main__":
    main()
