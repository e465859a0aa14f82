"""The benchmark runner (bench/): parsing of solver output, verdicts against the
manifest, and the summary (loud wrong answers, PAR-2), on fixed numbers only."""
import os, sys, tempfile, unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import peers, report, results, run, runner  # noqa: E402

QUELT = ("c solving x.cnf\nc s SATISFIABLE\ns UNSATISFIABLE\nc Decisions:                 28174  (28174/sec)\n"
         "c Random decisions:          9  (0.032%)\nc BC Propagations:           282176  (282176/sec)\n"
         "c BCP calls:                 50982  (5 implications/call)\nc Conflicts:                 22789  (1/sec)\n")
MINISAT = ("conflicts             : 29             (5800 /sec)\ndecisions             : 102            (0.00 % "
           "random) (20400 /sec)\npropagations          : 599            (119800 /sec)\n\n*** INTERRUPTED ***\n")
CADICAL = "c conflicts:                 37288     93962.07    per second\nc decisions:    43472  1.0\n" \
          "c propagations:             532420         1.34 M  per second\ns SATISFIABLE\nc exit 10\n"


class RunnerTest(unittest.TestCase):
    def test_parsers(self):
        for parser, text, verdict, counts in [
                (peers.parse_quelt_report, QUELT, "UNSAT", (22789, 28174, 282176)),
                (peers.parse_quelt_report, "c solving x.cnf\ns UNKNOWN\n", "UNKNOWN", (None,) * 3),
                (peers.parse_quelt_report, "c solving x.cnf\n", None, (None,) * 3),
                (peers.parse_quelt_report, "s SATISFIABLE-ish\nv 1 0\n", None, (None,) * 3),
                (peers.parse_minisat_output, MINISAT + "INDETERMINATE\n", "UNKNOWN", (29, 102, 599)),
                (peers.parse_minisat_output, MINISAT + "UNSATISFIABLE\n", "UNSAT", (29, 102, 599)),
                (peers.parse_minisat_output, "WARNING: x\n", None, (None,) * 3),
                (peers.parse_cadical_output, CADICAL, "SAT", (37288, 43472, 532420))]:
            with self.subTest(text=text[:40]):
                got = parser(text)
                self.assertEqual((got["verdict"], got["conflicts"], got["decisions"], got["propagations"]),
                                 (verdict,) + counts)

    def test_verdicts(self):
        for status, printed, verdict, note in [
                (10, "SAT", "SAT", ""), (20, "UNSAT", "UNSAT", ""), (0, "UNKNOWN", "UNKNOWN", ""),
                (-24, None, "UNKNOWN", ""), (10, None, "UNKNOWN", "exit status 10 but no result line"),
                (20, "SAT", "UNKNOWN", "result line says SAT but exit status is 20"),
                (1, "SAT", "UNKNOWN", "result line says SAT but exit status is 1"),
                (10, "UNKNOWN", "UNKNOWN", "result line says UNKNOWN but exit status is 10")]:
            self.assertEqual(results.decide_verdict(status, printed), (verdict, note))
        for verdict, expected, cpu, correct, solved in [
                ("SAT", "SAT", 60.0, "yes", True), ("UNSAT", "UNSAT", 60.4, "yes", False),
                ("SAT", "UNSAT", 0.1, "WRONG", False), ("UNSAT", "SAT", 0.1, "WRONG", False),
                ("UNKNOWN", "SAT", 1.0, "", False), ("SAT", "", 2.0, "", True), ("SAT", "SAT", None, "yes", False)]:
            self.assertEqual((results.classify(verdict, expected), results.is_solved(verdict, expected, cpu, 60)),
                             (correct, solved), (verdict, expected, cpu))

    def test_summary_is_loud_about_wrong_answers_and_scores_par2(self):
        def row(name, expected, status, output, cpu):
            result = runner.RunResult()
            result.exit_status, result.output, result.cpu_s, result.max_rss_kib = status, output, cpu, 2048
            return results.make_row({"name": name, "family": "f", "expected": expected}, "quelt", "quelt", result, 10)
        rows = [row("good", "UNSAT", 20, "s UNSATISFIABLE\n", 1.5), row("liar", "UNSAT", 10, "s SATISFIABLE\n", 0.2),
                row("late", "SAT", 10, "s SATISFIABLE\n", 10.5), row("lost", "SAT", 0, "s UNKNOWN\n", 10.0)]
        self.assertEqual([(r["verdict"], r["correct"], r["solved"]) for r in rows],
                         [("UNSAT", "yes", 1), ("SAT", "WRONG", 0), ("SAT", "yes", 0), ("UNKNOWN", "", 0)])
        self.assertEqual([r["note"] for r in rows], ["", "WRONG ANSWER: SAT, expected UNSAT",
                                                     "answered after the 10 s limit", ""])
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "summary.md")
            report.write_summary(path, rows, ["quelt"], 10, [], "quelt")
            with open(path) as f:
                summary = f.read()
        self.assertIn("## WRONG ANSWERS\n\n- **quelt on liar: answered SAT, expected UNSAT**\n", summary)
        self.assertIn("| quelt | 1/4 | 0 | 1 | 1 | 61.5 | 22.2 | n/a |", summary)  # 1.5 + 3 * 2 * 10
        self.assertIn("| liar | f | UNSAT | **WRONG SAT** 0.20 s, 2.0 MiB |", summary)

    def test_configurations_and_runs_with_threads(self):
        self.assertEqual(run.parse_configs(["quelt=", "pre=--preprocess", "t2=--threads 2 --sp-seed 3"], "x", ""),
                         [("quelt", []), ("pre", ["--preprocess"]), ("t2", ["--threads", "2", "--sp-seed", "3"])])
        self.assertEqual(run.parse_configs([], "", "--threads=4"), [("quelt", ["--threads=4"])])
        for bad in (["quelt=", "quelt=--preprocess"], ["minisat=--x"], ["--threads 2"], ["=--x"]):
            with self.assertRaises(ValueError, msg=bad):
                run.parse_configs(bad, "quelt", "")
        # Several threads: limited and judged by the wall clock, the CPU limit scaled.
        self.assertEqual(peers.solver_command("quelt", "q", "f", 9.5, ["--threads", "2"]),
                         ["q", "--nosplash", "--dimacs", "f", "--threads", "2", "--wall-tmout", "10"])
        self.assertEqual(peers.solver_command("quelt", "q", "f", 9.5, ["--threads=1"])[-2:], ["--tmout", "10"])
        self.assertEqual([peers.solver_threads(s, a) for s, a in [("quelt", ["--threads", "3", "--threads", "2"]),
                                                                  ("quelt", []), ("cadical", ["--threads", "2"])]],
                         [2, 1, 1])
        result = runner.RunResult()
        result.exit_status, result.output, result.cpu_s, result.wall_s = 20, "s UNSATISFIABLE\n", 18.0, 9.0
        inst = {"name": "p", "family": "f", "expected": "UNSAT"}
        rows = [results.make_row(inst, "t2", "quelt", result, 10, threads=2),
                results.make_row(inst, "t1", "quelt", result, 10)]
        self.assertEqual([(r["time_s"], r["solved"]) for r in rows], [(9.0, 1), (18.0, 0)])
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "results.csv")
            results.write_csv(path, rows)
            self.assertEqual([(r["time_s"], r["threads"], r["solved"]) for r in results.read_csv(path)],
                             [(9.0, 2, 1), (18.0, 1, 0)])
        self.assertEqual(report.solver_totals(rows[:1], 10)["par2"], 9.0)


if __name__ == "__main__":
    unittest.main()
