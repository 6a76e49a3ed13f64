import collections.abc
import contextlib
import copy
import decimal
import functools
import gc
import gzip
import io
import os
import pathlib
import pickle
import subprocess
import sys
import textwrap
import warnings
import weakref

import pytest

import annotator
from conftest import (BUNDLED, EXTRACT_PATTERNS_BIN, ANNOTATOR_BIN, REAL_TREES,
                      MAKE_EXAMPLES_BIN, REAL_CORPUS, program_output, record)


@pytest.mark.parametrize("path", [BUNDLED, REAL_TREES], ids=["bundled", "real"])
def test_records_and_annotate_equal_the_program(path, tmp_path):
    if not path.exists():
        pytest.skip(f"{path} is absent")
    expected_path = tmp_path / "program.txt"
    assert program_output(ANNOTATOR_BIN, path, expected_path).returncode == 0
    expected = expected_path.read_bytes()
    joined = "".join(str(e) for e in annotator.read(path))
    assert joined.encode("utf-8", "surrogateescape") == expected
    out = tmp_path / "module.txt"
    assert annotator.annotate(path, out) == expected.count(b"SentenceIndex:")
    assert out.read_bytes() == expected


@pytest.mark.parametrize("path", [BUNDLED, REAL_TREES], ids=["bundled", "real"])
@pytest.mark.parametrize("consistent", [False, True])
def test_patterns_equal_extract_patterns(path, consistent):
    if not path.exists():
        pytest.skip(f"{path} is absent")
    flags = ["--consistent"] if consistent else []
    result = program_output(EXTRACT_PATTERNS_BIN, *flags, path)
    assert result.returncode == 0
    examples = list(annotator.read(path))
    patterns = [p for e in examples for p in e.patterns(consistent=consistent)]
    text = "".join(str(p) for p in patterns)
    assert text.encode("utf-8", "surrogateescape") == result.stdout
    # The positions the text form leaves out are those of the leaves of the
    # constituent each pattern was cut from.
    for example in examples[:300]:
        cut = {(t.label, tuple(leaf.index for leaf in t.leaves()))
               for t in example.tree.subtrees() if t.label and not t.is_leaf}
        kept = [(p.type, tuple(p.sl_positions)) for p in example.patterns(consistent)]
        assert set(kept) <= cut
        assert consistent or len(kept) == len(cut) or len(set(kept)) < len(kept)


def test_fields_of_a_record(write_file):
    path = write_file("comment\n\n" + record(
        sl="the/dt cat/nn a/ /x b//y", tl="le  chat", alignment="((2,2),(1,1),(1,2))",
        cstructure="(NP (DT the-1) (NN cat-2) (X a/-3) (Y b-4))"))
    (example,) = annotator.read(path)
    assert (example.number, example.line) == (1, 3)
    assert example.sl == "the/dt cat/nn a/ /x b//y"
    assert (example.tl, example.alignment_text, example.type) == (
        "le  chat", "((2,2),(1,1),(1,2))", "NP")
    assert example.cstructure == "(NP (DT the-1) (NN cat-2) (X a/-3) (Y b-4))"
    assert example.constseq == "DT NN"
    assert example.sl_words == ["the", "cat", "a/", "b/"]
    assert example.sl_tags == ["dt", "nn", "", "y"]
    assert example.tl_words == ["le", "chat"]
    assert example.alignment == [(1, 1), (1, 2), (2, 2)]
    assert example.score == 2
    (first, *rest) = example.patterns()
    assert (first.type, first.sl_words, first.sl_positions) == (
        "NP", ["the", "cat", "a/", "b"], [1, 2, 3, 4])
    assert (first.tl_words, first.alignment, first.score) == (
        ["le", "chat"], [(1, 1), (1, 2), (2, 2)], 2)
    assert first.cstructure == "(<NP> (DT the-1) (NN cat-2) (X a/-3) (Y b-4))"
    assert (first.constseq, first.x_side_constraints) == ("DT NN X Y", ["(X2 NUM *SG)"])
    assert rest == []


def test_numbers_and_header_lines_follow_the_reader(write_file):
    # The second record lacks its last two lines: the third header follows
    # at once and still starts a record.
    second = record(header="SentenceIndex: 2").split("\n")[:8]
    path = write_file(record() + "\n".join(second) + "\n" + record(header="x SentenceIndex:"))
    assert [(e.number, e.line, e.header) for e in annotator.read(path)] == [
        (1, 1, "SentenceIndex: 1"), (2, 11, "SentenceIndex: 2"), (3, 19, "x SentenceIndex:")]


