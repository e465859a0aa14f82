"""The package build behind `pip install .`: CMake builds the extension
module, this file packs it with the Python part of the package (python/quelt:
the Solver class, the type stubs and the py.typed marker) into a wheel.

It uses the standard library only and pyproject.toml requires nothing, so
pip's isolated build environment is complete without downloading a thing.
CMake, a C++17 compiler, Boost, pybind11 and the headers of the running
Python come from the system (Debian: cmake g++ libboost-program-options-dev
libboost-iostreams-dev pybind11-dev python3-dev).

Before anything is built, the tools are looked for; when one is missing the
build stops with one line naming it and the command that installs it.

Environment: QUELT_PY_BUILD_DIR keeps the CMake build there, for faster
rebuilds (default: a temporary directory); CMAKE_BUILD_PARALLEL_LEVEL sets the
number of compile jobs (default: one per processor).
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


# What the build needs from the system: a description, how to tell it is
# there, and the Debian package that brings it.
def _have_compiler():
    cxx = os.environ.get("CXX", "")
    return bool(cxx and shutil.which(cxx.split()[0])) or any(
        shutil.which(c) for c in ("c++", "g++", "clang++"))


def _find_any(patterns):
    return any(glob.glob(p) for p in patterns)


def _prefixes():
    return ["/usr", "/usr/local", sys.prefix] + [
        p for p in os.environ.get("CMAKE_PREFIX_PATH", "").split(os.pathsep) if p]


def _have_pybind11():
    try:  # pip's pybind11 knows where its CMake files are
        import pybind11
        return os.path.isdir(pybind11.get_cmake_dir())
    except (ImportError, AttributeError):
        pass
    return _find_any(os.path.join(p, d, "cmake", "pybind11", "pybind11Config.cmake")
                     for p in _prefixes() for d in ("lib", "lib/*", "share"))


def _have_boost(component):
    return _find_any(os.path.join(p, d, "libboost_%s.*" % component)
                     for p in _prefixes() for d in ("lib", "lib/*", "lib64"))


REQUIREMENTS = [
    ("cmake", lambda: shutil.which("cmake"), "cmake"),
    ("a C++ compiler", _have_compiler, "g++"),
    ("the Python headers",
     lambda: os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")), "python3-dev"),
    ("pybind11", _have_pybind11, "pybind11-dev"),
    ("Boost.Program_options", lambda: _have_boost("program_options"), "libboost-program-options-dev"),
    ("Boost.Iostreams", lambda: _have_boost("iostreams"), "libboost-iostreams-dev"),
]


def missing_message():
    """One line naming what the build lacks and how to install it; None when
    nothing is missing."""
    missing = [(what, package) for what, present, package in REQUIREMENTS if not present()]
    if not missing:
        return None
    return ("quelt: cannot build without %s; install with: apt-get install %s "
            "(or run make deps as root in the source tree)"
            % (" and ".join(what for what, _ in missing), " ".join(p for _, p in missing)))


def _check_requirements():
    message = missing_message()
    if message:
        print(message, file=sys.stderr)
        sys.exit(1)


def get_requires_for_build_wheel(config_settings=None):
    _check_requirements()
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
    _check_requirements()
    with tempfile.TemporaryDirectory() as scratch:
        build = Path(os.environ.get("QUELT_PY_BUILD_DIR") or scratch)
        extra = []
        try:
            import pybind11
            extra.append("-Dpybind11_DIR=" + pybind11.get_cmake_dir())
        except (ImportError, AttributeError):
            pass
        _cmake("-S", ROOT / "python", "-B", build, "-DCMAKE_BUILD_TYPE=Release",
               "-DPython_EXECUTABLE=" + sys.executable, *extra)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or os.cpu_count() or 1
        _cmake("--build", build, "-j", jobs)
        module = build / "module" / ("_quelt" + sysconfig.get_config_var("EXT_SUFFIX"))
        package = ROOT / "python" / "quelt"
        files = {"quelt/" + module.name: module.read_bytes()}
        for name in ("__init__.py", "__init__.pyi", "py.typed"):
            files["quelt/" + name] = (package / name).read_bytes()
        files[_dist_info() + "/METADATA"] = _metadata().encode()
        files[_dist_info() + "/WHEEL"] = _wheel_file().encode()
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
