import os
import shutil
import subprocess
import sys

import pytest

from conftest import BUNDLED, ROOT

BUILD_DIR = os.environ.get("ANNOTATOR_BUILD_DIR")
# Reads the bundled example with the module installed, wherever that is.
CHECK = ("import annotator, importlib.metadata, sys; "
         "assert annotator.__file__.startswith(sys.argv[1]), annotator.__file__; "
         "print(len(list(annotator.read(sys.argv[2]))), annotator.__version__)")


def clean_environment(keep_preload):
    # PYTHONPATH would find the build tree's module instead of the installed
    # one; a sanitizer runtime is for a sanitized module only.
    drop = {"PYTHONPATH", "VIRTUAL_ENV", "PYTHONUSERBASE", "PYTHONNOUSERSITE"} | (
        set() if keep_preload else {"LD_PRELOAD"})
    return {k: v for k, v in os.environ.items() if k not in drop}


def venv(directory, with_pip):
    if subprocess.run([sys.executable, "-m", "venv", *([] if with_pip else ["--without-pip"]),
                       str(directory)], capture_output=True).returncode != 0:
        pytest.skip("no venv module with ensurepip (apt-get install python3-venv)")
    return directory / "bin" / "python"


def test_pip_installs_the_package_into_a_fresh_venv(tmp_path):
    if os.environ.get("LD_PRELOAD"):
        pytest.skip("pip builds an unsanitized module: checked in the unsanitized build")
    if not shutil.which("cmake"):
        pytest.skip("cmake is not on PATH")
    python = venv(tmp_path / "v", with_pip=True)
    environment = clean_environment(keep_preload=False)
    pip = subprocess.run([python, "-m", "pip", "install", "--no-build-isolation",
                          "--no-index", str(ROOT)], capture_output=True, text=True,
                         cwd=tmp_path, env=environment)
    assert pip.returncode == 0, pip.stdout + pip.stderr
    site = tmp_path / "v" / "lib"
    check = subprocess.run([python, "-c", CHECK + "; print(importlib.metadata.version('annotator'))",
                            str(site), str(BUNDLED)],
                           capture_output=True, text=True, cwd=tmp_path, env=environment)
    count, version, metadata = check.stdout.split()
    assert (count, version) == ("12", metadata), check.stderr
    installed = {p.name for p in next(site.glob("python3*/site-packages/annotator")).iterdir()}
    assert {"py.typed", "_annotator.pyi", "__init__.py"} <= installed


@pytest.mark.parametrize("kind", ["venv", "plain prefix", "user base"])
def test_cmake_install_into_a_prefix_imports(tmp_path, kind):
    if not BUILD_DIR:
        pytest.skip("the build tree is named by ctest (ANNOTATOR_BUILD_DIR)")
    environment = clean_environment(keep_preload=True)
    # README's `--prefix ~/.local`: the interpreter finds it there by itself.
    if kind == "user base":
        environment["HOME"] = str(tmp_path / "home")
        prefix = tmp_path / "home" / ".local"
    else:
        prefix = tmp_path / "prefix"
    python = venv(prefix, with_pip=False) if kind == "venv" else sys.executable
    installed = subprocess.run(["cmake", "--install", BUILD_DIR, "--prefix", str(prefix)],
                               capture_output=True, text=True, env=environment)
    assert installed.returncode == 0, installed.stderr
    if kind == "plain prefix":
        # Where the interpreter would look under that prefix, had it been
        # installed there.
        look = subprocess.run([python, "-c", "import site, sys; print('\\n'.join("
                               "site.getsitepackages([sys.argv[1]])))", str(prefix)],
                              capture_output=True, text=True, check=True)
        environment["PYTHONPATH"] = os.pathsep.join(look.stdout.split())
    check = subprocess.run([python, "-c", CHECK, str(prefix), str(BUNDLED)],
                           capture_output=True, text=True, cwd=tmp_path, env=environment)
    assert check.stdout.split()[:1] == ["12"], check.stderr
