#!/usr/bin/env python3
"""Writes a second benchmark set: formula families whose verdict is known by
construction, each pressing on a different part of a clause-learning search.

    families.py --out DIR

writes DIR/cnf/NAME.cnf.xz and DIR/manifest.tsv (the layout bench/run.py
reads: run.py --manifest DIR/manifest.tsv). The output is the same, byte
for byte, on every run; a second run overwrites the first.

  pebbling   pyramids and a grid with several variables per node: refuted
             by resolution at once after variable elimination, hard for a
             search that meets them as they are (UNSAT).
  horn       large Horn formulas, the minimal model computed here by forward
             chaining: a planted contradiction (UNSAT), a goal the chaining
             misses (SAT), the same with polarities flipped, and one with
             non-Horn clauses that keep a planted model (SAT).
  factoring  an array multiplier whose product is fixed to N, both factors
             above 1: N the product of two primes of the factors' widths
             (SAT) or N prime (UNSAT).
  planning   the 8-puzzle with a horizon of T moves from a start state at
             distance d (breadth-first search over all 181440 states):
             SAT when T = d, UNSAT when T < d.
"""
import argparse
import lzma
import os
import sys
from collections import deque

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pebbling  # noqa: E402

SOURCE = "generated: bench/families.py"


class Rng:
    """splitmix64: the same numbers on every Python version, unlike random's
    derived methods."""

    def __init__(self, seed):
        self.s = seed

    def next(self):
        self.s = (self.s + 0x9E3779B97F4A7C15) & (1 << 64) - 1
        z = self.s
        z = (z ^ z >> 30) * 0xBF58476D1CE4E5B9 & (1 << 64) - 1
        z = (z ^ z >> 27) * 0x94D049BB133111EB & (1 << 64) - 1
        return z ^ z >> 31

    def below(self, n):
        return self.next() % n

    def sample(self, seq, k):
        """k distinct elements of seq in random order."""
        if 8 * k < len(seq):
            picked = {}
            while len(picked) < k:
                picked.setdefault(self.below(len(seq)), len(picked))
            return [seq[i] for i in sorted(picked, key=picked.get)]
        seq = list(seq)
        for i in range(k):
            j = i + self.below(len(seq) - i)
            seq[i], seq[j] = seq[j], seq[i]
        return seq[:k]


# ---------------------------------------------------------------- Horn

def horn_closure(clauses):
    """The minimal model of the definite clauses (one positive literal) by
    forward chaining: the set of variables every model of them makes true."""
    true, watch, missing, queue = set(), {}, [], []
    definite = [c for c in clauses if sum(l > 0 for l in c) == 1]
    for k, c in enumerate(definite):
        body = [-l for l in c if l < 0]
        missing.append(len(body))
        for v in body:
            watch.setdefault(v, []).append(k)
        if not body:
            queue.append(k)
    while queue:
        head = max(definite[queue.pop()])
        if head in true:
            continue
        true.add(head)
        for k in watch.get(head, ()):
            missing[k] -= 1
            if missing[k] == 0:
                queue.append(k)
    return true