def test_tree_navigation():
    tree = annotator.parse_tree("(S (NP (DT the-1) (NN cat-2)) (VP (VBZ sleeps-3)))")
    assert (tree.label, tree.word, tree.index, tree.is_leaf, tree.depth) == ("S", "", None, False, 3)
    assert [t.label for t in tree.subtrees()] == ["S", "NP", "DT", "NN", "VP", "VBZ"]
    assert [(t.label, t.word, t.index) for t in tree.leaves()] == [
        ("DT", "the", 1), ("NN", "cat", 2), ("VBZ", "sleeps", 3)]
    assert tree.words() == ["the", "cat", "sleeps"]
    assert len(tree) == 2 and tree[-1].label == "VP" and [t.label for t in tree] == ["NP", "VP"]
    assert tree[0][1].parent == tree[0] and tree.parent is None
    assert str(tree[0]) == "(NP (DT the-1)(NN cat-2))"
    assert tree[1].depth == 2 and tree[0][0].is_leaf
    assert [t.label for t in tree[::-1]] == ["VP", "NP"] and tree[0][5:] == []
    assert (tree.height(), tree[0][0].height()) == (4, 2)
    # The parser hands "b" to S, but a word and a position are a leaf's.
    beside = annotator.parse_tree("(S (A a) b)")
    assert (beside.word, beside.index, beside._flat()[0][3]) == ("", None, None)
    assert tree.pos() == [("the", "DT"), ("cat", "NN"), ("sleeps", "VBZ")]
    assert repr(tree[0][0]) == "<annotator.Tree (DT the-1)>"
    assert repr(annotator.parse_tree("(S " + "(A x) " * 50 + ")")).endswith("...>")
    assert isinstance(tree, collections.abc.Collection) and tree[1][0] in tree[1]
    assert [t.__module__ + "." + t.__name__ for t in (annotator.Example, annotator.Pattern,
                                                       annotator.Tree, annotator.Reader)] == [
        "annotator.Example", "annotator.Pattern", "annotator.Tree", "annotator.Reader"]
    with pytest.raises(IndexError):
        tree[2]


def test_tuple_indexes_walk_down_as_nltk_trees_do():
    tree = annotator.parse_tree("(S (NP (DT the-1) (NN cat-2)) (VP (VBZ sleeps-3)))")
    assert tree[()].same_node(tree) and tree[1,].same_node(tree[1])
    assert tree[0, 1].same_node(tree[0][1]) and tree[-1, -1].word == "sleeps"
    assert [t.word for t in tree[0, ::-1]] == ["cat", "the"]
    for key, error in (((0, 2), IndexError), ((0, 0, 0), IndexError),
                       ((slice(0, 1), 0), TypeError), ((0, "x"), TypeError),
                       (functools.reduce(lambda k, _: (k,), range(10 ** 6), ()),
                        RecursionError)):
        with pytest.raises(error):
            tree[key]


def test_the_namespace_holds_the_public_names_alone():
    public = {name for name in dir(annotator) if not name.startswith("_")}
    assert public == set(annotator.__all__) - {"__version__"}


def test_a_view_keeps_its_tree_alive(write_file):
    leaf = annotator.parse_tree("(S (NP (DT the-1)))")[0][0]
    from_file = next(annotator.read(write_file(record()))).tree.leaves()[1]
    gc.collect()
    assert (leaf.parent.parent.label, leaf.word) == ("S", "the")
    assert (from_file.parent.label, from_file.word) == ("NP", "cat")


def test_to_nltk_equals_nltk_reading_the_printed_tree():
    nltk = pytest.importorskip("nltk")
    for example in annotator.read(BUNDLED):
        tree = example.tree
        assert tree.to_nltk() == nltk.Tree.fromstring(str(tree))
        assert annotator.Tree.from_nltk(tree.to_nltk()) == tree
        assert tree.to_nltk(positions=False).leaves() == tree.words()
        assert tree.to_nltk().height() == tree.height()


@pytest.mark.parametrize("text", [
    "(ROOT (S (NN a) (NN b)))", "(TOP (ROOT (NN a)))", "( (S (NN a) (NN b)))",
    "(ROOT (A a) (B b))", "(S (ROOT (NN a)))",
], ids=["ROOT", "TOP over ROOT", "empty label", "over two", "inner ROOT"])
def test_from_nltk_drops_the_wrappers_make_example_drops(text):
    nltk = pytest.importorskip("nltk")
    read = nltk.Tree.fromstring(text)
    made = annotator.make_example(text, "x", "").tree
    assert annotator.Tree.from_nltk(read) == made
    kept = annotator.Tree.from_nltk(read, unwrap=False)
    assert kept.label == read.label() and kept.height() == read.height()


@pytest.mark.parametrize("make, named", [
    (lambda T: T("N P", ["a"]), "N P"),
    (lambda T: T("N", [T("A", ["a)"])]), "a)"),
    (lambda T: T("S", [T("A", ["a"]), "b"]), "b"),
    (lambda T: T("<NP>", ["a"]), "<NP>"),
    (lambda T: T("A", [""]), ""),
    (lambda T: (lambda tree: tree.append(tree) or tree)(T("S", [T("A", ["a"])])), "S"),
], ids=["blank in a label", "parenthesis in a word", "word beside a child",
        "angle brackets", "empty word", "a tree that holds itself"])
def test_from_nltk_refuses_what_would_not_read_back(make, named):
    nltk = pytest.importorskip("nltk")
    with pytest.raises(annotator.FormatError) as raised:
        annotator.Tree.from_nltk(make(nltk.Tree), unwrap=False)
    assert raised.value.text == named and repr(named) in str(raised.value)


OVERLONG = "x" * 100_000


