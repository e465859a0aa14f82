"""The second benchmark set (bench/families.py): verdicts of small members of
each family by a tiny search, models decoded back into factors and moves, the
8-puzzle distances, and the written set against its manifest."""
import lzma, os, sys, tempfile, unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import families, pebbling  # noqa: E402


def solve(clauses):
    """A model (set of true literals) or None: unit propagation and
    splitting, enough for a few hundred variables."""
    def search(model):
        while True:
            units, split = set(), None
            for c in clauses:
                if any(l in model for l in c):
                    continue
                free = [l for l in c if -l not in model]
                if not free:
                    return None
                if len(free) == 1:
                    units.add(free[0])
                split = split or free[0]
            if not units:
                break
            if any(-l in units for l in units):
                return None
            model = model | units
        return model if split is None else search(model | {split}) or search(model | {-split})
    return search(frozenset())


class FamiliesTest(unittest.TestCase):
    def test_pebbling_and_horn_verdicts(self):
        for shape, n, d, parity in [("pyramid", 3, 2, False), ("pyramid", 3, 2, True), ("grid", 3, 2, False)]:
            self.assertIsNone(solve(pebbling.formula(shape, n, d, parity)[1]))
        for seed in range(1, 4):
            for kind in ["unsat", "sat", "flipped", "mixed"]:
                with self.subTest(seed=seed, kind=kind):
                    _, cls, expected = families.horn(seed, 120, 312, kind, ratio=2.0)
                    model = solve(cls)
                    self.assertEqual(expected, "SAT" if model is not None else "UNSAT")

    def test_factoring(self):
        for product in range(1 << 6):
            nv, cls = families.factoring(3, 3, product)
            model = solve(cls)
            composite = any(product == x * y for x in range(2, 8) for y in range(2, 8))
            self.assertEqual(composite, model is not None, product)
            if model:
                x, y = (sum(1 << i for i in range(3) if v + i in model) for v in (1, 4))
                self.assertEqual((x * y, x > 1, y > 1), (product, True, True))

    def test_puzzle(self):
        dist = families.puzzle_distances()
        self.assertEqual(len(dist), 181440)
        self.assertEqual(sorted(s for s in dist if dist[s] == 31), ["647850321", "867254301"])
        self.assertEqual((dist["123456708"], dist["123406758"], dist["023156478"]), (1, 2, 4))
        start = "023156478"
        for horizon in range(1, 6):
            nv, cls = families.puzzle(start, horizon)
            model = solve(cls)
            self.assertEqual(model is not None, horizon >= 4, horizon)
            if model:
                states = ["".join(str(k) for c in range(9) for k in range(9) if 1 + t * 81 + c * 9 + k in model)
                          for t in range(horizon + 1)]
                self.assertEqual((states[0], states[-1]), (start, families.GOAL))
                for s, t in zip(states, states[1:]):
                    b = s.index("0")
                    self.assertIn(t, [s] + [s.replace("0", "_").replace(s[c], "0").replace("_", s[c])
                                            for c in families.NEIGHBOURS[b]])

    def test_written_set(self):
        with tempfile.TemporaryDirectory() as out:
            families.main(["--out", out])
            with open(os.path.join(out, "manifest.tsv")) as f:
                lines = f.read().splitlines()
            self.assertEqual(lines[0], "file\tfamily\tvars\tclauses\texpected\tsource")
            rows = [line.split("\t") for line in lines[1:]]
            self.assertEqual({r[1] for r in rows}, {"pebbling", "horn", "factoring", "planning"})
            for file, family, nv, nc, expected, source in rows:
                with lzma.open(os.path.join(out, "cnf", file), "rt") as f:
                    text = f.read().splitlines()
                self.assertTrue(text[0].startswith("c "), file)
                self.assertEqual(text[1], "p cnf %s %s" % (nv, nc))
                body = [line.split() for line in text[2:]]
                self.assertEqual(len(body), int(nc))
                self.assertTrue(all(c[-1] == "0" and 0 < abs(int(l)) <= int(nv) for c in body for l in c[:-1]))
                self.assertIn(expected, ("SAT", "UNSAT"))


if __name__ == "__main__":
    unittest.main()
