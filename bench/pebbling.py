#!/usr/bin/env python3
"""Pebbling formulas: unsatisfiable and easy for resolution, yet out of reach
of a clause-learning search that meets them without preprocessing.

  pebbling.py [--shape pyramid|grid] [--size N] [--colours D] [--xor]

The graph is a DAG with one sink: a pyramid of N rows (row r has N - r
nodes, each above two neighbours of the row below) or an N x N grid (each
node above its left and lower neighbours, the sink in the far corner). Each
node v carries D variables, and "v is pebbled" means that one of them is
true (with --xor: that an odd number of them is). The clauses say: every
source is pebbled; a node whose predecessors are all pebbled is pebbled;
the sink is not. Each of these is written out in clauses over the
variables: a node's D variables appear in D clauses of every rule that
needs it pebbled (2^(D-1) with --xor)."""
import argparse, itertools, sys


def dag(shape, n):
    """(nodes in topological order, predecessors of each node)."""
    if shape == "pyramid":
        nodes = [(r, i) for r in range(n) for i in range(n - r)]
        return nodes, {(r, i): [(r - 1, i), (r - 1, i + 1)] if r else [] for r, i in nodes}
    nodes = sorted(((i, j) for i in range(n) for j in range(n)), key=lambda p: (p[0] + p[1], p))
    return nodes, {(i, j): [p for p in ((i - 1, j), (i, j - 1)) if min(p) >= 0] for i, j in nodes}


def cnf(xs, pebbled, parity):
    """The clauses saying that the node with variables xs is (not) pebbled."""
    if not parity:
        return [list(xs)] if pebbled else [[-x] for x in xs]
    # Forbid every assignment of the wrong parity.
    return [[-x if m >> i & 1 else x for i, x in enumerate(xs)]
            for m in range(1 << len(xs)) if bin(m).count("1") % 2 != pebbled]


def formula(shape, n, d, parity):
    nodes, preds = dag(shape, n)
    var = {v: [k * d + c + 1 for c in range(d)] for k, v in enumerate(nodes)}
    cls = []
    for v in nodes:
        # not pebbled(p) for some predecessor p, or pebbled(v): the product
        # of the clause sets, one clause from each.
        parts = [cnf(var[p], False, parity) for p in preds[v]] + [cnf(var[v], True, parity)]
        cls += [sum(choice, []) for choice in itertools.product(*parts)]
    cls += cnf(var[nodes[-1]], False, parity)
    return len(nodes) * d, cls


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--shape", choices=["pyramid", "grid"], default="pyramid")
    ap.add_argument("--size", type=int, default=10)
    ap.add_argument("--colours", type=int, default=2)
    ap.add_argument("--xor", action="store_true")
    a = ap.parse_args()
    nv, cls = formula(a.shape, a.size, a.colours, a.xor)
    sys.stdout.write("c pebbling %s size %d colours %d%s\n" % (a.shape, a.size, a.colours, " xor" * a.xor))
    sys.stdout.write("p cnf %d %d\n" % (nv, len(cls)) + "".join(" ".join(map(str, c + [0])) + "\n" for c in cls))


if __name__ == "__main__":
    main()