@pytest.mark.parametrize("content, number, line, text", [
    (record() + record(cstructure="(NP (DT the-1) (NP))"), 2, 17, "(NP)"),
    (record() + record(cstructure="(NP (DT the-1)"), 2, 17, "C-Structure:(NP (DT the-1)"),
    (record() + "SentenceIndex:\nSL: " + OVERLONG + "\n", 2, 12, ""),
], ids=["unreadable constituent", "unclosed", "over-long line"])
def test_format_errors_carry_where_they_stand(write_file, tmp_path, capfd, content,
                                              number, line, text):
    path = write_file(content)
    out = tmp_path / "out.txt"
    with pytest.raises(annotator.FormatError) as raised:
        for example in annotator.read(path):
            example.score
    with pytest.raises(annotator.FormatError) as annotating:
        annotator.annotate(path, out)
    for error in (raised.value, annotating.value):
        assert isinstance(error, ValueError)
        assert (error.record, error.line, error.text) == (number, line, text)
    # The records before the bad one are written, as the program writes them.
    assert out.read_text() == str(next(annotator.read(path)))
    if text:
        assert str(raised.value) == "malformed C-structure: " + text
        with pytest.raises(annotator.FormatError):
            list(annotator.read(path))[1].patterns()
    assert capfd.readouterr() == ("", "")


def test_alignment_errors_carry_the_position(write_file, capfd):
    (example,) = annotator.read(write_file(record(alignment="((1,1),(2,5))")))
    for attempt in (lambda: example.alignment, example.patterns):
        with pytest.raises(annotator.AlignmentError) as raised:
            attempt()
        assert (raised.value.position, raised.value.record) == (5, 1)
        assert str(raised.value) == "TL Index 5 exceeds TL sentence length."
    assert capfd.readouterr() == ("", "")


@pytest.mark.parametrize("links, position", [
    ("0-5", 6), ("1-0 0-2", 3), ([(0, 0), (1, 2)], 3),
    ("5-0", None), ("0-x", None),
], ids=["past the TL end", "second link", "pairs", "past the SL end", "unreadable"])
def test_make_example_alignment_errors_carry_the_tl_position(links, position):
    # make_example's links count from 0, the error's position from 1; a
    # link naming no TL position has none.
    with pytest.raises(annotator.AlignmentError) as raised:
        annotator.make_example("(S (NN a) (NN b))", "x y", links, number=4)
    assert (raised.value.position, raised.value.record) == (position, 4)


@pytest.mark.parametrize("tl, refused", [
    ("x\ny", "holds a line break"), ("x y\r\n", "holds a line break"),
    ("x y\r", "ends in a carriage return"), ("x\ry\t\x0b", None),
], ids=["line break", "CRLF", "CR at the end", "CR and controls inside"])
def test_make_example_takes_a_tl_of_one_line(tl, refused):
    # make_examples reads a TL sentence a line at a time and drops the "\r"
    # of a CRLF; what else a line holds it keeps, and so reads back.
    if refused:
        with pytest.raises(annotator.FormatError, match=refused) as raised:
            annotator.make_example("(S (A a) (B b))", tl, "0-0", number=2)
        assert raised.value.record == 2
    else:
        made = annotator.make_example("(S (A a) (B b))", tl, "0-0")
        (read,) = annotator.read(io.BytesIO(str(made).encode()))
        assert read.tl == tl and read.cstructure == made.cstructure


def test_file_errors(tmp_path, write_file):
    path = write_file(record())
    with pytest.raises(FileNotFoundError):
        annotator.read(tmp_path / "missing.txt")
    with pytest.raises(IsADirectoryError):
        annotator.read(tmp_path)
    with pytest.raises(FileNotFoundError):
        annotator.annotate(path, tmp_path / "no" / "out.txt")
    with pytest.raises(IsADirectoryError):
        annotator.annotate(path, tmp_path)
    if os.geteuid() != 0:
        path.chmod(0)
        with pytest.raises(PermissionError):
            annotator.read(path)


@pytest.mark.parametrize("opener", [
    lambda p: contextlib.nullcontext(p), lambda p: open(p, "rb"),
    lambda p: open(p, encoding="utf-8"), gzip.open,
], ids=["path", "binary file", "text file", "gzip file"])
@pytest.mark.parametrize("entry, place", [
    ("annotate", 0), ("make_examples", 0), ("make_examples", 1), ("make_examples", 2),
], ids=["annotate", "make_examples trees", "make_examples tl", "make_examples alignment"])
def test_an_input_that_is_the_output_is_refused(write_file, opener, entry, place):
    if entry == "annotate":
        inputs = [write_file(record())]
    else:
        inputs = [write_file(t, n) for t, n in zip(SMALL_CORPUS, "pta")]
    kept = inputs[place].read_bytes()
    sources = list(inputs)
    with opener(inputs[place]) as source:
        sources[place] = source
        with pytest.raises(ValueError, match="name the same file"):
            getattr(annotator, entry)(*sources, inputs[place])
    assert inputs[place].read_bytes() == kept


