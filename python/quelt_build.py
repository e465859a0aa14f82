"""The package build behind `pip install .`: CMake builds the module, this
file packs it into a wheel.

It uses the standard library only and pyproject.toml requires nothing, so
pip's isolated build environment is complete without downloading a thing.
CMake, a C++17 compiler, Boost, pybind11 and the headers of the running
Python come from the system (Debian: cmake g++ libboost-program-options-dev
libboost-iostreams-dev pybind11-dev python3-dev).

Environment: QUELT_PY_BUILD_DIR keeps the CMake build there, for faster
rebuilds (default: a temporary directory); CMAKE_BUILD_PARALLEL_LEVEL sets the
number of compile jobs (default: one per processor).
"""
import base64
import hashlib
import os
import re
import subprocess
import sys
import sysconfig
import tempfile
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


def _version():
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(\s*Quelt\s+VERSION\s+([0-9.]+)", text).group(1)


def _dist_info():
    return "quelt-%s.dist-info" % _version()


def _tag():
    # The module works with the interpreter that builds it only.
    if sys.implementation.name != "cpython":
        raise RuntimeError("quelt builds for CPython only, not " + sys.implementation.name)
    soabi = sysconfig.get_config_var("SOABI")  # e.g. cpython-311-x86_64-linux-gnu
    python = "cp%d%d" % sys.version_info[:2]
    platform = re.sub(r"[-.]", "_", sysconfig.get_platform())
    return "%s-cp%s-%s" % (python, soabi.split("-")[1], platform)


def _metadata():
    return ("Metadata-Version: 2.1\nName: quelt\nVersion: %s\n"
            "Summary: Python interface to the Quelt incremental SAT solver\n"
            "Requires-Python: >=3.7\n" % _version())


def _wheel_file():
    return ("Wheel-Version: 1.0\nGenerator: quelt_build\nRoot-Is-Purelib: false\n"
            "Tag: %s\n" % _tag())


def get_requires_for_build_wheel(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    info = Path(metadata_directory) / _dist_info()
    info.mkdir(parents=True, exist_ok=True)
    (info / "METADATA").write_text(_metadata())
    (info / "WHEEL").write_text(_wheel_file())
    return info.name


def _cmake(*args):
    try:
        subprocess.run(["cmake", *map(str, args)], check=True)
    except FileNotFoundError:
        raise RuntimeError("building quelt needs cmake on PATH") from None


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    with tempfile.TemporaryDirectory() as scratch:
        build = Path(os.environ.get("QUELT_PY_BUILD_DIR") or scratch)
        _cmake("-S", ROOT / "python", "-B", build, "-DCMAKE_BUILD_TYPE=Release",
               "-DPython_EXECUTABLE=" + sys.executable)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or os.cpu_count() or 1
        _cmake("--build", build, "-j", jobs)
        module = build / "module" / ("quelt" + sysconfig.get_config_var("EXT_SUFFIX"))
        files = {module.name: module.read_bytes(),
                 _dist_info() + "/METADATA": _metadata().encode(),
                 _dist_info() + "/WHEEL": _wheel_file().encode()}
    record = _dist_info() + "/RECORD"
    lines = []
    for name, data in files.items():
        digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
        lines.append("%s,sha256=%s,%d\n" % (name, digest, len(data)))
    files[record] = ("".join(lines) + record + ",,\n").encode()
    wheel = "quelt-%s-%s.whl" % (_version(), _tag())
    with zipfile.ZipFile(Path(wheel_directory) / wheel, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in files.items():
            z.writestr(name, data)
    return wheel
