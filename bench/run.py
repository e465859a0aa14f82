#!/usr/bin/env python3
"""Benchmark runner: quelt against the peer solvers minisat and cadical.

Runs every solver on every instance of a manifest, one run at a time by
default, each under a CPU-time limit, and writes results.csv, summary.md and
cactus.png into the output directory. See bench/README.md.

Only the Python standard library is used; the cactus plot is drawn by
gnuplot when it is installed and skipped otherwise.
"""

import argparse
import bz2
import concurrent.futures
import csv
import ctypes
import datetime
import json
import gzip
import lzma
import math
import os
import platform
import re
import resource
import shlex
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

REPO_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_BENCH_DIR = os.environ.get(
    "QUELT_BENCH_DIR", os.path.join(os.path.dirname(REPO_ROOT), "shared", "bench"))
DEFAULT_MANIFEST = os.path.join(DEFAULT_BENCH_DIR, "manifest.tsv")
DEFAULT_CACHE = os.path.join(tempfile.gettempdir(), "quelt-bench-cache")
DEFAULT_QUELT = os.path.join(REPO_ROOT, "build", "quelt-bench")

KNOWN_SOLVERS = ("quelt", "minisat", "cadical")
VERDICTS = ("SAT", "UNSAT", "UNKNOWN")

# Rates from runs shorter than this are dominated by start-up and parsing.
MIN_RATE_CPU_S = 1.0

# The kernel's CPU-limit accounting is tick-based and, on a loaded machine,
# runs several per cent ahead of the user+sys time that rusage reports; a
# soft limit at the plain limit has been seen to fire at 55-58 rusage
# seconds for 60. So RLIMIT_CPU is armed at limit * CPU_SLACK + CPU_GRACE_S
# (soft, SIGXCPU, which a solver may catch to print its statistics) and
# CPU_HARD_EXTRA_S later (hard, SIGKILL). A solver with its own timer stops
# by itself at the limit. Whatever the signal, a run counts as solved only
# when its rusage CPU time is within the limit itself.
CPU_SLACK = 1.1
CPU_GRACE_S = 1
CPU_HARD_EXTRA_S = 5

CSV_FIELDS = [
    "instance", "family", "expected", "solver", "verdict", "correct", "solved",
    "cpu_s", "wall_s", "max_rss_kib", "exit_status", "conflicts", "decisions",
    "propagations", "props_per_sec", "note",
]


# ---------------------------------------------------------------------------
# Parsing solver output

_RESULT_LINE = re.compile(r"^s\s+(SATISFIABLE|UNSATISFIABLE|UNKNOWN)\s*$", re.M)
_MINISAT_RESULT = re.compile(r"^(SATISFIABLE|UNSATISFIABLE|INDETERMINATE)\s*$", re.M)
_WORD_TO_VERDICT = {
    "SATISFIABLE": "SAT", "UNSATISFIABLE": "UNSAT",
    "UNKNOWN": "UNKNOWN", "INDETERMINATE": "UNKNOWN",
}


def _last_int(pattern, text):
    """The integer captured by the last match of pattern in text, or None."""
    matches = re.findall(pattern, text, re.M)
    return int(matches[-1]) if matches else None


def parse_result_line(text):
    """The verdict of the last competition-style 's ...' line, or None."""
    matches = _RESULT_LINE.findall(text)
    return _WORD_TO_VERDICT[matches[-1]] if matches else None


def parse_quelt_report(text):
    """Verdict and counters from quelt-bench output.

    Returns a dict with keys verdict, conflicts, decisions, propagations;
    a value is None when the output does not carry it (for instance when the
    run was killed before the report).
    """
    return {
        "verdict": parse_result_line(text),
        "conflicts": _last_int(r"^c\s+Conflicts:\s+(\d+)", text),
        "decisions": _last_int(r"^c\s+Decisions:\s+(\d+)", text),
        "propagations": _last_int(r"^c\s+BC Propagations:\s+(\d+)", text),
    }


def parse_minisat_output(text):
    """Verdict and counters from minisat -verb=1 output (same keys)."""
    matches = _MINISAT_RESULT.findall(text)
    return {
        "verdict": _WORD_TO_VERDICT[matches[-1]] if matches else None,
        "conflicts": _last_int(r"^conflicts\s*:\s*(\d+)", text),
        "decisions": _last_int(r"^decisions\s*:\s*(\d+)", text),
        "propagations": _last_int(r"^propagations\s*:\s*(\d+)", text),
    }