@pytest.mark.parametrize("places", [(0, 1), (1, 2), (0, 2)])
def test_one_file_object_as_two_inputs_is_refused(write_file, tmp_path, places):
    inputs = [write_file(t, n) for t, n in zip(SMALL_CORPUS, "pta")]
    out = write_file("kept", "out")
    with open(inputs[places[0]], "rb") as shared:
        sources = [shared if i in places else inputs[i] for i in range(3)]
        with pytest.raises(ValueError, match="one file object given twice"):
            annotator.make_examples(*sources, out)
    assert out.read_text() == "kept"


def test_deep_trees_need_no_recursion(write_file):
    # The deepest tree a 99,999-byte line holds, and a far deeper one.
    deepest = "( " * 12 + "(A " * 24_986 + "(B x-1)" + ")" * 24_998
    (example,) = annotator.read(write_file(record(cstructure=deepest)))
    assert len("C-Structure:" + deepest) == 99_999
    for tree, depth in ((example.tree, 24_999),
                        (annotator.parse_tree("( " * 249_999 + "(B x-1)" + ")" * 249_999),
                         250_000)):
        assert tree.depth == depth and example.score == 24_999
        assert str(tree).count("(") == depth
        assert [t.word for t in tree.leaves()] == ["x"]
        assert len(tree.subtrees()) == depth
        assert tree._repr_svg_().count('class="label"') == depth


GIL_SCRIPT = textwrap.dedent("""
    import os, queue, sys, threading
    import annotator
    record, directory = sys.argv[1], sys.argv[2]
    got = queue.Queue()
    fifos = [os.path.join(directory, name) for name in ("a", "b")]
    for fifo in fifos:
        os.mkfifo(fifo)
    def read(fifo):
        for example in annotator.read(fifo):
            got.put((fifo, example.number))
    def annotate(fifo):
        got.put((fifo, annotator.annotate(fifo, fifo + ".out")))
    threads = [threading.Thread(target=read, args=(fifos[0],)),
               threading.Thread(target=annotate if sys.argv[3] == "annotate" else read,
                                args=(fifos[1],))]
    for thread in threads:
        thread.start()
    # Each reader waits in the open or read of its FIFO: only while those
    # waits let go of the interpreter can this thread feed them in turn.
    a, b = open(fifos[0], "w"), open(fifos[1], "w")
    for _ in range(3):
        a.write(record); a.flush()
        assert got.get(timeout=20)[0] == fifos[0]
        b.write(record); b.flush()
        if sys.argv[3] != "annotate":
            assert got.get(timeout=20)[0] == fifos[1]
    a.close(); b.close()
    for thread in threads:
        thread.join()
    print("both progressed")
""")


@pytest.mark.parametrize("second", ["read", "annotate"])
def test_threads_reading_files_progress_together(tmp_path, second):
    result = subprocess.run(
        [sys.executable, "-c", GIL_SCRIPT, record(), str(tmp_path), second],
        capture_output=True, text=True, timeout=120, env=os.environ)
    assert result.stdout == "both progressed\n", result.stderr


def test_one_iterator_is_read_by_one_thread_at_a_time(tmp_path):
    import threading
    import time

    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)

    def feed():
        with open(fifo, "w") as writer:
            time.sleep(3)  # while the other thread waits inside next()
            writer.write(record())

    feeder = threading.Thread(target=feed)
    feeder.start()
    examples = annotator.read(fifo)
    reader = threading.Thread(target=lambda: next(examples))
    reader.start()
    time.sleep(0.5)
    with pytest.raises(ValueError, match="another thread"):
        next(examples)
    reader.join()
    feeder.join()


DAEMON_SCRIPT = textwrap.dedent("""
    import collections, os, sys, threading, time
    import annotator
    fifo, how, record = sys.argv[1], sys.argv[2], sys.argv[3]
    os.mkfifo(fifo)
    writer = os.open(fifo, os.O_RDWR)
    examples = annotator.read(open(fifo, "rb") if how == "file object" else fifo)
    # Held by the thread alone, not by this module's globals, which are let
    # go while the interpreter ends.
    threading.Thread(target=collections.deque, args=(examples, 0), daemon=True).start()
    del examples
    class WakeTheReaderAtTheEnd:
        def __del__(self, writer=writer, os=os, sleep=time.sleep):
            os.write(writer, record.encode())
            os.close(writer)
            sleep(0.5)  # without the lock, which the reader then asks for
    waker = WakeTheReaderAtTheEnd()
    print("ended")
""")


@pytest.mark.parametrize("how", ["path", "file object"])
def test_a_daemon_thread_reading_as_the_interpreter_ends_lets_it_end(tmp_path, how):
    result = subprocess.run(
        [sys.executable, "-c", DAEMON_SCRIPT, str(tmp_path / "fifo"), how, record()],
        capture_output=True, text=True, timeout=120, env=os.environ)
    assert (result.returncode, result.stdout) == (0, "ended\n"), result.stderr


