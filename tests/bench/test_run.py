"""Tests of the benchmark runner bench/run.py: output parsers, verdict
bookkeeping and scores, the limited child run, and a whole run against fake
solvers."""

import csv
import gzip
import importlib.util
import io
import lzma
import os
import signal
import stat
import sys
import tempfile
import textwrap
import unittest
from contextlib import redirect_stderr

HERE = os.path.dirname(os.path.abspath(__file__))
RUNNER = os.path.join(HERE, "..", "..", "bench", "run.py")

_spec = importlib.util.spec_from_file_location("bench_run", RUNNER)
run = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(run)

# What quelt-bench prints for an UNSAT instance: result line, then the report.
QUELT_UNSAT = """\
c solving /tmp/hole8.cnf
s UNSATISFIABLE
c 
c ---------------------------------
c Solving statistics:        
c ---------------------------------
c Variables:                 73
c Original clauses:          297
c Total learned clauses:     22777
c Max. dec. level reached:   46
c Max. literals assigned:    71  (97.26%)
c Restarts:                  12
c Decisions:                 28174  (28174/sec)
c Random decisions:          9  (0.032%)
c Random polarity decisions: 214  (0.760%)
c BC Propagations:           282176  (282176/sec)
c BCP calls:                 50982  (5 implications/call)
c Conflicts:                 22789  (22789/sec)
c Backtrack levels:          27948  (1.23 levs/conflict)
c Literals in orig. clauses: 648  (2.18 lits/clause)
c Total runtime:             0.11
"""

QUELT_TIMEOUT = """\
c solving big.cnf
s UNKNOWN
c Decisions:                 19265  (1284/sec)
c Random decisions:          77  (0.400%)
c BC Propagations:           3757241  (250482/sec)
c BCP calls:                 600000  (6 implications/call)
c Conflicts:                 16964  (1130/sec)
"""

MINISAT_SAT = """\
WARNING: for repeatability, setting FPU to use double precision
============================[ Problem Statistics ]=============================
|  Number of variables:           181                                         |
===============================================================================
restarts              : 1
conflicts             : 29             (5800 /sec)
decisions             : 102            (0.00 % random) (20400 /sec)
propagations          : 599            (119800 /sec)
conflict literals     : 310            (20.51 % deleted)
Memory used           : 11.00 MB
CPU time              : 0.005 s

SATISFIABLE
"""

MINISAT_INTERRUPTED = """\
|     58180 |      61      272      976 |      364      194     17 |  2.797 % |
*** INTERRUPTED ***
restarts              : 221
conflicts             : 70687          (211582 /sec)
decisions             : 86304          (0.00 % random) (258327 /sec)
propagations          : 932048         (2789828 /sec)
conflict literals     : 1523527        (10.09 % deleted)
CPU time              : 61.0 s

*** INTERRUPTED ***
INDETERMINATE
"""

MINISAT_TRIVIAL = """\
===============================================================================
Solved by unit propagation
restarts              : 0
conflicts             : 0              (0 /sec)
decisions             : 0              (-nan % random) (0 /sec)
propagations          : 3              (3000 /sec)
conflict literals     : 0              (-nan % deleted)

UNSATISFIABLE
"""

CADICAL_SAT = """\
c ---- [ statistics ] ---------------------------------------------------------
c 
c chronological:               12         0.03 %  of conflicts
c conflicts:                 37288     93962.07    per second
c decisions:                 43472    109545.13    per second
c propagations:             532420         1.34 M  per second
c 
s SATISFIABLE
c exit 10
"""


