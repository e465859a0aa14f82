#!/usr/bin/env python3
"""Differential tester: quelt against a peer solver on generated formulas.

For each of --count cases from --seed, generates a formula (cnfgen.py),
draws a random configuration from the whole parameter space (a preset or
none, then any in-range value of any sp- option), runs quelt on it and
checks:
  - no crash (signal) and no sanitizer report;
  - standard error is exactly the reader's messages for that input (none
    for well-formed input);
  - standard output is "c" lines, at most one result line and, for
    SATISFIABLE only, one model line; the exit status matches (10, 20, 0
    for UNKNOWN, 1 with no result line when the input is unusable);
  - the verdict agrees with the peer solver (minisat, else cadical) on the
    clause list the reader saw;
  - a model assigns every variable 1..max once and satisfies every clause;
  - an UNSATISFIABLE run's DRAT proof is accepted by drat-check.
"s UNKNOWN" after the time limit gives no verdict; such runs are counted.

Deterministic for a seed. Failing cases go to --out (one directory each,
with the formula, the clause list as read, the command line and outputs).
Ends with the line "N passed, M failed"; exits 1 when anything failed.

One formula with one configuration can be checked alone (for the shrinker):
  difftest.py --check FILE --args "--sp-var-dec-heur 3 ..." [--expect-failure REGEX]
exits 0 when the check passes, 1 when it fails; with --expect-failure it
exits 0 exactly when a failure whose description matches REGEX occurs.
"""

import argparse
import concurrent.futures
import os
import random
import re
import resource
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cnfgen  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

PRESETS = ["--spset-default", "--spset-default-inc", "--spset-autotuned-kz_1_0",
           "--spset-autotuned-kz_1_1", "--spset-sw-verification"]

# (option, kind, low, high), inclusive ranges
PARAMS = [
    ("--sp-var-dec-heur", int, 0, 19),
    ("--sp-clause-sort-heur", int, 0, 19),
    ("--sp-res-order-heur", int, 0, 19),
    ("--sp-clause-del-heur", int, 0, 2),
    ("--sp-phase-dec-heur", int, 0, 6),
    ("--sp-resolution", int, 0, 2),
    ("--sp-variable-decay", float, 0.0, 10.0),
    ("--sp-clause-decay", float, 1.0, 10.0),
    ("--sp-restart-inc", float, 1.0, 10.0),
    ("--sp-learned-size-factor", float, 0.1, 10.0),
    ("--sp-learned-clauses-inc", float, 1.1, 2.0),
    ("--sp-clause-activity-inc", float, -10.0, 10.0),
    ("--sp-var-activity-inc", float, -10.0, 10.0),
    ("--sp-rand-phase-dec-freq", float, 0.0, 1.0),
    ("--sp-rand-var-dec-freq", float, 0.0, 1.0),
    ("--sp-rand-var-dec-scaling", float, 0.0, 10.0),
    ("--sp-rand-phase-scaling", float, 0.0, 10.0),
    ("--sp-max-res-lit-inc", float, 0.1, 10.0),
    ("--sp-first-restart", int, 10, 10000),
    ("--sp-res-cutoff-cls", int, 1, 20),
    ("--sp-res-cutoff-lits", int, 10, 10000),
    ("--sp-max-res-runs", int, 0, 1000),
    ("--sp-update-dec-queue", bool, 0, 1),
    ("--sp-use-pure-literal-rule", bool, 0, 1),
]

BOOL_WORDS = {True: ["true", "true", "1", "yes", "on"], False: ["false", "false", "0", "no", "off"]}

SANITIZER_MARKERS = ("AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer",
                     "runtime error:", "MemorySanitizer", "ThreadSanitizer")


def random_config(rng):
    """A preset (or none) followed by a random subset of the sp- options."""
    args = []
    if rng.random() < 0.6:
        args.append(rng.choice(PRESETS))
    density = rng.choice([0.1, 0.3, 0.6, 1.0])
    for name, kind, lo, hi in PARAMS:
        if rng.random() >= density:
            continue
        if kind is bool:
            args += [name, rng.choice(BOOL_WORDS[rng.random() < 0.5])]
        elif kind is int:
            r = rng.random()
            v = lo if r < 0.1 else hi if r < 0.2 else rng.randint(lo, hi)
            args += [name, str(v)]
        else:
            r = rng.random()
            if r < 0.1:
                v = lo
            elif r < 0.2:
                v = hi
            else:
                v = min(hi, max(lo, round(rng.uniform(lo, hi), rng.choice([0, 1, 2, 4]))))
            s = ("%.4f" % v).rstrip("0").rstrip(".")
            args += [name, s if s not in ("", "-0") else "0"]
    return args


