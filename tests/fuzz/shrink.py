#!/usr/bin/env python3
"""Delta debugger for failing formulas.

  shrink.py --input FILE --output OUT [--timeout S] -- PREDICATE ...

PREDICATE is a command that exits 0 while the failure is still there; "{}"
in it is replaced by the candidate file (else the file is appended). For a
difftest failure, with the configuration from the case's cmd.txt:

  shrink.py --input case/clauses.cnf --output small.cnf -- \\
    tests/fuzz/difftest.py --check {} --args "--sp-var-dec-heur 3 ..." \\
    --expect-failure "wrong verdict"

The input is read as quelt's reader reads it. If the failure does not show
on the plain clause list (a reader fault), lines of the text are dropped
first. Then, to a fixpoint: clauses are dropped (halves, quarters, ... down
to single clauses), literals are dropped one at a time, and the variables are
renumbered 1..n in order of first occurrence. The smallest failing formula
is written to OUT as plain DIMACS (or as text, in the reader-fault case).
"""

import argparse
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cnfgen  # noqa: E402


class Shrinker:
    def __init__(self, predicate, timeout, workdir, verbose):
        self.predicate = predicate
        self.timeout = timeout
        self.workdir = workdir
        self.tests = 0
        self.verbose = verbose
        self.cache = {}

    def interesting_text(self, text):
        if text in self.cache:
            return self.cache[text]
        self.tests += 1
        path = os.path.join(self.workdir, "candidate.cnf")
        with open(path, "w", newline="") as f:
            f.write(text)
        cmd = [path if a == "{}" else a.replace("{}", path) for a in self.predicate]
        if not any("{}" in a for a in self.predicate):
            cmd.append(path)
        try:
            r = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               stdin=subprocess.DEVNULL, timeout=self.timeout)
            ok = r.returncode == 0
        except subprocess.TimeoutExpired:
            ok = False
        self.cache[text] = ok
        return ok

    def interesting(self, clauses):
        return self.interesting_text(cnfgen.clauses_to_dimacs(clauses))

    def log(self, what, clauses):
        if self.verbose:
            nv = len({abs(l) for c in clauses for l in c})
            print("shrink: %s: %d clauses, %d variables (%d tests)" % (what, len(clauses), nv, self.tests),
                  file=sys.stderr, flush=True)

    def ddmin(self, items, test):
        """Removes chunks of items while test(remaining) holds."""
        n = 2
        while len(items) >= 1:
            chunk = max(1, len(items) // n)
            removed = False
            i = 0
            while i < len(items):
                candidate = items[:i] + items[i + chunk:]
                if test(candidate):
                    items = candidate
                    removed = True
                else:
                    i += chunk
            if chunk == 1 and not removed:
                break
            if not removed:
                n = min(len(items), n * 2)
        return items

    def drop_literals(self, clauses):
        changed = True
        while changed:
            changed = False
            for ci in range(len(clauses)):
                li = 0
                while li < len(clauses[ci]):
                    c = clauses[ci]
                    candidate = clauses[:ci] + [c[:li] + c[li + 1:]] + clauses[ci + 1:]
                    if self.interesting(candidate):
                        clauses = candidate
                        changed = True
                    else:
                        li += 1
        return clauses

    @staticmethod
    def renumber(clauses):
        names = {}
        out = []
        for c in clauses:
            nc = []
            for l in c:
                v = names.setdefault(abs(l), len(names) + 1)
                nc.append(v if l > 0 else -v)
            out.append(nc)
        return out

    def shrink_clauses(self, clauses):
        while True:
            before = cnfgen.clauses_to_dimacs(clauses)
            clauses = self.ddmin(clauses, self.interesting)
            self.log("clauses dropped", clauses)
            clauses = self.drop_literals(clauses)
            self.log("literals dropped", clauses)
            r = self.renumber(clauses)
            if self.interesting(r):
                clauses = r
            self.log("renumbered", clauses)
            if cnfgen.clauses_to_dimacs(clauses) == before:
                return clauses

    def shrink_lines(self, text):
        nl = "\r\n" if "\r\n" in text else "\n"
        lines = text.split(nl)
        lines = self.ddmin(lines, lambda ls: self.interesting_text(nl.join(ls)))
        return nl.join(lines)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--input", required=True)
    ap.add_argument("--output", required=True)
    ap.add_argument("--timeout", type=float, default=120.0, help="seconds per predicate run")
    ap.add_argument("--quiet", action="store_true")
    ap.add_argument("predicate", nargs=argparse.REMAINDER)
    a = ap.parse_args(argv)
    pred = a.predicate[1:] if a.predicate[:1] == ["--"] else a.predicate
    if not pred:
        ap.error("no predicate command")
    with open(a.input, "rb") as f:
        text = f.read().decode("latin-1")
    with tempfile.TemporaryDirectory(prefix="shrink-") as wd:
        s = Shrinker(pred, a.timeout, wd, not a.quiet)
        read = cnfgen.read_like_quelt(text)
        clauses = [list(c) for c in read.clauses]
        if not read.invalid and s.interesting(clauses):
            clauses = s.shrink_clauses(clauses)
            result = cnfgen.clauses_to_dimacs(clauses)
        elif s.interesting_text(text):
            print("shrink: the failure needs the text as written; dropping lines", file=sys.stderr)
            result = s.shrink_lines(text)
        else:
            print("shrink: the predicate does not hold on the input", file=sys.stderr)
            return 2
        with open(a.output, "w", newline="") as f:
            f.write(result)
        print("shrink: %d predicate runs; result in %s" % (s.tests, a.output), file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
