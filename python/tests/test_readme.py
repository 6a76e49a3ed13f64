import re
import subprocess
import sys

from conftest import ROOT


def test_readme_example_prints_what_readme_shows():
    # The first Python block of README and the plain block right after it.
    readme = (ROOT / "README.md").read_text()
    code, shown = re.search(r"^```python\n(.*?)^```\n\n```\n(.*?)^```\n", readme,
                            re.M | re.S).groups()
    ran = subprocess.run([sys.executable, "-c", code], cwd=ROOT, capture_output=True,
                         text=True)
    assert (ran.stderr, ran.stdout) == ("", shown)
