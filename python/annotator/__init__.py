"""Training-example files, constituent trees and translation patterns.

The annotator library as a Python module: read the ten-line records that
``annotator`` and ``extract_patterns`` read, score and walk their
constituent trees, cut them into patterns and draw them. Positions count
from 1 as they do in the files. Nothing here ends the interpreter or writes
to standard output or standard error itself; failures are exceptions, and
the sentences make_examples skips are warnings (SkippedSentenceWarning),
which Python's warning filters show, collect, silence or raise.
"""

# Imported under private names, so that dir(annotator) shows the module's
# own names alone.
import collections.abc as _abc
import os as _os
import typing as _typing
import warnings as _warnings

from ._annotator import (
    AlignmentError,
    Example,
    FormatError,
    Pattern,
    ScoredPattern,
    Tree,
    __version__,
    make_example,
)
from . import _annotator

__all__ = [
    "AlignmentError",
    "Example",
    "FormatError",
    "Pattern",
    "Reader",
    "ScoredPattern",
    "SkippedSentenceWarning",
    "Tree",
    "__version__",
    "annotate",
    "make_example",
    "make_examples",
    "parse_tree",
    "read",
    "score_patterns",
]

_PathLike = _typing.Union[str, bytes, _os.PathLike]
_Source = _typing.Union[_PathLike, _typing.IO[bytes], _typing.IO[str]]

# A tree is a sized, iterable container of its children; not a Sequence,
# whose index() and count() would clash with the node's `index`.
_abc.Collection.register(Tree)
_abc.Reversible.register(Tree)

Reader = _annotator._Reader
Reader.__module__ = __name__
Reader.__name__ = Reader.__qualname__ = "Reader"


def read(source: _Source) -> Reader:
    """Iterate over the training examples of `source`.

    `source` is a path (str, bytes or os.PathLike) or a file object open for
    reading, binary or text (``open``, ``gzip.open``, ``io.BytesIO``, ...).
    Records are found and taken by exactly annotator's rules (a header is any
    line holding ``SentenceIndex:``; the nine lines after it by position),
    one at a time, so memory stays flat on any file size. Iteration ends at
    the end of the file or at the first record cut short.

    The iterator is also a context manager: ``close()``, leaving a ``with``
    block and reaching the end let go of a file it opened (a file object
    passed in stays open; its owner closes it). A path is opened at once:
    FileNotFoundError, IsADirectoryError, PermissionError, or ValueError for
    a NUL in it. A path holding gzip data is read as the bytes it holds;
    xz, bzip2 or zstd data, or gzip data damaged or cut short, raises
    OSError saying so. A failed read raises OSError with its errno, a line
    of 100,000 bytes or more FormatError; a wait on a pipe or terminal
    wakes for signals, and so does every megabyte of a regular file and
    every read() of a file object, so Ctrl-C raises KeyboardInterrupt.
    After any of these the iterator is done: no record is taken from a read
    cut short.
    """
    return Reader(source)


def annotate(in_file: _Source, out_path: _PathLike) -> int:
    """Write what ``annotator InFile OutFile`` writes to its OutFile.

    Byte for byte the same records, without the listing; returns how many
    were written. `in_file` is read as read() reads it. Like the program it
    stops at a malformed C-structure or an over-long line with the records
    before it written, raising FormatError; ValueError, before anything is
    written, when `in_file` is the file `out_path` names (a path, or a file
    object whose fileno() is that file) or a path holds a NUL, OSError
    (FileNotFoundError, IsADirectoryError, PermissionError, ...) when a file
    cannot be opened, read or written, KeyboardInterrupt when a signal
    interrupts the reading or a write waiting on a pipe. The output holds
    whole records only, whatever stops it.
    """
    return _annotator._annotate(in_file, out_path)


