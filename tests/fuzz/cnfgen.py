#!/usr/bin/env python3
"""Seedable CNF generator: `cnfgen.py SEED [FAMILY]` writes one formula.
Families (each found faults): random k-SAT near the threshold, pigeon-hole,
XOR systems and pairs of parity chains, graph colouring, unrolled counters and
shift registers, and pebbling formulas (for the preprocessor). A quarter of
the cases get mischief: units, duplicate literals, tautologies, repeated
clauses, rarely an empty clause or a huge variable, unused variables, comment
lines, CRLF line ends."""
import itertools, random, sys


def maxvar(cls):
    return max((abs(l) for c in cls for l in c), default=0)


def dimacs(cls):
    return "p cnf %d %d\n" % (maxvar(cls), len(cls)) + "".join(" ".join(map(str, c + [0])) + "\n" for c in cls)


def clauses_of(text):
    cls = [[]]
    for line in text.splitlines():
        for t in line.split() if line.strip()[:1] not in ("c", "p") else []:
            cls[-1].append(int(t)) if t != "0" else cls.append([])
    return cls[:-1]


def size(r, lo, hi):  # mostly small, sometimes up to hi
    return r.randint(lo, min(hi, r.choice([lo + 30] * 6 + [lo + (hi - lo) // 3] * 3 + [hi])))


def xor(vs, parity):  # XOR(vs) == parity, direct encoding
    return [[-v if m >> i & 1 else v for i, v in enumerate(vs)]
            for m in range(1 << len(vs)) if bin(m).count("1") % 2 != parity]


def chain(vs, parity, new, cls):  # t1 = v1^v2, t2 = t1^v3, ...; the last one equals parity
    acc = vs[0]
    for v in vs[1:]:
        t = new()
        cls += xor([acc, v, t], 0)
        acc = t
    cls.append([acc if parity else -acc])


def ksat(r, new):
    k = r.choice([2, 3, 3, 3, 4, 5])
    n = size(r, k + 1, {2: 300, 3: 160, 4: 70, 5: 40}[k])
    m = max(1, round({2: 1.0, 3: 4.267, 4: 9.931, 5: 21.117}[k] * r.uniform(.85, 1.15) * n))
    return "k=%d n=%d m=%d" % (k, n, m), [[v * r.choice([1, -1]) for v in r.sample(range(1, n + 1), k)]
                                          for _ in range(m)]


def php(r, new):  # n + 1 or n pigeons into n holes
    h = r.randint(1, 6)
    p = h + (r.random() < .7)
    x = [[new() for _ in range(h)] for _ in range(p)]
    cls = x + [[-x[a][j], -x[b][j]] for j in range(h) for a in range(p) for b in range(a + 1, p)]
    return "pigeons=%d holes=%d" % (p, h), r.sample(cls, len(cls))


def parity(r, new):  # a sparse XOR system, maybe inconsistent, or two chains over the same variables
    two = r.random() < .5
    n = size(r, 2, 12 if two else 24)  # two chains are exponentially hard for resolution: keep them short
    vs, cls = [new() for _ in range(n)], []
    if two:
        p = r.randint(0, 1)
        chain(vs, p, new, cls)
        chain(r.sample(vs, n), p if r.random() < .3 else 1 - p, new, cls)
    else:
        hidden = {v: r.randint(0, 1) for v in vs}
        for _ in range(r.randint(max(1, n // 2), n + 2)):
            s = r.sample(vs, r.randint(1, min(n, 4)))
            chain(s, (sum(hidden[v] for v in s) + (r.random() < .15)) % 2, new, cls)
    return "%s n=%d" % ("twochains" if two else "system", n), r.sample(cls, len(cls))


def colour(r, new):  # k-colouring of a random graph around the threshold
    k = r.choice([2, 3, 3, 4])
    n = size(r, 3, 45 if k < 4 else 30)
    p = min(1.0, {2: 1.2, 3: 4.6, 4: 8.4}[k] * r.uniform(.7, 1.3) / (n - 1))
    x = [[new() for _ in range(k)] for _ in range(n)]
    cls = x + [[-x[u][c], -x[u][d]] for u in range(n) for c in range(k) for d in range(c + 1, k)]
    edges = [(u, w) for u in range(n) for w in range(u + 1, n) if r.random() < p]
    cls += [[-x[u][c], -x[w][c]] for u, w in edges for c in range(k)]
    return "k=%d nodes=%d edges=%d" % (k, n, len(edges)), cls


def counter(r, new):  # w-bit counter from 0, +1 or hold at each step: target reachable iff <= steps
    w = r.randint(2, 5)
    steps, target = r.randint(1, min(12, 2 ** w + 2)), r.randrange(2 ** w)
    st = [[new() for _ in range(w)] for _ in range(steps + 1)]
    cls = [[-b] for b in st[0]] + [[b if target >> i & 1 else -b] for i, b in enumerate(st[-1])]
    for cur, nxt in zip(st, st[1:]):
        carry = new()
        for i, (a, b) in enumerate(zip(cur, nxt)):
            cls += xor([a, carry, b], 0)
            if i + 1 < w:
                c = new()
                cls += [[-c, a], [-c, carry], [c, -a, -carry]]
                carry = c
    return "w=%d steps=%d target=%d" % (w, steps, target), cls


def shift(r, new):  # LFSR, maybe with a free input bit: is a chosen state reachable?
    w = r.randint(3, 8)
    steps, taps, free = r.randint(1, 2 * w), sorted(r.sample(range(w), r.randint(1, 3))), r.random() < .5
    st = [[new() for _ in range(w)] for _ in range(steps + 1)]
    cls = [[b * r.choice([1, -1])] for b in st[0] + st[-1]]
    for cur, nxt in zip(st, st[1:]):
        cls += [c for i in range(1, w) for c in ([-cur[i - 1], nxt[i]], [cur[i - 1], -nxt[i]])]
        chain([cur[j] for j in taps] + ([new()] if free else []) + [nxt[0]], 0, new, cls)
    return "w=%d steps=%d taps=%s input=%d" % (w, steps, taps, free), cls


def pebbling(r, new):  # a pyramid or grid of implications, OR or XOR of d variables per node; a third made SAT
    shape, d = r.choice(["pyramid", "grid"]), r.randint(1, 3)
    n, parity = r.randint(2, 6 if shape == "pyramid" else 4), d > 1 and r.random() < .3
    if shape == "pyramid":
        nodes = [(a, i) for a in range(n) for i in range(n - a)]
        preds = {(a, i): [(a - 1, i), (a - 1, i + 1)] if a else [] for a, i in nodes}
    else:
        nodes = sorted(((i, j) for i in range(n) for j in range(n)), key=lambda p: (p[0] + p[1], p))
        preds = {(i, j): [p for p in ((i - 1, j), (i, j - 1)) if min(p) >= 0] for i, j in nodes}
    var = {v: [new() for _ in range(d)] for v in nodes}
    def pebbled(xs, yes):  # the clauses saying so
        if not parity:
            return [list(xs)] if yes else [[-x] for x in xs]
        return [[-x if m >> i & 1 else x for i, x in enumerate(xs)]
                for m in range(1 << len(xs)) if bin(m).count("1") % 2 != yes]
    cls = [sum(c, []) for v in nodes
           for c in itertools.product(*[pebbled(var[p], False) for p in preds[v]] + [pebbled(var[v], True)])]
    cls += pebbled(var[nodes[-1]], False)
    if r.random() < .3:
        del cls[r.randrange(len(cls))]
    return "%s n=%d d=%d%s" % (shape, n, d, " xor" * parity), r.sample(cls, len(cls))


FAMILIES = {"ksat": (ksat, 45), "php": (php, 8), "parity": (parity, 12),
            "colour": (colour, 12), "counter": (counter, 10), "shift": (shift, 13), "pebbling": (pebbling, 8)}


def generate(seed, family=None):
    """(description, DIMACS text, clause list) of case `seed`."""
    r = random.Random("cnfgen-%s" % seed)
    family = family or r.choices(list(FAMILIES), [w for _, w in FAMILIES.values()])[0]
    desc, cls = FAMILIES[family][0](r, itertools.count(1).__next__)
    desc, nv, crlf, comments = family + " " + desc, maxvar(cls), False, False
    if r.random() < .25:
        for _ in range(r.randint(1, 8)):
            c, v = r.choice([c for c in cls if c]), r.randint(1, nv) * r.choice([1, -1])
            extra = r.choice([[v], c + [r.choice(c)], [v, -v] + r.sample(c, min(len(c), r.randint(0, 2))), c,
                              [] if r.random() < .1 else [v], [v, 2000000] if r.random() < .05 else [-v]])
            cls.insert(r.randint(0, len(cls)), r.sample(extra, len(extra)))
        desc, crlf, comments, nv = desc + " mischief", r.random() < .3, r.random() < .5, nv + r.choice([0, 7])
    lines = ["c " + desc] * comments + ["p cnf %d %d" % (max(nv, maxvar(cls)), len(cls))]
    for c in cls:
        lines += ["c between clauses"] * (comments and r.random() < .05) + [" ".join(map(str, c + [0]))]
    return desc, ("\r\n" if crlf else "\n").join(lines) + "\n", cls


if __name__ == "__main__":
    sys.stdout.write(generate(*sys.argv[1:3])[1] if 1 < len(sys.argv) < 4 else __doc__ + "\n")