def horn(seed, nvars, nrules, kind, ratio=0.0):
    """A random Horn formula over nvars variables: a few facts and nrules
    rules with 1-6 body atoms, each atom below the rule's head, so chains of
    derivation are long. Its minimal model is the forward-chaining closure.

    kind "unsat": a goal clause (all negative) over atoms of the closure;
    "sat": goal clauses each with an atom outside it; "flipped": "sat" with
    the polarity of a random half of the variables flipped (still decided
    by propagation, but guessing false is wrong for half of them); "mixed":
    a planted model, the closure of the facts and a random third of the
    other atoms, goal clauses each with an atom outside it, and ratio times
    as many random three-literal clauses with two or more positive literals
    over the atoms outside the closure as there are such atoms, each
    satisfied by the planted model."""
    rng = Rng(seed)
    cls = [[v] for v in range(1, nvars // 200 + 2)]
    for _ in range(nrules):
        head = 2 + rng.below(nvars - 1)
        body = {1 + rng.below(head - 1) for _ in range(1 + rng.below(6))}
        cls.append([head] + [-b for b in sorted(body)])
    model = horn_closure(cls)
    free = sorted(set(range(1, nvars + 1)) - model)
    if kind == "mixed":
        model = horn_closure(cls + [[v] for v in rng.sample(free, len(free) // 3)])
    derived, outside = sorted(model), sorted(set(range(1, nvars + 1)) - model)
    if kind == "unsat":
        cls.append([-v for v in rng.sample(derived[len(derived) // 2:], 3)])
    else:
        cls += [[-v for v in rng.sample(outside, 1) + rng.sample(derived, 2)] for _ in range(nrules // 10)]
    if kind == "mixed":
        want = len(cls) + int(ratio * len(free))
        while len(cls) < want:
            c = [v if rng.below(2) else -v for v in rng.sample(free, 3)]
            if sum(l > 0 for l in c) >= 2 and any((l > 0) == (abs(l) in model) for l in c):
                cls.append(c)
    perm = rng.sample(range(1, nvars + 1), nvars)
    flip = [1] + [-1 if kind == "flipped" and rng.below(2) else 1 for _ in range(nvars)]
    cls = [[(1 if l > 0 else -1) * flip[abs(l)] * perm[abs(l) - 1] for l in c] for c in rng.sample(cls, len(cls))]
    return nvars, cls, "UNSAT" if kind == "unsat" else "SAT"


# ---------------------------------------------------------------- factoring

def is_prime(n):
    """Miller-Rabin with the first twelve primes as bases: exact far beyond
    the 64 bits used here."""
    if n < 2:
        return False
    for p in (2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37):
        if n % p == 0:
            return n == p
    d, s = n - 1, 0
    while d % 2 == 0:
        d, s = d // 2, s + 1
    for a in (2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37):
        x = pow(a, d, n)
        if x in (1, n - 1):
            continue
        for _ in range(s - 1):
            x = x * x % n
            if x == n - 1:
                break
        else:
            return False
    return True


def prime_of_width(rng, bits):
    """A random prime with exactly this many bits (top bit set)."""
    while True:
        p = 1 << bits - 1 | rng.below(1 << bits - 1) | 1
        if is_prime(p):
            return p


class Circuit:
    """Tseitin-encoded gates over fresh variables; False is the constant."""

    def __init__(self):
        self.nvars, self.cls = 0, []

    def new(self, k=1):
        self.nvars += k
        return list(range(self.nvars - k + 1, self.nvars + 1))

    def and2(self, a, b):
        v, = self.new()
        self.cls += [[-v, a], [-v, b], [v, -a, -b]]
        return v

    def add(self, bits):
        """Sum and carry of up to three bits (a half or full adder)."""
        bits = [b for b in bits if b is not False]
        if len(bits) < 2:
            return (bits[0] if bits else False), False
        s, c = self.new(2)
        if len(bits) == 2:
            a, b = bits
            self.cls += [[-s, a, b], [-s, -a, -b], [s, -a, b], [s, a, -b], [-c, a], [-c, b], [c, -a, -b]]
            return s, c
        a, b, d = bits
        for m in range(8):
            lits = [-x if m >> i & 1 else x for i, x in enumerate(bits)]
            self.cls.append(lits + [s if bin(m).count("1") % 2 else -s])
        for x, y in ((a, b), (a, d), (b, d)):
            self.cls += [[-x, -y, c], [x, y, -c]]
        return s, c


def factoring(n, m, product):
    """x * y = product for an n-bit x and an m-bit y, both above 1, through
    an array multiplier: each row of partial products added to the sum of
    the rows before by a ripple-carry adder."""
    if product >= 1 << n + m:
        raise ValueError("%d does not fit in %d bits" % (product, n + m))
    c = Circuit()
    x, y = c.new(n), c.new(m)
    acc = [False] * (n + m)
    for j in range(m):
        carry = False
        for i in range(n):
            acc[i + j], carry = c.add([acc[i + j], c.and2(x[i], y[j]), carry])
        acc[n + j] = carry
    for k, bit in enumerate(acc):
        want = product >> k & 1
        if bit is False:
            if want:
                raise ValueError("product bit %d is constant" % k)
            continue
        c.cls.append([bit if want else -bit])
    c.cls += [x[1:], y[1:]]
    return c.nvars, c.cls


# ---------------------------------------------------------------- planning

GOAL = "123456780"
NEIGHBOURS = [[c + d for d, ok in ((-3, c >= 3), (3, c < 6), (-1, c % 3), (1, c % 3 < 2)) if ok]
              for c in range(9)]


def puzzle_distances():
    """Distance to GOAL of every reachable 8-puzzle state (strings of the
    tiles by cell, row by row, 0 the blank)."""
    dist, queue = {GOAL: 0}, deque([GOAL])
    while queue:
        s = queue.popleft()
        b = s.index("0")
        for c in NEIGHBOURS[b]:
            t = list(s)
            t[b], t[c] = t[c], "0"
            t = "".join(t)
            if t not in dist:
                dist[t] = dist[s] + 1
                queue.append(t)
    return dist


def puzzle(start, horizon):
    """Reaching GOAL from start in at most horizon moves. Variables at step
    t: at(t, cell, item) for the nine items (0 the blank) and move(t, c, c')
    for the blank going from c to a neighbour c' (the tile there goes to c).
    Every cell holds one item and every item is in one cell at every step.
    A move needs the blank at c at t and puts it at c' at t + 1 with the
    tile from c' at c; a cell the blank does not reach at t + 1 keeps its
    tile; without a move from its cell the blank stays. Two moves at once
    would put the blank in two cells, so a step is one move or none, and
    the formula is satisfiable exactly when horizon >= d."""
    at = lambda t, c, k: 1 + t * 81 + c * 9 + k  # noqa: E731
    base = 81 * (horizon + 1)
    moves = [(c, d) for c in range(9) for d in NEIGHBOURS[c]]
    move = lambda t, i: base + 1 + t * len(moves) + i  # noqa: E731
    cls = []
    for t in range(horizon + 1):
        for c in range(9):
            cls.append([at(t, c, k) for k in range(9)])
            cls += [[-at(t, c, k), -at(t, c, j)] for k in range(9) for j in range(k)]
        for k in range(9):
            cls.append([at(t, c, k) for c in range(9)])
            cls += [[-at(t, c, k), -at(t, e, k)] for c in range(9) for e in range(c)]
    for t in range(horizon):
        # Without a move from its cell, the blank stays.
        cls += [[-at(t, c, 0), at(t + 1, c, 0)] + [move(t, i) for i, m in enumerate(moves) if m[0] == c]
                for c in range(9)]
        for i, (c, d) in enumerate(moves):
            cls += [[-move(t, i), at(t, c, 0)], [-move(t, i), at(t + 1, d, 0)]]
            cls += [[-move(t, i), -at(t, d, k), at(t + 1, c, k)] for k in range(1, 9)]
        cls += [[-at(t, c, k), at(t + 1, c, 0), at(t + 1, c, k)] for c in range(9) for k in range(1, 9)]
    cls += [[at(0, c, int(k))] for c, k in enumerate(start)]
    cls += [[at(horizon, c, int(k))] for c, k in enumerate(GOAL)]
    return base + horizon * len(moves), cls


# ---------------------------------------------------------------- the set

def instances():
    """(name, family, comment, vars, clauses, expected) of every instance."""
    out = []
    for shape, n, d, parity in [("pyramid", 12, 3, False), ("pyramid", 24, 4, False), ("pyramid", 10, 3, True),
                                ("pyramid", 12, 4, True), ("grid", 20, 3, False)]:
        nv, cls = pebbling.formula(shape, n, d, parity)
        name = "pebbling-%s%d-c%d-%s" % (shape, n, d, "xor" if parity else "or")
        out.append((name, "pebbling", "pebbling formula: %s of size %d, %d variables per node, %s form"
                    % (shape, n, d, "XOR" if parity else "OR"), nv, cls, "UNSAT"))
    for seed, kind in enumerate(["unsat", "sat", "flipped", "mixed"]):
        nv, cls, exp = horn(seed + 1, 6000, 15600, kind, ratio=4.0)
        out.append(("horn-%s" % kind, "horn", "random layered Horn formula, %s (verdict from forward chaining)"
                    % kind, nv, cls, exp))
    rng = Rng(7)
    for n, m, sat in [(18, 18, True), (20, 20, True), (21, 21, True), (19, 19, False), (22, 22, False)]:
        if sat:
            p, q = prime_of_width(rng, n), prime_of_width(rng, m)
            product, what = p * q, "%d * %d" % (p, q)
        else:
            product = prime_of_width(rng, n + m)
            what = "prime"
        nv, cls = factoring(n, m, product)
        out.append(("factoring-%dx%d-%s" % (n, m, "sat" if sat else "unsat"), "factoring",
                    "array multiplier %d x %d bits, product %d (%s), factors above 1" % (n, m, product, what),
                    nv, cls, "SAT" if sat else "UNSAT"))
    dist = puzzle_distances()
    by_dist = {}
    for s in sorted(dist):
        by_dist.setdefault(dist[s], []).append(s)
    rng = Rng(11)
    for d in (24, 28, 31):
        start = by_dist[d][rng.below(len(by_dist[d]))]
        for horizon in (d, d - 1):
            nv, cls = puzzle(start, horizon)
            out.append(("planning-8puzzle-d%d-t%d" % (d, horizon), "planning",
                        "8-puzzle from %s to %s (distance %d) in at most %d moves" % (start, GOAL, d, horizon),
                        nv, cls, "SAT" if horizon >= d else "UNSAT"))
    return out


def dimacs(comment, nvars, clauses):
    head = "c %s\np cnf %d %d\n" % (comment, nvars, len(clauses))
    return (head + "".join(" ".join(map(str, c)) + " 0\n" for c in clauses)).encode()


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--out", required=True, help="directory of manifest.tsv and cnf/")
    a = ap.parse_args(argv)
    os.makedirs(os.path.join(a.out, "cnf"), exist_ok=True)
    rows = ["file\tfamily\tvars\tclauses\texpected\tsource\n"]
    for name, family, comment, nv, cls, expected in instances():
        file = name + ".cnf.xz"
        with open(os.path.join(a.out, "cnf", file), "wb") as f:
            f.write(lzma.compress(dimacs(comment, nv, cls)))
        rows.append("\t".join([file, family, str(nv), str(len(cls)), expected, SOURCE]) + "\n")
    with open(os.path.join(a.out, "manifest.tsv"), "w") as f:
        f.write("".join(rows))


if __name__ == "__main__":
    main()
