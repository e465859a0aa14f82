#!/usr/bin/env python3
"""Mutation sampling: how many small faults in the source does a test suite notice?

  tools/mutate.py generate --seed 1 --count 72 > mutants.tsv
  tools/mutate.py run mutants.tsv --root CLONE --build CLONE/build \
      --suite "ctest -j2 --timeout 120" > results.tsv

`generate` picks code lines at random (seeded, spread over the layers of
src/, see DIRS) and applies one regexp operator to each: a
flipped or loosened comparison, a swapped logical operator, an off-by-one
constant, a swapped arithmetic operator, a negated condition, a flipped
boolean literal, or a dropped statement. Each mutant is one line of a tab
separated table: id, file, line number, operator, original text, mutated text.

`run` applies each mutant in turn to a checkout, rebuilds it, runs the suite
command in the build directory and restores the file. A mutant is `killed`
when the suite fails or times out, `survived` when it passes, and `stillborn`
when it does not compile (those are not counted). The result table adds the
verdict and, for ctest suites, the names of the failing tests.
"""
import argparse
import os
import random
import re
import subprocess
import sys
import time

DIRS = {"src/engine": 14, "src/simplify": 10, "src/search": 6, "src/core": 16, "src/lib": 8, "src/app": 10,
        "src/params": 8}

# (name, pattern, replacement); each applies to one match in the line.
OPERATORS = [
    ("rel", r" < ", " <= "), ("rel", r" <= ", " < "), ("rel", r" > ", " >= "),
    ("rel", r" >= ", " > "), ("eq", r" == ", " != "), ("eq", r" != ", " == "),
    ("logic", r" && ", " || "), ("logic", r" \|\| ", " && "),
    ("arith", r" \+ ", " - "), ("arith", r" - ", " + "), ("arith", r"\+\+", "--"),
    ("const", r"(?<![\w.])(\d+)(?![\w.])", None),
    ("bool", r"\btrue\b", "false"), ("bool", r"\bfalse\b", "true"),
    ("negate", r"\bif \((.*)\)( \{| return| continue| break|$)", None),
    ("drop", r"^(\s*)([a-zA-Z_][\w.\->\[\]()]*\s*(\+\+|--|[-+*|&]?=[^=]).*;)\s*$", None),
]


def code_lines(path):
    """Line numbers of lines that are code: not blank, comment or preprocessor."""
    out = []
    with open(path) as f:
        for n, line in enumerate(f, 1):
            s = line.strip()
            if not s or s.startswith(("//", "#", "*", "/*")) or "static_assert" in s:
                continue
            out.append(n)
    return out


def mutate_line(line, rng):
    """One random applicable mutation of a line, or None."""
    code = line.split("//")[0]
    options = []
    for name, pat, rep in OPERATORS:
        for m in re.finditer(pat, code):
            options.append((name, pat, rep, m))
    if not options:
        return None
    name, pat, rep, m = rng.choice(options)
    if name == "const":
        new = str(int(m.group(1)) + 1)
    elif name == "negate":
        new = "if (!(" + m.group(1) + "))" + m.group(2)
    elif name == "drop":
        new = m.group(1) + ";"
    else:
        new = rep
    return name, code[:m.start()] + new + code[m.end():] + line[len(code):]


def generate(args):
    rng = random.Random(args.seed)
    total = sum(DIRS.values())
    n = 0
    for d, weight in DIRS.items():
        want = round(args.count * weight / total)
        files = sorted(os.path.relpath(os.path.join(top, f), args.root)
                       for top, _, names in os.walk(os.path.join(args.root, d))
                       for f in names if f.endswith((".cpp", ".hpp")))
        sites = [(f, ln) for f in files for ln in code_lines(os.path.join(args.root, f))]
        rng.shuffle(sites)
        picked = 0
        for f, ln in sites:
            if picked == want:
                break
            with open(os.path.join(args.root, f)) as fh:
                line = fh.read().split("\n")[ln - 1]
            mut = mutate_line(line, rng)
            if mut is None or mut[1] == line:
                continue
            n += 1
            picked += 1
            print("\t".join([f"m{n:03d}", f, str(ln), mut[0], line.strip(), mut[1].strip()]))


def run(args):
    with open(args.mutants) as f:
        mutants = [l.rstrip("\n").split("\t") for l in f if l.strip()]
    for mid, path, ln, op, orig, mutated in mutants:
        full = os.path.join(args.root, path)
        with open(full) as fh:
            text = fh.read()
        lines = text.split("\n")
        # The source may have moved since the sample was drawn: take the
        # nearest line that still reads as the original.
        near = sorted((abs(i + 1 - int(ln)), i) for i, l in enumerate(lines) if l.strip() == orig)
        if not near or near[0][0] > 40:
            print("\t".join([mid, path, ln, "mismatch", ""]), flush=True)
            continue
        at = near[0][1]
        line = lines[at]
        lines[at] = line[:len(line) - len(line.lstrip())] + mutated
        start = time.time()
        try:
            with open(full, "w") as fh:
                fh.write("\n".join(lines))
            build = subprocess.run(["cmake", "--build", args.build, "-j2"],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if build.returncode != 0:
                verdict, failed = "stillborn", ""
            else:
                failed = ""
                try:
                    r = subprocess.run(args.suite, shell=True, cwd=args.build, timeout=args.timeout,
                                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
                    verdict = "survived" if r.returncode == 0 else "killed"
                    failed = " ".join(re.findall(r"^\s*\d+ - (\S+)", r.stdout, re.M)[:6])
                except subprocess.TimeoutExpired:
                    verdict = "killed"
                    failed = "(suite timed out)"
        finally:
            with open(full, "w") as fh:
                fh.write(text)
        print("\t".join([mid, path, ln, verdict, f"{time.time() - start:.0f}s", failed]), flush=True)
    subprocess.run(["cmake", "--build", args.build, "-j2"], stdout=subprocess.DEVNULL)


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = p.add_subparsers(dest="cmd", required=True)
    g = sub.add_parser("generate")
    g.add_argument("--seed", type=int, default=1)
    g.add_argument("--count", type=int, default=72)
    g.add_argument("--root", default=os.path.join(os.path.dirname(__file__), ".."))
    r = sub.add_parser("run")
    r.add_argument("mutants")
    r.add_argument("--root", required=True)
    r.add_argument("--build", required=True)
    r.add_argument("--suite", default="ctest -j2 --timeout 120")
    r.add_argument("--timeout", type=int, default=900)
    args = p.parse_args()
    generate(args) if args.cmd == "generate" else run(args)


if __name__ == "__main__":
    sys.exit(main())
