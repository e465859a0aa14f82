#!/usr/bin/env python3
"""The search counters of quelt-bench on every shared instance, recorded once
and compared after a change that must not change the search.

    bench/counters.py [--limit S] [--filter RE] QUELT_BENCH OUTDIR [REFDIR]

Runs QUELT_BENCH --nosplash --dimacs FILE --tmout S (default 60) on every
instance of the manifest (decompressed into the runner's cache), one at a
time, and writes OUTDIR/NAME.txt: the result line and the statistics report
without its rates and run time, the parts that depend on the machine. With
REFDIR (an OUTDIR of an earlier run, e.g. of the main build) every instance
that finished in both runs is compared byte for byte; the exit status is 1
when any differs.
"""
import argparse
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from instances import cached_plain, select_instances  # noqa: E402
from run import DEFAULT_MANIFEST  # noqa: E402

_RATE = re.compile(r"\s*\(\d+/sec\)")


def fingerprint(output):
    """The result line and the report's counters, rates and run time left out."""
    lines = []
    for line in output.splitlines():
        if line.startswith("s "):
            lines.append(line)
        elif line.startswith("c ") and ":" in line and "Total runtime" not in line:
            lines.append(_RATE.sub("", line).rstrip())
    return "\n".join(lines) + "\n"


def finished(text):
    return any(line in ("s SATISFIABLE", "s UNSATISFIABLE") for line in text.splitlines())


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("quelt")
    ap.add_argument("outdir")
    ap.add_argument("refdir", nargs="?")
    ap.add_argument("--limit", type=int, default=60)
    ap.add_argument("--filter")
    ap.add_argument("--manifest", default=DEFAULT_MANIFEST)
    ap.add_argument("--cache", default="/tmp/quelt-bench-cache")
    a = ap.parse_args()
    os.makedirs(a.outdir, exist_ok=True)
    same = different = 0
    for inst in select_instances(a.manifest, a.filter):
        name = inst["name"]
        cnf = cached_plain(inst["source"], a.cache)
        run = subprocess.run([a.quelt, "--nosplash", "--dimacs", cnf, "--tmout", str(a.limit)],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        text = fingerprint(run.stdout)
        with open(os.path.join(a.outdir, name + ".txt"), "w") as f:
            f.write(text)
        note = ""
        ref = os.path.join(a.refdir, name + ".txt") if a.refdir else None
        if ref and os.path.exists(ref):
            with open(ref) as f:
                expected = f.read()
            if finished(expected) and finished(text):
                if expected == text:
                    same += 1
                    note = "same"
                else:
                    different += 1
                    note = "*** DIFFERENT ***"
            else:
                note = "(not finished in both)"
        print("%-50s %s" % (name, note), flush=True)
    if a.refdir:
        print("same %d, different %d" % (same, different))
    return 1 if different else 0


if __name__ == "__main__":
    sys.exit(main())
