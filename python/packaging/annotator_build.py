"""Builds the annotator Python package as a wheel with the project's CMake.

A build backend of the project's own, so that ``pip install .`` needs no
package from an index: CMake compiles the module, and the wheel is a zip
file written here. Where CMake or pybind11 cannot be found on the machine,
it asks pip for them, which pip fetches where an index can be reached.
"""

import base64
import glob
import hashlib
import os
import re
import shutil
import subprocess
import sys
import sysconfig
import tempfile
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
NAME = "annotator"


def _version():
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as cmake:
        return re.search(r"project\(annotator VERSION ([0-9.]+)", cmake.read()).group(1)


def _pybind11_dir():
    """Where pybind11's CMake files are, or None when CMake should search."""
    try:
        import pybind11
    except ImportError:
        return None
    return pybind11.get_cmake_dir()


def _system_pybind11():
    prefixes = [sys.prefix, sys.base_prefix, "/usr", "/usr/local"]
    prefixes += os.environ.get("CMAKE_PREFIX_PATH", "").split(os.pathsep)
    return any(glob.glob(os.path.join(prefix, pattern, "pybind11Config.cmake"))
               for prefix in prefixes if prefix
               for pattern in ("lib/cmake/pybind11", "lib/*/cmake/pybind11",
                               "share/cmake/pybind11"))


def get_requires_for_build_wheel(config_settings=None):
    needed = []
    if not shutil.which("cmake"):
        needed.append("cmake>=3.25")
    if not _system_pybind11() and _pybind11_dir() is None:
        needed.append("pybind11>=2.6")
    return needed


def _tag():
    version = f"{sys.version_info.major}{sys.version_info.minor}"
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    return f"cp{version}", f"cp{version}{sys.abiflags}", platform


def _metadata(version):
    return (f"Metadata-Version: 2.1\nName: {NAME}\nVersion: {version}\n"
            "Summary: Co-embedding annotation of training examples: read, "
            "score and cut constituent trees\nRequires-Python: >=3.9\n")


def _build_module(build_dir):
    """Compiles the module; returns the directory laid out as the package."""
    configure = ["cmake", "-S", ROOT, "-B", build_dir,
                 "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_CXX_STANDARD=17",
                 "-DCMAKE_CXX_EXTENSIONS=OFF", "-DANNOTATOR_BUILD_TESTS=OFF",
                 "-DANNOTATOR_PYTHON=ON", f"-DPython_EXECUTABLE={sys.executable}"]
    if shutil.which("ninja"):
        configure.append("-GNinja")
    pybind11_dir = _pybind11_dir()
    if pybind11_dir:
        configure.append(f"-Dpybind11_DIR={pybind11_dir}")
    # pip shows a backend's output only when asked (-v) or when it fails.
    subprocess.run(configure, check=True, stdout=sys.stderr)
    subprocess.run(["cmake", "--build", build_dir, "--target", "annotator_python",
                    "--parallel"], check=True, stdout=sys.stderr)
    return os.path.join(build_dir, "python", NAME)


def _record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=")
    return f"{name},sha256={digest.decode()},{len(data)}\n"


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    version = _version()
    python, abi, platform = _tag()
    wheel_name = f"{NAME}-{version}-{python}-{abi}-{platform}.whl"
    info = f"{NAME}-{version}.dist-info"
    with tempfile.TemporaryDirectory(prefix="annotator-wheel-") as build_dir:
        package = _build_module(build_dir)
        files = {}
        for name in sorted(os.listdir(package)):
            path = os.path.join(package, name)
            if os.path.isfile(path) and not name.endswith(".a"):
                with open(path, "rb") as source:
                    files[f"{NAME}/{name}"] = source.read()
    files[f"{info}/METADATA"] = _metadata(version).encode()
    files[f"{info}/WHEEL"] = (
        "Wheel-Version: 1.0\nGenerator: annotator_build\n"
        f"Root-Is-Purelib: false\nTag: {python}-{abi}-{platform}\n").encode()
    record = "".join(_record_line(name, data) for name, data in files.items())
    files[f"{info}/RECORD"] = (record + f"{info}/RECORD,,\n").encode()
    with zipfile.ZipFile(os.path.join(wheel_directory, wheel_name), "w",
                         zipfile.ZIP_DEFLATED) as wheel:
        for name, data in files.items():
            entry = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            entry.external_attr = (0o755 if name.endswith(".so") else 0o644) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(entry, data)
    return wheel_name
