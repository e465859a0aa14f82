"""The benchmark runner (bench/): parsing of solver output, verdicts against the
manifest, and the summary (loud wrong answers, PAR-2), on fixed numbers only;
finding the peers, and the quelt configurations a build refuses, with stand-in
programs that answer at once."""
import contextlib, io, json, os, stat, sys, tempfile, unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import peers, report, results, run, runner  # noqa: E402

QUELT = ("c solving x.cnf\nc s SATISFIABLE\ns UNSATISFIABLE\nc Decisions:                 28174  (28174/sec)\n"
         "c Random decisions:          9  (0.032%)\nc BC Propagations:           282176  (282176/sec)\n"
         "c BCP calls:                 50982  (5 implications/call)\nc Conflicts:                 22789  (1/sec)\n")
MINISAT = ("conflicts             : 29             (5800 /sec)\ndecisions             : 102            (0.00 % "
           "random) (20400 /sec)\npropagations          : 599            (119800 /sec)\n\n*** INTERRUPTED ***\n")
CADICAL = "c conflicts:                 37288     93962.07    per second\nc decisions:    43472  1.0\n" \
          "c propagations:             532420         1.34 M  per second\ns SATISFIABLE\nc exit 10\n"
# Kissat 4 without -q: progress lines that look like counters but are not, then
# the statistics section; decisions carry a per-conflict rate.
KISSAT = ("c - 19.98  9 16 19 48 5561 1 219048 14418 1.6 17 11 2 11 42%   1 1304 275 92%\n"
          "c ---- [ result ] ----\nc\ns UNSATISFIABLE\nc\nc ---- [ statistics ] ----\nc\n"
          "c conflicts:                           806295             8124.15 per second\n"
          "c decisions:                          1251228                1.55 per conflict\n"
          "c propagations:                      36263852           365391    per second\n"
          "c switched:                                 0                0    interval\nc\nc exit 20\n")
# CaDiCaL 2.2 with --report=false: other counters between the three it reads.
CADICAL2 = ("c   --report=false                 (different from default 'true')\nc\ns UNSATISFIABLE\n"
            "c chronological:             25176        14.63 %  of conflicts\n"
            "c conflicts:                172046     26110.12    per second\n"
            "c backbone:                  43624     17449.60 %  of vars\n"
            "c decisions:                243271     36919.40    per second\n"
            "c propagations:            7333704         1.11 M  per second\nc exit 20\n")

# A stand-in quelt-bench: refuses --modern as the option parser does (help on
# stdout, the error on stderr, exit 1) and refutes everything else at once.
FAKE_QUELT = """#!/bin/sh
for a in "$@"; do
  if [ "$a" = --modern ]; then echo "General options:"; echo "Error: unrecognised option '--modern'" >&2; exit 1; fi
done
printf 's UNSATISFIABLE\\nc Decisions: 7  (7/sec)\\nc BC Propagations: 40  (40/sec)\\nc Conflicts: 3  (3/sec)\\n'
exit 20
"""