# Runs the entry under address-space limits from what the process holds to
# a few megabytes more, so that MemoryError comes at every step of it: the
# opening of each input, the reader's buffers, records made but not yet
# written. After each, the descriptors are those before, and the output
# holds whole records, all of them where the call returned.
MEMORY_SCRIPT = textwrap.dedent("""
    import os, resource, sys
    import annotator
    entry, out, inputs = sys.argv[1], sys.argv[2], sys.argv[3:]
    before = len(os.listdir("/proc/self/fd"))
    unlimited = (resource.RLIM_INFINITY, resource.RLIM_INFINITY)
    failures = 0
    for extra in range(0, 3 << 20, 48 << 10):
        with open("/proc/self/statm") as statm:
            held = int(statm.read().split()[0]) * os.sysconf("SC_PAGE_SIZE")
        resource.setrlimit(resource.RLIMIT_AS, (held + extra, resource.RLIM_INFINITY))
        try:
            getattr(annotator, entry)(*inputs, out)
            failed = False
        except MemoryError:
            failed = True
        finally:
            resource.setrlimit(resource.RLIMIT_AS, unlimited)
        failures += failed
        assert len(os.listdir("/proc/self/fd")) == before, extra
        written = open(out).read() if os.path.exists(out) else ""
        assert written.count("\\n") % 10 == 0, extra
        assert written == "" or written.endswith("\\n\\n"), extra
        assert failed or written.count("SentenceIndex") == 4000, extra
    print(failures > 0)
""")


@pytest.mark.parametrize("entry", ["annotate", "make_examples"])
def test_memory_error_leaves_no_descriptor_open_and_whole_records(tmp_path, write_file, entry):
    if os.environ.get("LD_PRELOAD"):
        pytest.skip("a sanitizer's runtime holds far more address space than it uses")
    if entry == "annotate":
        inputs = [write_file(record() * 4000)]
    else:
        inputs = [write_file(t * 4000, n) for t, n in
                  zip(("(S (NP (DT the) (NN cat)) (VP (VBZ sleeps)))\n",
                       "le chat dort\n", "0-0 1-1 2-2\n"), "pta")]
    result = subprocess.run(
        [sys.executable, "-c", MEMORY_SCRIPT, entry, str(tmp_path / "out.txt"),
         *map(str, inputs)], capture_output=True, text=True, timeout=300, env=os.environ)
    assert (result.returncode, result.stdout) == (0, "True\n"), result.stderr


# Sentences 2 and 4 are skipped, for a tree and for a link.
SMALL_CORPUS = ("(ROOT (S (NP (DT the) (NN cat)) (VP (VBZ sleeps))))\n(ROOT)\n"
                "(NN a)\n(NN c)", "le chat dort\nx\nb\nc\n",
                "2-2 0-0 1-1 0-0\n\n0-0\n0-3\n")
# The same with treebank labels to cut and an editor's blank lines after
# the last tree.
TAGGED_CORPUS = (SMALL_CORPUS[0].replace("(S ", "(S-TPC=2 ").replace("(NP ", "(NP-SBJ-1 "),
                 SMALL_CORPUS[1] + "\n \n", SMALL_CORPUS[2] + "\n")


@pytest.mark.parametrize("real,bare", [(False, False), (True, False), (False, True)],
                         ids=["small", "real", "bare labels, trailing blank lines"])
def test_make_examples_equals_the_program(real, bare, tmp_path, write_file):
    options = ["--bare-labels"] if bare else []
    if real:
        files = [REAL_CORPUS.with_suffix(s) for s in (".ptb", ".tl", ".align")]
        if not files[0].exists():
            pytest.skip(f"{files[0]} is absent")
    else:
        corpus = TAGGED_CORPUS if bare else SMALL_CORPUS
        files = [write_file(t, n) for t, n in zip(corpus, "pta")]
    result = program_output(MAKE_EXAMPLES_BIN, *options, *files, tmp_path / "program.txt")
    expected = (tmp_path / "program.txt").read_bytes()
    if bare:
        assert b"-SBJ" not in expected and b"(S (NP (DT the-1)" in expected
    out = tmp_path / "module.txt"
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        written = annotator.make_examples(*files, out, bare_labels=bare)
    assert written == expected.count(b"SentenceIndex:")
    assert out.read_bytes() == expected
    # Every skipped sentence warns, in order, with the program's message.
    assert [w.category for w in caught] == [annotator.SkippedSentenceWarning] * len(caught)
    assert [str(w.message) for w in caught] == \
        result.stderr.decode("utf-8", "surrogateescape").splitlines()
    assert [w.filename for w in caught] == [__file__] * len(caught)
    if not real:
        assert [(w.message.sentence, w.message.reason) for w in caught] == [
            (2, "no words left after removing empty elements"),
            (4, "link 0-3 is past the end of the TL sentence of 1 word")]
        assert result.returncode == 1
        # As an error, the first skipped sentence raises once the file is whole.
        with warnings.catch_warnings():
            warnings.simplefilter("error", annotator.SkippedSentenceWarning)
            with pytest.raises(annotator.SkippedSentenceWarning, match="^Sentence 2: no"):
                annotator.make_examples(*files, out, bare_labels=bare)
        assert out.read_bytes() == expected
    # One sentence at a time, from texts, a Tree or pairs, gives the same.
    trees, tls, links = (pathlib_text(f).splitlines() for f in files)
    made = [annotator.make_example(t, l, a, number=n + 1, bare_labels=bare)
            for n, (t, l, a) in enumerate(zip(trees, tls, links)) if n not in (1, 3) or real]
    tree = annotator.parse_tree(made[0].cstructure)
    pairs = [(s - 1, t - 1) for s, t in made[0].alignment]
    assert str(annotator.make_example(tree, made[0].tl, pairs)) == str(made[0])
    assert "".join(map(str, made)).encode("utf-8", "surrogateescape") == expected


