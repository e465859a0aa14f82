// Preprocessing: simplifying the formula once, before the first search, in
// the manner of SatElite (Eén and Biere, SAT 2005) with the probing and
// equivalence reasoning later preprocessors added.
//
// Some formulas that a clause-learning search cannot finish are easy for
// plain resolution on the formula as given: eliminating variables in a good
// order refutes them without a single conflict. The preprocessor is a few
// rounds of four techniques, each in a file of its own, until a round
// removes no variable and fixes none, or the budget is spent:
//   probe         failed literals of the binary implication graph (attached)
//   equivalence   equivalent literals replaced by one representative
//   subsume       backward subsumption and self-subsuming strengthening
//   bve           bounded variable elimination
// Probing needs propagation and runs on the watched database. The others
// need, for every literal, the clauses it occurs in: for them the watches
// are dropped, occurrence lists built, and at the end of the round the
// surviving clauses are watched again.
//
// Invariants while the lists exist: every stored clause is listed under
// each of its literals; once propagateUnits has run, no stored clause has a
// literal assigned at level 0; a deleted clause is flagged removed and
// freed only when the round ends, so the lists may name it until then.
//
// What must be undone later is kept on the solver's reconstruction stack,
// eliminatedClauses: an eliminated variable's clauses, a substituted
// variable's two equivalence clauses, each with the variable's literal
// first. After a satisfiable search the model is extended backwards over
// the stack; when clauses or assumptions arrive later, reopen() restores
// the stack's clauses, which makes the formula equivalent to the original
// again (resolvents, strengthened clauses and units all follow from it).
// Frozen and assumed variables are never removed.
//
// With a proof, every step is logged so that a DRAT checker can replay it:
// a clause is added before what it replaces is deleted.
//
// Cost: work is counted in ticks (about one per literal or list entry
// read) against one budget of kTicksPerLiteral per literal of the formula,
// within fixed bounds, and probing has a budget of propagations; so the
// whole stays near-linear in the formula's size. The search's stop check
// (engine/Limits.hpp) is read before each round.
//
// The switch is params.preprocess; it runs once per solver, at the first
// solve after it is set. Later clauses and assumptions only reopen. The
// search that follows is the usual one: in particular its occurrence
// counters, which some orderings and phase rules read, are left as they
// were (recounting them for the smaller formula made satisfiable random
// formulas slower to solve, on average, than without preprocessing).

#include "simplify/preprocess.hpp"

#include <algorithm>