def write_program(path, text):
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR)


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
                (peers.PARSERS["cadical"], CADICAL, "SAT", (37288, 43472, 532420)),
                (peers.PARSERS["cadical2"], CADICAL2, "UNSAT", (172046, 243271, 7333704)),
                (peers.PARSERS["kissat"], KISSAT, "UNSAT", (806295, 1251228, 36263852)),
                # -q prints the result line alone; killed at the CPU limit, only progress lines.
                (peers.PARSERS["kissat"], "s UNSATISFIABLE\n", "UNSAT", (None,) * 3),
                (peers.PARSERS["kissat"], KISSAT.split("c ---- [ result ]")[0], None, (None,) * 3),
                (peers.PARSERS["cadical2"], "s UNKNOWN\nc exit 0\n", "UNKNOWN", (None,) * 3)]:
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

    def test_peers_beside_the_repository(self):
        # The shared peers: asked for by our names, run as their programs, with
        # the statistics (no -q) and without model lines.
        self.assertEqual([peers.solver_command(s, "p", "f", 60) for s in ("kissat", "cadical2", "cadical")],
                         [["p", "-n", "f"], ["p", "-n", "--report=false", "f"], ["p", "-n", "f"]])
        with tempfile.TemporaryDirectory() as tmp:
            absent = os.path.join(tmp, "peers")
            found, notes = peers.find_solvers(["kissat", "cadical2"], None, absent)
            self.assertEqual((found, notes), ({}, ["kissat: no peer solvers at %s, skipped" % absent,
                                                   "cadical2: no peer solvers at %s, skipped" % absent]))
            os.makedirs(os.path.join(absent, "bin"))
            write_program(os.path.join(absent, "bin", "cadical"), "#!/bin/sh\n")
            with open(os.path.join(absent, "bin", "kissat"), "w") as f:
                f.write("not a program")
            found, notes = peers.find_solvers(["kissat", "cadical2"], None, absent)
            self.assertEqual(found, {"cadical2": os.path.join(absent, "bin", "cadical")})
            self.assertEqual(notes, ["kissat: no executable at %s, skipped" % os.path.join(absent, "bin", "kissat")])

    def test_refused_options(self):
        for status, stderr, message in [
                (1, "Error: unrecognised option '--modern'\n", "Error: unrecognised option '--modern'"),
                (1, "c x\nError: the argument ('x') for option '--threads' is invalid\n",
                 "Error: the argument ('x') for option '--threads' is invalid"),
                (1, "Can't open the input file. Exiting...\n", None),  # the formula, not the options
                (20, "Error: unrecognised option '--modern'\n", None), (-11, "", None),
                (1, "c Error: in a comment\n", None)]:
            self.assertEqual(peers.rejection_message(status, stderr), message, (status, stderr))
        with tempfile.TemporaryDirectory() as tmp:
            quelt = os.path.join(tmp, "quelt-bench")
            write_program(quelt, FAKE_QUELT)
            self.assertEqual([peers.probe_options(quelt, o) for o in ([], ["--modern", "--threads", "2"])],
                             [None, "Error: unrecognised option '--modern'"])

    def test_columns_chosen_by_label(self):
        configs = [("quelt", []), ("modern", ["--modern"]), ("modern-t2", ["--modern", "--threads", "2"])]
        solvers = ["quelt", "minisat", "kissat"]
        for only, kept_solvers, kept_labels in [
                (None, solvers, ["quelt", "modern", "modern-t2"]),
                ("modern-t2,kissat", ["quelt", "kissat"], ["modern-t2"]),
                ("minisat", ["minisat"], []),
                (" quelt , modern ", ["quelt"], ["quelt", "modern"])]:
            got_solvers, got_configs = run.select_columns(only, solvers, configs)
            self.assertEqual((got_solvers, [c[0] for c in got_configs]), (kept_solvers, kept_labels), only)
        for bad in ("kisat", "", "quelt,cadical2"):  # a typo, nothing, a solver not asked for
            with self.assertRaises(ValueError, msg=bad):
                run.select_columns(bad, solvers, configs)

    def test_refused_configuration_is_a_marked_column_without_runs(self):
        with tempfile.TemporaryDirectory() as tmp:
            quelt = os.path.join(tmp, "quelt-bench")
            write_program(quelt, FAKE_QUELT)
            os.makedirs(os.path.join(tmp, "set", "cnf"))
            with open(os.path.join(tmp, "set", "cnf", "tiny.cnf"), "w") as f:
                f.write("p cnf 1 2\n1 0\n-1 0\n")
            manifest = os.path.join(tmp, "set", "manifest.tsv")
            with open(manifest, "w") as f:
                f.write("file\tfamily\texpected\ntiny.cnf\tt\tUNSAT\n")
            out = os.path.join(tmp, "out")
            argv = ["--solvers", "quelt", "--quelt", quelt, "--manifest", manifest, "--out", out, "--no-plot",
                    "--config", "quelt=", "--config", "modern=--modern", "--config", "modern-t2=--threads 2 --modern"]
            with contextlib.redirect_stderr(io.StringIO()) as log:
                self.assertEqual(run.main(argv), 0)
            self.assertIn("note: modern: not supported by this build (Error: unrecognised option '--modern')",
                          log.getvalue())
            rows = results.read_csv(os.path.join(out, "results.csv"))
            self.assertEqual([(r["solver"], r["verdict"], r["solved"], r["conflicts"]) for r in rows],
                             [("quelt", "UNSAT", 1, 3)])
            with open(os.path.join(out, "run.json")) as f:
                info = json.load(f)
            self.assertEqual((info["solvers"], info["unsupported"]),
                             (["quelt", "modern", "modern-t2"],
                              {"modern": "Error: unrecognised option '--modern'",
                               "modern-t2": "Error: unrecognised option '--modern'"}))
            with open(os.path.join(out, "summary.md")) as f:
                summary = f.read()
            self.assertIn("| quelt | 1/1 | 0 | 1 | 0 |", summary)
            self.assertIn("| modern | not supported by this build | – |", summary)
            self.assertIn("| modern-t2 | not supported by this build | – |", summary)
            self.assertIn("| instance | family | expected | quelt |\n", summary)
            # --report-only reads the same bookkeeping back.
            with contextlib.redirect_stderr(io.StringIO()):
                self.assertEqual(run.main(argv + ["--report-only"]), 0)
            with open(os.path.join(out, "summary.md")) as f:
                self.assertEqual(f.read(), summary)


if __name__ == "__main__":
    unittest.main()
