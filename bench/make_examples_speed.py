#!/usr/bin/env python3
"""Times make_examples on the real parser, TL and alignment files against
annotator on make_examples' output, and measures make_examples' peak memory
as its input grows.

    python3 bench/make_examples_speed.py build/release [--runs 9]
        [--corpus ../shared/realdata/treebank] [--deep 24995]
        [--against OTHER_BUILD]

Both programs write the same bytes; make_examples also parses and numbers
the trees. Runs alternate (make_examples, annotator, make_examples, ...) so
that a load that comes and goes touches both alike; each round gives the CPU
ratio (user + system) of the two, and the median of those ratios is the
figure (target: at most 2.0). annotator's listing goes to /dev/null, which it
then does not make. Then the corpus is repeated into inputs of about 10, 25,
50 and 100 MB and make_examples' peak resident memory is printed for each
(it should stay flat), for one tree nested --deep levels spread over
lines (the default is as deep as a tree within the 99,999 bytes a tree may
take goes), and for the 100 MB input with one ")" missing from its first
tree, which make_examples stops at with status 1 once the tree it makes is
past 99,999 bytes. With --against, make_examples of another build (one without a speed
device, say) is also timed in each round, and the median of its per-round
CPU ratio to this build's is printed: how much slower it is.
"""
import argparse
import os
import statistics
import subprocess
import tempfile


GNU_TIME = "/usr/bin/time"


def run(argv):
    """CPU seconds (user + system) and peak resident KiB of one run."""
    child = subprocess.Popen(argv, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"{argv[0]} failed")
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def peak(argv, status=0):
    """Peak resident KiB of one run, which must end with `status`. A child of this interpreter starts with
    the interpreter's own pages counted in its peak, so GNU time (a small
    parent) measures it where it is installed."""
    if not os.path.exists(GNU_TIME):
        child = subprocess.Popen(argv, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        _, ended, usage = os.wait4(child.pid, 0)
        if os.waitstatus_to_exitcode(ended) != status:
            raise SystemExit(f"{argv[0]} ended with another status")
        return usage.ru_maxrss
    result = subprocess.run([GNU_TIME, "-f", "%x %M", *argv],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    ended, most = result.stderr.split()[-2:]
    if int(ended) != status:
        raise SystemExit(f"{argv[0]} ended with status {ended.decode()}")
    return int(most)


def repeated(corpus, scratch, megabytes):
    """The corpus repeated until its three files hold `megabytes` MB."""
    parts = [open(corpus + suffix, "rb").read()
             for suffix in (".ptb", ".tl", ".align")]
    copies = max(1, round(megabytes * 1e6 / sum(map(len, parts))))
    base = os.path.join(scratch, f"repeat{megabytes}")
    for suffix, part in zip((".ptb", ".tl", ".align"), parts):
        with open(base + suffix, "wb") as out:
            for _ in range(copies):
                out.write(part)
    return base, copies * sum(map(len, parts))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--corpus", default=os.path.join(
        here, "..", "..", "shared", "realdata", "treebank"))
    # "(A\n" a level and ")\n" back: 5 bytes a level and "(N a)".
    parser.add_argument("--deep", type=int, default=(99999 - 5) // 5)
    parser.add_argument("--against")
    args = parser.parse_args()
    make = os.path.join(args.build, "make_examples")
    annotator = os.path.join(args.build, "annotator")
    inputs = [args.corpus + s for s in (".ptb", ".tl", ".align")]

    with tempfile.TemporaryDirectory() as scratch:
        made = os.path.join(scratch, "made.txt")
        annotated = os.path.join(scratch, "annotated.txt")
        run([make, *inputs, made])
        ratios, make_cpu, annotate_cpu, against = [], [], [], []
        for _ in range(args.runs):
            cpu_make, _ = run([make, *inputs, made])
            cpu_annotate, _ = run([annotator, made, annotated])
            make_cpu.append(cpu_make)
            annotate_cpu.append(cpu_annotate)
            ratios.append(cpu_make / max(cpu_annotate, 1e-6))
            if args.against:
                other = os.path.join(args.against, "make_examples")
                cpu_other, _ = run([other, *inputs, made + ".other"])
                against.append(cpu_other / max(cpu_make, 1e-6))
        print(f"make_examples CPU s (median of {args.runs}): "
              f"{statistics.median(make_cpu):.3f}")
        print(f"annotator on its output CPU s: "
              f"{statistics.median(annotate_cpu):.3f}")
        print(f"median per-round CPU ratio: {statistics.median(ratios):.2f} "
              f"(target <= 2.0)")
        if against:
            print(f"{args.against}/make_examples against this one, median "
                  f"per-round CPU ratio: {statistics.median(against):.3f}")

        for megabytes in (10, 25, 50, 100):
            base, size = repeated(args.corpus, scratch, megabytes)
            most = peak([make, base + ".ptb", base + ".tl", base + ".align",
                         os.devnull])
            print(f"input {size / 1e6:6.1f} MB: peak {most / 1024:.1f} MiB")
            if megabytes == 100:
                unbalanced = base + ".unbalanced.ptb"
                with open(base + ".ptb", "rb") as trees:
                    text = trees.read()
                with open(unbalanced, "wb") as out:
                    out.write(text.replace(b")", b"", 1))
                most = peak([make, unbalanced, base + ".tl", base + ".align",
                             os.devnull], status=1)
                print(f"input {size / 1e6:6.1f} MB, one ')' missing: "
                      f"peak {most / 1024:.1f} MiB")
                os.remove(unbalanced)
            for suffix in (".ptb", ".tl", ".align"):
                os.remove(base + suffix)

        deep = os.path.join(scratch, "deep")
        with open(deep + ".ptb", "w") as out:
            out.write("(A\n" * args.deep + "(N a)" + ")\n" * args.deep)
        with open(deep + ".tl", "w") as out:
            out.write("un\n")
        with open(deep + ".align", "w") as out:
            out.write("0-0\n")
        most = peak([make, deep + ".ptb", deep + ".tl", deep + ".align",
                     os.devnull])
        print(f"one tree {args.deep} deep: peak {most / 1024:.1f} MiB")


if __name__ == "__main__":
    main()
