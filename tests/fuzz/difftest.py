#!/usr/bin/env python3
"""Differential tester: quelt with random configurations on generated formulas
(tests/fuzz/README.md). Case i of seed S depends on (S, i) only.
  difftest.py [--seed S] [--count N] [--jobs J] [--timeout SEC] [--quelt Q]
              [--drat-check D] [--out DIR] [--peer-every K]
  difftest.py --check FILE [--args "OPTIONS"] [--proof binary|text|none]
              [--expect-failure REGEX]    (then exit 0 iff a failure matches)"""
import argparse, concurrent.futures, os, random, re, shlex, shutil, subprocess, sys, tempfile
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cnfgen  # noqa: E402

PRESETS = ["--spset-default", "--spset-default-inc", "--spset-autotuned-kz_1_0",
           "--spset-autotuned-kz_1_1", "--spset-sw-verification"]
INTS = {"var-dec-heur": (0, 19), "clause-sort-heur": (0, 19), "res-order-heur": (0, 19),
        "clause-del-heur": (0, 2), "phase-dec-heur": (0, 6), "resolution": (0, 2),
        "first-restart": (10, 10000), "res-cutoff-cls": (1, 20), "res-cutoff-lits": (10, 10000),
        "max-res-runs": (0, 1000), "update-dec-queue": (0, 1), "use-pure-literal-rule": (0, 1)}
FLOATS = {"variable-decay": (0, 10), "clause-decay": (1, 10), "restart-inc": (1, 10),
          "learned-size-factor": (.1, 10), "learned-clauses-inc": (1.1, 2), "clause-activity-inc": (-10, 10),
          "var-activity-inc": (-10, 10), "rand-phase-dec-freq": (0, 1), "rand-var-dec-freq": (0, 1),
          "rand-var-dec-scaling": (0, 10), "rand-phase-scaling": (0, 10), "max-res-lit-inc": (.1, 10)}
BOOL_WORDS = ["0", "1", "false", "true", "no", "yes", "off", "on"]


def config(r):
    """A preset or none, a random subset of the sp- options, range bounds included, and half the time
    each --preprocess and --modern (which a third of the time shrinks)."""
    args, density = [r.choice(PRESETS)] if r.random() < .6 else [], r.choice([.1, .3, .6, 1])
    for name, (lo, hi) in sorted({**INTS, **FLOATS}.items()):
        if r.random() < density:
            x = r.random()
            v = lo if x < .1 else hi if x < .2 else r.randint(lo, hi) if name in INTS else r.uniform(lo, hi)
            v = ("%.3f" % v).rstrip("0").rstrip(".") if name in FLOATS else str(v)
            booleans = ("update-dec-queue", "use-pure-literal-rule")  # in any spelling
            args += ["--sp-" + name, r.choice(BOOL_WORDS[int(v)::2]) if name in booleans else v]
    args += ["--preprocess"] * (r.random() < .5)
    if r.random() < .5:
        args += ["--modern"] + ["--shrink"] * (r.random() < 1 / 3)
    return args


def run(cmd, wall, cpu=None):
    """(exit status or -signal, stdout, stderr), or None past the wall-clock limit."""
    try:
        cmd = ["prlimit", "--cpu=%d:%d" % (cpu, cpu + 1)] + cmd if cpu else cmd
        p = subprocess.run(cmd, capture_output=True, stdin=subprocess.DEVNULL, timeout=wall)
        return p.returncode, p.stdout.decode("latin-1"), p.stderr.decode("latin-1")
    except subprocess.TimeoutExpired:
        return None


