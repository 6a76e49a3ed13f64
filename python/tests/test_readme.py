import re
import subprocess
import sys

from conftest import ROOT


def test_readme_python_examples_print_what_readme_shows():
    # Every Python block of README that a plain block follows directly shows
    # in that block what it prints.
    readme = (ROOT / "README.md").read_text()
    fenced = list(re.finditer(r"^```(\w*)\n(.*?)^```\n", readme, re.M | re.S))
    shown = [(code.group(2), output.group(2)) for code, output in zip(fenced, fenced[1:])
             if (code.group(1), output.group(1)) == ("python", "")
             and not readme[code.end():output.start()].strip()]
    assert shown
    for code, output in shown:
        ran = subprocess.run([sys.executable, "-c", code], cwd=ROOT, capture_output=True,
                             text=True)
        assert (ran.stderr, ran.stdout) == ("", output)