def pathlib_text(path):
    return path.read_bytes().decode("utf-8", "surrogateescape")


# Each row's inputs, as texts to write or a path to read; /proc/self/mem
# fails its first read with EIO, in the program as in this process.
@pytest.mark.parametrize("inputs", [
    ("", "", ""),
    ("(ROOT)", "x", "0-0"),
    # Training examples named as the alignment file, their output in its place.
    ("(NN a)", "x", record()),
    ("(NN a)", "x" * 100_000, "0-0"),
    ("(NN a)", b"\xfd7zXZ\x00x\n", "0-0"),
    (pathlib.Path("/proc/self/mem"), "x", "0-0"),
    ("(NN a) (NN b)", "x\n", "0-0\n0-0\n"),
    ("\ufeff(S (NN a))", "\ufeffx", "\ufeff0-0"),
], ids=["all empty", "every sentence skipped", "records for links",
        "over-long first line", "xz TL", "failed read", "TL short after a record",
        "byte-order marks"])
def test_make_examples_makes_out_only_when_the_program_does(tmp_path, write_file, inputs):
    files = [text if isinstance(text, pathlib.Path) else write_file(text, name)
             for text, name in zip(inputs, "pta")]
    outs = [tmp_path / "program.txt", tmp_path / "module.txt"]
    for out in outs:
        out.write_text("the aligner's links\n")
    result = program_output(MAKE_EXAMPLES_BIN, *files, outs[0])
    with warnings.catch_warnings(record=True) as skipped:
        warnings.simplefilter("always", annotator.SkippedSentenceWarning)
        try:
            annotator.make_examples(*files, outs[1])
            failed = False
        except (OSError, ValueError):
            failed = True
    # The program's last line is the failure when it is no skipped sentence's.
    assert failed == (len(result.stderr.splitlines()) > len(skipped))
    assert outs[1].read_bytes() == outs[0].read_bytes()


class OneByteARead:
    def __init__(self, path):
        self.data = path.read_bytes()

    def read(self, size):
        chunk, self.data = self.data[:1], self.data[1:]
        return chunk


@pytest.mark.parametrize("opener", [
    lambda p: io.BytesIO(p.read_bytes()), lambda p: io.StringIO(p.read_text("utf-8")),
    OneByteARead,
], ids=["binary", "text", "one byte a read"])
def test_make_examples_drops_byte_order_marks_of_file_objects(tmp_path, write_file, opener):
    # Paths read as the program reads them (the "byte-order marks" row above).
    paths = [write_file("\ufeff" + text, name) for text, name in zip(SMALL_CORPUS, "pta")]
    outs = [tmp_path / "from paths.txt", tmp_path / "from objects.txt"]
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", annotator.SkippedSentenceWarning)
        annotator.make_examples(*paths, outs[0])
        assert annotator.make_examples(*map(opener, paths), outs[1]) == 2
    assert outs[1].read_bytes() == outs[0].read_bytes()


@pytest.mark.parametrize("entry", ["read", "annotate", "make_examples"])
def test_a_signal_interrupts_a_read_waiting_on_a_pipe(tmp_path, entry, write_file):
    import signal
    import threading
    import time

    fifo, out = tmp_path / "fifo", tmp_path / "out.txt"
    os.mkfifo(fifo)
    # One whole input unit, then the start of the next, then a stall.
    if entry == "make_examples":
        sent = "(S (NN a))\n(S (NN"
        tl, links = write_file("x\ny\n", "tl"), write_file("0-0\n0-0\n", "al")
    else:
        sent = record() + "SentenceIndex: 2\nSL: a/dt\n"

    def stall():
        with open(fifo, "w") as writer:
            writer.write(sent)
            writer.flush()
            time.sleep(5)

    def interrupt(*_):
        raise KeyboardInterrupt

    threading.Thread(target=stall, daemon=True).start()
    previous = signal.signal(signal.SIGALRM, interrupt)
    signal.setitimer(signal.ITIMER_REAL, 0.5)
    started, taken = time.monotonic(), []
    try:
        with pytest.raises(KeyboardInterrupt):
            if entry == "read":
                with annotator.read(fifo) as examples:
                    taken.extend(e.number for e in examples)
            elif entry == "annotate":
                annotator.annotate(fifo, out)
            else:
                # The sentence the signal cut short is not taken for skipped.
                with warnings.catch_warnings():
                    warnings.simplefilter("error", annotator.SkippedSentenceWarning)
                    annotator.make_examples(fifo, tl, links, out)
    finally:
        signal.signal(signal.SIGALRM, previous)
    assert time.monotonic() - started < 2
    # The first record came whole; the second, cut short, not at all.
    if entry == "read":
        assert taken == [1] and list(examples) == []
    elif entry == "annotate":
        assert out.read_text() == str(next(annotator.read(io.StringIO(record()))))
    else:
        assert out.read_text() == str(annotator.make_example("(S (NN a))", "x", "0-0"))


