#!/usr/bin/env python3
"""Seedable CNF generator for the differential tester.

Every case is a deterministic function of its seed (a string or an integer).
A case carries the formula text as written to the file and, next to it, what
quelt's DIMACS reader makes of that text: the clause list it adds to the
solver, the messages it writes on standard error, and whether it stops at a
number it cannot read. The reader's side is computed by read_like_quelt(), a
model of the documented reader behaviour, so the oracle sees exactly the
formula quelt sees even when the text is deliberately malformed.

Families:
  ksat       random k-SAT (k = 2..5) near the satisfiability threshold
  php        pigeon-hole (n+1 pigeons into n holes, or n into n)
  parity     chains of XOR constraints (Tseitin encoded), satisfiable or not
  colour     k-colouring of a random graph
  counter    bounded unrolling of a binary counter, asking for a target value
  shift      bounded unrolling of a linear feedback shift register
Any of them may be rendered "nasty": units, duplicate literals, tautologies,
repeated and empty clauses, unused and huge variable indices, comments and
p lines in odd places, stray characters, CRLF line ends, a missing final 0,
or (rarely) a number out of the 32-bit range.

Command line:
  cnfgen.py --seed S [--family F] [--nasty|--clean] [--out FILE]
            [--clauses FILE] [--info]
writes the formula text (to FILE or standard output); --clauses writes the
clause list as the reader sees it, as plain DIMACS; --info prints the case's
description, expected reader messages and outcome on standard error.
"""

import argparse
import random
import sys

INT32_MAX = 2**31 - 1
INT32_MIN = -(2**31)

MSG_STRAY = " Invalid DIMACS CNF input. Press q for quit, or continue adding clauses..."
MSG_PLINE = " Invalid DIMACS CNF p line, expected: p cnf #variables #clauses"
MSG_INVALID = "Invalid input."
MSG_NO_CLAUSES = "No clauses successfully parsed. Exiting..."


def msg_count(declared, found):
    return ("c DIMACS p line requires %d clauses, while the instance contains %d clauses."
            % (declared, found))


# ---------------------------------------------------------------------------
# The reader, as documented: token by token; "c" starts a comment to the end
# of the line, "p" a problem line (anywhere, any number of times; the last
# one's clause count is checked at the end), "q" ends the input, a lone dash
# is skipped, any other non-digit is reported and skipped, a number that
# cannot be read (malformed, outside 32 bits, or -2^31) ends the reading with
# "Invalid input.", and a clause without its final 0 is never added.

_SPACE = " \t\n\v\f\r"


class ReadResult:
    def __init__(self):
        self.clauses = []      # every clause terminated by 0, literals as written
        self.stderr = []       # reader messages, in order
        self.invalid = False   # reading stopped at a number it could not read
        self.maxvar = 0        # the largest variable index read anywhere

    def outcome(self):
        """What quelt does with this input: 'invalid' (exit 1, no result
        line), 'noclauses' (exit 1, nothing to solve) or 'solve'."""
        if self.invalid:
            return "invalid"
        if not any(c and not is_tautology(c) for c in self.clauses):
            return "noclauses"
        return "solve"

    def expected_stderr(self):
        lines = list(self.stderr)
        if self.outcome() == "noclauses":
            lines.append(MSG_NO_CLAUSES)
        return lines


def is_tautology(clause):
    s = set(clause)
    return any(-l in s for l in s)


def _read_int(text, i):
    """Like reading an int32_t with >>: skips blanks, an optional sign, then
    digits. Returns (value or None, what a failed read stores, next index):
    0 when there were no digits, the nearer bound when out of range."""
    n = len(text)
    while i < n and text[i] in _SPACE:
        i += 1
    j = i
    if j < n and text[j] in "+-":
        j += 1
    k = j
    while k < n and text[k].isdigit() and text[k].isascii():
        k += 1
    if k == j:
        return None, 0, k
    v = int(text[i:k])
    if v > INT32_MAX:
        return None, INT32_MAX, k
    if v < INT32_MIN:
        return None, INT32_MIN, k
    return v, v, k


