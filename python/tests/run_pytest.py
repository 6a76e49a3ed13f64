"""Runs the Python tests for ctest: skips, saying why, where pytest is not
installed, and fails when pytest finds no test at all."""

import sys

try:
    import pytest
except ImportError:
    print(
        f"Python tests skipped: pytest is not installed for {sys.executable} "
        "(apt-get install python3-pytest)"
    )
    sys.exit(0)

sys.exit(pytest.main(["-q", "-rs", "-p", "no:cacheprovider", *sys.argv[1:]]))