# ---------------------------------------------------------------------------

class Proc:
    def __init__(self, status, signal_, out, err, timed_out, cpu):
        self.status, self.signal, self.out, self.err = status, signal_, out, err
        self.timed_out, self.cpu = timed_out, cpu


def run(cmd, wall, cpu_limit=None, env=None):
    """Runs cmd; returns a Proc. cpu_limit is a hard RLIMIT_CPU backstop."""
    def limit():
        os.setsid()
        if cpu_limit:
            resource.setrlimit(resource.RLIMIT_CPU, (cpu_limit, cpu_limit + 1))
    p = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         stdin=subprocess.DEVNULL, preexec_fn=limit, env=env)
    timed_out = False
    try:
        out, err = p.communicate(timeout=wall)
    except subprocess.TimeoutExpired:
        timed_out = True
        try:
            os.killpg(p.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        out, err = p.communicate()
    rc = p.returncode
    return Proc(rc if rc >= 0 else -1, -rc if rc < 0 else 0,
                out.decode("latin-1"), err.decode("latin-1"), timed_out, None)


def peer_verdict(peer, clauses_path, wall):
    """'SAT', 'UNSAT' or None (no answer in time)."""
    for exe in peer:
        if not exe:
            continue
        if os.path.basename(exe).startswith("minisat"):
            cmd = [exe, "-verb=0", clauses_path]
        else:
            cmd = [exe, "-q", "-n", clauses_path]
        p = run(cmd, wall)
        if p.timed_out:
            continue
        if p.status == 10:
            return "SAT"
        if p.status == 20:
            return "UNSAT"
    return None


class Outcome:
    def __init__(self):
        self.failures = []
        self.verdict = None        # SAT / UNSAT / UNKNOWN / None (no result expected)
        self.peer = None
        self.peer_asked = False
        self.proof_checked = False  # True: verified; None: too big or too slow to check
        self.wall_timeout = False
        self.cmd = None
        self.proc = None


def check_case(text, read, args, quelt, drat_check, peer, tmout, workdir,
               proof_mode="binary", peer_wall=60.0, proof_limit=2 << 20, ask_peer=True):
    """Runs one configuration on one formula text; read is the reader model's
    ReadResult for that text."""
    o = Outcome()
    formula = os.path.join(workdir, "formula.cnf")
    clauses_path = os.path.join(workdir, "clauses.cnf")
    proof = os.path.join(workdir, "proof.drat")
    with open(formula, "w", newline="") as f:
        f.write(text)
    with open(clauses_path, "w") as f:
        f.write(cnfgen.clauses_to_dimacs(read.clauses))
    if os.path.exists(proof):
        os.unlink(proof)

    cmd = [quelt, "--nosplash", "--dimacs", formula, "--model-stdout", "--tmout", str(tmout)] + list(args)
    if proof_mode:
        cmd += ["--proof", proof]
        if proof_mode == "text":
            cmd.append("--proof-text")
    o.cmd = cmd
    # CPU time beyond the limit plus slack means the limit was not honoured.
    p = run(cmd, wall=tmout * 8 + 60, cpu_limit=tmout * 3 + 20)
    o.proc = p
    fail = o.failures.append
    if p.timed_out:
        o.wall_timeout = True
        o.verdict = "UNKNOWN"
        return o
    if p.signal:
        if p.signal == signal.SIGXCPU or p.signal == signal.SIGKILL:
            fail("time limit not honoured (killed by CPU limit, signal %d)" % p.signal)
        else:
            fail("crash: signal %d" % p.signal)
    if any(m in p.err for m in SANITIZER_MARKERS):
        fail("sanitizer report on stderr")

    outcome = read.outcome()
    expected_err = read.expected_stderr()
    got_err = p.err.replace("\r", "").split("\n")
    if got_err and got_err[-1] == "":
        got_err.pop()
    if got_err != expected_err and not any("sanitizer report" in f for f in o.failures):
        fail("unexpected stderr: expected %r, got %r" % (expected_err[:5], got_err[:5]))

    lines = p.out.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    results = [l for l in lines if l.startswith("s ")]
    models = [l for l in lines if l.startswith("v ")]
    others = [l for l in lines if not (l.startswith("s ") or l.startswith("v ") or l.startswith("c ") or l == "c")]
    if others:
        fail("unexpected stdout lines: %r" % others[:3])
    if not lines or lines[0] != "c solving " + formula:
        fail("first stdout line is not 'c solving FILE': %r" % (lines[:1],))

    if outcome in ("invalid", "noclauses"):
        o.verdict = None
        if results or models:
            fail("result line on unusable input (%s): %r" % (outcome, results + models[:1]))
        if p.status != 1 and not p.signal:
            fail("exit status %d on unusable input (%s), expected 1" % (p.status, outcome))
        return o

    if len(results) != 1:
        fail("expected one result line, got %r" % results)
        return o
    res = results[0]
    want_status = {"s SATISFIABLE": 10, "s UNSATISFIABLE": 20, "s UNKNOWN": 0}.get(res)
    if want_status is None:
        fail("unknown result line %r" % res)
        return o
    if p.status != want_status and not p.signal:
        fail("exit status %d with %r" % (p.status, res))
    o.verdict = {10: "SAT", 20: "UNSAT", 0: "UNKNOWN"}[want_status]
    if o.verdict != "SAT" and models:
        fail("model line without SATISFIABLE")

    if o.verdict == "SAT":
        if len(models) != 1:
            fail("expected one model line, got %d" % len(models))
        else:
            err = check_model(models[0], read)
            if err:
                fail("invalid model: " + err)
    elif o.verdict == "UNSAT" and proof_mode and drat_check:
        # The checker is a plain forward one: big proofs are counted as
        # unchecked rather than slowing the whole run down.
        size = os.path.getsize(proof) if os.path.exists(proof) else 0
        c = None if size > proof_limit else run([drat_check, clauses_path, proof], wall=60)
        if c is None or c.timed_out:
            o.proof_checked = None
        elif c.status != 0 or "s VERIFIED" not in c.out:
            fail("proof not verified: " + " ".join(c.out.split("\n")[:2]))
        else:
            o.proof_checked = True

    certified = (o.verdict == "SAT" and not o.failures) or o.proof_checked
    if o.verdict in ("SAT", "UNSAT") and (ask_peer or not certified):
        o.peer_asked = True
        o.peer = peer_verdict(peer, clauses_path, peer_wall)
        if o.peer is not None and o.peer != o.verdict:
            fail("wrong verdict: quelt %s, peer %s" % (o.verdict, o.peer))
    return o


def check_model(line, read):
    toks = line.split()
    if toks[0] != "v" or toks[-1] != "0":
        return "malformed model line"
    try:
        lits = [int(t) for t in toks[1:-1]]
    except ValueError:
        return "non-numeric model literal"
    value = {}
    for l in lits:
        if l == 0 or abs(l) in value:
            return "variable %d assigned twice or zero literal" % abs(l)
        value[abs(l)] = l > 0
    want = read.maxvar
    if set(value) != set(range(1, want + 1)):
        missing = sorted(set(range(1, want + 1)) - set(value))[:5]
        extra = sorted(set(value) - set(range(1, want + 1)))[:5]
        return "model covers wrong variables (missing %s, extra %s)" % (missing, extra)
    for c in read.clauses:
        if not any(value.get(abs(l)) == (l > 0) for l in c):
            return "clause %s falsified" % (" ".join(map(str, c)) + " 0")
    return None


# ---------------------------------------------------------------------------

def case_plan(seed, i):
    """The formula, configuration and proof mode of case i of a seed."""
    case = cnfgen.Case("%s-%d" % (seed, i))
    rng = random.Random("config-%s-%d" % (seed, i))
    args = random_config(rng)
    r = rng.random()
    proof_mode = None if r < 0.15 else "text" if r < 0.4 else "binary"
    return case, args, proof_mode


def save_failure(outdir, tag, case_text, read, o, description):
    d = os.path.join(outdir, tag)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "formula.cnf"), "w", newline="") as f:
        f.write(case_text)
    with open(os.path.join(d, "clauses.cnf"), "w") as f:
        f.write(cnfgen.clauses_to_dimacs(read.clauses))
    cmd = list(o.cmd or [])
    cmd = [("formula.cnf" if c.endswith("/formula.cnf") else "proof.drat" if c.endswith("/proof.drat") else c)
           for c in cmd]
    with open(os.path.join(d, "cmd.txt"), "w") as f:
        f.write(" ".join(shlex.quote(c) for c in cmd) + "\n")
    with open(os.path.join(d, "report.txt"), "w") as f:
        f.write("case: %s\n" % description)
        for x in o.failures:
            f.write("failure: %s\n" % x)
        if o.proc:
            f.write("exit: %d signal: %d\n--- stdout (head)\n%s\n--- stderr (head)\n%s\n"
                    % (o.proc.status, o.proc.signal, o.proc.out[:4000], o.proc.err[:4000]))


