import os
import pathlib
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = pathlib.Path(os.environ.get("ANNOTATOR_EXAMPLES", ROOT / "examples"))
SHARED = pathlib.Path(os.environ.get("ANNOTATOR_SHARED_DIR", ROOT.parent / "shared"))
ANNOTATOR_BIN = os.environ.get("ANNOTATOR_BIN")
EXTRACT_PATTERNS_BIN = os.environ.get("EXTRACT_PATTERNS_BIN")
MAKE_EXAMPLES_BIN = os.environ.get("MAKE_EXAMPLES_BIN")
BUNDLED = EXAMPLES / "training-examples.txt"
REAL_TREES = SHARED / "realdata" / "treebank-records.txt"
REAL_CORPUS = SHARED / "realdata" / "treebank"


def program_output(program, *arguments):
    """Runs a built program and returns what subprocess.run returns."""
    if not program:
        pytest.skip("the built programs are named by ctest (ANNOTATOR_BIN)")
    # A sanitizer runtime preloaded for a sanitized module is not the
    # programs' own.
    environment = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    return subprocess.run([program, *map(str, arguments)], capture_output=True,
                          env=environment)


@pytest.fixture
def write_file(tmp_path):
    """Writes bytes or text to a fresh file and returns its path."""

    def write(content, name="in.txt"):
        path = tmp_path / name
        path.write_bytes(content.encode() if isinstance(content, str) else content)
        return path

    return write


def record(sl="the/dt cat/nn", tl="le chat", alignment="((1,1),(2,2))",
           cstructure="(NP (DT the-1) (NN cat-2))", header="SentenceIndex: 1"):
    """A ten-line record with the given fields."""
    return (f"{header}\nSL: {sl}\nTL: {tl}\nAlignment: {alignment}\nType: NP\n"
            f"CoEmbeddingScore: 0\nC-Structure:{cstructure}\nConstSeq: DT NN\n"
            "XSideConstraints:\n\n")
