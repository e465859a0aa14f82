#!/usr/bin/env python3
"""Benchmark runner: quelt against the peer solvers minisat, cadical and kissat.

Runs every solver on every instance of a manifest, one run at a time by
default, each under a CPU-time limit, and writes results.csv, summary.md and
cactus.png into the output directory. See bench/README.md.

Only the Python standard library is used; the cactus plot is drawn by
gnuplot when it is installed and skipped otherwise.

This file is the command line and the loop over runs; the parts live beside
it: instances.py (manifest, selection, decompression cache), peers.py (each
solver's program, command line and output parser), runner.py (one process
under a CPU limit, its CPU time and peak memory), results.py (verdicts, the
row of a run, results.csv) and report.py (summary.md, cactus plot).
"""

import argparse
import concurrent.futures
import datetime
import json
import os
import platform
import shlex
import signal
import sys
import tempfile
import threading

from instances import READ_ERRORS, cached_plain, select_instances
from peers import (DEFAULT_PEERS_DIR, KNOWN_SOLVERS, find_solvers, probe_options,
                   solver_command, solver_threads, solver_version)
from report import write_cactus, write_summary
from results import fmt, make_row, read_csv, write_csv
from runner import RunResult, run_limited

REPO_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_BENCH_DIR = os.environ.get(
    "QUELT_BENCH_DIR", os.path.join(os.path.dirname(REPO_ROOT), "shared", "bench"))
DEFAULT_MANIFEST = os.path.join(DEFAULT_BENCH_DIR, "manifest.tsv")
DEFAULT_CACHE = os.path.join(tempfile.gettempdir(), "quelt-bench-cache")
DEFAULT_QUELT = os.path.join(REPO_ROOT, "build", "quelt-bench")


# ---------------------------------------------------------------------------
# Command line and the loop over runs

def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--manifest", action="append",
                   help="manifest.tsv of an instance set; may be given more than "
                        "once (default: %s)" % DEFAULT_MANIFEST)
    p.add_argument("--solvers", default=",".join(KNOWN_SOLVERS),
                   help="comma-separated list out of " + ",".join(KNOWN_SOLVERS))
    p.add_argument("--peers", default=DEFAULT_PEERS_DIR,
                   help="directory of the peers built from source, bin/kissat and "
                        "bin/cadical (CaDiCaL 2.2, solver cadical2) (default: %(default)s)")
    p.add_argument("--only", default=None, metavar="LABEL,...",
                   help="run only these columns, by label: quelt configurations "
                        "and peer solvers")
    p.add_argument("--limit", type=float, default=60.0,
                   help="CPU seconds per run (default: %(default)s)")
    p.add_argument("--quelt", default=DEFAULT_QUELT,
                   help="path of the quelt-bench program (default: %(default)s)")
    p.add_argument("--quelt-args", default="",
                   help="extra options for quelt, one shell-quoted string")
    p.add_argument("--label", default="quelt",
                   help="name of the quelt configuration in the results")
    p.add_argument("--config", action="append", default=[], metavar="LABEL=ARGS",
                   help="a quelt configuration: its label and its options as one "
                        "shell-quoted string; may be given more than once, and "
                        "replaces --label and --quelt-args")
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
    args.manifest = args.manifest or [DEFAULT_MANIFEST]
    try:
        args.configs = parse_configs(args.config, args.label, args.quelt_args)
        args.solvers, args.configs = select_columns(args.only, args.solvers, args.configs)
    except ValueError as err:
        p.error(str(err))
    return args


def select_columns(only, solvers, configs):
    """The solvers and quelt configurations that --only keeps, in their
    order; all of them without --only. A label that names neither a
    configuration nor a solver is an error: a typo would otherwise run
    nothing of what was meant."""
    if only is None:
        return solvers, configs
    wanted = [w.strip() for w in only.split(",") if w.strip()]
    labels = ([c[0] for c in configs] if "quelt" in solvers else []) + \
        [s for s in solvers if s != "quelt"]
    unknown = [w for w in wanted if w not in labels]
    if unknown or not wanted:
        raise ValueError("--only: no column %s; the columns are %s"
                         % (", ".join(unknown) or "named", ", ".join(labels)))
    configs = [c for c in configs if c[0] in wanted]
    solvers = [s for s in solvers if s in wanted or (s == "quelt" and configs)]
    return solvers, configs


