#!/usr/bin/env python3
"""score_speed.py BINDIR [--rounds N]

CPU time and peak memory of score_patterns against extract_patterns --count
with the same options, both from BINDIR (a release build is the fair one):
on the real trees (../shared/realdata/treebank-records.txt), plain and with
--consistent, and on a corpus made here whose alignments hold many-to-many
links and unlinked words and whose SL sides each meet several TL sides.
Runs alternate program by program; the median CPU time (user + system) and
the largest peak resident size of each are compared.

Last line:
  cpu=<worst ratio> memory=<worst ratio> status=ok|short
ok when score_patterns takes at most 2 times the CPU and 1.5 times the
memory of extract_patterns --count on every corpus.
"""
import argparse
import os
import random
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
REAL = os.path.join(HERE, "..", "..", "shared", "realdata", "treebank-records.txt")
CPU_GOAL = 2.0
MEMORY_GOAL = 1.5


def made_corpus(path, records=20000, seed=7):
    """Flat and two-level NP/VP trees over a small vocabulary, so that SL
    sides recur with several TL sides; links many-to-many and some words
    left unlinked."""
    rng = random.Random(seed)
    nouns = [f"n{i}" for i in range(40)]
    verbs = [f"v{i}" for i in range(20)]
    with open(path, "w") as out:
        for number in range(1, records + 1):
            np = [("the", "dt"), (rng.choice(nouns), "nn")]
            vp = [(rng.choice(verbs), "vbz"), ("a", "dt"), (rng.choice(nouns), "nns")]
            words = np + vp
            tl = [f"t{rng.randrange(60)}" for _ in range(rng.randint(3, 6))]
            links = set()
            for s in range(1, len(words) + 1):
                if rng.random() < 0.2:
                    continue  # an unlinked SL word
                for _ in range(rng.choice((1, 1, 2))):
                    links.add((s, rng.randint(1, len(tl))))
            alignment = ",".join(f"({s},{t})" for s, t in sorted(links))
            leaves = [f"({tag.upper()} {word}-{i + 1})" for i, (word, tag) in enumerate(words)]
            tree = (f"(S (NP {' '.join(leaves[:2])}) (VP {leaves[2]} "
                    f"(NP {' '.join(leaves[3:])})))")
            out.write(f"SentenceIndex: {number}\n"
                      f"SL: {' '.join(w + '/' + t for w, t in words)}\n"
                      f"TL: {' '.join(tl)}\nAlignment: ({alignment})\nType: S\n"
                      f"CoEmbeddingScore: 0\nC-Structure:{tree}\nConstSeq: NP VP\n"
                      "XSideConstraints:\n\n")


def measure(cmd):
    """CPU seconds (user + system) and peak resident KiB of one run."""
    with open(os.devnull, "wb") as null:
        child = subprocess.Popen(cmd, stdout=null, stderr=null)
        _, status, usage = os.wait4(child.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{cmd} failed")
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("bindir")
    ap.add_argument("--rounds", type=int, default=5)
    a = ap.parse_args()
    extract = os.path.join(a.bindir, "extract_patterns")
    score = os.path.join(a.bindir, "score_patterns")
    worst_cpu = worst_memory = 0.0
    with tempfile.TemporaryDirectory() as tmp:
        made = os.path.join(tmp, "made.txt")
        made_corpus(made)
        corpora = [("made", made, [])]
        if os.path.exists(REAL):
            corpora += [("real", REAL, []), ("real consistent", REAL, ["--consistent"])]
        else:
            print(f"no {REAL}: the made corpus only")
        out = os.path.join(tmp, "out.txt")
        for name, path, options in corpora:
            runs = {"count": [], "score": []}
            for _ in range(a.rounds):
                runs["count"].append(measure([extract, "--count", *options, path, out]))
                runs["score"].append(measure([score, *options, path, out]))
            cpu = {k: statistics.median(c for c, _ in v) for k, v in runs.items()}
            memory = {k: max(m for _, m in v) for k, v in runs.items()}
            cpu_ratio = cpu["score"] / cpu["count"]
            memory_ratio = memory["score"] / memory["count"]
            worst_cpu = max(worst_cpu, cpu_ratio)
            worst_memory = max(worst_memory, memory_ratio)
            print(f"{name:16s} --count {cpu['count']:6.3f} s {memory['count'] / 1024:6.1f} MiB"
                  f"  score_patterns {cpu['score']:6.3f} s {memory['score'] / 1024:6.1f} MiB"
                  f"  cpu x{cpu_ratio:4.2f} memory x{memory_ratio:4.2f}")
    ok = worst_cpu <= CPU_GOAL and worst_memory <= MEMORY_GOAL
    print(f"cpu={worst_cpu:.2f} memory={worst_memory:.2f} status={'ok' if ok else 'short'}")


if __name__ == "__main__":
    main()