@pytest.mark.parametrize("entry", ["annotate", "make_examples"])
def test_a_signal_interrupts_a_write_waiting_on_a_pipe(tmp_path, entry, write_file):
    import signal
    import threading

    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    # Far more than the pipe holds.
    if entry == "annotate":
        inputs = [write_file(record() * 2000)]
    else:
        inputs = [write_file(t * 2000, n) for t, n in
                  zip(("(S (NN a))\n", "x\n", "0-0\n"), "pta")]
    # The output's reader reads nothing while the call waits on it; should
    # the signal not end the wait, it reads on after a minute, so that the
    # call ends, having written everything, and the test fails rather than
    # hangs.
    reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
    ended, received = threading.Event(), []

    def drain():
        ended.wait(60)
        os.set_blocking(reader, True)
        while chunk := os.read(reader, 1 << 16):
            received.append(chunk)

    def interrupt(*_):
        raise KeyboardInterrupt

    drainer = threading.Thread(target=drain)
    drainer.start()
    previous = signal.signal(signal.SIGALRM, interrupt)
    signal.setitimer(signal.ITIMER_REAL, 0.5)
    try:
        with pytest.raises(KeyboardInterrupt):
            getattr(annotator, entry)(*inputs, fifo)
    finally:
        signal.signal(signal.SIGALRM, previous)
        ended.set()
        drainer.join()
        os.close(reader)
    whole = tmp_path / "whole.txt"
    getattr(annotator, entry)(*inputs, whole)
    assert sum(map(len, received)) < whole.stat().st_size


def test_nul_in_a_path_and_long_texts_in_messages(tmp_path, write_file):
    good, out = write_file(record()), tmp_path / "out.txt"
    for attempt in (lambda: annotator.read(str(good) + "\0junk"),
                    lambda: annotator.annotate(good, str(out) + "\0junk"),
                    lambda: annotator.annotate(str(good).encode() + b"\0", out)):
        with pytest.raises(ValueError, match="null"):
            attempt()
    assert not out.exists()
    deep = "(A " * 300_000 + "(B x-1)"
    with pytest.raises(annotator.FormatError) as raised:
        annotator.parse_tree(deep)
    assert len(str(raised.value)) < 300 and len(raised.value.text) > 300_000


@pytest.mark.parametrize("entry", [lambda p, out: next(annotator.read(p)),
                                   annotator.annotate], ids=["read", "annotate"])
def test_a_failed_read_raises_its_errno(tmp_path, entry):
    import errno
    # Reading a process's memory at address 0 fails with EIO.
    with pytest.raises(OSError) as raised:
        entry("/proc/self/mem", tmp_path / "out.txt")
    assert raised.value.errno == errno.EIO


def test_annotate_writes_nothing_of_a_record_a_failed_read_cut(tmp_path):
    import errno
    # The read fails within the second record's last field.
    data = (record() + record(header="SentenceIndex: 2")).encode()
    pieces = [data[:data.index(b"ConstSeq: DT", len(record())) + 11]]

    class Failing:
        def read(self, size):
            if pieces:
                return pieces.pop()
            raise OSError(errno.EIO, "failed")

    out = tmp_path / "out.txt"
    with pytest.raises(OSError):
        annotator.annotate(Failing(), out)
    assert out.read_text() == str(next(annotator.read(io.StringIO(record()))))


@pytest.mark.parametrize("opener", [
    lambda p: open(p, "rb"), lambda p: open(p, encoding="utf-8"),
    lambda p: io.BytesIO(p.read_bytes()), lambda p: io.StringIO(p.read_text()),
    lambda p: gzip.open(gzipped(p)), lambda p: gzip.open(gzipped(p), "rt"),
], ids=["binary", "text", "BytesIO", "StringIO", "gzip", "gzip text"])
def test_read_from_file_objects(opener):
    with opener(BUNDLED) as source:
        assert [str(e) for e in annotator.read(source)] == [
            str(e) for e in annotator.read(BUNDLED)]
        assert not source.closed  # the caller's to close


def gzipped(path):
    return io.BytesIO(gzip.compress(path.read_bytes()))


def test_readers_let_go_of_their_files():
    def open_files():
        return len(os.listdir("/proc/self/fd"))

    before = open_files()
    with annotator.read(BUNDLED) as examples:
        next(examples)
        assert open_files() == before + 1
    assert open_files() == before and list(examples) == []
    exhausted = annotator.read(BUNDLED)
    assert len(list(exhausted)) == 12 and open_files() == before
    half_read = annotator.read(BUNDLED)
    next(half_read)
    half_read.close()
    assert open_files() == before


def hold_in_a_list(source):
    source.held = [annotator.read(source)]
    next(source.held[0])


def hold_in_a_generator(source):
    def examples():
        yield from annotator.read(source)
    source.held = examples()
    next(source.held)


@pytest.mark.parametrize("make_cycle", [hold_in_a_list, hold_in_a_generator],
                         ids=["list", "generator"])
