"""The peer solvers and quelt as programs: how each is found, invoked, and
how its output is read.

Everything that differs between solvers lives here: the command line each
one gets, where its program comes from, and the parser that takes the
verdict and the search counters out of what it printed. The rest of the
runner treats all solvers alike.
"""

import math
import os
import re
import shutil
import subprocess
import tempfile

KNOWN_SOLVERS = ("quelt", "minisat", "cadical", "kissat", "cadical2")

# The peers built from their own sources live beside the repository, not in
# it: ../shared/peers/bin/NAME, or $QUELT_PEERS_DIR/bin/NAME. The solver
# name is ours; the program's name is theirs (the shared CaDiCaL 2.2 is
# called cadical like Debian's 1.5.3, so it is cadical2 here).
REPO_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_PEERS_DIR = os.environ.get(
    "QUELT_PEERS_DIR", os.path.join(os.path.dirname(REPO_ROOT), "shared", "peers"))
SHARED_PROGRAMS = {"kissat": "kissat", "cadical2": "cadical"}


# ---------------------------------------------------------------------------
# Command lines and programs

def has_option(args, option):
    return any(a == option or a.startswith(option + "=") for a in args)


def option_value(args, option):
    """The value of the last `option V` or `option=V` in args, or None."""
    value = None
    for i, a in enumerate(args):
        if a == option and i + 1 < len(args):
            value = args[i + 1]
        elif a.startswith(option + "="):
            value = a[len(option) + 1:]
    return value


def solver_threads(solver, args):
    """How many threads a run of solver with these options keeps busy."""
    if solver != "quelt":
        return 1
    try:
        return max(1, int(option_value(args, "--threads") or 1))
    except ValueError:
        return 1


def solver_command(solver, binary, cnf, limit, extra_args=()):
    if solver == "quelt":
        cmd = [binary, "--nosplash", "--dimacs", cnf] + list(extra_args)
        if not (has_option(extra_args, "--tmout") or has_option(extra_args, "--wall-tmout")):
            # Whole seconds only, and 0 would mean "parse only". A run with
            # several threads is limited, and timed, by the wall clock.
            option = "--wall-tmout" if solver_threads(solver, extra_args) > 1 else "--tmout"
            cmd += [option, str(max(1, int(math.ceil(limit))))]
        return cmd
    if solver == "minisat":
        return [binary, "-verb=1", cnf]
    if solver == "cadical":
        # -n: no model lines; the verdict and statistics are all we read.
        return [binary, "-n", cnf]
    if solver == "kissat":
        # Not -q: Kissat refuses --statistics beside it, and the statistics
        # come only with its messages. Those are a progress line per
        # restart or mode switch, a few hundred over a long run, and cost
        # nothing measurable (bench/README.md).
        return [binary, "-n", cnf]
    if solver == "cadical2":
        # The messages without the progress lines: banner, options, result
        # and statistics, about a hundred lines whatever the run's length.
        return [binary, "-n", "--report=false", cnf]
    raise ValueError("unknown solver " + solver)


def _executable(path):
    return bool(path) and os.path.isfile(path) and os.access(path, os.X_OK)


def find_solvers(names, quelt_path, peers_dir=DEFAULT_PEERS_DIR):
    """Binaries of the requested solvers; a missing one is left out with a
    note. Returns (dict name -> path, list of notes)."""
    found, notes = {}, []
    for name in names:
        if name == "quelt":
            path = quelt_path
            if _executable(path):
                found[name] = os.path.abspath(path)
            else:
                notes.append("quelt: no executable at %s, skipped" % path)
        elif name in SHARED_PROGRAMS:
            path = os.path.join(peers_dir, "bin", SHARED_PROGRAMS[name])
            if _executable(path):
                found[name] = os.path.abspath(path)
            elif not os.path.isdir(peers_dir):
                notes.append("%s: no peer solvers at %s, skipped" % (name, peers_dir))
            else:
                notes.append("%s: no executable at %s, skipped" % (name, path))
        else:
            path = shutil.which(name)
            if path:
                found[name] = path
            else:
                notes.append("%s: not installed, skipped" % name)
    return found, notes


# ---------------------------------------------------------------------------
# Whether this quelt build takes a configuration's options

# Two clauses, decided by propagation: the probe costs a few milliseconds.
PROBE_CNF = "p cnf 2 2\n1 2 0\n-1 0\n"


def rejection_message(exit_status, stderr):
    """The message with which quelt refused its command line, or None.

    quelt's option parser prints `Error: ...` on stderr and exits with 1 for
    an option it does not know or a value it cannot read; any other outcome
    (a verdict, a crash, a file it cannot open) is not a refusal of the
    options and is left for the runs themselves to show."""
    if exit_status != 1:
        return None
    for line in stderr.splitlines():
        if line.startswith("Error: "):
            return line.strip()
    return None


def probe_options(binary, options):
    """Runs quelt with these options on PROBE_CNF; returns its message when
    it rejects them (rejection_message), else None. A configuration written
    for an option that a later build adds is then one column marked as not
    supported instead of a column of failed runs."""
    with tempfile.TemporaryDirectory(prefix="quelt-probe-") as tmp:
        cnf = os.path.join(tmp, "probe.cnf")
        with open(cnf, "w") as f:
            f.write(PROBE_CNF)
        try:
            done = subprocess.run(solver_command("quelt", binary, cnf, 1, options),
                                  stdin=subprocess.DEVNULL, capture_output=True, text=True,
                                  errors="replace", timeout=60)
        except (OSError, subprocess.SubprocessError):
            return None
    return rejection_message(done.returncode, done.stderr)


def _debian_version(path):
    """The version of the Debian package that installed path, or ''."""
    try:
        owner = subprocess.run(["dpkg-query", "-S", os.path.realpath(path)],
                               capture_output=True, text=True, timeout=10)
        package = owner.stdout.split(":")[0].strip() if owner.returncode == 0 else ""
        if not package:
            return ""
        return subprocess.run(["dpkg-query", "-W", "-f=${Version}", package],
                              capture_output=True, text=True, timeout=10).stdout.strip()
    except (OSError, subprocess.SubprocessError):
        return ""


def solver_version(name, path):
    if name not in ("cadical", "cadical2", "kissat"):
        return ""
    try:
        version = subprocess.run([path, "--version"], capture_output=True, text=True,
                                 timeout=10).stdout.strip()
    except (OSError, subprocess.SubprocessError):
        return ""
    if name == "cadical":
        # Debian's 1.5.3 calls itself by its competition tag (sc2021).
        package = _debian_version(path)
        if package:
            version += ", Debian package %s" % package
    return version


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


def parse_statistics_section(text):
    """Verdict and counters from the statistics that cadical (1.5 and 2.2)
    and Kissat print at the end of a run without -q (same keys). All three
    write `c conflicts: N`, `c decisions: N`, `c propagations: N`, each
    followed by a rate that differs between them and is not read."""
    return {
        "verdict": parse_result_line(text),
        "conflicts": _last_int(r"^c\s+conflicts:\s+(\d+)", text),
        "decisions": _last_int(r"^c\s+decisions:\s+(\d+)", text),
        "propagations": _last_int(r"^c\s+propagations:\s+(\d+)", text),
    }


PARSERS = {
    "quelt": parse_quelt_report,
    "minisat": parse_minisat_output,
    "cadical": parse_statistics_section,
    "cadical2": parse_statistics_section,
    "kissat": parse_statistics_section,
}
