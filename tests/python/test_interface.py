"""The common Python solver interface on quelt.Solver, one table of cases:
the three answers of solve_limited and its budgets, propagate, enum_models
against enumeration, add_atmost against counting, proofs through the
project's checker, and the reader and install-check messages."""
import bz2, gzip, itertools, lzma, os, random, subprocess, sys, tempfile, unittest
from pathlib import Path

import quelt

ROOT = Path(__file__).resolve().parents[2]


def pigeonhole(holes):
    p = lambda i, j: i * holes + j + 1
    return [[p(i, j) for j in range(holes)] for i in range(holes + 1)] + \
        [[-p(i, j), -p(k, j)] for j in range(holes) for i in range(holes + 1) for k in range(i)]


def models_by_enumeration(clauses, nvars, assumptions=()):
    return sorted(m for m in ([v if bit else -v for v, bit in zip(range(1, nvars + 1), bits)]
                              for bits in itertools.product((0, 1), repeat=nvars))
                  if all(any(l in m for l in c) for c in clauses) and set(assumptions) <= set(m))


def budgets(s):
    s.append_formula(pigeonhole(5))
    answers = []
    for set_budget in (lambda: s.conf_budget(5), lambda: s.prop_budget(30), lambda: s.dec_budget(1),
                       lambda: s.interrupt(), lambda: (s.interrupt(), s.clear_interrupt()),
                       lambda: s.conf_budget(-1)):
        set_budget()
        answers.append((s.solve_limited(expect_interrupt=True), s.get_status()))
    # A budget holds for the next limited solve only; solve() never reads it.
    with quelt.Solver(bootstrap_with=[[1, 2], [3, 4]]) as sat:
        sat.dec_budget(1)
        answers.append((sat.get_status(), sat.solve(), sat.solve_limited(), sat.get_status(),
                        sat.solve_limited()))
    return answers


def enumerated(s):
    rng = random.Random(5)
    clauses = [[rng.choice((1, -1)) * v for v in rng.sample(range(1, 9), 3)] for _ in range(14)]
    found = []
    for assumptions in ([], [2, -5]):
        with quelt.Solver(bootstrap_with=clauses) as t:
            models = list(t.enum_models(assumptions))
            found.append(sorted(models) == models_by_enumeration(clauses, 8, assumptions) != [])
    return found


def atmost_by_counting(s):
    # Every assignment of the five literals is satisfiable exactly when at
    # most k of them are true; the encoding's variables are fresh and frozen.
    lits, wrong = [1, -2, 3, 7, -5], []
    for k in range(-1, 6):
        with quelt.Solver(bootstrap_with=[[7, 8]]) as t:
            t.add_atmost(lits, k)
            for bits in itertools.product((0, 1), repeat=5):
                given = [l if bit else -l for l, bit in zip(lits, bits)]
                if t.solve(given) != (sum(bits) <= k):
                    wrong.append((k, given))
            fresh = range(9, t.nof_vars() + 1)
            if not all(t.is_frozen(v) for v in fresh):
                wrong.append((k, "not frozen"))
    return wrong


def proof_checked(s):
    clauses = pigeonhole(4)
    with quelt.Solver(bootstrap_with=clauses, with_proof=True) as t, tempfile.TemporaryDirectory() as tmp:
        verdict = t.solve()
        cnf, drat = Path(tmp, "f.cnf"), Path(tmp, "f.drat")
        cnf.write_text("p cnf 20 %d\n" % len(clauses) + "".join(" ".join(map(str, c)) + " 0\n" for c in clauses))
        drat.write_text("\n".join(t.get_proof()) + "\n")
        check = subprocess.run([os.environ["QUELT_DRAT_CHECK"], str(cnf), str(drat)], capture_output=True, text=True)
        return verdict, check.stdout.splitlines()[-1], quelt.Solver().get_proof()


def timers():
    with quelt.Solver(bootstrap_with=pigeonhole(4), use_timer=True) as t, quelt.Solver() as untimed:
        verdict = t.solve() or t.solve()
        untimed.solve()
        return verdict, t.time_accum() >= t.time() >= 0, untimed.time_accum(), sorted(t.accum_stats())