def find_peer(name):
    if name:
        return [shutil.which(name) or name]
    return [shutil.which("minisat"), shutil.which("cadical")]


def default_tool(path_in_build):
    for b in ("build-diff", "build", "build-asan"):
        p = os.path.join(ROOT, b, path_in_build)
        if os.path.exists(p):
            return p
    return None


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--seed", default="1")
    ap.add_argument("--count", type=int, default=100)
    ap.add_argument("--start", type=int, default=0, help="index of the first case")
    ap.add_argument("--quelt")
    ap.add_argument("--drat-check")
    ap.add_argument("--peer", help="peer solver (default: minisat, then cadical)")
    ap.add_argument("--peer-every", type=int, default=1, metavar="K",
                    help="ask the peer on every K-th case only when quelt's verdict is already certified "
                         "(a model that checks, a verified proof); uncertified verdicts always go to the peer")
    ap.add_argument("--timeout", type=int, default=5, help="quelt's CPU limit (--tmout) per run")
    ap.add_argument("--out", default="difftest-failures")
    ap.add_argument("--jobs", type=int, default=1)
    ap.add_argument("--progress", type=int, default=0, help="print a progress line every N cases")
    ap.add_argument("--check", metavar="FILE", help="check one formula file with --args")
    ap.add_argument("--args", default="", help="quelt options for --check")
    ap.add_argument("--proof-mode", choices=["binary", "text", "none"], default="binary")
    ap.add_argument("--expect-failure", metavar="REGEX")
    a = ap.parse_args(argv)

    quelt = a.quelt or default_tool("quelt")
    drat = a.drat_check or default_tool("tests/drat-check")
    if not quelt or not os.path.exists(quelt):
        sys.exit("difftest: quelt not found; use --quelt")
    quelt = os.path.abspath(quelt)
    drat = os.path.abspath(drat) if drat else None
    peer = find_peer(a.peer)

    if a.check:
        with open(a.check, "rb") as f:
            text = f.read().decode("latin-1")
        read = cnfgen.read_like_quelt(text)
        with tempfile.TemporaryDirectory(prefix="difftest-") as wd:
            o = check_case(text, read, shlex.split(a.args), quelt, drat, peer, a.timeout, wd,
                           None if a.proof_mode == "none" else a.proof_mode)
        for x in o.failures:
            print("failure: " + x)
        print("verdict: %s peer: %s" % (o.verdict, o.peer))
        if a.expect_failure:
            return 0 if any(re.search(a.expect_failure, x) for x in o.failures) else 1
        return 1 if o.failures else 0

    stats = {"SAT": 0, "UNSAT": 0, "UNKNOWN": 0, "unusable": 0, "wall": 0, "proofs": 0,
             "nopeer": 0, "unchecked": 0, "peer": 0}
    failed = []
    passed = 0
    lock = threading.Lock()
    t0 = time.time()

    def one(i):
        case, args, proof_mode = case_plan(a.seed, i)
        with tempfile.TemporaryDirectory(prefix="difftest-") as wd:
            o = check_case(case.text, case.read, args, quelt, drat, peer, a.timeout, wd, proof_mode,
                           ask_peer=(i % max(1, a.peer_every) == 0))
            if o.failures:
                save_failure(a.out, "case-%s-%d" % (a.seed, i), case.text, case.read, o, case.description)
        return i, case, o

    done = 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, a.jobs)) as ex:
        for i, case, o in ex.map(one, range(a.start, a.start + a.count)):
            with lock:
                done += 1
                if o.wall_timeout:
                    stats["wall"] += 1
                if o.verdict is None:
                    stats["unusable"] += 1
                else:
                    stats[o.verdict] += 1
                if o.proof_checked:
                    stats["proofs"] += 1
                elif o.proof_checked is None:
                    stats["unchecked"] += 1
                if o.peer_asked and o.peer is None:
                    stats["nopeer"] += 1
                if o.peer is not None:
                    stats["peer"] += 1
                if o.failures:
                    failed.append(i)
                    print("FAIL case %s-%d (%s): %s" % (a.seed, i, case.description, "; ".join(o.failures)),
                          flush=True)
                    print("  command: " + " ".join(shlex.quote(c) for c in o.cmd), flush=True)
                else:
                    passed += 1
                if a.progress and done % a.progress == 0:
                    print("progress: %d/%d done, %d failed, %.0fs" % (done, a.count, len(failed), time.time() - t0),
                          flush=True)

    print("seed %s cases %d..%d: SAT %d, UNSAT %d (proofs verified %d, too big to check %d), "
          "UNKNOWN %d (wall-clock %d), unusable input %d, peer verdicts %d, no peer verdict %d, %.0fs"
          % (a.seed, a.start, a.start + a.count - 1, stats["SAT"], stats["UNSAT"], stats["proofs"],
             stats["unchecked"],
             stats["UNKNOWN"], stats["wall"], stats["unusable"], stats["peer"], stats["nopeer"], time.time() - t0))
    print("%d passed, %d failed" % (passed, len(failed)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
