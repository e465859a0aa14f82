"""Result rows: what one run of one solver on one instance amounts to, and
results.csv, where the rows are kept.

make_row turns a measured run into a row: the verdict from the exit status
and the printed result line together, checked against the manifest's
expected answer, and whether it counts as solved within the limit. The
rules live here so that the live run and --report-only read rows the same
way.
"""

import csv

from peers import PARSERS
from runner import describe_status

VERDICTS = ("SAT", "UNSAT", "UNKNOWN")

CSV_FIELDS = [
    "instance", "family", "expected", "solver", "verdict", "correct", "solved",
    "time_s", "threads", "cpu_s", "wall_s", "max_rss_kib", "exit_status", "conflicts", "decisions",
    "propagations", "props_per_sec", "note",
]


# ---------------------------------------------------------------------------
# Verdicts

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


def is_solved(verdict, expected, time_s, limit):
    """A run is solved when it gave a definite answer that is not wrong,
    within the limit."""
    if verdict not in ("SAT", "UNSAT") or classify(verdict, expected) == "WRONG":
        return False
    return time_s is not None and time_s <= limit


def run_time(run, threads):
    """The time a run is judged by: its CPU time, or for a run that keeps
    several threads busy the wall-clock time its user waits (its CPU time
    is then about that many times longer, and is kept beside it)."""
    return run.wall_s if threads > 1 else run.cpu_s


def props_per_sec(propagations, cpu_s):
    if propagations is None or not cpu_s or cpu_s <= 0:
        return None
    return propagations / cpu_s


# ---------------------------------------------------------------------------
# The row of one run

def make_row(instance, solver_label, solver, run, limit, threads=1):
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
    time_s = run_time(run, threads)
    solved = is_solved(verdict, expected, time_s, limit)
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
        "time_s": time_s,
        "threads": threads,
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
# results.csv

def fmt(value, digits=2):
    """A number as table text: floats with digits decimals, None as ''."""
    if value is None:
        return ""
    if isinstance(value, float):
        return "%.*f" % (digits, value)
    return str(value)


def read_csv(path):
    """Rows of a results.csv written by write_csv, with numbers as numbers."""
    ints = ("solved", "threads", "max_rss_kib", "exit_status", "conflicts", "decisions",
            "propagations")
    floats = ("time_s", "cpu_s", "wall_s", "props_per_sec")
    rows = []
    with open(path, newline="") as f:
        for raw in csv.DictReader(f):
            row = dict(raw)
            for k in ints:
                row[k] = int(raw[k]) if raw.get(k) not in ("", None) else None
            for k in floats:
                row[k] = float(raw[k]) if raw.get(k) not in ("", None) else None
            row["solved"] = row["solved"] or 0
            row["threads"] = row["threads"] or 1
            if row["time_s"] is None:  # written before runs were timed by threads
                row["time_s"] = row["cpu_s"]
            rows.append(row)
    return rows


def write_csv(path, rows):
    with open(path, "w", newline="") as f:
        writer = csv.DictWriter(f, fieldnames=CSV_FIELDS)
        writer.writeheader()
        for row in rows:
            out = dict(row)
            out["time_s"] = fmt(row["time_s"], 3)
            out["cpu_s"] = fmt(row["cpu_s"], 3)
            out["wall_s"] = fmt(row["wall_s"], 3)
            out["props_per_sec"] = fmt(row["props_per_sec"], 0)
            writer.writerow({k: ("" if out[k] is None else out[k]) for k in CSV_FIELDS})