def read_back(s):
    text = "c a comment\np cnf 4 2\n1 -2 0\n3\n 0\n%\n0\n"
    with tempfile.TemporaryDirectory() as tmp:
        read = []
        for name, write in (("plain", Path.write_bytes), ("gz", lambda p, b: p.write_bytes(gzip.compress(b))),
                            ("bz2", lambda p, b: p.write_bytes(bz2.compress(b))),
                            ("xz", lambda p, b: p.write_bytes(lzma.compress(b)))):
            write(Path(tmp, name), text.encode())
            read.append(quelt.read_dimacs(str(Path(tmp, name))))
        Path(tmp, "bad").write_text("p cnf 2 1\n1 x 0\n")
        try:
            quelt.read_dimacs(str(Path(tmp, "bad")))
        except ValueError as e:
            read.append(str(e).replace(tmp, "DIR"))
    return read


def missing_tools(s):
    code = "import sys; sys.path.insert(0, %r); import quelt_build; print(quelt_build.missing_message())"
    run = lambda path: subprocess.run([sys.executable, "-c", code % str(ROOT / "python")], capture_output=True,
                                      text=True, env={"PATH": path}).stdout.strip()
    return run(os.environ.get("PATH", "")), run("/nonexistent")


def by_variable(result):  # after 2, both 3 and -4 are implied, in watch order
    return result[0], sorted(result[1], key=abs)


CASES = [
    ("budgets, interrupts and the three answers", budgets,
     [(None, None)] * 4 + [(False, False)] * 2 + [(None, True, None, None, True)]),
    ("propagate on a unit chain", lambda s: (s.append_formula([[-1, 2], [-2, 3], [-3, 4], [5]]),
                                             s.propagate([1]), s.propagate([3, 2]), s.propagate([-5]))[1:],
     ((True, [1, 2, 3, 4]), (True, [3, 4, 2]), (False, []))),
    ("propagate up to a conflict", lambda s: (s.append_formula([[-1, 2], [-2, 3], [-3, 4], [-4, -2]]),
                                              by_variable(s.propagate([1])), s.propagate([-3, 1]),
                                              s.solve([-3]))[1:],
     ((False, [1, 2, 3, -4]), (False, [-3, -2, -1]), True)),
    ("a clause refuting the formula", lambda s: [s.add_clause([1], no_return=False),
                                                 s.append_formula([[-1, 2]], no_return=False),
                                                 s.add_clause([-2], no_return=False), s.solve()],
     [True, True, False, False]),
    ("the core as the assumptions were passed", lambda s: (s.append_formula([[-3, -1]]),
                                                           s.solve([5, 3, 2, 3, 1]), s.get_core())[1:],
     (False, [3, 1])),
    ("phases", lambda s: (s.set_phases([1, -2, 3]), s.solve(), s.get_model())[1:], (True, [1, -2, 3])),
    ("enum_models against enumeration", enumerated, [True, True]),
    ("add_atmost against counting", atmost_by_counting, []),
    ("supports_atmost", lambda s: s.supports_atmost(), True),
    ("get_proof through the checker", proof_checked, (False, "s VERIFIED", None)),
    ("accumulated counters and timers", lambda s: timers(), (False, True, 0.0,
                                                             ["conflicts", "decisions", "propagations", "restarts"])),
    ("read_dimacs", read_back, [(4, [[1, -2], [3]])] * 4 + ["DIR/bad:2: not a literal: x"]),
    ("the missing tools, named", missing_tools,
     ("None", "quelt: cannot build without cmake and a C++ compiler; install with: apt-get install cmake g++ "
              "(or run make deps as root in the source tree)")),
]


class InterfaceTest(unittest.TestCase):
    def test_cases(self):
        for name, run, expected in CASES:
            with self.subTest(name), quelt.Solver(incr=True) as s:
                self.assertEqual(run(s), expected)


if __name__ == "__main__":
    unittest.main()
