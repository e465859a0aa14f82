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

KNOWN_SOLVERS = ("quelt", "minisat", "cadical")


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
