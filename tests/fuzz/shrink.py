#!/usr/bin/env python3
"""Shrinks a failing formula while a predicate still holds.
  shrink.py --input FILE --output OUT [--timeout SEC] -- PREDICATE ...
PREDICATE exits 0 while the failure persists; "{}" in it stands for the
candidate file. To a fixpoint: chunks of clauses are dropped (halving the
chunk size down to one), then literals one at a time, then the variables are
renumbered in order of first occurrence."""
import argparse, os, subprocess, sys, tempfile
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cnfgen import clauses_of, dimacs  # noqa: E402


def shrink(cls, holds):
    while True:
        before, chunk = cls, len(cls)
        while chunk:
            i = 0
            while i < len(cls):
                if holds(cls[:i] + cls[i + chunk:]):
                    cls = cls[:i] + cls[i + chunk:]
                else:
                    i += chunk
            chunk //= 2
        for ci in range(len(cls)):
            for l in set(cls[ci]):
                cand = cls[:ci] + [[x for x in cls[ci] if x != l]] + cls[ci + 1:]
                cls = cand if cand != cls and holds(cand) else cls
        names = {}
        renamed = [[names.setdefault(abs(l), len(names) + 1) * (1 if l > 0 else -1) for l in c] for c in cls]
        cls = renamed if renamed != cls and holds(renamed) else cls
        if cls == before:
            return cls


if __name__ == "__main__":
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    for o in ("--input", "--output"):
        ap.add_argument(o, required=True)
    ap.add_argument("--timeout", type=float, default=120)
    ap.add_argument("predicate", nargs=argparse.REMAINDER)
    a = ap.parse_args()
    pred = a.predicate[a.predicate[:1] == ["--"]:]
    with tempfile.TemporaryDirectory() as wd, open(a.input) as fh:
        path = os.path.join(wd, "candidate.cnf")

        def holds(cls):
            with open(path, "w") as f:
                f.write(dimacs(cls))
            try:
                return subprocess.run([x.replace("{}", path) for x in pred], capture_output=True,
                                      timeout=a.timeout).returncode == 0
            except subprocess.TimeoutExpired:
                return False
        cls = clauses_of(fh.read())
        if not pred or not holds(cls):
            sys.exit("shrink: the predicate does not hold on the input")
        cls = shrink(cls, holds)
    with open(a.output, "w") as f:
        f.write(dimacs(cls))
    print("shrink: %d clauses in %s" % (len(cls), a.output))
