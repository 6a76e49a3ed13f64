"""How the module and the programs take their input: gzip data read as the
bytes it holds, other compression refused, "-" for standard input, and
Ctrl-C during a long read of a regular file or a file object."""
import collections
import gzip
import os
import signal
import subprocess
import sys
import textwrap
import threading

import pytest

import annotator
from conftest import BUNDLED, record


def two_members(data):
    half = len(data) // 2 + 7
    return gzip.compress(data[:half]) + gzip.compress(data[half:])


def cut_short(data):
    packed = gzip.compress(data)
    return packed[:len(packed) // 2]


def bad_check(data):
    packed = bytearray(gzip.compress(data))
    packed[-8] ^= 0x55  # the CRC-32 of the data
    return bytes(packed)


def refused(name):
    return f"compressed with {name}, which is not read; decompress it first"


# How each input is packed, and what reading it raises ("" for nothing).
PACKINGS = {
    "gzip": (gzip.compress, ""),
    "two members": (two_members, ""),
    "cut short": (cut_short, "gzip data cut short"),
    "bad check": (bad_check, "damaged gzip data"),
    # What is made before the damage shows may hold a line too long.
    "bad check after a long line": (
        lambda data: bad_check(data + b"x" * 100000 + b"\n"), "damaged gzip data"),
    "xz": (lambda data: b"\xfd7zXZ\x00" + data, refused("xz")),
    "bzip2": (lambda data: b"BZh91AY&SY" + data, refused("bzip2")),
    "zstd": (lambda data: b"\x28\xb5\x2f\xfd" + data, refused("zstd")),
}


def records(count):
    return "".join(record(header=f"SentenceIndex: {n}")
                   for n in range(1, count + 1)).encode()


def corpus(tmp_path, count):
    """A tree file, TL file and alignment file of `count` sentences."""
    texts = [b"(S (NP (DT the) (NN cat)) (VP (VBZ sleeps)))\n" * count,
             b"le chat dort\n" * count, b"0-0 1-1 2-2\n" * count]
    paths = [tmp_path / name for name in ("c.ptb", "c.tl", "c.align")]
    for path, text in zip(paths, texts):
        path.write_bytes(text)
    return paths


def run_entry(entry, inputs, out, taken):
    """Runs `entry` over `inputs`, putting what it gave into `taken`."""
    if entry == "read":
        for example in annotator.read(inputs[0]):
            taken.append(str(example).encode())
    elif entry == "annotate":
        annotator.annotate(inputs[0], out)
    elif entry == "make_examples":
        annotator.make_examples(*inputs, out)
    else:
        taken.extend(repr(row).encode() for row in annotator.score_patterns(inputs[0]))
    if entry in ("annotate", "make_examples"):
        taken.append(out.read_bytes())


@pytest.mark.parametrize("packing", list(PACKINGS))
@pytest.mark.parametrize("entry", ["read", "annotate", "make_examples", "score_patterns"])
def test_gzip_reads_as_its_bytes_and_other_compression_is_refused(tmp_path, entry,
                                                                   packing):
    pack, reason = PACKINGS[packing]
    out = tmp_path / "out.txt"
    if entry == "make_examples":
        inputs = corpus(tmp_path, 3000)
    else:
        inputs = [tmp_path / "in.txt"]
        inputs[0].write_bytes(records(3000))
    plain = []
    run_entry(entry, inputs, out, plain)
    plain = b"".join(plain)
    # The first input is packed; the name says nothing of it.
    inputs[0].write_bytes(pack(inputs[0].read_bytes()))
    out.unlink(missing_ok=True)
    taken = []
    if not reason:
        run_entry(entry, inputs, out, taken)
        assert b"".join(taken) == plain
        return
    with pytest.raises(OSError, match=reason) as raised:
        run_entry(entry, inputs, out, taken)
    assert str(raised.value) == f"{reason}: {str(inputs[0])!r}"
    # make_examples, as the program, makes `out` only for a record.
    if entry == "annotate" or entry == "make_examples" and out.exists():
        taken.append(out.read_bytes())
    # Whole records from before the damage; none from a file never read.
    got = b"".join(taken)
    assert plain.startswith(got) and (got == b"" or got.endswith(b"\n\n"))
    if entry == "make_examples":
        assert out.exists() == (got != b"")
    if entry != "score_patterns":
        assert (got != b"") == packing.startswith(("cut short", "bad check"))


def read_position(path):
    """How far this process has read `path`, 0 while it has it not open."""
    for fd in os.listdir("/proc/self/fd"):
        try:
            if os.readlink(f"/proc/self/fd/{fd}") == str(path):
                with open(f"/proc/self/fdinfo/{fd}") as info:
                    return int(info.readline().split()[1])
        except (OSError, ValueError):
            pass
    return 0


@pytest.mark.parametrize("entry", ["read", "annotate", "make_examples"])
def test_ctrl_c_stops_a_long_read_of_a_regular_file(tmp_path, entry):
    out = tmp_path / "out.txt"
    if entry == "make_examples":
        inputs = corpus(tmp_path, 300_000)
    else:
        inputs = [tmp_path / "in.txt"]
        one = record().encode()
        inputs[0].write_bytes(one * (32 * 2**20 // len(one)))
    # Far more than is read between two looks at the signals. The handler
    # notes how far the input was read when it ran: inside the read, not
    # after a run that held the signal to its end and closed the file.
    size, seen = inputs[0].stat().st_size, []
    done = threading.Event()

    def on_interrupt(*_):
        seen.append(read_position(inputs[0]))
        raise KeyboardInterrupt

    def interrupt():
        while read_position(inputs[0]) == 0:
            if done.wait(0.001):
                return
        os.kill(os.getpid(), signal.SIGINT)

    thread = threading.Thread(target=interrupt)
    previous = signal.signal(signal.SIGINT, on_interrupt)
    thread.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            if entry == "read":
                # consumed in C, where no bytecode looks at signals
                collections.deque(annotator.read(inputs[0]), maxlen=1)
            elif entry == "annotate":
                annotator.annotate(inputs[0], out)
            else:
                annotator.make_examples(*inputs, out)
    finally:
        done.set()
        thread.join()
        signal.signal(signal.SIGINT, previous)
    assert len(seen) == 1 and 0 < seen[0] < size
    if entry != "read":
        # Whole records of ten lines only.
        written = out.read_text()
        assert written == "" or written.endswith("\n\n")
        assert written.count("\n") % 10 == 0


# Reads its input from a pipe through a file object, whose read() is C code
# that runs no signal handler. The main thread blocks SIGINT, so the signal
# the feeder sends itself a quarter of the way in is taken by the feeder's
# thread and only noted there: the main thread runs no bytecode inside the
# call, so nothing but the module's own look at the signals can raise
# KeyboardInterrupt before the input ends. The feeder writes far more after
# the signal than the pipe and one read hold, so it finishes only when the
# call read on to the end.
PIPE_SCRIPT = textwrap.dedent("""
    import os, signal, sys, threading
    import annotator
    entry, path = sys.argv[1], sys.argv[2]
    data = open(path, "rb").read()
    read_end, write_end = os.pipe()
    fed = threading.Event()
    def feed():
        signal.pthread_sigmask(signal.SIG_UNBLOCK, {signal.SIGINT})
        try:
            with open(write_end, "wb") as pipe:
                pipe.write(data[:len(data) // 4])
                os.kill(os.getpid(), signal.SIGINT)
                pipe.write(data[len(data) // 4:])
            fed.set()
        except BrokenPipeError:
            pass
    seen = []
    def on_interrupt(*_):
        seen.append(fed.is_set())
        raise KeyboardInterrupt
    signal.signal(signal.SIGINT, on_interrupt)
    signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT})
    feeder = threading.Thread(target=feed)
    feeder.start()
    with open(read_end, "rb") as source:
        try:
            if entry == "read":
                list(annotator.read(source))
            else:
                annotator.score_patterns(source)
        except KeyboardInterrupt:
            print("after the end" if seen[0] else "before the end")
    feeder.join()
""")


# Every entry reads a file object through the one buffer that looks at the
# signals.
@pytest.mark.parametrize("entry", ["read", "score_patterns"])
def test_ctrl_c_stops_a_long_read_of_a_file_object(tmp_path, entry):
    source = tmp_path / "in.txt"
    source.write_bytes(BUNDLED.read_bytes() * 1000)
    result = subprocess.run([sys.executable, "-c", PIPE_SCRIPT, entry, str(source)],
                            capture_output=True, text=True, timeout=300, env=os.environ)
    assert result.stdout == "before the end\n", result.stderr
