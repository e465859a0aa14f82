"""The Python examples, run as a user runs them: the MaxSAT optimum against
every assignment of the bundled formula, the n-queens counts and board."""
import itertools, os, subprocess, sys, unittest
from pathlib import Path

EXAMPLES = Path(__file__).resolve().parents[2] / "examples" / "python"


def run(*args):
    done = subprocess.run([sys.executable, *map(str, args)], capture_output=True, text=True, env=os.environ)
    return done.returncode, done.stdout.splitlines()


class ExamplesTest(unittest.TestCase):
    def test_maxsat_finds_the_optimum(self):
        wcnf = EXAMPLES / "scheduling.wcnf"
        rows = [list(map(int, l.split()[:-1])) for l in wcnf.read_text().splitlines() if l[:1].isdigit()]
        hard = [r[1:] for r in rows if r[0] == 100]
        soft = [(r[1:], r[0]) for r in rows if r[0] != 100]
        cost = lambda m: sum(w for c, w in soft if not any(l in m for l in c))
        models = [[v if b else -v for v, b in enumerate(bits, 1)] for bits in itertools.product((0, 1), repeat=6)]
        best = min(cost(m) for m in models if all(any(l in m for l in c) for c in hard))
        status, out = run(EXAMPLES / "maxsat.py", wcnf)
        model = list(map(int, out[1].split()[1:]))
        self.assertEqual((status, out[0]), (30, "o %d" % best))
        self.assertTrue(all(any(l in model for l in c) for c in hard))
        self.assertEqual(cost(model), best)

    def test_queens(self):
        for n, count in ((1, 1), (3, 0), (6, 4), (8, 92)):
            with self.subTest(n=n):
                status, out = run(EXAMPLES / "queens.py", n)
                self.assertEqual((status, out[0]), (0, "%d solutions" % count))
                columns = [row.split().index("Q") for row in out[1:]]
                self.assertEqual(len(columns), n if count else 0)
                self.assertTrue(all(columns[i] != columns[j] and abs(columns[i] - columns[j]) != j - i
                                    for i, j in itertools.combinations(range(len(columns)), 2)))


if __name__ == "__main__":
    unittest.main()
