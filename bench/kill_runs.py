#!/usr/bin/env python3
"""kill_runs.py BIN INFILE [--kills N] [--signal KILL|TERM]

Kills `BIN INFILE OUT` (standard output on /dev/null) at N random moments of
a run and counts how often OUT was left ending inside a record. A complete
run gives the reference; every killed run's OUT must be a prefix of it that
ends at a record end (every tenth line end).
"""
import argparse
import os
import random
import signal
import subprocess
import tempfile
import time


def record_ends(data):
    ends, lines = {0}, 0
    for at, byte in enumerate(data):
        if byte == 10:
            lines += 1
            if lines % 10 == 0:
                ends.add(at + 1)
    return ends


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("binary")
    ap.add_argument("infile")
    ap.add_argument("--kills", type=int, default=100)
    ap.add_argument("--signal", choices=["KILL", "TERM"], default="KILL")
    a = ap.parse_args()
    sig = getattr(signal, "SIG" + a.signal)
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "out")
        started = time.perf_counter()
        subprocess.run([a.binary, a.infile, out], stdout=subprocess.DEVNULL, check=True)
        full_time = time.perf_counter() - started
        reference = open(out, "rb").read()
        ends = record_ends(reference)
        cut = not_prefix = 0
        rng = random.Random(1)
        for _ in range(a.kills):
            child = subprocess.Popen([a.binary, a.infile, out], stdout=subprocess.DEVNULL)
            time.sleep(rng.uniform(0, full_time))
            child.send_signal(sig)
            child.wait()
            written = open(out, "rb").read()
            if not reference.startswith(written):
                not_prefix += 1
            elif len(written) not in ends:
                cut += 1
        print(f"kills={a.kills} signal={a.signal} full_run_s={full_time:.3f} "
              f"cut_inside_a_record={cut} not_a_prefix={not_prefix}")
        # doc/records.md's terms.
        print(f"SIG{a.signal}: {cut} of {a.kills} kills left a partial last record")
        return 1 if cut or not_prefix else 0


if __name__ == "__main__":
    raise SystemExit(main())