class ParserTest(unittest.TestCase):
    def test_outputs(self):
        cases = [
            ("quelt unsat", run.parse_quelt_report, QUELT_UNSAT,
             {"verdict": "UNSAT", "conflicts": 22789, "decisions": 28174,
              "propagations": 282176}),
            ("quelt at its time limit", run.parse_quelt_report, QUELT_TIMEOUT,
             {"verdict": "UNKNOWN", "conflicts": 16964, "decisions": 19265,
              "propagations": 3757241}),
            ("quelt killed before anything", run.parse_quelt_report, "c solving x.cnf\n",
             {"verdict": None, "conflicts": None, "decisions": None, "propagations": None}),
            ("quelt without the report", run.parse_quelt_report,
             "c solving x.cnf\ns SATISFIABLE\n",
             {"verdict": "SAT", "conflicts": None, "decisions": None, "propagations": None}),
            ("minisat sat", run.parse_minisat_output, MINISAT_SAT,
             {"verdict": "SAT", "conflicts": 29, "decisions": 102, "propagations": 599}),
            ("minisat interrupted", run.parse_minisat_output, MINISAT_INTERRUPTED,
             {"verdict": "UNKNOWN", "conflicts": 70687, "decisions": 86304,
              "propagations": 932048}),
            ("minisat unit propagation", run.parse_minisat_output, MINISAT_TRIVIAL,
             {"verdict": "UNSAT", "conflicts": 0, "decisions": 0, "propagations": 3}),
            ("minisat killed", run.parse_minisat_output, "WARNING: x\n",
             {"verdict": None, "conflicts": None, "decisions": None, "propagations": None}),
            ("cadical sat", run.parse_cadical_output, CADICAL_SAT,
             {"verdict": "SAT", "conflicts": 37288, "decisions": 43472,
              "propagations": 532420}),
        ]
        for name, parser, text, expected in cases:
            with self.subTest(name):
                self.assertEqual(parser(text), expected)

    def test_result_line_must_stand_alone(self):
        cases = [
            ("s SATISFIABLE\n", "SAT"),
            ("s UNSATISFIABLE\r\n", "UNSAT"),
            ("c s UNSATISFIABLE\n", None),
            ("s SATISFIABLE-ish\n", None),
            ("v 1 -2 0\ns UNSATISFIABLE\n", "UNSAT"),
            ("", None),
        ]
        for text, expected in cases:
            with self.subTest(text=text):
                self.assertEqual(run.parse_result_line(text), expected)


class VerdictTest(unittest.TestCase):
    def test_exit_status_and_result_line_must_agree(self):
        cases = [
            # exit status, printed verdict, verdict, note mentions
            (10, "SAT", "SAT", None),
            (20, "UNSAT", "UNSAT", None),
            (0, "UNKNOWN", "UNKNOWN", None),
            (0, None, "UNKNOWN", None),
            (-signal.SIGXCPU, None, "UNKNOWN", None),
            (10, None, "UNKNOWN", "no result line"),
            (10, "UNSAT", "UNKNOWN", "result line says UNSAT but exit status is 10"),
            (20, "SAT", "UNKNOWN", "result line says SAT but exit status is 20"),
            (1, "SAT", "UNKNOWN", "exit status is 1"),
        ]
        for status, printed, verdict, note in cases:
            with self.subTest(status=status, printed=printed):
                got, got_note = run.decide_verdict(status, printed)
                self.assertEqual(got, verdict)
                if note is None:
                    self.assertEqual(got_note, "")
                else:
                    self.assertIn(note, got_note)

    def test_classification_and_solved(self):
        limit = 60.0
        cases = [
            # verdict, expected, cpu, correct, solved
            ("SAT", "SAT", 1.5, "yes", True),
            ("UNSAT", "UNSAT", 60.0, "yes", True),
            ("UNSAT", "UNSAT", 60.4, "yes", False),     # past the limit
            ("SAT", "UNSAT", 0.1, "WRONG", False),
            ("UNSAT", "SAT", 0.1, "WRONG", False),
            ("UNKNOWN", "SAT", 61.0, "", False),
            ("SAT", "", 2.0, "", True),                 # nothing to compare with
            ("SAT", "SAT", None, "yes", False),         # never measured
        ]
        for verdict, expected, cpu, correct, solved in cases:
            with self.subTest(verdict=verdict, expected=expected, cpu=cpu):
                self.assertEqual(run.classify(verdict, expected), correct)
                self.assertEqual(run.is_solved(verdict, expected, cpu, limit), solved)

    def test_par2(self):
        cases = [
            ([], [], 60, 0.0),
            ([1.0, 2.5], [True, True], 60, 3.5),
            ([1.0, 61.0], [True, False], 60, 121.0),
            # A wrong answer after 0.1 s costs as much as a timeout.
            ([0.1, 10.0, 0.2], [False, True, False], 10, 50.0),
        ]
        for cpu, solved, limit, expected in cases:
            with self.subTest(cpu=cpu, solved=solved):
                self.assertAlmostEqual(run.par2(cpu, solved, limit), expected)

    def test_rate_ratios_skip_short_runs(self):
        quelt = {
            "a": {"cpu_s": 2.0, "propagations": 8_000_000, "max_rss_kib": 8000},
            "b": {"cpu_s": 0.5, "propagations": 1_000_000, "max_rss_kib": 3000},
            "c": {"cpu_s": 4.0, "propagations": 4_000_000, "max_rss_kib": 6000},
            "d": {"cpu_s": 3.0, "propagations": None, "max_rss_kib": None},
            "e": {"cpu_s": 3.0, "propagations": 3_000_000, "max_rss_kib": 5000},
        }
        minisat = {
            "a": {"cpu_s": 1.0, "propagations": 2_000_000, "max_rss_kib": 4000},
            "b": {"cpu_s": 5.0, "propagations": 5_000_000, "max_rss_kib": 3000},
            "c": {"cpu_s": 1.0, "propagations": 2_000_000, "max_rss_kib": 2000},
            "d": {"cpu_s": 3.0, "propagations": 3_000_000, "max_rss_kib": 4000},
        }
        ratios = run.paired_rate_ratios(quelt, minisat)
        self.assertEqual(ratios, {"a": 2.0, "c": 0.5})
        self.assertEqual(run.memory_ratios(quelt, minisat),
                         {"a": 2.0, "b": 1.0, "c": 3.0})