def parse_cadical_output(text):
    """Verdict and counters from cadical's default statistics (same keys)."""
    return {
        "verdict": parse_result_line(text),
        "conflicts": _last_int(r"^c\s+conflicts:\s+(\d+)", text),
        "decisions": _last_int(r"^c\s+decisions:\s+(\d+)", text),
        "propagations": _last_int(r"^c\s+propagations:\s+(\d+)", text),
    }


PARSERS = {
    "quelt": parse_quelt_report,
    "minisat": parse_minisat_output,
    "cadical": parse_cadical_output,
}


def verdict_from_exit(status):
    """SAT for 10, UNSAT for 20, UNKNOWN for anything else."""
    return {10: "SAT", 20: "UNSAT"}.get(status, "UNKNOWN")


def decide_verdict(exit_status, printed):
    """The verdict of a run from its exit status and its printed verdict.

    Returns (verdict, note). Both sources must agree on a definite answer;
    when they contradict each other the run counts as UNKNOWN and the note
    says why. A printed verdict of None means no result line was found.
    """
    by_exit = verdict_from_exit(exit_status)
    if printed is None:
        if by_exit == "UNKNOWN":
            return "UNKNOWN", ""
        return "UNKNOWN", "exit status %d but no result line" % exit_status
    if printed == by_exit:
        return by_exit, ""
    if printed == "UNKNOWN" and exit_status == 0:
        return "UNKNOWN", ""
    return "UNKNOWN", "result line says %s but exit status is %s" % (printed, exit_status)


def classify(verdict, expected):
    """'yes' if the verdict matches the expected one, 'WRONG' if it
    contradicts it, '' if there is nothing to compare (no answer, or no
    expected verdict in the manifest)."""
    if verdict not in ("SAT", "UNSAT") or expected not in ("SAT", "UNSAT"):
        return ""
    return "yes" if verdict == expected else "WRONG"


def is_solved(verdict, expected, cpu_s, limit):
    """A run is solved when it gave a definite answer that is not wrong,
    within the CPU limit."""
    if verdict not in ("SAT", "UNSAT") or classify(verdict, expected) == "WRONG":
        return False
    return cpu_s is not None and cpu_s <= limit


def par2(cpu_times, solved_flags, limit):
    """PAR-2 score: CPU seconds of the solved runs plus twice the limit for
    every other run (timeouts, no answer, wrong answers)."""
    return sum(cpu if ok else 2.0 * limit for cpu, ok in zip(cpu_times, solved_flags))


def props_per_sec(propagations, cpu_s):
    if propagations is None or not cpu_s or cpu_s <= 0:
        return None
    return propagations / cpu_s