def check(text, args, proof, tool, wd, ask_peer=True):
    """(verdict, failures) of one quelt run on one formula text."""
    f, pf, fails = os.path.join(wd, "formula.cnf"), os.path.join(wd, "proof.drat"), []
    with open(f, "w", newline="") as fh:
        fh.write(text)
    cmd = [tool.quelt, "--nosplash", "--dimacs", f, "--model-stdout", "--tmout", str(tool.timeout)] + args
    cmd += [] if proof == "none" else ["--proof", pf] + ["--proof-text"] * (proof == "text")
    p = run(cmd, tool.timeout * 8 + 60, tool.timeout * 3 + 20)  # a CPU backstop: the limit must be honoured
    rc, out, err = p or (0, "s UNKNOWN", "")  # past the wall-clock limit: no verdict
    if rc < 0:
        fails.append("killed by signal %d" % -rc)
    if err:
        sanitizer = re.search("Sanitizer|runtime error:", err)
        fails.append(("sanitizer report" if sanitizer else "stderr") + ": %r" % err[:300])
    lines = out.splitlines()
    res, models = [l for l in lines if l[:2] == "s "], [l for l in lines if l[:2] == "v "]
    verdict = {"s SATISFIABLE": "SAT", "s UNSATISFIABLE": "UNSAT", "s UNKNOWN": "UNKNOWN"}.get("".join(res))
    if verdict is None or len(res) + len(models) + sum(l[:1] == "c" for l in lines) != len(lines):
        return None, fails + ["malformed stdout: %r" % lines[:4]]
    if rc >= 0 and rc != {"SAT": 10, "UNSAT": 20, "UNKNOWN": 0}[verdict]:
        fails.append("exit status %d with %s" % (rc, verdict))
    if len(models) != (verdict == "SAT"):
        fails.append("%d model lines with %s" % (len(models), verdict))
    cls, certified = cnfgen.clauses_of(text), False
    if verdict == "SAT" and len(models) == 1:
        lits = [int(t) for t in models[0].split()[1:]]
        true = set(lits)
        bad = [c for c in cls if not true.intersection(c)]
        if lits[-1:] != [0] or sorted(map(abs, lits[:-1])) != list(range(1, cnfgen.maxvar(cls) + 1)) or bad:
            fails.append("invalid model (falsified: %r)" % bad[:2])
        certified = not fails
    elif verdict == "UNSAT" and proof != "none" and (not os.path.exists(pf) or os.path.getsize(pf) <= 2 << 20):
        c = run([tool.drat_check, f, pf], 120)
        if c is not None and (c[0] != 0 or "s VERIFIED" not in c[1]):
            fails.append("proof not verified: %r" % (c[1] + c[2])[:200])
        certified = c is not None and not fails
    if verdict in ("SAT", "UNSAT") and (ask_peer or not certified):
        m = run(["minisat", "-verb=0", f], 120)
        peer = m and {10: "SAT", 20: "UNSAT"}.get(m[0])
        if peer and peer != verdict:
            fails.append("wrong verdict: quelt %s, minisat %s" % (verdict, peer))
    return verdict, fails


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    for o, d in [("seed", "1"), ("count", 100), ("jobs", 1), ("timeout", 5), ("peer-every", 1),
                 ("quelt", "build/quelt"), ("drat-check", "build/tests/drat-check"), ("out", "difftest-failures"),
                 ("check", None), ("args", ""), ("proof", "binary"), ("expect-failure", None)]:
        ap.add_argument("--" + o, default=d, type=str if d is None else type(d))
    a = ap.parse_args()
    if not shutil.which("minisat"):
        sys.exit("difftest: minisat not found (apt-get install minisat)")
    a.quelt, a.drat_check = os.path.abspath(a.quelt), os.path.abspath(a.drat_check)
    if a.check:
        with tempfile.TemporaryDirectory() as wd, open(a.check, newline="") as fh:
            verdict, fails = check(fh.read(), shlex.split(a.args), a.proof, a, wd)
        print("\n".join(["verdict: %s" % verdict] + ["failure: " + x for x in fails]))
        return int(not any(re.search(a.expect_failure, x) for x in fails)) if a.expect_failure else int(bool(fails))

    def one(i):
        desc, text, _ = cnfgen.generate("%s-%d" % (a.seed, i))
        r = random.Random("config-%s-%d" % (a.seed, i))
        args, proof = config(r), r.choice(["none", "text", "binary", "binary"])
        # Drawn apart, so that the other options of a case stay as they were.
        threads = random.Random("threads-%s-%d" % (a.seed, i)).choice(["", "", "", "2", "3", "5"])
        args += ["--threads", threads] if threads else []
        # With several threads the solvers share clauses unless told not to;
        # drawn apart again, for the same reason.
        if threads and random.Random("share-%s-%d" % (a.seed, i)).random() < 0.5:
            args.append("--no-share")
        with tempfile.TemporaryDirectory() as wd:
            verdict, fails = check(text, args, proof, a, wd, i % a.peer_every == 0)
        if fails:  # keep the case, with the options that reproduce it through --check
            d = os.path.join(a.out, "case-%s-%d" % (a.seed, i))
            again = "--args %s --proof %s" % (shlex.quote(shlex.join(args)), proof)
            os.makedirs(d, exist_ok=True)
            for name, body in [("formula.cnf", text), ("cmd.txt", again + "\n"),
                               ("report.txt", "".join("%s\n" % x for x in ["case: " + desc] + fails))]:
                with open(os.path.join(d, name), "w", newline="") as fh:
                    fh.write(body)
            print("FAIL %s (%s): %s\n  difftest.py --check %s/formula.cnf %s"
                  % (d, desc, "; ".join(fails), d, again), flush=True)
        return verdict, fails

    with concurrent.futures.ThreadPoolExecutor(a.jobs) as ex:
        results = list(ex.map(one, range(a.count)))
    failed = sum(bool(f) for _, f in results)
    print("verdicts: " + ", ".join("%s %d" % (v, sum(r[0] == v for r in results)) for v in ("SAT", "UNSAT", "UNKNOWN")))
    print("difftest: %d passed, %d failed" % (len(results) - failed, failed))
    return int(failed > 0)


if __name__ == "__main__":
    sys.exit(main())
