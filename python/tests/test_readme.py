import re
import subprocess
import sys

import pytest

from conftest import ROOT

DOCUMENTS = [ROOT / "README.md", *sorted((ROOT / "doc").glob("*.md"))]


def shown_examples(text):
    """Every Python block that a plain block follows directly, with that
    block: what the code prints."""
    fenced = list(re.finditer(r"^```(\w*)\n(.*?)^```\n", text, re.M | re.S))
    return [(code.group(2), output.group(2)) for code, output in zip(fenced, fenced[1:])
            if (code.group(1), output.group(1)) == ("python", "")
            and not text[code.end():output.start()].strip()]


@pytest.mark.parametrize("document", DOCUMENTS, ids=lambda path: path.name)
def test_python_examples_print_what_the_documents_show(document):
    for code, output in shown_examples(document.read_text()):
        ran = subprocess.run([sys.executable, "-c", code], cwd=ROOT, capture_output=True,
                             text=True)
        assert (ran.stderr, ran.stdout) == ("", output)


@pytest.mark.parametrize("document", ["README.md", "doc/python.md"])
def test_readme_and_the_python_guide_show_what_their_examples_print(document):
    # The test above passes for a document that shows nothing, so an example
    # that lost its output, or moved away, must show up here.
    assert shown_examples((ROOT / document).read_text())
