"""Quelt, an incremental CDCL SAT solver.

Literals are non-zero ints in the DIMACS convention: variable v is the
literal v, its negation -v; variables come into being on first use.
Solver offers the common Python solver interface (solve, solve_limited,
budgets, propagate, get_model, get_core, enum_models, add_atmost, ...)
besides Quelt's own calls (freeze, melt, set_terminate, statistics).

    with quelt.Solver(bootstrap_with=[[-1, 2], [-2, 3]]) as s:
        s.solve([1])          # True
        s.get_model()         # [1, 2, 3]
"""
import bz2
import gzip
import lzma
import os
import tempfile
import time as _time

from . import _quelt

__version__ = _quelt.__version__
__all__ = ["Solver", "read_dimacs", "__version__"]


class Solver(_quelt.Solver):
    """Solver(preset=None, bootstrap_with=None, use_timer=False,
    with_proof=False, threads=1, share=None, **params)

    Without a preset the solver runs the modern search. A preset gives the
    classic search with a set of search parameters ('classic' for its
    defaults, 'default', 'default-inc', 'autotuned-kz_1_0',
    'autotuned-kz_1_1', 'sw-verification'); params are search parameters
    by name with '_' for '-' (sp_first_restart=200, modern=1).
    bootstrap_with is an iterable of clauses to start from. use_timer makes
    time() and time_accum() measure the solves. with_proof records a DRAT
    proof for get_proof() (one thread only). threads=N solves with N
    differently configured solvers in parallel threads, which pass each
    other short learned clauses unless share=False. incr is accepted and
    ignored: the solver is always incremental.
    """

    def __init__(self, preset=None, bootstrap_with=None, use_timer=False, with_proof=False,
                 threads=1, share=None, incr=False, **params):
        super().__init__(preset, threads=threads, share=share, **params)
        self._use_timer = use_timer
        self._call_time = 0.0
        self._accum_time = 0.0
        self._status = None
        self._assumptions = []
        self._budgets = {}
        self._proof_path = None
        if with_proof:
            fd, self._proof_path = tempfile.mkstemp(prefix="quelt-", suffix=".drat")
            os.close(fd)
            self._set_proof(self._proof_path)
        if bootstrap_with is not None:
            self.append_formula(bootstrap_with)

    # ---- Clauses ---------------------------------------------------------------
    def add_clause(self, clause, no_return=True):
        """Adds a clause (an iterable of literals) for good. With
        no_return=False, returns False when the formula is now refuted by unit
        propagation, else True."""
        super().add_clause(clause)
        if not no_return:
            return self._propagate(())[0]

    def append_formula(self, formula, no_return=True):
        """Adds every clause of an iterable of clauses; none if one of them is
        invalid. no_return as for add_clause."""
        super().append_formula(formula)
        if not no_return:
            return self._propagate(())[0]

    def supports_atmost(self):
        """True: add_atmost works, by a clause encoding (there is no native
        cardinality constraint)."""
        return True

    def add_atmost(self, lits, k, weights=None, no_return=True):
        """Adds 'at most k of lits are true' for good, as clauses of a
        totalizer on fresh variables above every variable used so far; those
        variables are frozen, so that simplification keeps them. weights, if
        given, must all be 1. no_return as for add_clause."""
        lits = [int(l) for l in lits]
        if weights is not None and any(w != 1 for w in weights):
            raise NotImplementedError("Weighted at-most constraints are not supported.")
        top = max([self.nof_vars()] + [abs(l) for l in lits])
        clauses, fresh = _totalizer_atmost(lits, int(k), top)
        for v in fresh:
            self.freeze(v)
        return self.append_formula(clauses, no_return)

    # ---- Solving -----------------------------------------------------------------
    def _solve(self, assumptions, **limits):
        assumptions = list(assumptions)
        start = _time.process_time() if self._use_timer else 0.0
        try:
            self._status = super().solve(assumptions, **limits)
        finally:
            if self._use_timer:
                self._call_time = _time.process_time() - start
                self._accum_time += self._call_time
        self._assumptions = assumptions
        return self._status

    def solve(self, assumptions=(), *, conflicts=None, seconds=None):
        """True (satisfiable) or False (unsatisfiable) under the assumptions,
        which hold for this solve only; None when interrupt(), the terminate
        callback or one of the limits given here stopped it. The budgets are
        for solve_limited only."""
        return self._solve(assumptions, conflicts=conflicts, seconds=seconds)

    def solve_limited(self, assumptions=(), expect_interrupt=False):
        """As solve(), within the budgets set since the last limited solve:
        None when one of them, or interrupt(), stopped it. The budgets are then
        spent. expect_interrupt is accepted and ignored: every solve runs
        without the GIL and can be interrupted."""
        budgets, self._budgets = self._budgets, {}
        return self._solve(assumptions, **budgets)

    def _budget(self, kind, n):
        if n is None or n == 0 or n == -1:
            self._budgets.pop(kind, None)
        elif n < 0:
            raise ValueError("A budget is positive, 0 or -1 (no limit), not %d." % n)
        else:
            self._budgets[kind] = int(n)

    def conf_budget(self, budget=-1):
        """Conflicts the next solve_limited() may spend; 0 or -1: no limit."""
        self._budget("conflicts", budget)

    def prop_budget(self, budget=-1):
        """Propagations the next solve_limited() may spend; 0 or -1: no limit."""
        self._budget("propagations", budget)

    def dec_budget(self, budget=-1):
        """Decisions the next solve_limited() may spend; 0 or -1: no limit."""
        self._budget("decisions", budget)

    def get_status(self):
        """The answer of the last solve: True, False, or None when it was
        stopped (or before the first)."""
        return self._status

    def propagate(self, assumptions=(), phase_saving=0):
        """Unit propagation of the assumptions one after the other, without
        search: (True, literals) when no conflict arose, the literals being the
        assumptions not already true and all they implied, in order; (False,
        literals) on a conflict, with the literals assigned up to it. Units the
        formula implies alone are not listed. phase_saving is accepted for
        compatibility and has no effect (Quelt keeps no saved phases)."""
        if phase_saving not in (0, 1, 2):
            raise ValueError("phase_saving is 0, 1 or 2, not %r." % (phase_saving,))
        return self._propagate(assumptions)

    def enum_models(self, assumptions=()):
        """Yields the models under the assumptions one by one; each is blocked
        by a clause added for good before the next is sought."""
        assumptions = list(assumptions)
        while self.solve(assumptions):
            model = self.get_model()
            yield model
            self.add_clause([-l for l in model])

    # ---- Results ---------------------------------------------------------------------
    def get_core(self):
        """After an unsatisfiable solve, the failed assumptions: the
        assumptions, as passed and in their order (each once), that the formula
        refutes together; None after any other answer."""
        failed = super().get_core()
        if failed is None:
            return None
        failed = set(failed)
        return [l for l in dict.fromkeys(self._assumptions) if l in failed]

    def get_proof(self):
        """The DRAT proof so far as a list of lines (deletions start with 'd'),
        with with_proof=True; None otherwise."""
        if self._proof_path is None:
            return None
        with open(self._proof_path) as f:
            return f.read().splitlines()

    def time(self):
        """CPU seconds of the process during the last solve, with
        use_timer=True; 0.0 otherwise."""
        return self._call_time

    def time_accum(self):
        """CPU seconds of the process during all solves, with use_timer=True;
        0.0 otherwise."""
        return self._accum_time

    def accum_stats(self):
        """The counters over all solves: restarts, conflicts, decisions and
        propagations."""
        counters = self.statistics()
        return {name: counters[name] for name in ("restarts", "conflicts", "decisions", "propagations")}

    # ---- Life cycle ----------------------------------------------------------------------
    def delete(self):
        """Frees the solver (and its proof file); later calls raise
        RuntimeError."""
        super().delete()
        if self._proof_path is not None:
            try:
                os.unlink(self._proof_path)
            except OSError:
                pass
            self._proof_path = None

    close = delete

    def __enter__(self):
        """The solver itself, freed by delete() when the block ends."""
        return self

    def __exit__(self, *exc):
        """delete()."""
        self.delete()

    def __del__(self):
        """Removes the proof file of a solver never deleted."""
        if getattr(self, "_proof_path", None) is not None:
            try:
                self.delete()
            except RuntimeError:  # still solving in another thread
                pass


