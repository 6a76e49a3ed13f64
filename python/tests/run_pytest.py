"""Runs the Python tests for ctest: skips, saying why, where pytest is not
installed, and fails when pytest finds no test at all."""

import os
import sys

try:
    import pytest
except ImportError:
    print(
        f"Python tests skipped: pytest is not installed for {sys.executable} "
        "(apt-get install python3-pytest)"
    )
    sys.exit(0)

# Temporary files go where ctest says (the build tree), not into $TMPDIR,
# which pytest would leave a directory of old runs in.
options = ["-q", "-rs", "-p", "no:cacheprovider"]
if os.environ.get("ANNOTATOR_PYTEST_TEMP"):
    options.append("--basetemp=" + os.environ["ANNOTATOR_PYTEST_TEMP"])
sys.exit(pytest.main([*options, *sys.argv[1:]]))