class ManifestTest(unittest.TestCase):
    def test_instance_names(self):
        for file_name, name in [("hole8.cnf.xz", "hole8"), ("bw_large.d.cnf.xz", "bw_large.d"),
                                ("x.cnf.gz", "x"), ("y.cnf", "y"), ("z.bz2", "z")]:
            with self.subTest(file_name):
                self.assertEqual(run.instance_name(file_name), name)

    def test_cache_holds_the_decompressed_text(self):
        text = b"p cnf 2 1\n1 -2 0\n"
        with tempfile.TemporaryDirectory() as tmp:
            cache = os.path.join(tmp, "cache")
            for suffix, opener in [(".xz", lzma.open), (".gz", gzip.open)]:
                with self.subTest(suffix):
                    source = os.path.join(tmp, "f" + suffix[1:] + ".cnf" + suffix)
                    with opener(source, "wb") as f:
                        f.write(text)
                    plain = run.cached_plain(source, cache)
                    self.assertEqual(os.path.dirname(plain), cache)
                    with open(plain, "rb") as f:
                        self.assertEqual(f.read(), text)
                    self.assertEqual(run.cached_plain(source, cache), plain)
            self.assertEqual(sorted(os.listdir(cache)), ["fgz.cnf", "fxz.cnf"])


def write_script(path, body):
    with open(path, "w") as f:
        f.write("#!/bin/sh\n" + textwrap.dedent(body))
    os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)


class LimitedRunTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.log = os.path.join(self.tmp.name, "run.log")

    def tearDown(self):
        self.tmp.cleanup()

    def test_output_and_exit_status(self):
        result = run.run_limited(["/bin/sh", "-c", "echo s SATISFIABLE; echo oops >&2; exit 10"],
                                 5, self.log)
        self.assertEqual(result.exit_status, 10)
        self.assertEqual(result.output, "s SATISFIABLE\noops\n")
        self.assertEqual(result.note, "")

    def test_cpu_limit_stops_a_busy_solver(self):
        result = run.run_limited(["/bin/sh", "-c", "while :; do :; done"], 0.5, self.log)
        self.assertIn(result.exit_status, (-signal.SIGXCPU, -signal.SIGKILL))
        self.assertIn("killed by SIG", result.note)
        self.assertGreater(result.cpu_s, 0.5)    # never cut short of the limit

    def test_wall_clock_stops_an_idle_solver(self):
        result = run.run_limited(["/bin/sh", "-c", "exec sleep 30"], 1, self.log,
                                 wall_limit=0.5)
        self.assertEqual(result.exit_status, -signal.SIGKILL)
        self.assertIn("wall clock", result.note)

    def test_peak_memory_is_the_solvers_own(self):
        # This process holds 256 MiB; a tiny child must not inherit that
        # figure, and a child that touches 64 MiB must show it.
        ballast = bytearray(256 << 20)
        for i in range(0, len(ballast), 4096):
            ballast[i] = 1
        small = run.run_limited(["/bin/sh", "-c", "exit 0"], 5, self.log)
        big = run.run_limited([sys.executable, "-c",
                               "b = bytearray(64 << 20)\n"
                               "for i in range(0, len(b), 4096): b[i] = 1\n"], 5, self.log)
        del ballast
        self.assertLess(small.max_rss_kib, 64 << 10)
        self.assertGreaterEqual(big.max_rss_kib, 64 << 10)
        self.assertLess(big.max_rss_kib, 200 << 10)