def test_a_reader_in_a_reference_cycle_is_collected(make_cycle):
    # The file object refers back to the reader that reads it.
    before = len(os.listdir("/proc/self/fd"))
    source = open(BUNDLED, "rb")
    make_cycle(source)
    collected = weakref.ref(source)
    del source
    gc.collect()
    assert collected() is None and len(os.listdir("/proc/self/fd")) == before


def test_values_pickle_and_copy():
    examples = list(annotator.read(BUNDLED))
    values = [examples[0], examples[-1], examples[0].tree, examples[0].tree[1],
              examples[-1].patterns()[-1], annotator.parse_tree("( (A x-1) (B y))"),
              annotator.parse_tree("(S (A a) b)")]
    for value in values:
        # Protocols 0 and 1 too, which would call pybind11's base class.
        for copied in [pickle.loads(pickle.dumps(value, protocol))
                       for protocol in range(pickle.HIGHEST_PROTOCOL + 1)] + [
                copy.copy(value), copy.deepcopy(value)]:
            assert type(copied) is type(value)
            assert copied == value and hash(copied) == hash(value)
            assert str(copied) == str(value)
    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        with pytest.raises(TypeError, match="cannot pickle"):
            pickle.dumps(annotator.read(BUNDLED), protocol)
    assert pickle.loads(pickle.dumps(examples[0])).tree == examples[0].tree
    assert [p.sl_positions for p in pickle.loads(pickle.dumps(examples[0].patterns()))] == [
        p.sl_positions for p in examples[0].patterns()]


@pytest.mark.parametrize("kind, use", [
    (annotator.Example, lambda e: e.sl_words), (annotator.Example, hash),
    (annotator.Example, pickle.dumps), (annotator.Example, lambda e: e == e),
    (annotator.Pattern, lambda p: p.type), (annotator.Reader, next),
    (annotator.Reader, lambda r: r.close()),
], ids=["Example.sl_words", "Example hash", "Example pickle", "Example ==",
        "Pattern.type", "Reader next", "Reader close"])
def test_an_object_new_made_alone_refuses_every_use(kind, use):
    # Unpickling makes one so, and __setstate__ fills it; until then it
    # holds nothing to read.
    with pytest.raises(TypeError, match=r"__new__ alone"):
        use(kind.__new__(kind))


@pytest.mark.parametrize("attempt", [
    lambda: annotator.make_example("(S (NN a))", "x", [(0, "x")]),
    lambda: annotator.Example.__new__(annotator.Example).__setstate__((b"",) * 11),
    lambda: annotator.Pattern.__new__(annotator.Pattern).__setstate__((b"", ["a"])),
], ids=["link pair", "Example state", "Pattern state"])
def test_values_of_another_type_raise_type_error(attempt):
    with pytest.raises(TypeError, match="pairs of ints|wrong type"):
        attempt()


@pytest.mark.parametrize("argument, value, error, message", [
    ("max_words", 0, ValueError, "None or at least 1$"),
    ("max_words", 2**64, ValueError, "None or at most 18446744073709551615$"),
    ("max_words", 2.5, TypeError, "None or an int, not float$"),
    ("max_words", decimal.Decimal("2.5"), TypeError, "None or an int, not decimal.Decimal$"),
    ("min_count", -1, ValueError, "at least 1$"),
    ("min_count", True, TypeError, "an int, not bool$"),
    ("smoothing", "Good-Turing", ValueError, "None, 'good-turing' or 'kneser-ney'$"),
    ("smoothing", 1, TypeError, "None, 'good-turing' or 'kneser-ney', not int$"),
    ("number", 0, ValueError, "at least 1$"),
    ("number", True, TypeError, "an int, not bool$"),
])
def test_values_the_programs_refuse_are_refused_by_name(argument, value, error, message):
    # pybind11 alone would list signatures, or take True as 1 and
    # Decimal("2.5") as 2.
    with pytest.raises(error, match=f"^{argument} must be {message}"):
        if argument == "number":
            annotator.make_example("(S (A a))", "x", "0-0", number=value)
        else:
            annotator.score_patterns(BUNDLED, **{argument: value})


@pytest.mark.parametrize("first, second, equal", [
    ("(S (NP (DT the-1)) (VP (V x-2)))", "(S (NP (DT the-1))(VP (V x-2)))", True),
    ("(S (NP (DT the-1)))", "(S (NX (DT the-1)))", False),
    ("(S (NP (DT the-1)))", "(S (NP (DT a-1)))", False),
    ("(S (NP (DT the-1)))", "(S (NP (DT the-2)))", False),
    ("(S (NP (DT the-1)))", "(S (NP (DT the-1) (DT the-1)))", False),
    ("(S (NP (DT the-1)))", "(S (NP (DT the-1)) (NP (DT the-1)))", False),
    ("(S (A a) b)", "(S (A a-1))", True),
])
def test_trees_compare_by_content(first, second, equal):
    a, b = annotator.parse_tree(first), annotator.parse_tree(second)
    assert (a == b, a != b) == (equal, not equal)
    assert not equal or hash(a) == hash(b)
    assert a.same_node(a) and not a.same_node(annotator.parse_tree(first))
