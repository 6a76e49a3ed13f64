"""Training-example files, constituent trees and translation patterns.

The annotator library as a Python module: read the ten-line records that
``annotator`` and ``extract_patterns`` read, score and walk their
constituent trees, cut them into patterns and draw them. Positions count
from 1 as they do in the files. Nothing here ends the interpreter or writes
to standard output or standard error; failures are exceptions.
"""

import os
from typing import Iterator, Union

from ._annotator import (
    AlignmentError,
    Example,
    FormatError,
    Pattern,
    Tree,
    make_example,
    parse_tree,
)
from . import _annotator

__all__ = [
    "AlignmentError",
    "Example",
    "FormatError",
    "Pattern",
    "Tree",
    "annotate",
    "make_example",
    "make_examples",
    "parse_tree",
    "read",
]

PathLike = Union[str, bytes, os.PathLike]


def read(path: PathLike) -> Iterator[Example]:
    """Iterate over the training examples of the file at `path`.

    Records are found and taken by exactly annotator's rules (a header is any
    line holding ``SentenceIndex:``; the nine lines after it by position),
    one at a time, so memory stays flat on any file size. Iteration ends at
    the end of the file or at the first record cut short. The file is opened
    at once: FileNotFoundError, IsADirectoryError or PermissionError; a line
    of 100,000 bytes or more raises FormatError when reading reaches it.
    """
    return _annotator._Reader(os.fsencode(path))


def annotate(in_path: PathLike, out_path: PathLike) -> int:
    """Write what ``annotator in_path out_path`` writes to its OutFile.

    Byte for byte the same records, without the listing; returns how many
    were written. Like the program it stops at a malformed C-structure or an
    over-long line with the records before it written, raising FormatError;
    ValueError when both paths name one file, OSError (FileNotFoundError,
    IsADirectoryError, PermissionError, ...) when a file cannot be opened or
    written. The output holds whole records only, also after a failed write.
    """
    return _annotator._annotate(os.fsencode(in_path), os.fsencode(out_path))


def make_examples(trees: PathLike, tl: PathLike, alignment: PathLike,
                  out: PathLike) -> int:
    """Write what ``make_examples trees tl alignment out`` writes to its OutFile.

    Sentence k is tree k of `trees` (bracketed trees as parsers write them),
    line k of `tl` and line k of `alignment` (0-based ``i-j`` links); returns
    how many records were written. Like the program it skips a sentence that
    cannot become a record and writes the others, then raises FormatError or
    AlignmentError for the first one skipped; a file that runs short raises
    FormatError after the records before it. ValueError when `out` is one of
    the inputs, OSError when a file cannot be opened or written.
    """
    return _annotator._make_examples(os.fsencode(trees), os.fsencode(tl),
                                     os.fsencode(alignment), os.fsencode(out))


def _to_nltk(tree: Tree):
    """The subtree under `tree` as an nltk.Tree, built without recursion."""
    try:
        import nltk
    except ImportError as error:
        raise ImportError(
            "Tree.to_nltk needs NLTK (apt-get install python3-nltk, "
            "or pip install nltk)"
        ) from error
    rows = tree._flat()
    built = [None] * len(rows)
    children = [[] for _ in rows]
    # Children come after their parent in pre-order, so building from the
    # end finds every child list complete.
    for place in range(len(rows) - 1, -1, -1):
        label, word, parent, index = rows[place]
        if word is not None:
            leaf = word if index is None else f"{word}-{index}"
            built[place] = nltk.Tree(label, [leaf])
        else:
            built[place] = nltk.Tree(label, children[place][::-1])
        if parent >= 0:
            children[parent].append(built[place])
    return built[0]
