"""The instance set: reading the manifest, choosing instances, and the cache
of decompressed copies.

The manifest is a tab-separated table with the instance files in cnf/
beside it. Every solver reads the same decompressed file from the cache, so
decompression costs nobody CPU time in the measurements.
"""

import bz2
import csv
import gzip
import lzma
import os
import re
import shutil
import tempfile

# What reading a compressed instance can raise; a run on such an instance is
# recorded with the error as its note instead of ending the whole run.
READ_ERRORS = (OSError, EOFError, lzma.LZMAError)


def read_manifest(path):
    """Rows of the tab-separated manifest as dicts (header in the first line)."""
    with open(path, newline="") as f:
        reader = csv.DictReader(f, delimiter="\t")
        rows = [row for row in reader if row.get("file")]
    for row in rows:
        for key in ("expected", "family"):
            row[key] = (row.get(key) or "").strip()
    return rows


def instance_name(file_name):
    """The instance name: the file name without the compression and .cnf
    suffixes."""
    name = os.path.basename(file_name)
    for suffix in (".xz", ".lzma", ".gz", ".bz2"):
        if name.endswith(suffix):
            name = name[: -len(suffix)]
            break
    if name.endswith(".cnf"):
        name = name[:-4]
    return name


_OPENERS = {".xz": lzma.open, ".lzma": lzma.open, ".gz": gzip.open, ".bz2": bz2.open}


def cached_plain(source, cache_dir):
    """Path of a decompressed copy of source in cache_dir, made on first use.

    Every solver reads the same plain file, so decompression costs nobody
    CPU time in the measurements. A plain source is used where it is.
    """
    ext = os.path.splitext(source)[1]
    opener = _OPENERS.get(ext)
    if opener is None:
        return source
    os.makedirs(cache_dir, exist_ok=True)
    target = os.path.join(cache_dir, instance_name(source) + ".cnf")
    if os.path.exists(target) and os.path.getmtime(target) >= os.path.getmtime(source):
        return target
    fd, tmp = tempfile.mkstemp(dir=cache_dir, prefix=".part-")
    try:
        with opener(source, "rb") as src, os.fdopen(fd, "wb") as dst:
            shutil.copyfileobj(src, dst, 1 << 20)
        os.replace(tmp, target)
    except BaseException:
        if os.path.exists(tmp):
            os.unlink(tmp)
        raise
    return target


def select_instances(manifest, pattern=None):
    """The instances of the manifest whose file name or family matches the
    regular expression pattern (all of them without one), in manifest order,
    as dicts with name, family, expected and source (the instance file)."""
    manifest_dir = os.path.dirname(os.path.abspath(manifest))
    instances = []
    pattern = re.compile(pattern) if pattern else None
    for row in read_manifest(manifest):
        if pattern and not (pattern.search(row["file"]) or pattern.search(row["family"])):
            continue
        source = os.path.join(manifest_dir, "cnf", row["file"])
        if not os.path.exists(source):
            source = os.path.join(manifest_dir, row["file"])
        instances.append({"name": instance_name(row["file"]), "family": row["family"],
                          "expected": row["expected"], "source": source})
    return instances