class SkippedSentenceWarning(UserWarning):
    """A sentence that make_examples skipped, as it could not become a record.

    str() of it is the make_examples program's message for the sentence
    ("Sentence 2: no words left after removing empty elements.");
    `sentence` is its number from 1 and `reason` the reason alone.
    """

    def __init__(self, sentence: int, reason: str):
        # Both in args, so that the warning pickles like any exception.
        super().__init__(sentence, reason)
        self.sentence = sentence
        self.reason = reason

    def __str__(self) -> str:
        return f"Sentence {self.sentence}: {self.reason}."


def make_examples(trees: _Source, tl: _Source, alignment: _Source,
                  out: _PathLike, *, bare_labels: bool = False) -> int:
    """Write what ``make_examples trees tl alignment out`` writes to its OutFile.

    Sentence k is tree k of `trees` (bracketed trees as parsers write them),
    line k of `tl` and line k of `alignment` (0-based ``i-j`` links); returns
    how many records were written. Each input is a path or a file object,
    read as read() reads its source. Like the program it skips a sentence
    that cannot become a record and writes the others; once the output is
    complete, each skipped sentence is reported as a SkippedSentenceWarning,
    in order, with its number and reason. Python's default filters show
    each on standard error; ``warnings.catch_warnings(record=True)``
    collects them, ``warnings.simplefilter("ignore", ...)`` silences them,
    and ``warnings.simplefilter("error", annotator.SkippedSentenceWarning)``
    makes the first one raise (the output is still complete). A file that
    runs short raises FormatError after the records before it (and after
    the warnings for the sentences skipped before it). ValueError when `out`
    is one of the inputs (a path, or a file object whose fileno() is that
    file), one file object is given as two inputs or a path holds a NUL,
    OSError when a file cannot be opened, read or written,
    KeyboardInterrupt when a signal interrupts the reading or a write
    waiting on a pipe. The output holds whole records only. As the
    program, it makes or empties `out` only when the first record is about
    to be written, or at the end of inputs that hold no sentence: a run
    that makes no record (every sentence skipped, or a failure before the
    first record) leaves `out` as it was. Blank lines after the last tree's
    lines in `tl` and `alignment` are ignored, and so is a byte-order mark
    at the start of an input, as the program skips it. With `bare_labels`, as
    ``make_examples --bare-labels``, every label loses its function tags
    and co-indices (``NP-SBJ-1`` and ``NP=2`` become ``NP``; ``-NONE-`` and
    ``-LRB-`` stay whole).
    """
    skipped = []
    try:
        return _annotator._make_examples(trees, tl, alignment, out, skipped,
                                         bare_labels)
    finally:
        for sentence, reason in skipped:
            _warnings.warn(SkippedSentenceWarning(sentence, reason), stacklevel=2)


def parse_tree(text: str) -> Tree:
    """Read a bracketed C-structure such as '(S (NP (DT the-1)) (VP (VBZ
    barks-2)))' into a Tree, at any nesting depth. Raises FormatError when
    the text does not read as a tree."""
    return _annotator.parse_tree(text)


def _tree_at(text: str, way) -> Tree:
    """The node reached from the root of `text` by child places `way`: how
    a pickled Tree comes back."""
    tree = parse_tree(text)
    for place in way:
        tree = tree[place]
    return tree


def _nltk():
    try:
        import nltk
    except ImportError as error:
        raise ImportError(
            "Tree.to_nltk and Tree.from_nltk need NLTK: pip install nltk, "
            "or on Debian apt-get install python3-nltk"
        ) from error
    return nltk


def _to_nltk(tree: Tree, positions: bool = True):
    """The subtree under `tree` as an nltk.Tree, built without recursion."""
    nltk = _nltk()
    rows = tree._flat()
    built = [None] * len(rows)
    children = [[] for _ in rows]
    # Children come after their parent in pre-order, so building from the
    # end finds every child list complete.
    for place in range(len(rows) - 1, -1, -1):
        label, word, parent, index = rows[place]
        if word is not None:
            leaf = word if index is None or not positions else f"{word}-{index}"
            built[place] = nltk.Tree(label, [leaf])
        else:
            built[place] = nltk.Tree(label, children[place][::-1])
        if parent >= 0:
            children[parent].append(built[place])
    return built[0]