def read_like_quelt(text):
    if isinstance(text, (bytes, bytearray)):
        text = text.decode("latin-1")
    r = ReadResult()
    declared = -1
    added = 0
    buf = []
    i, n = 0, len(text)
    while True:
        while i < n and text[i] in _SPACE:
            i += 1
        if i >= n:
            break
        ch = text[i]
        i += 1
        if ch == "-":
            if i >= n or not (text[i].isdigit() and text[i].isascii()):
                continue
            i -= 1
        elif ch == "c":
            nl = text.find("\n", i)
            i = n if nl < 0 else nl + 1
            continue
        elif ch == "p":
            while i < n and text[i] in _SPACE:
                i += 1
            j = i
            while j < n and text[j] not in _SPACE:
                j += 1
            word, i = text[i:j], j
            ok = bool(word)
            if ok:
                v, _, i = _read_int(text, i)
                ok = v is not None
            if ok:
                v, stored, i = _read_int(text, i)
                ok = v is not None
                declared = stored
            if word != "cnf":
                r.stderr.append(MSG_PLINE)
            if not ok:
                r.stderr.append(MSG_INVALID)
                r.invalid = True
                break
            continue
        elif ch == "q":
            break
        elif not (ch.isdigit() and ch.isascii()):
            r.stderr.append(MSG_STRAY)
            continue
        else:
            i -= 1
        v, _, i = _read_int(text, i)
        if v is None or v == INT32_MIN:
            r.stderr.append(MSG_INVALID)
            r.invalid = True
            break
        if v != 0:
            buf.append(v)
            r.maxvar = max(r.maxvar, abs(v))
            continue
        r.clauses.append(buf)
        added += 1
        buf = []
    if declared >= 0 and declared != added:
        r.stderr.append(msg_count(declared, added))
    return r


# ---------------------------------------------------------------------------
# Formula families. Each returns (description, number of variables, clauses).

K_THRESHOLD = {2: 1.0, 3: 4.267, 4: 9.931, 5: 21.117}
K_MAXVARS = {2: 300, 3: 160, 4: 70, 5: 40}


