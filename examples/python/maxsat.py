#!/usr/bin/env python3
"""A small core-guided MaxSAT solver over quelt.Solver: the weighted Fu-Malik
algorithm (Fu and Malik, SAT 2006; weighted by Ansotegui, Bonet and Levy,
SAT 2009), written with the solver interface alone.

Each soft clause gets a selector: the solver holds (clause or not selector)
and every solve assumes all selectors. An unsatisfiable solve names a core,
some soft clauses that cannot all hold; the cost goes up by the least weight
w among them. Each clause of the core is then relaxed: its copy with a fresh
relaxation variable takes weight w (a clause of weight above w keeps the rest
under a new selector), and exactly one of the core's relaxation variables may
be true. The first satisfiable solve is an optimum.

Usage: maxsat.py FILE.wcnf   (weighted DIMACS: "p wcnf VARS CLAUSES TOP", each
clause preceded by its weight, TOP for a hard clause). Prints "o COST" and
"v" with the optimal assignment, or "s UNSATISFIABLE" when the hard clauses
cannot hold.
"""
import sys

import quelt


def read_wcnf(path):
    hard, soft, top = [], [], None
    with open(path) as f:
        for line in f:
            words = line.split()
            if not words or words[0] == "c":
                continue
            if words[0] == "p":
                top = int(words[4])
                continue
            weight, lits = int(words[0]), [int(w) for w in words[1:-1]]
            (hard.append(lits) if weight == top else soft.append((lits, weight)))
    return hard, soft


def fu_malik(hard, soft):
    """(cost, model) of an optimum, or None when the hard clauses are
    unsatisfiable."""
    with quelt.Solver(bootstrap_with=hard) as s:
        top = max([s.nof_vars()] + [abs(l) for lits, _ in soft for l in lits])

        def fresh():  # above the variables of add_atmost's encodings too
            nonlocal top
            top = max(top, s.nof_vars()) + 1
            return top

        active = {}  # selector -> (clause with its relaxation variables, weight)

        def add_soft(lits, weight):
            selector = fresh()
            s.add_clause(lits + [-selector])
            active[selector] = (lits, weight)

        for lits, weight in soft:
            add_soft(list(lits), weight)
        cost = 0
        while not s.solve(list(active)):
            core = s.get_core()
            if not core:
                return None
            least = min(active[b][1] for b in core)
            cost += least
            relaxed = []
            for b in core:
                lits, weight = active.pop(b)
                s.add_clause([-b])  # the old selector is retired
                if weight > least:
                    add_soft(lits, weight - least)
                relaxed.append(fresh())
                add_soft(lits + [relaxed[-1]], least)
            s.add_clause(relaxed)
            s.add_atmost(relaxed, 1)
        return cost, s.get_model()


def main(path):
    hard, soft = read_wcnf(path)
    result = fu_malik(hard, soft)
    if result is None:
        print("s UNSATISFIABLE")
        return 20
    cost, model = result
    nvars = max([abs(l) for c in hard for l in c] + [abs(l) for c, _ in soft for l in c])
    print("o %d" % cost)
    print("v " + " ".join(map(str, model[:nvars])))
    return 30


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