def median_or_none(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def paired_rate_ratios(rows_a, rows_b, min_cpu=MIN_RATE_CPU_S):
    """Per instance, rate(a) / rate(b) over the instances where both runs
    took at least min_cpu CPU seconds and reported propagations.

    rows_a and rows_b map instance name to a result row (dict with cpu_s and
    propagations). Returns a dict instance -> ratio.
    """
    ratios = {}
    for name, a in rows_a.items():
        b = rows_b.get(name)
        if b is None:
            continue
        if a["cpu_s"] is None or b["cpu_s"] is None:
            continue
        if a["cpu_s"] < min_cpu or b["cpu_s"] < min_cpu:
            continue
        ra = props_per_sec(a["propagations"], a["cpu_s"])
        rb = props_per_sec(b["propagations"], b["cpu_s"])
        if ra is None or not rb:
            continue
        ratios[name] = ra / rb
    return ratios


def memory_ratios(rows_a, rows_b):
    """Per instance, peak RSS of a / peak RSS of b where both were measured."""
    ratios = {}
    for name, a in rows_a.items():
        b = rows_b.get(name)
        if b is None or not a["max_rss_kib"] or not b["max_rss_kib"]:
            continue
        ratios[name] = a["max_rss_kib"] / b["max_rss_kib"]
    return ratios


# ---------------------------------------------------------------------------
# Manifest and instance cache

def read_manifest(path):
    """Rows of the tab-separated manifest as dicts (header in the first line)."""
    with open(path, newline="") as f:
        reader = csv.DictReader(f, delimiter="\t")
        rows = [row for row in reader if row.get("file")]
    for row in rows:
        for key in ("expected", "family"):
            row[key] = (row.get(key) or "").strip()
    return rows


def instance_name(file_name):
    """The instance name: the file name without the compression and .cnf
    suffixes."""
    name = os.path.basename(file_name)
    for suffix in (".xz", ".lzma", ".gz", ".bz2"):
        if name.endswith(suffix):
            name = name[: -len(suffix)]
            break
    if name.endswith(".cnf"):
        name = name[:-4]
    return name


_OPENERS = {".xz": lzma.open, ".lzma": lzma.open, ".gz": gzip.open, ".bz2": bz2.open}


def cached_plain(source, cache_dir):
    """Path of a decompressed copy of source in cache_dir, made on first use.

    Every solver reads the same plain file, so decompression costs nobody
    CPU time in the measurements. A plain source is used where it is.
    """
    ext = os.path.splitext(source)[1]
    opener = _OPENERS.get(ext)
    if opener is None:
        return source
    os.makedirs(cache_dir, exist_ok=True)
    target = os.path.join(cache_dir, instance_name(source) + ".cnf")
    if os.path.exists(target) and os.path.getmtime(target) >= os.path.getmtime(source):
        return target
    fd, tmp = tempfile.mkstemp(dir=cache_dir, prefix=".part-")
    try:
        with opener(source, "rb") as src, os.fdopen(fd, "wb") as dst:
            shutil.copyfileobj(src, dst, 1 << 20)
        os.replace(tmp, target)
    except BaseException:
        if os.path.exists(tmp):
            os.unlink(tmp)
        raise
    return target


# ---------------------------------------------------------------------------
# Running one solver under limits

_subreaper_lock = threading.Lock()
_subreaper_state = None


def _become_subreaper():
    """Make this process the reaper of its orphaned descendants (Linux).

    Each solver is started by a short-lived /bin/sh that forks it and exits,
    so the solver is not a copy of this Python process: ru_maxrss
    of a forked child never drops below its parent's resident size at the
    fork, which would put a floor of this runner's RSS under every
    measurement. As subreaper we still become the solver's parent and wait
    for it ourselves. Returns False where this is not available.
    """
    global _subreaper_state
    with _subreaper_lock:
        if _subreaper_state is None:
            ok = False
            if sys.platform.startswith("linux"):
                try:
                    libc = ctypes.CDLL(None, use_errno=True)
                    PR_SET_CHILD_SUBREAPER = 36
                    ok = libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0
                except (OSError, AttributeError):
                    ok = False
            _subreaper_state = ok
        return _subreaper_state


def _limit_cpu(limit):
    soft = int(math.ceil(limit * CPU_SLACK)) + CPU_GRACE_S
    hard = soft + CPU_HARD_EXTRA_S

    def arm():
        resource.setrlimit(resource.RLIMIT_CPU, (soft, hard))
        # A core dump of a solver killed at the limit is of no use here.
        resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
    return arm


def wall_timeout(limit):
    """The wall-clock safety net for a CPU limit. The CPU limit stops every
    busy solver; this only catches one that hangs without using CPU, so it is
    generous enough for a heavily shared machine."""
    return 10.0 * limit + 60.0


class RunResult:
    def __init__(self):
        self.exit_status = None     # exit code, or -signal number
        self.cpu_s = None
        self.wall_s = None
        self.max_rss_kib = None
        self.output = ""
        self.note = ""


def describe_status(status):
    if status is None:
        return "not started"
    if status < 0:
        try:
            return "killed by " + signal.Signals(-status).name
        except ValueError:
            return "killed by signal %d" % -status
    return "exit status %d" % status


def _kill_group(group):
    try:
        os.killpg(group, signal.SIGKILL)
    except ProcessLookupError:
        pass


def run_limited(cmd, limit, log_path, wall_limit=None):
    """Run cmd with stdout and stderr into log_path under a CPU limit of
    limit seconds and a wall-clock safety timeout. Measures the child's
    user+sys CPU time and peak RSS from its own rusage."""
    result = RunResult()
    wall_limit = wall_timeout(limit) if wall_limit is None else wall_limit
    indirect = _become_subreaper()
    start = time.monotonic()
    with open(log_path, "wb") as log:
        if indirect:
            # sh forks a subshell that waits for "go" on one pipe, reports
            # the subshell's pid on another, and exits. Only once sh is gone
            # does the subshell exec the solver: sh can then never reap it,
            # and it is reparented to us.
            pid_r, pid_w = os.pipe()
            go_r, go_w = os.pipe()
            script = ('{ read _ <&%(g)d; exec "$@" %(g)d<&-; } %(p)d>&- & echo $! >&%(p)d'
                      % {"g": go_r, "p": pid_w})
            try:
                sh = subprocess.Popen(["/bin/sh", "-c", script, "sh"] + list(cmd),
                                      stdin=subprocess.DEVNULL, stdout=log,
                                      stderr=subprocess.STDOUT, pass_fds=(pid_w, go_r),
                                      preexec_fn=_limit_cpu(limit), start_new_session=True)
            finally:
                os.close(pid_w)
                os.close(go_r)
            with os.fdopen(pid_r, "rb") as pid_pipe:
                text = pid_pipe.read().decode().strip()
            sh.wait()
            with os.fdopen(go_w, "wb") as go:
                try:
                    go.write(b"go\n")
                except BrokenPipeError:
                    pass
            if not text.isdigit():
                result.note = "could not start the solver"
                return result
            pid, group = int(text), sh.pid
        else:
            proc = subprocess.Popen(list(cmd), stdin=subprocess.DEVNULL, stdout=log,
                                    stderr=subprocess.STDOUT,
                                    preexec_fn=_limit_cpu(limit), start_new_session=True)
            pid, group = proc.pid, proc.pid
        killed_for_time = False
        try:
            while True:
                done, status, usage = os.wait4(pid, os.WNOHANG)
                if done == pid:
                    break
                if not killed_for_time and time.monotonic() - start > wall_limit:
                    killed_for_time = True
                    _kill_group(group)
                time.sleep(0.02)
        except BaseException:
            # Interrupted: take the solver down with us.
            _kill_group(group)
            os.waitpid(pid, 0)
            raise
        if not indirect:
            proc.returncode = os.waitstatus_to_exitcode(status)
    result.wall_s = time.monotonic() - start
    result.exit_status = os.waitstatus_to_exitcode(status)
    result.cpu_s = usage.ru_utime + usage.ru_stime
    result.max_rss_kib = usage.ru_maxrss
    with open(log_path, "rb") as log:
        result.output = log.read().decode("utf-8", errors="replace")
    if killed_for_time:
        result.note = "killed after %.0f s wall clock" % wall_limit
    elif result.exit_status < 0:
        result.note = describe_status(result.exit_status)
    return result


# ---------------------------------------------------------------------------
# Solvers

def has_option(args, option):
    return any(a == option or a.startswith(option + "=") for a in args)


def solver_command(solver, binary, cnf, limit, extra_args=()):
    if solver == "quelt":
        cmd = [binary, "--nosplash", "--dimacs", cnf] + list(extra_args)
        if not has_option(extra_args, "--tmout"):
            # Whole seconds only, and 0 would mean "parse only".
            cmd += ["--tmout", str(max(1, int(math.ceil(limit))))]
        return cmd
    if solver == "minisat":
        return [binary, "-verb=1", cnf]
    if solver == "cadical":
        # -n: no model lines; the verdict and statistics are all we read.
        return [binary, "-n", cnf]
    raise ValueError("unknown solver " + solver)


def find_solvers(names, quelt_path):
    """Binaries of the requested solvers; a missing one is left out with a
    note. Returns (dict name -> path, list of notes)."""
    found, notes = {}, []
    for name in names:
        if name == "quelt":
            path = quelt_path
            if path and os.path.isfile(path) and os.access(path, os.X_OK):
                found[name] = os.path.abspath(path)
            else:
                notes.append("quelt: no executable at %s, skipped" % path)
        else:
            path = shutil.which(name)
            if path:
                found[name] = path
            else:
                notes.append("%s: not installed, skipped" % name)
    return found, notes


def solver_version(name, path):
    try:
        if name == "cadical":
            return subprocess.run([path, "--version"], capture_output=True, text=True,
                                  timeout=10).stdout.strip()
    except (OSError, subprocess.SubprocessError):
        return ""
    return ""


def make_row(instance, solver_label, solver, run, limit):
    parsed = PARSERS[solver](run.output)
    verdict, verdict_note = decide_verdict(run.exit_status, parsed["verdict"])
    notes = [n for n in (run.note, verdict_note) if n]
    if (not notes and parsed["verdict"] is None and run.exit_status is not None
            and run.exit_status not in (0, 10, 20)):
        notes.append(describe_status(run.exit_status))
    expected = instance["expected"]
    correct = classify(verdict, expected)
    if correct == "WRONG":
        notes.insert(0, "WRONG ANSWER: %s, expected %s" % (verdict, expected))
    solved = is_solved(verdict, expected, run.cpu_s, limit)
    if verdict in ("SAT", "UNSAT") and not solved and correct != "WRONG":
        notes.append("answered after the %g s limit" % limit)
    return {
        "instance": instance["name"],
        "family": instance["family"],
        "expected": expected,
        "solver": solver_label,
        "verdict": verdict,
        "correct": correct,
        "solved": 1 if solved else 0,
        "cpu_s": run.cpu_s,
        "wall_s": run.wall_s,
        "max_rss_kib": run.max_rss_kib,
        "exit_status": run.exit_status,
        "conflicts": parsed["conflicts"],
        "decisions": parsed["decisions"],
        "propagations": parsed["propagations"],
        "props_per_sec": props_per_sec(parsed["propagations"], run.cpu_s),
        "note": "; ".join(notes),
    }


# ---------------------------------------------------------------------------
# Output files

def _fmt(value, digits=2):
    if value is None:
        return ""
    if isinstance(value, float):
        return "%.*f" % (digits, value)
    return str(value)


def read_csv(path):
    """Rows of a results.csv written by write_csv, with numbers as numbers."""
    ints = ("solved", "max_rss_kib", "exit_status", "conflicts", "decisions",
            "propagations")
    floats = ("cpu_s", "wall_s", "props_per_sec")
    rows = []
    with open(path, newline="") as f:
        for raw in csv.DictReader(f):
            row = dict(raw)
            for k in ints:
                row[k] = int(raw[k]) if raw[k] not in ("", None) else None
            for k in floats:
                row[k] = float(raw[k]) if raw[k] not in ("", None) else None
            row["solved"] = row["solved"] or 0
            rows.append(row)
    return rows


def write_csv(path, rows):
    with open(path, "w", newline="") as f:
        writer = csv.DictWriter(f, fieldnames=CSV_FIELDS)
        writer.writeheader()
        for row in rows:
            out = dict(row)
            out["cpu_s"] = _fmt(row["cpu_s"], 3)
            out["wall_s"] = _fmt(row["wall_s"], 3)
            out["props_per_sec"] = _fmt(row["props_per_sec"], 0)
            writer.writerow({k: ("" if out[k] is None else out[k]) for k in CSV_FIELDS})


def _human_rate(rate):
    if rate is None:
        return "n/a"
    if rate >= 1e6:
        return "%.2f M" % (rate / 1e6)
    if rate >= 1e3:
        return "%.1f k" % (rate / 1e3)
    return "%.0f" % rate


def solver_totals(rows, limit):
    """Aggregates of one solver's rows."""
    cpu = [r["cpu_s"] if r["cpu_s"] is not None else 0.0 for r in rows]
    solved = [bool(r["solved"]) for r in rows]
    rates = [r["props_per_sec"] for r in rows
             if r["cpu_s"] is not None and r["cpu_s"] >= MIN_RATE_CPU_S]
    rates = [x for x in rates if x is not None]
    return {
        "runs": len(rows),
        "solved": sum(solved),
        "sat": sum(1 for r in rows if r["solved"] and r["verdict"] == "SAT"),
        "unsat": sum(1 for r in rows if r["solved"] and r["verdict"] == "UNSAT"),
        "wrong": sum(1 for r in rows if r["correct"] == "WRONG"),
        "par2": par2(cpu, solved, limit),
        "cpu": sum(cpu),
        "median_rate": median_or_none(rates),
        "rate_runs": len(rates),
    }


def _cell(row):
    if row is None:
        return "—"
    cpu = _fmt(row["cpu_s"], 2)
    mem = "%.1f MiB" % (row["max_rss_kib"] / 1024.0) if row["max_rss_kib"] else "?"
    if row["correct"] == "WRONG":
        return "**WRONG %s** %s s, %s" % (row["verdict"], cpu, mem)
    if row["solved"]:
        return "%s %s s, %s" % (row["verdict"], cpu, mem)
    return "– (%s s, %s)" % (cpu, mem)


def write_summary(path, rows, solvers, limit, meta, quelt_label):
    by_solver = {s: [r for r in rows if r["solver"] == s] for s in solvers}
    instances = []
    for r in rows:
        if r["instance"] not in [i[0] for i in instances]:
            instances.append((r["instance"], r["family"], r["expected"]))
    index = {(r["instance"], r["solver"]): r for r in rows}
    wrong = [r for r in rows if r["correct"] == "WRONG"]

    lines = ["# Benchmark results", ""]
    for key, value in meta:
        lines.append("- %s: %s" % (key, value))
    lines.append("")

    if wrong:
        lines += ["## WRONG ANSWERS", ""]
        for r in wrong:
            lines.append("- **%s on %s: answered %s, expected %s**"
                         % (r["solver"], r["instance"], r["verdict"], r["expected"]))
        lines.append("")

    lines += ["## Per solver", "",
              "| solver | solved | SAT | UNSAT | wrong | PAR-2 (s) | total CPU (s) "
              "| median props/s (runs ≥ %g s) |" % MIN_RATE_CPU_S,
              "| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: |"]
    for s in solvers:
        t = solver_totals(by_solver[s], limit)
        rate = ("%s (n=%d)" % (_human_rate(t["median_rate"]), t["rate_runs"])
                if t["median_rate"] is not None else "n/a")
        lines.append("| %s | %d/%d | %d | %d | %d | %.1f | %.1f | %s |"
                     % (s, t["solved"], t["runs"], t["sat"], t["unsat"], t["wrong"],
                        t["par2"], t["cpu"], rate))
    lines.append("")
    lines.append("PAR-2 counts every run that is not solved within the limit "
                 "(timeout, no answer, wrong answer) as %g s." % (2 * limit))
    lines.append("")

    rate_ratios, mem_ratios = {}, {}
    if quelt_label in by_solver and "minisat" in by_solver:
        q = {r["instance"]: r for r in by_solver[quelt_label]}
        m = {r["instance"]: r for r in by_solver["minisat"]}
        rate_ratios = paired_rate_ratios(q, m)
        mem_ratios = memory_ratios(q, m)
        lines += ["## %s against minisat" % quelt_label, ""]
        if rate_ratios:
            lines.append("- median of %s props/s ÷ minisat props/s over the %d instances "
                         "where both ran at least %g CPU s: **%.3f** (range %.3f – %.3f)"
                         % (quelt_label, len(rate_ratios), MIN_RATE_CPU_S,
                            statistics.median(rate_ratios.values()),
                            min(rate_ratios.values()), max(rate_ratios.values())))
        else:
            lines.append("- props/s ratio: no instance where both ran at least %g CPU s"
                         % MIN_RATE_CPU_S)
        if mem_ratios:
            worst = max(mem_ratios, key=mem_ratios.get)
            lines.append("- peak RSS %s ÷ minisat: median %.2f, max **%.2f** (%s)"
                         % (quelt_label, statistics.median(mem_ratios.values()),
                            mem_ratios[worst], worst))
        lines.append("")

    lines += ["## Per instance", ""]
    header = "| instance | family | expected | " + " | ".join(solvers)
    align = "| --- | --- | --- | " + " | ".join("---" for _ in solvers)
    if rate_ratios or mem_ratios:
        header += " | props/s %s÷minisat | RSS %s÷minisat" % (quelt_label, quelt_label)
        align += " | ---: | ---:"
    lines += [header + " |", align + " |"]
    for name, family, expected in instances:
        cells = [_cell(index.get((name, s))) for s in solvers]
        line = "| %s | %s | %s | %s" % (name, family, expected, " | ".join(cells))
        if rate_ratios or mem_ratios:
            line += " | %s | %s" % (_fmt(rate_ratios.get(name), 3),
                                    _fmt(mem_ratios.get(name), 2))
        lines.append(line + " |")
    lines.append("")
    lines.append("A cell reads verdict, CPU seconds, peak RSS; `–` marks a run not "
                 "solved within the limit, with the CPU time it used.")
    notes = [r for r in rows if r["note"]]
    if notes:
        lines += ["", "## Notes", ""]
        for r in notes:
            lines.append("- %s on %s: %s" % (r["solver"], r["instance"], r["note"]))
    lines.append("")
    with open(path, "w") as f:
        f.write("\n".join(lines))


def write_cactus(out_dir, rows, solvers, limit):
    """cactus.png through gnuplot; returns a note when the plot is skipped."""
    gnuplot = shutil.which("gnuplot")
    if not gnuplot:
        return "gnuplot not found: cactus.png skipped (apt-get install gnuplot-nox)"
    data_path = os.path.join(out_dir, "cactus.dat")
    series = []
    with open(data_path, "w") as f:
        for s in solvers:
            times = sorted(r["cpu_s"] for r in rows if r["solver"] == s and r["solved"])
            if not times:
                continue
            f.write("# %s\n" % s)
            for i, t in enumerate(times, 1):
                f.write("%d %.4f\n" % (i, max(t, 0.001)))
            f.write("\n\n")
            series.append(s)
    if not series:
        return "no solved instance: cactus.png skipped"
    plots = ", ".join("'cactus.dat' index %d with linespoints title '%s'" % (i, s)
                      for i, s in enumerate(series))
    script = "\n".join([
        "set terminal pngcairo size 900,600 noenhanced",
        "set output 'cactus.png'",
        "set title 'Solved instances against CPU time (limit %g s)'" % limit,
        "set xlabel 'instances solved'",
        "set ylabel 'CPU seconds'",
        "set logscale y",
        "set xrange [0:%d]" % max(len({r["instance"] for r in rows}), 1),
        "set yrange [0.001:%g]" % (limit * 1.5),
        "set arrow from graph 0, first %g to graph 1, first %g nohead dashtype 2"
        % (limit, limit),
        "set key bottom right box opaque",
        "set label 'CPU limit' at graph 0.01, first %g offset 0,0.6" % limit,
        "set grid",
        "plot " + plots,
        "",
    ])
    with open(os.path.join(out_dir, "cactus.gp"), "w") as f:
        f.write(script)
    done = subprocess.run([gnuplot, "cactus.gp"], cwd=out_dir, capture_output=True,
                          text=True)
    if done.returncode != 0:
        return "gnuplot failed: " + done.stderr.strip()
    return ""


# ---------------------------------------------------------------------------
# Main

def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--manifest", default=DEFAULT_MANIFEST,
                   help="manifest.tsv of the instance set (default: %(default)s)")
    p.add_argument("--solvers", default=",".join(KNOWN_SOLVERS),
                   help="comma-separated list out of quelt,minisat,cadical")
    p.add_argument("--limit", type=float, default=60.0,
                   help="CPU seconds per run (default: %(default)s)")
    p.add_argument("--quelt", default=DEFAULT_QUELT,
                   help="path of the quelt-bench program (default: %(default)s)")
    p.add_argument("--quelt-args", default="",
                   help="extra options for quelt, one shell-quoted string")
    p.add_argument("--label", default="quelt",
                   help="name of the quelt configuration in the results")
    p.add_argument("--out", default="bench/results", help="output directory")
    p.add_argument("--filter", default=None,
                   help="only instances whose file name or family matches this regex")
    p.add_argument("--jobs", type=int, default=1,
                   help="runs at the same time (default 1; more distorts times)")
    p.add_argument("--cache", default=DEFAULT_CACHE,
                   help="directory for decompressed instances (default: %(default)s)")
    p.add_argument("--no-plot", action="store_true", help="do not draw cactus.png")
    p.add_argument("--report-only", action="store_true",
                   help="run nothing: rewrite summary.md and cactus.png from the "
                        "results.csv and run.json already in --out")
    args = p.parse_args(argv)
    if args.limit <= 0:
        p.error("--limit must be positive")
    if args.jobs < 1:
        p.error("--jobs must be at least 1")
    args.solvers = [s.strip() for s in args.solvers.split(",") if s.strip()]
    unknown = [s for s in args.solvers if s not in KNOWN_SOLVERS]
    if unknown:
        p.error("unknown solver(s): " + ", ".join(unknown))
    return args


