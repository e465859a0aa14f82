"""The quelt Python module, as installed: verdicts against minisat, models
against every clause, failed assumptions re-solved alone, the error texts,
limits, interrupt and terminate, the solver's life cycle."""
import random, shutil, subprocess, tempfile, threading, time, unittest

import quelt


def random_3sat(rng, nvars, nclauses):
    return [[rng.choice((1, -1)) * v for v in rng.sample(range(1, nvars + 1), 3)] for _ in range(nclauses)]


def pigeonhole(holes):  # holes + 1 pigeons: unsatisfiable, and hard for clause learning
    p = lambda i, j: i * holes + j + 1
    return [[p(i, j) for j in range(holes)] for i in range(holes + 1)] + \
        [[-p(i, j), -p(k, j)] for j in range(holes) for i in range(holes + 1) for k in range(i)]


def minisat_verdict(clauses):
    with tempfile.NamedTemporaryFile("w", suffix=".cnf") as f:
        f.write("p cnf %d %d\n" % (max(abs(l) for c in clauses for l in c), len(clauses)))
        f.writelines(" ".join(map(str, c)) + " 0\n" for c in clauses)
        f.flush()
        return {10: True, 20: False}[subprocess.run(["minisat", f.name], capture_output=True).returncode]


class SolveTest(unittest.TestCase):
    def test_models_and_verdicts(self):
        rng = random.Random(7)
        for n in range(12):
            clauses = random_3sat(rng, 40, 150 + 5 * n)  # around the threshold: both verdicts
            # Every other one with two solvers in parallel threads, which
            # share clauses in every other of those.
            with self.subTest(n=n), quelt.Solver(threads=1 + n % 2, share=n % 4 != 3) as s:
                s.append_formula(iter(clauses))
                verdict = s.solve()
                if shutil.which("minisat"):
                    self.assertEqual(verdict, minisat_verdict(clauses))
                self.assertEqual(s.nof_clauses(), len(clauses))
                if not verdict:
                    self.assertIsNone(s.get_model())
                    continue
                model = s.get_model()
                self.assertEqual([abs(l) for l in model], list(range(1, s.nof_vars() + 1)))
                self.assertTrue(all(any(l in model for l in c) for c in clauses))
                self.assertTrue(all(s.value(l) and not s.value(-l) for l in model))
                self.assertIsNone(s.get_core())

    def test_failed_assumptions_refute_the_formula_alone(self):
        rng = random.Random(3)
        clauses = random_3sat(rng, 30, 100)
        for n in range(10):
            assumptions = [rng.choice((1, -1)) * v for v in rng.sample(range(1, 31), 12)]
            with self.subTest(n=n), quelt.Solver() as s:
                s.append_formula(clauses)
                if s.solve(assumptions) is not False:
                    continue
                core = s.get_core()
                self.assertTrue(set(core) <= set(assumptions))
                self.assertIsNone(s.get_model())
                self.assertRaises(RuntimeError, s.value, 1)
                with quelt.Solver() as alone:
                    alone.append_formula(clauses + [[l] for l in core])
                    self.assertIs(alone.solve(), False)
        with quelt.Solver() as s:
            s.append_formula([[1], [-1]])
            self.assertEqual((s.solve([2]), s.get_core()), (False, []))


class InterfaceTest(unittest.TestCase):
    def test_parameters_and_errors(self):
        quelt.Solver("sw-verification", sp_first_restart=200, sp_variable_decay=1.2)
        s = quelt.Solver()
        s.add_clause([1, 2])
        for call, error, text in [
                (lambda: quelt.Solver(sp_first_restart=5), ValueError,
                 "Parameter sp-first-restart out of range.\nAllowed range [10,10000] (inclusive)"),
                (lambda: quelt.Solver(sp_no_such=1), ValueError, "Unknown parameter sp-no-such."),
                (lambda: quelt.Solver("fast"), ValueError, "Unknown preset fast."),
                (lambda: quelt.Solver(sp_first_restart="9"), TypeError,
                 "Parameter sp-first-restart takes a number, not str."),
                (lambda: s.append_formula([[-1], [3, 0]]), ValueError, "Not a literal: 0."),
                (lambda: s.append_formula([[-1], [2 ** 31]]), ValueError, "Not a literal: 2147483648."),
                (lambda: s.add_clause([-2 ** 31]), ValueError, "Not a literal: -2147483648."),
                (lambda: s.add_clause([1.0]), TypeError, "'float' object cannot be interpreted as an integer"),
                (lambda: s.value(1), RuntimeError, "No model: the last solve was not satisfiable."),
                (lambda: s.freeze(0), ValueError, "Not a variable: 0."),
                (lambda: s.melt(4), RuntimeError, "Variable 4 is not frozen."),
                (lambda: s.set_terminate(1), TypeError, "The terminate callback is not callable.")]:
            with self.subTest(text=text), self.assertRaises(error) as caught:
                call()
            self.assertEqual(str(caught.exception), text)
        # None of the bad clause lists above was added, not even in part.
        self.assertEqual((s.nof_clauses(), s.solve([-2]), s.get_model()), (1, True, [1, -2]))
        with self.assertRaises(IndexError) as caught:
            s.value(3)
        self.assertEqual(str(caught.exception), "Variable 3 is not in the model.")
        s.freeze(4)
        s.freeze(4)
        s.melt(4)
        self.assertTrue(s.is_frozen(4))
        s.melt(4)
        self.assertFalse(s.is_frozen(4))
        self.assertLessEqual({"conflicts", "decisions", "propagations", "restarts"}, set(s.statistics()))

    def test_limits_interrupt_and_terminate(self):
        s = quelt.Solver()
        s.append_formula(pigeonhole(9))
        self.assertIsNone(s.solve(conflicts=10))
        self.assertIsNone(s.solve(seconds=0))
        s.set_terminate(lambda: True)
        self.assertIsNone(s.solve())
        s.set_terminate(lambda: 1 / 0)
        self.assertRaises(ZeroDivisionError, s.solve)
        s.set_terminate(None)
        s.interrupt()  # while no solve runs: stops the next one at once
        self.assertIsNone(s.solve())
        self.assertGreaterEqual(s.statistics()["conflicts"], 10)

        # The solve runs in a thread without the GIL, so this thread goes on,
        # finds the solver busy (a solve under way), and interrupts it.
        result = []
        worker = threading.Thread(target=lambda: result.append(s.solve()))
        worker.start()
        while worker.is_alive():
            try:
                s.nof_vars()
            except RuntimeError as busy:
                self.assertEqual(str(busy), "The solver is solving.")
                break
            time.sleep(0.001)
        s.interrupt()
        worker.join()
        self.assertEqual(result, [None])

    def test_life_cycle(self):
        with quelt.Solver() as s:
            s.add_clause([1])
            self.assertIs(s.solve(), True)
        with self.assertRaises(RuntimeError) as caught:
            s.solve()
        self.assertEqual(str(caught.exception), "The solver has been deleted.")
        s.interrupt()
        s.delete()


if __name__ == "__main__":
    unittest.main()