def _from_nltk(tree, unwrap: bool = True) -> Tree:
    """An nltk.Tree written in brackets without recursion, then read; a
    label or word that would not read back as itself raises FormatError."""
    nltk = _nltk()
    if unwrap:
        while (isinstance(tree, nltk.Tree) and len(tree) == 1
               and isinstance(tree[0], nltk.Tree)
               and _annotator._is_wrapper_label(str(tree.label()))):
            tree = tree[0]
    parts = []
    # Each constituent's label and, for a leaf, its word, in pre-order: what
    # the tree read from `parts` must give back.
    wanted = []
    # The nodes above the one written, by identity: an nltk.Tree may be
    # made to hold itself, which no text can write.
    above = set()
    open_nodes = [tree]
    while open_nodes:
        node = open_nodes.pop()
        if isinstance(node, str):
            parts.append(node)
            continue
        if isinstance(node, tuple):
            parts.append(")")
            above.discard(node[0])
            continue
        if not isinstance(node, nltk.Tree):
            raise TypeError(f"from_nltk takes an nltk.Tree, not {type(node).__name__}")
        label = str(node.label())
        if id(node) in above:
            _unwritable("label", label, "the tree holds itself there")
        above.add(id(node))
        if any(c in label for c in " ()"):
            _unwritable("label", label, "it holds a blank or a parenthesis")
        words = [str(child) for child in node if not isinstance(child, nltk.Tree)]
        if words and len(node) > 1:
            # Bracketed text holds one word per leaf and none beside a child.
            _unwritable("word", words[0], f"it stands beside other children of {label!r}")
        for word in words:
            if not word or "(" in word or ")" in word:
                _unwritable("word", word, "it is empty or holds a parenthesis")
        wanted.append((label, words[0] if words else None))
        parts.append(f"({label}")
        open_nodes.append((id(node),))
        for child in reversed(node):
            open_nodes.append(child if isinstance(child, nltk.Tree) else f" {child}")
            if isinstance(child, nltk.Tree):
                open_nodes.append(" ")
    read = parse_tree("".join(parts))
    # What else the reader makes its own: angle brackets around a label
    # dropped, blanks at a word's ends, a label or word past the reader's
    # lengths. A leaf "word-N" at place N reads as the word at position N,
    # as documented.
    for (label, word), (got_label, got_word, _, index) in zip(wanted, read._flat()):
        if got_label != label:
            _unwritable("label", label, f"it would read back as {got_label!r}")
        if word is not None and word not in (got_word, f"{got_word}-{index}"):
            _unwritable("word", word, f"it would read back as {got_word!r}")
    return read


def _unwritable(kind: str, text: str, why: str):
    error = FormatError(f"the {kind} {text!r} cannot be written in a bracketed tree: {why}")
    error.text = text
    raise error


def score_patterns(source: _Source, *, consistent: bool = False,
                   max_words=None, smoothing=None, min_count: int = 1):
    """The rows of ``score_patterns``' table for `source`, in its order.

    Each is a ScoredPattern, a named tuple of the table's columns (counts as
    int, probabilities and lexical weights as float, the pattern's fields as
    str), so ``pandas.DataFrame(rows)`` names its columns. `source` is read
    as read() reads it; `smoothing` is None, "good-turing" or "kneser-ney".
    `max_words` (None for no bound) and `min_count` take what --max-words
    and --min-count take, an int from 1 to 2**64-1: ValueError for an int
    outside, TypeError for anything else (True, 2.5, "3").
    A record extract_patterns would skip raises what Example.patterns()
    raises for it. The interpreter's lock is released while it counts.
    """
    return _annotator.score_patterns(source, consistent=consistent,
                                     max_words=max_words, smoothing=smoothing,
                                     min_count=min_count)
