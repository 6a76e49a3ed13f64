#!/usr/bin/env python3
"""Speed and memory of the Python module against the programs and NLTK.

Run with the interpreter the module was built for, after building the
release preset, where the shared corpora (../shared) sit beside the clone:

    /usr/bin/python3 bench/python_bench.py

Each figure is the best of --repeat runs. NLTK's rows need NLTK (Debian
python3-nltk) and are left out without it. --memory also iterates over a
generated corpus of --megabytes (default 200) and reports the peak resident
memory against that of iterating over the small bundled example.
"""

import argparse
import os
import pathlib
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]


def best(repeat, run):
    times = []
    result = None
    for _ in range(repeat):
        start = time.perf_counter()
        result = run()
        times.append(time.perf_counter() - start)
    return min(times), result


def program(path, *arguments):
    return lambda: subprocess.run([str(path), *map(str, arguments)], check=False,
                                  stdout=subprocess.DEVNULL)


def peak_memory_of(script, *arguments):
    """Peak resident set of a fresh interpreter running `script`, in MiB.

    Read from VmHWM: ru_maxrss would keep the peak of this process, which
    the child is forked from, across its exec."""
    probe = ("import runpy, sys; sys.argv = sys.argv[1:]; "
             "runpy.run_path(sys.argv[0], run_name='__main__'); "
             "print([l.split()[1] for l in open('/proc/self/status') "
             "if l.startswith('VmHWM:')][0])")
    output = subprocess.run([sys.executable, "-c", probe, script, *map(str, arguments)],
                            check=True, capture_output=True, text=True,
                            env=dict(os.environ)).stdout
    return int(output.split()[-1]) / 1024


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=ROOT / "build" / "release", type=pathlib.Path)
    parser.add_argument("--corpus", type=pathlib.Path,
                        default=ROOT.parent / "shared" / "realdata" / "treebank-records.txt")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--memory", action="store_true")
    parser.add_argument("--megabytes", type=float, default=200)
    arguments = parser.parse_args()

    sys.path.insert(0, str(arguments.build / "python"))
    import annotator

    corpus = arguments.corpus
    rows = []

    def row(name, seconds, reference=None, reference_name=""):
        ratio = f"{seconds / reference:6.2f} x {reference_name}" if reference else ""
        rows.append(f"{name:<46} {seconds:8.3f} s  {ratio}")
        print(rows[-1], flush=True)

    try:
        import nltk
    except ImportError:
        nltk = None

    with tempfile.TemporaryDirectory() as scratch:
        out = pathlib.Path(scratch) / "out.txt"
        program_time, _ = best(arguments.repeat, program(arguments.build / "annotator", corpus, out))
        row("annotator program (stdout on /dev/null)", program_time)
        score_time, total = best(arguments.repeat,
                                 lambda: sum(e.score for e in annotator.read(corpus)))
        row("read + sum(example.score)", score_time, program_time, "program")
        if nltk:
            texts = [e.cstructure for e in annotator.read(corpus)]
            nltk_time, nltk_total = best(1, lambda: sum(
                nltk.Tree.fromstring(t).height() for t in texts))
            row("nltk fromstring(text).height() (texts in memory)", nltk_time)
            print(f"{'':<46} module is {nltk_time / score_time:.1f} times faster "
                  f"(scores {total} and {nltk_total})")
        annotate_time, _ = best(arguments.repeat, lambda: annotator.annotate(corpus, out))
        row("annotator.annotate", annotate_time, program_time, "program")

        walk_time, _ = best(arguments.repeat, lambda: sum(
            len(t.label) for e in annotator.read(corpus) for t in e.tree.subtrees()))
        row("read + tree + label of every subtree", walk_time)
        if nltk:
            nltk_walk, _ = best(1, lambda: sum(
                len(t.label()) for text in texts
                for t in nltk.Tree.fromstring(text).subtrees()))
            row("nltk fromstring + label() of every subtree", nltk_walk)
            print(f"{'':<46} module is {nltk_walk / walk_time:.1f} times faster")

        extract_time, _ = best(arguments.repeat,
                               program(arguments.build / "extract_patterns", corpus, out))
        row("extract_patterns program", extract_time)
        patterns_time, count = best(arguments.repeat, lambda: sum(
            len(e.patterns()) for e in annotator.read(corpus)))
        row(f"sum(len(e.patterns())) ({count} patterns)", patterns_time, extract_time,
            "extract_patterns")

        if arguments.memory:
            big = pathlib.Path(scratch) / "big.txt"
            subprocess.run([sys.executable, str(ROOT.parent / "shared" / "tools" / "gen_corpus.py"),
                            "--megabytes", str(arguments.megabytes), "--out", str(big)],
                           check=True)
            walker = pathlib.Path(scratch) / "walk.py"
            walker.write_text(
                "import sys\nsys.path.insert(0, sys.argv[2])\nimport annotator\n"
                "n = 0\nfor e in annotator.read(sys.argv[1]):\n"
                "    n += e.score + len(e.tree.subtrees()) + len(e.patterns())\n")
            small = peak_memory_of(str(walker), ROOT / "examples" / "training-examples.txt",
                                   arguments.build / "python")
            large = peak_memory_of(str(walker), big, arguments.build / "python")
            print(f"peak memory iterating (score, tree, patterns): bundled example "
                  f"{small:.1f} MiB, {big.stat().st_size / 1e6:.0f} MB corpus {large:.1f} MiB")


if __name__ == "__main__":
    main()