namespace quelt {

namespace {
constexpr int kMaxRounds = 4;
// Ticks allowed per literal of the formula, at least and at most (a tick
// is a nanosecond or two).
constexpr std::uint64_t kTicksPerLiteral = 1000;
constexpr std::uint64_t kMinTicks = 100000000;
constexpr std::uint64_t kMaxTicks = 2000000000;
// Propagations allowed for probing per round: per literal, at least and at
// most.
constexpr std::uint64_t kProbesPerLiteral = 4;
constexpr std::uint64_t kMinProbes = 1000000;
constexpr std::uint64_t kMaxProbes = 50000000;
}  // namespace

bool Solver::preprocess() {
  // Asked to stop already: the search ends at once anyway, and a later
  // solve preprocesses.
  if (stopRequested()) return true;
  preprocessed = true;
  const double start = cpuTime();
  const SimplificationScope scope(*this);
  Preprocessor p(*this);
  const bool open = p.run();
  stats.preprocessing.seconds += cpuTime() - start;
  if (progressHook != nullptr) progressHook(progressData, *this, false);
  return open;
}

bool Preprocessor::run() {
  if (refuted()) return false;
  s.backtrack(0);
  // A clean start: what earlier solves set aside comes back first.
  if (!s.pureVars.empty() || !s.eliminatedVars.empty()) s.reopen();
  if (s.propagate() != nullptr) {
    refute();
    return false;
  }
  dropLearnedClauses();
  // Level-0 facts need no reasons, and their clauses may go.
  for (Literal l : s.trail.lits) s.vars[l.var()].reason = nullptr;

  prepare();
  std::uint64_t literals = 0;
  for (const Clause* c : s.clauses) literals += c->size;
  tickLimit = std::clamp(kTicksPerLiteral * literals, kMinTicks, kMaxTicks);
  const std::uint64_t probeBudget = std::clamp(kProbesPerLiteral * literals, kMinProbes, kMaxProbes);
  stats.clausesBefore = static_cast<std::uint32_t>(s.clauses.size());

  for (int round = 0; round < kMaxRounds && !refuted() && !overBudget(); ++round) {
    if (round > 0 && s.stopRequested()) break;
    stats.rounds += 1;
    const std::uint32_t removedBefore =
        stats.eliminatedVariables + stats.substitutedVariables + stats.failedLiterals;
    const std::size_t fixedBefore = s.trail.lits.size();
    probe(probeBudget);
    if (refuted()) break;
    detachedRound();
    const std::uint32_t removed = stats.eliminatedVariables + stats.substitutedVariables + stats.failedLiterals;
    if (removed == removedBefore && s.trail.lits.size() == fixedBefore) break;
  }
  stats.clausesAfter = static_cast<std::uint32_t>(s.clauses.size());
  stats.fixedVariables = static_cast<std::uint32_t>(s.trail.lits.size());
  return !refuted();
}

void Preprocessor::prepare() {
  const std::size_t n = s.vars.size();
  keep.assign(n, 0);
  for (unsigned v = 1; v < n; ++v) keep[v] = s.isFrozen(v);
  for (Literal a : s.assumptions)
    if (a.var() < n) keep[a.var()] = 1;
  touched.assign(n, 0);
  stamp.assign(2 * n, 0);
  resolver.resize(n);
}

bool Preprocessor::runDuringSearch(std::uint64_t tickBudget, std::uint32_t growth,
                                   const std::vector<unsigned>& kept) {
  if (refuted()) return false;
  duringSearch = true;
  clauseGrowth = growth;
  tickLimit = tickBudget;
  for (Literal l : s.trail.lits) s.vars[l.var()].reason = nullptr;
  prepare();
  for (unsigned v : kept) keep[v] = 1;
  stats.rounds += 1;
  detachedRound();
  return !refuted();
}

void Preprocessor::detachedRound() {
  detachAll();
  try {
    rewriteClauses(findEquivalences());
    buildOccurrences();
    propagateUnits();
    for (Clause* c : s.clauses)
      if (!c->removed()) queue.push_back(c);
    subsume(false);
    eliminate();
  } catch (...) {
    finishRound();
    throw;
  }
  finishRound();
}

void Preprocessor::refute() {
  s.status = Solver::Unsatisfiable;
  s.refuted = true;
}

void Preprocessor::newMarks() {
  if (++mark == 0) {  // wrapped: old stamps could match again
    std::fill(stamp.begin(), stamp.end(), 0);
    mark = 1;
  }
}

void Preprocessor::touch(const Clause& c) {
  for (Literal l : c) touch(l.var());
}

void Preprocessor::detachAll() {
  for (std::uint32_t i = 0; i < s.watches.numLists; ++i) s.watches[i].size = 0;
  for (util::WatcherList& ws : s.watchers) ws.clear();
}

void Preprocessor::attachAll() {
  for (Clause* c : s.clauses) s.watchClause(*c);
}

// Learned clauses follow from the originals and would name variables that
// are about to go; a solver that searched before preprocessing drops them.
void Preprocessor::dropLearnedClauses() {
  if (s.learnedClauses.empty()) return;
  detachAll();
  for (Clause* c : s.learnedClauses) {
    if (!c->removed() && s.proof != nullptr) s.proof->del(*c);
    s.freeClause(c);
  }
  s.learnedClauses.clear();
  attachAll();
}

void Preprocessor::list(Clause* c) {
  const Occurrence entry{c, signatureOf(*c)};
  for (Literal l : *c) occurrences(l).push_back(entry);
}

void Preprocessor::buildOccurrences() {
  occ.assign(2 * s.vars.size(), {});
  for (Clause* c : s.clauses)
    if (!c->removed()) list(c);
  s.occurrencesInUse = true;
}

// The end of a round: the lists go, deleted clauses are freed (those on
// the reconstruction stack stay, owned there), the rest is watched again.
void Preprocessor::finishRound() {
  occ.clear();
  queue.clear();
  s.occurrencesInUse = false;
  auto& cs = s.clauses;
  cs.erase(std::remove_if(cs.begin(), cs.end(), [](const Clause* c) { return c->removed(); }), cs.end());
  for (Clause* c : garbage) s.freeClause(c);
  garbage.clear();
  attachAll();
  if (duringSearch) settleLearnedClauses();
  for (unsigned v : touchedList) touched[v] = 0;
  touchedList.clear();
}

// A learned clause follows from the formula before the round, and the
// formula after it implies every such clause that names no removed
// variable (elimination keeps what the other variables can do, and
// substitution replaces a variable by its equal); the others go, being
// redundant anyway. Units of the round can satisfy a clause or falsify
// literals of it: those are applied here, as the lists never held learned
// clauses.
void Preprocessor::settleLearnedClauses() {
  std::vector<Clause*>& learned = s.learnedClauses;
  std::size_t k = 0;
  for (Clause* c : learned) {
    bool gone = c->removed() || refuted();
    scratch.clear();
    for (std::uint32_t i = 0; i < c->size && !gone; ++i) {
      const Literal l = (*c)[i];
      if (s.vars[l.var()].eliminated() || s.isTrue(l)) gone = true;
      else if (!s.isFalse(l)) scratch.push_back(l);
    }
    if (!gone && scratch.size() < c->size) {
      if (s.proof != nullptr) s.proof->add(scratch);
      if (scratch.size() <= 1) {
        if (scratch.empty()) refute();
        else addUnit(scratch[0]);
        gone = true;
      } else {
        if (s.proof != nullptr) s.proof->del(*c);
        const std::uint32_t oldSize = c->size;
        std::copy(scratch.begin(), scratch.end(), c->lits());
        c->size = static_cast<std::uint32_t>(scratch.size());
        s.clauseArena.shrink(c, oldSize);
      }
    }
    if (gone) {
      if (s.proof != nullptr && !c->removed()) s.proof->del(*c);
      s.freeClause(c);
      continue;
    }
    learned[k++] = c;
  }
  learned.resize(k);
  for (Clause* c : learned) s.watchClause(*c);
}

void Preprocessor::compact(Literal l) {
  std::vector<Occurrence>& os = occurrences(l);
  os.erase(std::remove_if(os.begin(), os.end(), [](const Occurrence& o) { return o.clause->removed(); }), os.end());
}

void Preprocessor::storeClause(const std::vector<Literal>& lits) {
  Clause* c = s.allocateClause(lits, false);
  s.clauses.push_back(c);
  list(c);
  queue.push_back(c);
  touch(*c);
}

bool Preprocessor::addUnit(Literal u) {
  if (s.isTrue(u)) return true;
  if (s.isFalse(u)) {
    refute();
    return false;
  }
  s.assign(u, nullptr);
  return true;
}

void Preprocessor::deleteClause(Clause* c) {
  if (s.proof != nullptr) s.proof->del(*c);
  c->setRemoved();
  garbage.push_back(c);
  touch(*c);
}

void Preprocessor::strengthen(Clause* c, Literal l, bool unlink) {
  oldLits.assign(c->begin(), c->end());
  const std::uint32_t oldSize = c->size;
  Literal* lits = c->lits();
  std::uint32_t k = 0;
  for (std::uint32_t i = 0; i < oldSize; ++i)
    if (lits[i] != l) lits[k++] = lits[i];
  c->size = k;
  s.clauseArena.shrink(c, oldSize);
  if (s.proof != nullptr) {
    s.proof->add(*c);
    s.proof->del(oldLits);
  }
  if (unlink) {
    std::vector<Occurrence>& os = occurrences(l);
    os.erase(std::find_if(os.begin(), os.end(), [c](const Occurrence& o) { return o.clause == c; }));
  }
  touch(l.var());
  touch(*c);
  if (c->size == 1) {  // a unit is never stored
    c->setRemoved();
    garbage.push_back(c);
    addUnit((*c)[0]);
  } else {
    queue.push_back(c);
  }
}

// A true literal deletes its clauses, a false one leaves them; the lists
// of both are spent afterwards.
void Preprocessor::propagateUnits() {
  std::vector<Occurrence> falsified;
  while (unitHead < s.trail.lits.size() && !refuted()) {
    const Literal l = s.trail.lits[unitHead++];
    for (const Occurrence& o : occurrences(l))
      if (!o.clause->removed()) deleteClause(o.clause);
    occurrences(l).clear();
    falsified.clear();
    falsified.swap(occurrences(~l));
    for (const Occurrence& o : falsified) {
      if (refuted()) break;
      if (!o.clause->removed()) strengthen(o.clause, ~l, false);
    }
  }
}

}  // namespace quelt
