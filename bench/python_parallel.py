#!/usr/bin/env python3
"""What running in parallel buys with the Python module, on the real trees.

Two figures, each the median of --repeat runs, one and several workers
interleaved so that a busy machine disturbs both alike:

- processes: multiprocessing.Pool.map over annotator.read(), each worker
  cutting an example into patterns and walking its tree, against the same
  map in one process;
- threads: summing Example.score over the examples already read, split
  between two threads, against one thread; on the real trees and on
  generated trees of 60 KB, long enough for the scan to go without the
  interpreter's lock.

Run with the interpreter the module was built for, after building the
release preset, where the shared corpora (../shared) sit beside the clone:

    PYTHONPATH=build/release/python /usr/bin/python3 bench/python_parallel.py

Wall-clock times: parallel work only shows there. On a machine with fewer
free cores than workers the speed-ups fall short of the worker count, so
the pool's CPU time is given too: one process's against the parent's and
the workers' shares, which bound its speed-up on idle cores.
"""

import argparse
import io
import multiprocessing
import os
import resource
import pathlib
import statistics
import threading
import time

import annotator

ROOT = pathlib.Path(__file__).resolve().parents[1]
REAL_TREES = ROOT.parent / "shared" / "realdata" / "treebank-records.txt"
# Example.score scans a shorter C-structure with the interpreter's lock held.
LOCK_FREE_FROM = 4096


def study(example):
    """What a study might do with one example: cut it into patterns and
    walk its tree in Python."""
    tree = example.tree
    return (len(example.patterns()), sum(t.height() for t in tree.subtrees()),
            len(tree.pos()))


def one_process(path):
    return list(map(study, annotator.read(path)))


def pool(path, workers):
    with multiprocessing.Pool(workers) as processes:
        return processes.map(study, annotator.read(path), chunksize=64)


def big_examples(count, leaves):
    """`count` examples whose trees are far longer than the real ones'."""
    tree = "(S " + "".join(f"(NP (DT w-{i}))" for i in range(1, leaves + 1)) + ")"
    sl = " ".join("w/dt" for _ in range(leaves))
    record = (f"SentenceIndex: 1\nSL: {sl}\nTL: w\nAlignment: ((1,1))\nType: S\n"
              f"CoEmbeddingScore: 0\nC-Structure:{tree}\nConstSeq: NP\n"
              "XSideConstraints:\n\n")
    return list(annotator.read(io.StringIO(record * count)))


def score_sum(examples, threads, rounds):
    totals = [0] * threads

    def work(part):
        share = examples[part::threads]
        totals[part] = sum(e.score for _ in range(rounds) for e in share)

    runners = [threading.Thread(target=work, args=(part,)) for part in range(threads)]
    for runner in runners:
        runner.start()
    for runner in runners:
        runner.join()
    return sum(totals)


def median_pair(repeat, single, parallel):
    """Medians of interleaved runs; both must give the same result."""
    one, many = [], []
    for _ in range(repeat):
        for run, times in ((single, one), (parallel, many)):
            start = time.perf_counter()
            result = run()
            times.append(time.perf_counter() - start)
            if run is single:
                expected = result
            else:
                assert result == expected, (result, expected)
    return statistics.median(one), statistics.median(many)


def min_cpu(run, repeat=5):
    times = []
    for _ in range(repeat):
        start = time.process_time()
        run()
        times.append(time.process_time() - start)
    return min(times)


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def cpu_accounting(path, workers, repeat):
    """CPU seconds (medians): one process's, and the pool's parent's and
    workers' together, which bound the speed-up on idle cores however busy
    the machine is now."""
    one, parent, children = [], [], []
    for _ in range(repeat):
        start = time.process_time()
        one_process(path)
        one.append(time.process_time() - start)
        start, start_children = time.process_time(), children_cpu()
        pool(path, workers)
        parent.append(time.process_time() - start)
        children.append(children_cpu() - start_children)
    return statistics.median(one), statistics.median(parent), statistics.median(children)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--corpus", type=pathlib.Path, default=REAL_TREES)
    parser.add_argument("--workers", type=int, default=os.cpu_count())
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--rounds", type=int, default=10,
                        help="passes over the corpus in each score sum")
    arguments = parser.parse_args()

    one, many = median_pair(arguments.repeat, lambda: one_process(arguments.corpus),
                            lambda: pool(arguments.corpus, arguments.workers))
    print(f"patterns, 1 process: {one:.2f} s; Pool({arguments.workers}).map: "
          f"{many:.2f} s; speed-up {one / many:.2f}x")
    one, parent, children = cpu_accounting(arguments.corpus, arguments.workers,
                                           arguments.repeat)
    bound = one / max(parent, children / arguments.workers)
    print(f"patterns in CPU time, 1 process: {one:.2f} s; pool's parent {parent:.2f} s, "
          f"workers {children:.2f} s: at best {bound:.2f}x on idle cores")
    for name, examples in (("real trees", list(annotator.read(arguments.corpus))),
                           ("2,000 trees of 60 KB", big_examples(2000, 3500))):
        one, many = median_pair(arguments.repeat,
                                lambda: score_sum(examples, 1, arguments.rounds),
                                lambda: score_sum(examples, 2, arguments.rounds))
        # The share of a call spent without the lock bounds what a second
        # thread can gain; a plain attribute costs what the call around
        # the scan does.
        scan = min_cpu(lambda: sum(e.score for e in examples))
        call = min_cpu(lambda: sum(e.number for e in examples))
        free = (max(0.0, scan - call) / scan
                if len(examples[0].cstructure) >= LOCK_FREE_FROM else 0.0)
        print(f"score sum over {name}, 1 thread: {one:.2f} s; 2 threads: "
              f"{many:.2f} s; speed-up {one / many:.2f}x; without the lock "
              f"{free:.0%} of the call: at best {1 / (1 - free / 2):.2f}x on idle cores")


if __name__ == "__main__":
    main()