def _totalizer_atmost(lits, k, top):
    """Clauses saying at most k of lits are true, and the fresh variables
    they use (numbered from top + 1): the totalizer of Bailleux and Boufkhad
    (CP 2003), only the half that counts upwards, with every counter cut at
    k + 1. Each node counts the true literals below it in unary: output i is
    forced true once i of them are, and the root's output k + 1 is false."""
    if k < 0:
        return [[]], []
    if k >= len(lits):
        return [], []
    if k == 0:
        return [[-l] for l in lits], []
    clauses, fresh = [], []

    def count(part):
        if len(part) == 1:
            return part
        left, right = count(part[:len(part) // 2]), count(part[len(part) // 2:])
        outputs = list(range(top + len(fresh) + 1, top + len(fresh) + 1 + min(len(part), k + 1)))
        fresh.extend(outputs)
        for i in range(len(left) + 1):
            for j in range(len(right) + 1):
                if 0 < i + j <= len(outputs):
                    clause = ([-left[i - 1]] if i else []) + ([-right[j - 1]] if j else [])
                    clauses.append(clause + [outputs[i + j - 1]])
        return outputs

    root = count(lits)
    clauses.append([-root[k]])
    return clauses, fresh


def read_dimacs(path):
    """Reads a DIMACS CNF file, plain or compressed with gzip, bzip2 or xz
    (recognised by its first bytes): (number of variables, list of clauses).
    The number is the header's, or the largest variable if that is more."""
    with open(path, "rb") as raw:
        magic = raw.read(6)
    opener = (gzip.open if magic.startswith(b"\x1f\x8b") else bz2.open if magic.startswith(b"BZh")
              else lzma.open if magic.startswith(b"\xfd7zXZ\x00") else open)
    nvars, clauses, clause = 0, [], []
    with opener(path, "rt") as f:
        for number, line in enumerate(f, 1):
            words = line.split()
            if not words or words[0].startswith("c"):
                continue
            if words[0] == "%":  # the end mark of some benchmark sets
                break
            if words[0] == "p":
                if len(words) != 4 or words[1] != "cnf":
                    raise ValueError("%s:%d: not a 'p cnf' header: %s" % (path, number, line.strip()))
                nvars = max(nvars, int(words[2]))
                continue
            for word in words:
                try:
                    lit = int(word)
                except ValueError:
                    raise ValueError("%s:%d: not a literal: %s" % (path, number, word)) from None
                if lit == 0:
                    clauses.append(clause)
                    clause = []
                else:
                    clause.append(lit)
                    nvars = max(nvars, abs(lit))
    if clause:
        clauses.append(clause)
    return nvars, clauses