class WholeRunTest(unittest.TestCase):
    """bench/run.py end to end, with fake solvers that read the answer from
    the first line of the instance (which must therefore arrive
    decompressed)."""

    FAKE_QUELT = """\
        read first < "$3"
        case "$first" in
          "c answer SATISFIABLE") echo "s SATISFIABLE"; code=10 ;;
          "c answer UNSATISFIABLE") echo "s UNSATISFIABLE"; code=20 ;;
          *) echo "unreadable input"; exit 1 ;;
        esac
        echo "c Decisions:                 12  (12/sec)"
        echo "c BC Propagations:           345  (345/sec)"
        echo "c Conflicts:                 6  (6/sec)"
        exit $code
        """

    FAKE_MINISAT = """\
        read first < "$2"
        echo "conflicts             : 7              (7 /sec)"
        echo "propagations          : 890            (890 /sec)"
        case "$first" in
          "c answer SATISFIABLE") echo SATISFIABLE; exit 10 ;;
          "c answer UNSATISFIABLE") echo UNSATISFIABLE; exit 20 ;;
        esac
        echo INDETERMINATE
        exit 0
        """

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        root = self.tmp.name
        cnf_dir = os.path.join(root, "set", "cnf")
        os.makedirs(cnf_dir)
        instances = [
            # file, expected, what the file makes the fakes answer
            ("sat-one.cnf.xz", "SAT", "SATISFIABLE"),
            ("unsat-one.cnf.gz", "UNSAT", "UNSATISFIABLE"),
            ("liar.cnf.xz", "UNSAT", "SATISFIABLE"),
            ("plain.cnf", "SAT", "SATISFIABLE"),
        ]
        lines = ["file\tfamily\tvars\tclauses\texpected"]
        for file_name, expected, answer in instances:
            body = ("c answer %s\np cnf 1 1\n1 0\n" % answer).encode()
            path = os.path.join(cnf_dir, file_name)
            opener = {".xz": lzma.open, ".gz": gzip.open}.get(os.path.splitext(path)[1], open)
            with opener(path, "wb") as f:
                f.write(body)
            lines.append("%s\tfake\t1\t1\t%s" % (file_name, expected))
        self.manifest = os.path.join(root, "set", "manifest.tsv")
        with open(self.manifest, "w") as f:
            f.write("\n".join(lines) + "\n")
        self.quelt = os.path.join(root, "quelt-bench")
        write_script(self.quelt, self.FAKE_QUELT)
        self.bin = os.path.join(root, "bin")
        os.makedirs(self.bin)
        write_script(os.path.join(self.bin, "minisat"), self.FAKE_MINISAT)
        self.out = os.path.join(root, "out")
        self.cache = os.path.join(root, "cache")
        self.saved_path = os.environ["PATH"]
        os.environ["PATH"] = self.bin    # fake minisat only, no cadical

    def tearDown(self):
        os.environ["PATH"] = self.saved_path
        self.tmp.cleanup()

    def main(self, *extra):
        err = io.StringIO()
        with redirect_stderr(err):
            code = run.main(["--manifest", self.manifest, "--quelt", self.quelt,
                             "--out", self.out, "--cache", self.cache, "--limit", "5",
                             "--no-plot"] + list(extra))
        return code, err.getvalue()

    def rows(self):
        with open(os.path.join(self.out, "results.csv"), newline="") as f:
            return {(r["instance"], r["solver"]): r for r in csv.DictReader(f)}

    def test_wrong_answers_are_loud(self):
        code, err = self.main()
        self.assertEqual(code, 1)
        self.assertIn("*** WRONG ANSWER *** quelt on liar said SAT, expected UNSAT", err)
        self.assertIn("cadical: not installed, skipped", err)

        rows = self.rows()
        self.assertEqual(len(rows), 8)
        expected_cells = {
            "sat-one": ("SAT", "yes", "1"),
            "unsat-one": ("UNSAT", "yes", "1"),
            "liar": ("SAT", "WRONG", "0"),
            "plain": ("SAT", "yes", "1"),
        }
        for (instance, solver), row in rows.items():
            with self.subTest(instance=instance, solver=solver):
                self.assertEqual((row["verdict"], row["correct"], row["solved"]),
                                 expected_cells[instance])
                self.assertEqual(row["propagations"], "345" if solver == "quelt" else "890")
                self.assertEqual(row["conflicts"], "6" if solver == "quelt" else "7")
        self.assertIn("WRONG ANSWER", rows[("liar", "quelt")]["note"])
        self.assertEqual(sorted(os.listdir(self.cache)),
                         ["liar.cnf", "sat-one.cnf", "unsat-one.cnf"])

        with open(os.path.join(self.out, "summary.md")) as f:
            summary = f.read()
        self.assertIn("## WRONG ANSWERS", summary)
        self.assertIn("**quelt on liar: answered SAT, expected UNSAT**", summary)
        self.assertIn("| quelt | 3/4 | 2 | 1 | 1 | 10.0 |", summary)
        self.assertIn("| minisat | 3/4 | 2 | 1 | 1 | 10.0 |", summary)
        self.assertIn("skipped: cadical: not installed, skipped", summary)

        # The summary can be rebuilt from the files of the run.
        os.unlink(os.path.join(self.out, "summary.md"))
        code, _ = self.main("--report-only")
        self.assertEqual(code, 1)
        with open(os.path.join(self.out, "summary.md")) as f:
            self.assertEqual(f.read(), summary)

    def test_filter_label_and_quelt_args(self):
        code, _ = self.main("--solvers", "quelt", "--filter", "^(sat|unsat)-",
                            "--label", "quelt-tuned", "--quelt-args", "--sp-resolution 2")
        self.assertEqual(code, 0)
        self.assertEqual(sorted(self.rows()),
                         [("sat-one", "quelt-tuned"), ("unsat-one", "quelt-tuned")])
        with open(os.path.join(self.out, "summary.md")) as f:
            summary = f.read()
        self.assertIn("--nosplash --dimacs FILE --sp-resolution 2 --tmout 5", summary)
        self.assertNotIn("WRONG", summary)

    def test_a_failing_solver_is_explained(self):
        write_script(self.quelt, 'echo "cannot open $3" >&2\nexit 3\n')
        code, _ = self.main("--solvers", "quelt", "--filter", "^plain")
        self.assertEqual(code, 0)
        row = self.rows()[("plain", "quelt")]
        self.assertEqual((row["verdict"], row["solved"], row["exit_status"], row["note"]),
                         ("UNKNOWN", "0", "3", "exit status 3"))
        with open(os.path.join(self.out, "logs", "quelt", "plain.log")) as f:
            self.assertIn("cannot open ", f.read())

    def test_quelt_gets_the_limit_in_whole_seconds(self):
        cases = [
            (60, [], ["--tmout", "60"]),
            (2.5, [], ["--tmout", "3"]),
            (0.5, [], ["--tmout", "1"]),
            (60, ["--tmout", "5"], ["--tmout", "5"]),
            (60, ["--tmout=5"], ["--tmout=5"]),
            (60, ["--sp-resolution", "2"], ["--sp-resolution", "2", "--tmout", "60"]),
        ]
        for limit, extra, tail in cases:
            with self.subTest(limit=limit, extra=extra):
                cmd = run.solver_command("quelt", "q", "f.cnf", limit, extra)
                self.assertEqual(cmd, ["q", "--nosplash", "--dimacs", "f.cnf"] + tail)

    def test_no_solver_available(self):
        code, err = self.main("--solvers", "quelt,cadical", "--quelt",
                              os.path.join(self.tmp.name, "missing"))
        self.assertEqual(code, 2)
        self.assertIn("quelt: no executable at", err)
        self.assertIn("none of the requested solvers is available", err)


if __name__ == "__main__":
    unittest.main()
