"""Reports of a finished run: the per-solver aggregates (PAR-2, rates,
quelt against minisat), summary.md, and the cactus plot.

Everything here works on result rows alone (see results.py), so a report
can be rewritten from results.csv without running anything again.
"""

import os
import shutil
import statistics
import subprocess

from results import fmt, props_per_sec

# Rates from runs shorter than this are dominated by start-up and parsing.
MIN_RATE_CPU_S = 1.0


# ---------------------------------------------------------------------------
# Aggregates

def par2(times, solved_flags, limit):
    """PAR-2 score: seconds of the solved runs plus twice the limit for
    every other run (timeouts, no answer, wrong answers)."""
    return sum(t if ok else 2.0 * limit for t, ok in zip(times, solved_flags))


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
    times = [r["time_s"] if r["time_s"] is not None else 0.0 for r in rows]
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
        "par2": par2(times, solved, limit),
        "cpu": sum(cpu),
        "median_rate": median_or_none(rates),
        "rate_runs": len(rates),
    }


# ---------------------------------------------------------------------------
# summary.md and cactus.png

def _cell(row):
    if row is None:
        return "—"
    cpu = fmt(row["time_s"], 2)
    mem = "%.1f MiB" % (row["max_rss_kib"] / 1024.0) if row["max_rss_kib"] else "?"
    if row["correct"] == "WRONG":
        return "**WRONG %s** %s s, %s" % (row["verdict"], cpu, mem)
    if row["solved"]:
        return "%s %s s, %s" % (row["verdict"], cpu, mem)
    return "– (%s s, %s)" % (cpu, mem)


def write_summary(path, rows, solvers, limit, meta, quelt_label, unsupported=None):
    """summary.md. unsupported maps the label of a quelt configuration that
    this build refused to quelt's message: its column is marked as such in
    the per-solver table and has no runs to count or show."""
    unsupported = unsupported or {}
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
        if s in unsupported:
            lines.append("| %s | not supported by this build | – | – | – | – | – | – |" % s)
            continue
        t = solver_totals(by_solver[s], limit)
        rate = ("%s (n=%d)" % (_human_rate(t["median_rate"]), t["rate_runs"])
                if t["median_rate"] is not None else "n/a")
        lines.append("| %s | %d/%d | %d | %d | %d | %.1f | %.1f | %s |"
                     % (s, t["solved"], t["runs"], t["sat"], t["unsat"], t["wrong"],
                        t["par2"], t["cpu"], rate))
    lines.append("")
    lines.append("PAR-2 sums the seconds of the solved runs and counts every run "
                 "that is not solved within the limit (timeout, no answer, wrong "
                 "answer) as %g s. A run's seconds are its CPU time; for a run with "
                 "several threads they are the wall-clock time, and its CPU time, "
                 "about that many times longer, is in the total." % (2 * limit))
    lines.append("")
    for s in solvers:
        if s in unsupported:
            lines.append("- %s: not supported by this build, which refused its options "
                         "(`%s`); it has no runs and no column below." % (s, unsupported[s]))
    if unsupported:
        lines.append("")
    solvers = [s for s in solvers if s not in unsupported]

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
            line += " | %s | %s" % (fmt(rate_ratios.get(name), 3),
                                    fmt(mem_ratios.get(name), 2))
        lines.append(line + " |")
    lines.append("")
    lines.append("A cell reads verdict, seconds (CPU; wall clock for several "
                 "threads), peak RSS; `–` marks a run not solved within the limit, "
                 "with the time it used.")
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
            times = sorted(r["time_s"] for r in rows if r["solver"] == s and r["solved"])
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
        "set title 'Solved instances against time (limit %g s; wall clock for "
        "several threads)'" % limit,
        "set xlabel 'instances solved'",
        "set ylabel 'seconds'",
        "set logscale y",
        "set xrange [0:%d]" % max(len({r["instance"] for r in rows}), 1),
        "set yrange [0.001:%g]" % (limit * 1.5),
        "set arrow from graph 0, first %g to graph 1, first %g nohead dashtype 2"
        % (limit, limit),
        "set key bottom right box opaque",
        "set label 'limit' at graph 0.01, first %g offset 0,0.6" % limit,
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

