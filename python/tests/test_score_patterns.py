"""annotator.score_patterns against the score_patterns program."""
import math
import os

import pytest

import annotator
from conftest import BUNDLED, REAL_TREES, program_output, record

SCORE_PATTERNS_BIN = os.environ.get("SCORE_PATTERNS_BIN")


def unescaped(field):
    out, at = [], 0
    while at < len(field):
        c = field[at]
        if c == "\\" and at + 1 < len(field):
            at += 1
            c = {"t": "\t", "n": "\n", "r": "\r"}.get(field[at], field[at])
        out.append(c)
        at += 1
    return "".join(out)


def program_rows(path, *flags):
    result = program_output(SCORE_PATTERNS_BIN, "--quiet", *flags, path)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.decode("utf-8", "surrogateescape").split("\n")
    assert lines[-1] == ""
    header = lines[0].split("\t")
    assert tuple(header) == annotator.ScoredPattern._fields
    rows = []
    for line in lines[1:-1]:
        fields = line.split("\t")
        rows.append(tuple(int(x) for x in fields[:3])
                    + tuple(float(x) for x in fields[3:7])
                    + tuple(unescaped(x) for x in fields[7:]))
    return rows


@pytest.mark.parametrize("corpus,flags,keywords", [
    ("real", (), {}),
    ("bundled", (), {}),
    ("bundled", ("--consistent", "--smoothing", "kneser-ney"),
     {"consistent": True, "smoothing": "kneser-ney"}),
    ("bundled", ("--max-words", "3", "--smoothing", "good-turing", "--min-count", "2"),
     {"max_words": 3, "smoothing": "good-turing", "min_count": 2}),
    # The largest bounds the program takes: no bound, and no row.
    ("bundled", ("--max-words", str(2**64 - 1)), {"max_words": 2**64 - 1}),
    ("bundled", ("--max-words", str(2**63), "--min-count", str(2**64 - 1)),
     {"max_words": 2**63, "min_count": 2**64 - 1}),
])
def test_rows_are_the_programs_lines(corpus, flags, keywords, tmp_path):
    path = BUNDLED if corpus == "bundled" else REAL_TREES
    if not path.exists():
        pytest.skip(f"{path} is absent")
    if corpus == "real":
        # The first 3,000 trees: every kind of record the real ones hold,
        # in a time the sanitized builds allow.
        with open(path, "rb") as trees:
            head = b"".join(line for _, line in zip(range(30000), trees))
        path = tmp_path / "real.txt"
        path.write_bytes(head)
    rows = annotator.score_patterns(str(path), **keywords)
    assert [tuple(row) for row in rows] == program_rows(path, *flags)
    assert all(type(row.count) is int and type(row.p_tl_given_sl) is float
               for row in rows[:10])


def test_a_skipped_record_raises_what_patterns_raises(write_file):
    path = write_file(record() + record(alignment="((1,1),(2,9))"))
    with pytest.raises(annotator.AlignmentError):
        annotator.score_patterns(path)
    with pytest.raises(ValueError):
        annotator.score_patterns(write_file(record()), smoothing="witten-bell")


def test_file_objects_read_as_paths_do(write_file):
    path = write_file(record() * 3)
    with open(path, "rb") as stream:
        rows = annotator.score_patterns(stream)
    assert rows == annotator.score_patterns(path)
    assert rows[0].count == 3 and math.isclose(rows[0].p_tl_given_sl, 1.0)