def parse_configs(specs, label, quelt_args):
    """The quelt configurations as (label, options) pairs: one per LABEL=ARGS
    spec, or the single one named by --label and --quelt-args."""
    if not specs:
        return [(label or "quelt", shlex.split(quelt_args))]
    configs = []
    for spec in specs:
        name, sep, options = spec.partition("=")
        name = name.strip()
        if not sep or not name:
            raise ValueError("--config wants LABEL=ARGS, got %r" % spec)
        if name in KNOWN_SOLVERS[1:] or name in [c[0] for c in configs]:
            raise ValueError("--config label %r is taken" % name)
        configs.append((name, shlex.split(options)))
    return configs


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
    binaries, skip_notes = find_solvers(args.solvers, args.quelt, args.peers)
    for note in skip_notes:
        print("note: " + note, file=sys.stderr)
    if not binaries:
        print("error: none of the requested solvers is available", file=sys.stderr)
        return 2

    instances = []
    for manifest in args.manifest:
        if os.path.exists(manifest):
            instances += select_instances(manifest, args.filter)
        else:
            print("note: no instance set at %s, skipped" % manifest, file=sys.stderr)
    if not instances:
        print("error: no instance selected from " + ", ".join(args.manifest),
              file=sys.stderr)
        return 2

    os.makedirs(args.out, exist_ok=True)
    log_dir = os.path.join(args.out, "logs")
    # One entry per column of the results: (label, solver, its options).
    entries = []
    for s in args.solvers:
        if s not in binaries:
            continue
        if s == "quelt":
            entries += [(label, s, options) for label, options in args.configs]
        else:
            entries.append((s, s, []))
    # A quelt configuration whose options this build refuses keeps its
    # column, marked, and gets no runs.
    unsupported = {}
    for label, s, options in entries:
        if s == "quelt":
            message = probe_options(binaries[s], options)
            if message:
                unsupported[label] = message
                print("note: %s: not supported by this build (%s), skipped"
                      % (label, message), file=sys.stderr)
    running = [e for e in entries if e[0] not in unsupported]
    for label, _, _ in running:
        os.makedirs(os.path.join(log_dir, label), exist_ok=True)

    tasks = [(inst, entry) for inst in instances for entry in running]
    total = len(tasks)
    print("%d instances x %d solvers, %g s limit, into %s"
          % (len(instances), len(running), args.limit, args.out), file=sys.stderr)

    print_lock = threading.Lock()
    counter = [0]

    def run_task(task):
        inst, (label, s, options) = task
        threads = solver_threads(s, options)
        try:
            cnf = cached_plain(inst["source"], args.cache)
        except READ_ERRORS as err:
            run = RunResult()
            run.note = "cannot read instance: %s" % err
        else:
            cmd = solver_command(s, binaries[s], cnf, args.limit, options)
            log_path = os.path.join(log_dir, label, inst["name"] + ".log")
            run = run_limited(cmd, args.limit * threads, log_path)
        row = make_row(inst, label, s, run, args.limit, threads)
        with print_lock:
            counter[0] += 1
            status = row["verdict"] if row["solved"] else "unsolved (%s)" % row["verdict"]
            print("[%d/%d] %-12s %-45s %-18s %8s s %s"
                  % (counter[0], total, label, inst["name"], status,
                     fmt(row["time_s"], 2), row["note"]), file=sys.stderr, flush=True)
            if row["correct"] == "WRONG":
                print("*** WRONG ANSWER *** %s on %s said %s, expected %s"
                      % (label, inst["name"], row["verdict"], inst["expected"]),
                      file=sys.stderr, flush=True)
        return row

    if args.jobs == 1:
        rows = [run_task(t) for t in tasks]
    else:
        with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
            rows = list(pool.map(run_task, tasks))

    write_csv(os.path.join(args.out, "results.csv"), rows)
    # The report is drawn from the rows as stored, so that --report-only
    # rounds every figure the same way as this run.
    rows = read_csv(os.path.join(args.out, "results.csv"))
    meta = [
        ("date", datetime.datetime.now().strftime("%Y-%m-%d %H:%M")),
        ("host", "%s, %d cores" % (platform.node(), os.cpu_count() or 0)),
        ("manifest", ", ".join(args.manifest)),
        ("instances", str(len(instances)) + (" (filter %s)" % args.filter
                                             if args.filter else "")),
        ("limit", "%g s per run (CPU time; wall-clock time for a run with several "
                  "threads), %d run(s) at a time" % (args.limit, args.jobs)),
    ]
    for label, s, options in entries:
        desc = binaries[s]
        version = solver_version(s, binaries[s])
        if version:
            desc += " (%s)" % version
        if s == "quelt":
            desc += ", options: %s" % (" ".join(solver_command(
                s, "", "FILE", args.limit, options)[1:]))
        if label in unsupported:
            desc += "; not supported by this build: %s" % unsupported[label]
        meta.append((label, desc))
    for note in skip_notes:
        meta.append(("skipped", note))
    labels = [e[0] for e in entries]
    quelt_labels = [e[0] for e in running if e[1] == "quelt"]
    info = {"limit": args.limit, "solvers": labels,
            "label": quelt_labels[0] if quelt_labels else "quelt", "meta": meta,
            "unsupported": unsupported}
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
                  info["limit"], meta, info["label"], info.get("unsupported", {}))

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