def _size(rng, lo, hi):
    """Mostly small, sometimes up to hi."""
    r = rng.random()
    if r < 0.6:
        return rng.randint(lo, max(lo, min(hi, lo + 30)))
    if r < 0.9:
        return rng.randint(lo, max(lo, min(hi, lo + (hi - lo) // 3)))
    return rng.randint(lo, hi)


def gen_ksat(rng):
    k = rng.choice([2, 3, 3, 3, 4, 5])
    n = _size(rng, k + 1, K_MAXVARS[k])
    ratio = K_THRESHOLD[k] * rng.uniform(0.85, 1.15)
    m = max(1, int(round(ratio * n)))
    clauses = []
    for _ in range(m):
        vs = rng.sample(range(1, n + 1), k)
        clauses.append([v if rng.random() < 0.5 else -v for v in vs])
    return "ksat k=%d n=%d m=%d" % (k, n, m), n, clauses


def gen_php(rng):
    holes = rng.randint(1, 6)
    pigeons = holes + (1 if rng.random() < 0.7 else 0)
    var = lambda p, h: p * holes + h + 1
    clauses = [[var(p, h) for h in range(holes)] for p in range(pigeons)]
    for h in range(holes):
        for p in range(pigeons):
            for q in range(p + 1, pigeons):
                clauses.append([-var(p, h), -var(q, h)])
    rng.shuffle(clauses)
    return "php pigeons=%d holes=%d" % (pigeons, holes), pigeons * holes, clauses


def _xor_clauses(vs, parity):
    """Clauses saying XOR(vs) == parity (direct encoding, len(vs) <= 4)."""
    out = []
    k = len(vs)
    for mask in range(1 << k):
        # forbid assignments with the wrong parity: assignment bit i = value of vs[i]
        ones = bin(mask).count("1")
        if ones % 2 != parity:
            out.append([(-v if (mask >> i) & 1 else v) for i, v in enumerate(vs)])
    return out


def gen_parity(rng):
    """Random sparse XOR system over n variables, chained through Tseitin
    auxiliaries; either a consistent system (SAT) or one with a
    contradiction planted as two chains over the same variables."""
    kind = rng.choice(["system", "twochains"])
    # two chains over the same variables are exponentially hard for
    # resolution: keep them short
    n = _size(rng, 2, 12 if kind == "twochains" else 24)
    clauses = []
    nxt = [n]

    def fresh():
        nxt[0] += 1
        return nxt[0]

    def chain(vs, parity):
        # t1 = v1 ^ v2, t2 = t1 ^ v3, ... and the last equals parity
        acc = vs[0]
        for v in vs[1:]:
            t = fresh()
            clauses.extend(_xor_clauses([acc, v, t], 0))
            acc = t
        clauses.append([acc] if parity else [-acc])

    if kind == "twochains":
        vs = list(range(1, n + 1))
        p = rng.randint(0, 1)
        chain(vs, p)
        vs2 = vs[:]
        rng.shuffle(vs2)
        same = rng.random() < 0.3
        chain(vs2, p if same else 1 - p)
    else:
        hidden = [rng.randint(0, 1) for _ in range(n + 1)]
        m = rng.randint(max(1, n // 2), n + 2)
        for _ in range(m):
            w = rng.randint(1, min(n, 4))
            vs = rng.sample(range(1, n + 1), w)
            par = sum(hidden[v] for v in vs) % 2
            if rng.random() < 0.15:
                par ^= 1  # may make the system inconsistent
            if w <= 3:
                clauses.extend(_xor_clauses(vs, par))
            else:
                chain(vs, par)
    rng.shuffle(clauses)
    return "parity %s n=%d" % (kind, n), nxt[0], clauses


def gen_colour(rng):
    k = rng.choice([2, 3, 3, 4])
    nodes = _size(rng, 3, 45 if k < 4 else 30)
    avg_deg = {2: 1.2, 3: 4.6, 4: 8.4}[k] * rng.uniform(0.7, 1.3)
    p = min(1.0, avg_deg / max(1, nodes - 1))
    var = lambda u, c: u * k + c + 1
    clauses = [[var(u, c) for c in range(k)] for u in range(nodes)]
    for u in range(nodes):
        for c in range(k):
            for d in range(c + 1, k):
                clauses.append([-var(u, c), -var(u, d)])
    edges = 0
    for u in range(nodes):
        for w in range(u + 1, nodes):
            if rng.random() < p:
                edges += 1
                for c in range(k):
                    clauses.append([-var(u, c), -var(w, c)])
    return "colour k=%d nodes=%d edges=%d" % (k, nodes, edges), nodes * k, clauses


def gen_counter(rng):
    """A w-bit counter starting at 0 that either increments or holds at each
    of T steps (a free input per step); is value `target` reachable at the
    last step? Reachable exactly when target <= T (values wrap at 2^w)."""
    w = rng.randint(2, 5)
    steps = rng.randint(1, min(12, 2 ** w + 2))
    target = rng.randrange(2 ** w)
    nv = [0]

    def fresh():
        nv[0] += 1
        return nv[0]

    state = [[fresh() for _ in range(w)] for _ in range(steps + 1)]
    clauses = [[-b] for b in state[0]]
    for t in range(steps):
        inc = fresh()
        carry = inc
        for i in range(w):
            a, b = state[t][i], state[t + 1][i]
            clauses.extend(_xor_clauses([a, carry, b], 0))  # b = a ^ carry
            if i + 1 < w:
                c2 = fresh()  # c2 = a & carry
                clauses += [[-c2, a], [-c2, carry], [c2, -a, -carry]]
                carry = c2
    for i in range(w):
        b = state[steps][i]
        clauses.append([b] if (target >> i) & 1 else [-b])
    return "counter w=%d steps=%d target=%d" % (w, steps, target), nv[0], clauses


def gen_shift(rng):
    """A w-bit LFSR with a free input bit mixed into the feedback at each
    step; from a fixed start, can a chosen state be reached after T steps?"""
    w = rng.randint(3, 8)
    steps = rng.randint(1, 2 * w)
    taps = sorted(rng.sample(range(w), rng.randint(1, min(3, w))))
    free_input = rng.random() < 0.5
    nv = [0]

    def fresh():
        nv[0] += 1
        return nv[0]

    state = [[fresh() for _ in range(w)] for _ in range(steps + 1)]
    start = [rng.randint(0, 1) for _ in range(w)]
    clauses = [[b] if s else [-b] for b, s in zip(state[0], start)]
    for t in range(steps):
        cur, nxt = state[t], state[t + 1]
        for i in range(1, w):
            clauses += [[-cur[i - 1], nxt[i]], [cur[i - 1], -nxt[i]]]
        ins = [cur[j] for j in taps]
        if free_input:
            ins.append(fresh())
        acc = ins[0]
        for v in ins[1:]:
            a = fresh()
            clauses.extend(_xor_clauses([acc, v, a], 0))
            acc = a
        clauses += [[-acc, nxt[0]], [acc, -nxt[0]]]
    goal = [rng.randint(0, 1) for _ in range(w)]
    for b, g in zip(state[steps], goal):
        clauses.append([b] if g else [-b])
    desc = "shift w=%d steps=%d taps=%s input=%d" % (w, steps, taps, free_input)
    return desc, nv[0], clauses


FAMILIES = {
    "ksat": (gen_ksat, 45),
    "php": (gen_php, 8),
    "parity": (gen_parity, 12),
    "colour": (gen_colour, 12),
    "counter": (gen_counter, 10),
    "shift": (gen_shift, 13),
}


# ---------------------------------------------------------------------------
# Rendering.

def render_clean(nvars, clauses):
    out = ["p cnf %d %d\n" % (nvars, len(clauses))]
    for c in clauses:
        out.append(" ".join(map(str, c)) + " 0\n")
    return "".join(out)


def _nasty_clauses(rng, nvars, clauses):
    """Logical-level mischief: the clause list itself changes (and the
    reader's model sees the change)."""
    cl = [list(c) for c in clauses]
    tricks = []
    if rng.random() < 0.4:
        tricks.append("units")
        for _ in range(rng.randint(1, 3)):
            v = rng.randint(1, max(1, nvars))
            cl.insert(rng.randint(0, len(cl)), [v if rng.random() < 0.5 else -v])
    if rng.random() < 0.4 and cl:
        tricks.append("duplicates")
        for _ in range(rng.randint(1, 4)):
            c = rng.choice(cl)
            if c:
                c.insert(rng.randint(0, len(c)), rng.choice(c))
    if rng.random() < 0.4:
        tricks.append("tautologies")
        for _ in range(rng.randint(1, 3)):
            v = rng.randint(1, max(1, nvars))
            extra = [rng.choice([-1, 1]) * rng.randint(1, max(1, nvars)) for _ in range(rng.randint(0, 2))]
            c = [v, -v] + extra
            rng.shuffle(c)
            cl.insert(rng.randint(0, len(cl)), c)
    if rng.random() < 0.3 and cl:
        tricks.append("repeats")
        for _ in range(rng.randint(1, 4)):
            cl.insert(rng.randint(0, len(cl)), list(rng.choice(cl)))
    if rng.random() < 0.04:
        tricks.append("empty")
        cl.insert(rng.randint(0, len(cl)), [])
    if rng.random() < 0.3:
        tricks.append("unused")
        nvars += rng.randint(1, 50)
    if rng.random() < 0.03:
        tricks.append("huge")
        big = rng.choice([100000, 1000000, 2000000])
        # a satisfiable side condition on a huge index: "big or x" and
        # sometimes its negation too
        cl.insert(rng.randint(0, len(cl)), [big, rng.randint(1, max(1, nvars))])
        if rng.random() < 0.5:
            cl.insert(rng.randint(0, len(cl)), [-big])
        nvars = max(nvars, big)
    return nvars, cl, tricks


def _num(rng, v):
    s = str(v)
    if rng.random() < 0.02:
        s = ("0" * rng.randint(1, 3) + s) if v >= 0 else ("-" + "0" * rng.randint(1, 3) + s[1:])
    return s


def render_nasty(rng, nvars, clauses):
    """Textual mischief on top of the logical one."""
    nvars, cl, tricks = _nasty_clauses(rng, nvars, clauses)
    crlf = rng.random() < 0.3
    stray = rng.random() < 0.15
    comments = rng.random() < 0.5
    plines = rng.choice(["normal", "normal", "missing", "late", "middle", "several", "wrongcount"])
    drop_last_zero = rng.random() < 0.15 and len(cl) > 1
    seps = [" ", " ", " ", "  ", "\t"]
    lines = []
    declared = len(cl)
    if plines == "wrongcount":
        declared = max(0, len(cl) + rng.choice([-3, -1, 1, 5]))
    pline = "p cnf %d %d" % (nvars, declared)
    if plines in ("normal", "wrongcount", "several"):
        if comments:
            lines.append("c generated case")
        lines.append(pline)
    body = []
    for ci, c in enumerate(cl):
        toks = [_num(rng, l) for l in c]
        if comments and rng.random() < 0.05:
            body.append("c a comment line between clauses 1 2 3 0")
        line_toks = []
        for t in toks:
            line_toks.append(t)
            if stray and rng.random() < 0.02:
                line_toks.append(rng.choice(["x", "+", "*", "@", "!", "Z"]))
            if rng.random() < 0.01:
                line_toks.append("-")  # a lone dash is skipped silently
        last = drop_last_zero and ci == len(cl) - 1
        if not last:
            line_toks.append("0")
        line = rng.choice(seps).join(line_toks) if line_toks else ""
        if comments and rng.random() < 0.05:
            line += " c trailing comment -7 0"
        if not c and not last and rng.random() < 0.5:
            line = " " + line
        body.append(line)
        if rng.random() < 0.03:
            body.append("")
        if plines == "middle" and ci == len(cl) // 2:
            body.append(pline)
    if plines == "several":
        body.insert(len(body) // 2, "p cnf %d %d" % (nvars, declared + 1))
    # a clause spread over several lines
    if body and rng.random() < 0.2:
        j = rng.randrange(len(body))
        if body[j] and not body[j].startswith("c") and not body[j].startswith("p"):
            parts = body[j].split(" ")
            if len(parts) > 2:
                cut = rng.randint(1, len(parts) - 1)
                body[j] = " ".join(parts[:cut]) + "\n" + " ".join(parts[cut:])
    lines.extend(body)
    if plines == "late":
        lines.append(pline)
    elif plines == "several":
        lines.append(pline)
    if comments and rng.random() < 0.3:
        lines.append("c the end")
    if rng.random() < 0.005:
        tricks.append("outofrange")
        lines.insert(rng.randint(1, len(lines)), rng.choice(["2147483648 0", "-2147483649 0", "99999999999 0", "-2147483648 0"]))
    nl = "\r\n" if crlf else "\n"
    text = nl.join(lines)
    if rng.random() < 0.8:
        text += nl
    tricks += [t for t, on in (("crlf", crlf), ("stray", stray), ("comments", comments),
                               ("dropzero", drop_last_zero)) if on]
    if plines != "normal":
        tricks.append("pline-" + plines)
    return text, tricks


class Case:
    def __init__(self, seed, family=None, nasty=None):
        rng = random.Random("cnfgen-%s" % (seed,))
        if family is None:
            names = list(FAMILIES)
            family = rng.choices(names, weights=[FAMILIES[f][1] for f in names])[0]
        desc, nvars, clauses = FAMILIES[family][0](rng)
        if nasty is None:
            nasty = rng.random() < 0.25
        self.seed = seed
        self.family = family
        self.nvars = nvars
        if nasty:
            self.text, self.tricks = render_nasty(rng, nvars, clauses)
        else:
            self.text, self.tricks = render_clean(nvars, clauses), []
        self.nasty = nasty
        self.description = desc + (" nasty[%s]" % ",".join(self.tricks) if nasty else "")
        self.read = read_like_quelt(self.text)

    @property
    def clauses(self):
        return self.read.clauses


def clauses_to_dimacs(clauses):
    nv = max((abs(l) for c in clauses for l in c), default=0)
    return render_clean(nv, clauses)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--seed", required=True)
    ap.add_argument("--family", choices=sorted(FAMILIES))
    g = ap.add_mutually_exclusive_group()
    g.add_argument("--nasty", action="store_true", default=None)
    g.add_argument("--clean", dest="nasty", action="store_false")
    ap.add_argument("--out")
    ap.add_argument("--clauses")
    ap.add_argument("--info", action="store_true")
    a = ap.parse_args(argv)
    case = Case(a.seed, a.family, a.nasty)
    if a.out:
        with open(a.out, "w", newline="") as f:
            f.write(case.text)
    else:
        sys.stdout.write(case.text)
    if a.clauses:
        with open(a.clauses, "w") as f:
            f.write(clauses_to_dimacs(case.clauses))
    if a.info:
        sys.stderr.write("case: %s\noutcome: %s\n" % (case.description, case.read.outcome()))
        for line in case.read.expected_stderr():
            sys.stderr.write("stderr: %s\n" % line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