def _raise_interrupt(signum, frame):
    raise KeyboardInterrupt("signal %d" % signum)


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    if threading.current_thread() is threading.main_thread():
        # Stopped with kill: end the running solver too (see run_limited).
        signal.signal(signal.SIGTERM, _raise_interrupt)
    if args.report_only:
        with open(os.path.join(args.out, "run.json")) as f:
            info = json.load(f)
        rows = read_csv(os.path.join(args.out, "results.csv"))
        return report(args.out, rows, info, plot=not args.no_plot)
    quelt_args = shlex.split(args.quelt_args)
    label = args.label or "quelt"
    binaries, skip_notes = find_solvers(args.solvers, args.quelt)
    for note in skip_notes:
        print("note: " + note, file=sys.stderr)
    if not binaries:
        print("error: none of the requested solvers is available", file=sys.stderr)
        return 2

    manifest_dir = os.path.dirname(os.path.abspath(args.manifest))
    instances = []
    pattern = re.compile(args.filter) if args.filter else None
    for row in read_manifest(args.manifest):
        if pattern and not (pattern.search(row["file"]) or pattern.search(row["family"])):
            continue
        source = os.path.join(manifest_dir, "cnf", row["file"])
        if not os.path.exists(source):
            source = os.path.join(manifest_dir, row["file"])
        instances.append({"name": instance_name(row["file"]), "family": row["family"],
                          "expected": row["expected"], "source": source})
    if not instances:
        print("error: no instance selected from " + args.manifest, file=sys.stderr)
        return 2

    os.makedirs(args.out, exist_ok=True)
    log_dir = os.path.join(args.out, "logs")
    solvers = [s for s in args.solvers if s in binaries]
    labels = {s: (label if s == "quelt" else s) for s in solvers}
    for s in solvers:
        os.makedirs(os.path.join(log_dir, labels[s]), exist_ok=True)

    tasks = []
    for inst in instances:
        for s in solvers:
            tasks.append((inst, s))
    total = len(tasks)
    print("%d instances x %d solvers, %g s CPU limit, into %s"
          % (len(instances), len(solvers), args.limit, args.out), file=sys.stderr)

    print_lock = threading.Lock()
    counter = [0]

    def run_task(task):
        inst, s = task
        try:
            cnf = cached_plain(inst["source"], args.cache)
        except (OSError, EOFError, lzma.LZMAError) as err:
            run = RunResult()
            run.note = "cannot read instance: %s" % err
        else:
            cmd = solver_command(s, binaries[s], cnf, args.limit,
                                 quelt_args if s == "quelt" else ())
            log_path = os.path.join(log_dir, labels[s], inst["name"] + ".log")
            run = run_limited(cmd, args.limit, log_path)
        row = make_row(inst, labels[s], s, run, args.limit)
        with print_lock:
            counter[0] += 1
            status = row["verdict"] if row["solved"] else "unsolved (%s)" % row["verdict"]
            print("[%d/%d] %-10s %-45s %-18s %8s s %s"
                  % (counter[0], total, labels[s], inst["name"], status,
                     _fmt(row["cpu_s"], 2), row["note"]), file=sys.stderr, flush=True)
            if row["correct"] == "WRONG":
                print("*** WRONG ANSWER *** %s on %s said %s, expected %s"
                      % (labels[s], inst["name"], row["verdict"], inst["expected"]),
                      file=sys.stderr, flush=True)
        return row

    if args.jobs == 1:
        rows = [run_task(t) for t in tasks]
    else:
        with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
            rows = list(pool.map(run_task, tasks))

    write_csv(os.path.join(args.out, "results.csv"), rows)
    meta = [
        ("date", datetime.datetime.now().strftime("%Y-%m-%d %H:%M")),
        ("host", "%s, %d cores" % (platform.node(), os.cpu_count() or 0)),
        ("manifest", args.manifest),
        ("instances", str(len(instances)) + (" (filter %s)" % args.filter
                                             if args.filter else "")),
        ("CPU limit", "%g s per run, %d run(s) at a time" % (args.limit, args.jobs)),
    ]
    for s in solvers:
        desc = binaries[s]
        version = solver_version(s, binaries[s])
        if version:
            desc += " (%s)" % version
        if s == "quelt":
            desc += ", options: %s" % (" ".join(solver_command(
                s, "", "FILE", args.limit, quelt_args)[1:]))
        meta.append((labels[s], desc))
    for note in skip_notes:
        meta.append(("skipped", note))
    info = {"limit": args.limit, "solvers": [labels[s] for s in solvers],
            "label": label, "meta": meta}
    with open(os.path.join(args.out, "run.json"), "w") as f:
        json.dump(info, f, indent=1)
    return report(args.out, rows, info, plot=not args.no_plot)


def report(out_dir, rows, info, plot=True):
    """summary.md and cactus.png from the rows of a finished run; the exit
    status of the runner (1 when any answer was wrong)."""
    meta = [tuple(m) for m in info["meta"]]
    plot_note = write_cactus(out_dir, rows, info["solvers"], info["limit"]) if plot else ""
    if plot_note:
        meta.append(("plot", plot_note))
        print("note: " + plot_note, file=sys.stderr)
    write_summary(os.path.join(out_dir, "summary.md"), rows, info["solvers"],
                  info["limit"], meta, info["label"])

    wrong = [r for r in rows if r["correct"] == "WRONG"]
    print("wrote %s/results.csv and %s/summary.md" % (out_dir, out_dir), file=sys.stderr)
    if wrong:
        print("*** %d WRONG ANSWER(S) *** see %s/summary.md"
              % (len(wrong), out_dir), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        print("interrupted", file=sys.stderr)
        sys.exit(130)
