// Solver state, variables and the clause database.
//
// Adding an original clause normalises it first: literals are sorted,
// duplicates dropped, a tautology or a clause already satisfied at level 0 is
// absorbed, false literals are removed, and an empty result makes the
// formula unsatisfiable. A single literal is never stored: it becomes a
// level-0 assignment that the next propagation picks up. Everything else is
// stored and watched on its first two literals (the clauses added before
// the first solve all at once when it starts, each watch list allocated at
// its final length); the remaining literals are ordered by the
// clause-sorting heuristic, which decides where propagation looks first for
// a new watch.
//
// Clause allocation can fail on huge formulas. The answer is to stop the
// learned-clause budget from growing, shrink it, delete learned clauses and
// retry; after a few failed retries std::bad_alloc leaves the solver, and the
// driver reports exhausted resources.
#include "engine/Solver.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <string>

namespace quelt {

namespace {
// Retries of a failed clause allocation before giving up.
constexpr int kAllocationRetries = 3;
}  // namespace

std::int32_t limitFromDouble(double value) {
  // Every value in the open interval (INT32_MIN - 1, INT32_MAX + 1) truncates
  // to a representable integer; NaN and everything else disables the limit.
  if (value > -2147483649.0 && value < 2147483648.0) return static_cast<std::int32_t>(value);
  return std::numeric_limits<std::int32_t>::min();
}

Solver::Solver() { construct(); }

Solver::Solver(const SearchParams& p) : params(p) { construct(); }

void Solver::construct() {
  status = Unknown;
  trail.clear();
  stats.clear();
  decisionQueue.cmp = VarComparator{&vars, params.varDecHeur};
  numVars = 0;
  newUnitsMask = 0;
  selectPolicy();
}

Solver::~Solver() {
  freeAllClauses();
  watches.release();
}

void Solver::freeAllClauses() {
  // The arena's chunks go as a whole; a clause from the general heap is
  // deleted on its own.
  auto drop = [this](Clause* c) {
    if (!clauseArena.owns(c)) delete c;
  };
  for (Clause* c : clauses)
    if (!c->removed()) drop(c);  // removed originals belong to eliminatedClauses
  for (Clause* c : learnedClauses) drop(c);
  for (Clause* c : parkedClauses) drop(c);
  parkedClauses.clear();
  pureVars.clear();
  for (auto& entry : eliminatedClauses)
    for (Clause* c : entry) drop(c);
  clauseArena.clear();
  clauses.clear();
  learnedClauses.clear();
  eliminatedClauses.clear();
  eliminatedVars.clear();
}

unsigned Solver::createNewVar(dpinterface::VarFlagTy kind, unsigned char a, unsigned char b) {
  if (vars.empty()) {
    util::VarInfo dummy;
    dummy.lit = Literal(0);
    dummy.flags = 1;
    dummy.reset();
    vars.push_back(dummy);
    numVars = 1;
  }
  const unsigned v = numVars;
  util::VarInfo rec;
  rec.lit = Literal::make(v, false);
  vars.push_back(rec);
  vars.back().reset();
  vars.back().reset(kind, a, b);
  numVars += 1;
  watches.addVar(v);
  if (blockerWatches) watchers.resize(watches.numLists);
  if (litValues.size() < watches.numLists) litValues.resize(watches.numLists, 0);
  if (decisionQueue.heapIndex.size() <= v) decisionQueue.heapIndex.resize(v + 1, -1);
  decisionQueue.insert(v);
  return v;
}

void Solver::createVar(unsigned v, dpinterface::VarFlagTy, unsigned char, unsigned char) {
  if (numVars > v) return;
  // Room for all of them at once, growing at least geometrically: a huge
  // index then fails here, at once, instead of after creating variables one
  // by one until memory runs out.
  const std::size_t needed = static_cast<std::size_t>(v) + 1;
  if (needed > vars.capacity()) {
    const std::size_t want = std::max(needed, 2 * vars.capacity());
    vars.reserve(want);
    decisionQueue.heap.reserve(want);
    decisionQueue.heapIndex.reserve(want);
    trail.lits.reserve(want);
  }
  while (numVars <= v) createNewVar(dpinterface::ProblemVar, 0, 0);
}

Clause* Solver::allocateClause(const std::vector<Literal>& lits, bool learned) {
  if (lits.size() > Clause::kMaxSize) throw std::bad_alloc();  // no room in the header, whatever is freed
  for (int attempt = 0;; ++attempt) {
    try {
      void* block = learned ? clauseArena.allocateTransient(lits.size()) : clauseArena.allocate(lits.size());
      return ::new (block) Clause(lits, learned);
    } catch (const util::MemoryLimitReached&) {
      throw;  // the caller's limit: stop, do not make room
    } catch (...) {
      if (attempt >= kAllocationRetries) throw std::bad_alloc();
      // While an elimination round holds occurrence lists, deleting learned
      // clauses would leave those lists pointing at freed memory; during a
      // cleanup pass the learned list itself is being walked: the policy
      // asks mayDeleteClauses().
      policy->makeRoom();
    }
  }
}

std::pair<Clause*, bool> Solver::addClause(std::vector<Literal>& lits, bool learned) {
  Clause* c;
  if (!learned) {
    if (!inSimplification && (!pureVars.empty() || !eliminatedVars.empty())) restoreFor(lits);
    std::sort(lits.begin(), lits.end());
    lits.erase(std::unique(lits.begin(), lits.end()), lits.end());
    // After sorting, the two literals of one variable are adjacent.
    for (std::size_t i = 1; i < lits.size(); ++i)
      if (varEqual(lits[i - 1], lits[i])) {
        // A proof checker keeps every input clause; one that is never
        // stored must leave its formula too, or a later RAT step (a pure
        // literal) would be checked against it.
        if (proof != nullptr && !inSimplification) proof->del(lits);
        return {nullptr, true};
      }
    const std::size_t distinct = lits.size();
    if (proof != nullptr) proofScratch.assign(lits.begin(), lits.end());
    std::size_t k = 0;
    for (Literal l : lits) {
      const util::VarInfo& r = vars[l.var()];
      if (r.level < 0)
        lits[k++] = l;
      else if (r.isTrue(l))
        return {nullptr, true};
    }
    lits.resize(k);
    // A clause shortened by level-0 facts is a new clause for a proof
    // checker, which only knows the one it was given; that one goes, so
    // that the checker holds what the solver holds (a clause it kept would
    // stand in the way of a pure literal's RAT check once the shortened
    // clause is eliminated).
    if (proof != nullptr && k < distinct) {
      proof->add(lits);
      proof->del(proofScratch);
    }
    if (lits.empty()) {
      status = Unsatisfiable;
      refuted = true;
      return {nullptr, false};
    }
    if (status != Unsatisfiable) status = Unknown;
    c = allocateClause(lits, false);
  } else {
    if (proof != nullptr) proof->add(lits);
    c = allocateClause(lits, true);
    c->activity = static_cast<float>(static_cast<double>(c->activity) + params.clauseActivityInc);
    if (static_cast<double>(c->activity) > 1e20) {
      for (Clause* l : learnedClauses) l->scaleActivity(1e-20);
      params.clauseActivityInc *= 1e-20;
    }
  }
  if (doAddClause(c)) return {nullptr, true};
  return {c, false};
}

void Solver::updateStatsForClause(const Clause& c) {
  if (c.learned()) {
    stats.totalLearnedClauses += 1;
    if (c.size == 1) stats.learnedUnitClauses += 1;
    stats.learnedLiterals += c.size;
  } else if (stats.resolutionRounds == 0) {
    stats.originalClauses += 1;
    if (c.size == 1) stats.originalUnitClauses += 1;
    stats.originalLiterals += c.size;
  }
}

bool Solver::doAddClause(Clause* c) {
  updateStatsForClause(*c);
  if (c->size == 1) {
    const Literal l = (*c)[0];
    if (vars[l.var()].level < 0) assign(l, nullptr);
    freeClause(c);
    return true;
  }
  (c->learned() ? learnedClauses : clauses).push_back(c);
  if (!c->learned() && watchesDeferred) {
    pendingClauses += 1;
  } else {
    watchClause(*c);
  }
  if (params.clauseSortHeur != 19 && c->size > 2 && (sortLearnedLiterals || !c->learned()))
    sortLiterals(c->begin() + 2, c->end(), params.clauseSortHeur);
  return false;
}

void Solver::attachPending() {
  watchesDeferred = false;
  if (pendingClauses == 0) return;
  const std::size_t first = clauses.size() - pendingClauses;
  if (blockerWatches) {
    for (std::size_t k = first; k < clauses.size(); ++k) watchClause(*clauses[k]);
    pendingClauses = 0;
    return;
  }
  {
    // Each list gets exactly the room its pending clauses need: grown one
    // push at a time, millions of short lists would keep up to half their
    // arrays empty.
    std::vector<std::uint32_t> extra(watches.numLists, 0);
    for (std::size_t k = first; k < clauses.size(); ++k) {
      extra[(*clauses[k])[0].watchIndex()] += 1;
      extra[(*clauses[k])[1].watchIndex()] += 1;
    }
    for (std::uint32_t i = 0; i < watches.numLists; ++i)
      if (extra[i] != 0) watches.reserve(watches[i], extra[i]);
  }
  for (std::size_t k = first; k < clauses.size(); ++k) {
    Clause* c = clauses[k];
    watches.push((*c)[0], c);
    watches.push((*c)[1], c);
  }
  pendingClauses = 0;
}

void Solver::removeClause(Clause* c) {
  unwatchClause(*c);
  freeClause(c);
}

bool Solver::isClauseLocked(const Clause& c) const {
  const Literal l = c[0];
  const util::VarInfo& r = vars[l.var()];
  return r.isTrue(l) && r.reason == &c;
}

void Solver::reopen() {
  attachPending();
  backtrack(0);
  // Eliminated and pure variables leave the level-0 trail (an eliminated
  // variable is there when the model was completed at level 0).
  std::size_t k = 0;
  for (Literal l : trail.lits) {
    const util::VarInfo& r = vars[l.var()];
    if (!r.pure() && !r.eliminated()) trail.lits[k++] = l;
  }
  trail.lits.resize(k);
  trail.propagationHead = 0;  // everything is propagated again, against the restored clauses
  eliminatedOnTrail = false;
  auto release = [this](unsigned v) {
    util::VarInfo& r = vars[v];
    unassign(v);
    r.clearPure();
    r.clearEliminated();
    if (!decisionQueue.contains(v)) decisionQueue.insert(v);
  };
  for (unsigned v : pureVars) release(v);
  pureVars.clear();

  // Clauses removed with eliminated variables may still be listed in
  // clauses until a cleanup drops them; drop them now, then bring every one
  // back once.
  clauses.erase(std::remove_if(clauses.begin(), clauses.end(), [](const Clause* c) { return c->removed(); }),
                clauses.end());
  auto restore = [this](Clause* c) {
    c->flags &= ~(Clause::kRemoved | Clause::kParked | Clause::kCollect);
    clauses.push_back(c);
    watchClause(*c);
  };
  for (std::size_t e = eliminatedClauses.size(); e-- > 0;) {
    release(eliminatedVars[e]);
    for (Clause* c : eliminatedClauses[e]) restore(c);
  }
  eliminatedClauses.clear();
  eliminatedVars.clear();
  for (Clause* c : parkedClauses) restore(c);
  parkedClauses.clear();
  if (status == Satisfiable) status = Unknown;
}

void Solver::restoreFor(const Literal* lits, std::size_t count) {
  if (!pureVars.empty()) {
    reopen();
    return;
  }
  if (eliminatedVars.empty()) return;
  const std::size_t n = vars.size();
  bool any = false;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned v = lits[i].var();
    if (v < n && vars[v].eliminated()) any = true;
  }
  if (!any && !eliminatedOnTrail) return;
  attachPending();
  backtrack(0);
  if (eliminatedOnTrail) {
    // Values the last extension gave at level 0: the next one gives them
    // again, from the values of that search.
    std::size_t k = 0;
    for (Literal l : trail.lits)
      if (vars[l.var()].eliminated()) unassign(l.var());
      else trail.lits[k++] = l;
    trail.lits.resize(k);
    trail.propagationHead = 0;
    eliminatedOnTrail = false;
  }
  if (status == Satisfiable) status = Unknown;
  if (!any) return;

  // Entries go bottom up, in the order of removal: the clauses of an entry
  // name only variables that were there when it was made, so those of them
  // that are gone now went later, in an entry further up.
  restoreMarks.assign(n, 0);
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned v = lits[i].var();
    if (v < n && vars[v].eliminated()) restoreMarks[v] = 1;
  }
  clauses.erase(std::remove_if(clauses.begin(), clauses.end(), [](const Clause* c) { return c->removed(); }),
                clauses.end());
  std::size_t kept = 0;
  for (std::size_t e = 0; e < eliminatedVars.size(); ++e) {
    const unsigned v = eliminatedVars[e];
    if (!restoreMarks[v]) {
      if (kept != e) {
        eliminatedVars[kept] = v;
        eliminatedClauses[kept] = std::move(eliminatedClauses[e]);
      }
      ++kept;
      continue;
    }
    util::VarInfo& r = vars[v];
    unassign(v);
    r.clearEliminated();
    if (!decisionQueue.contains(v)) decisionQueue.insert(v);
    for (Clause* c : eliminatedClauses[e]) {
      for (Literal l : *c)
        if (vars[l.var()].eliminated()) restoreMarks[l.var()] = 1;
      c->flags &= ~(Clause::kRemoved | Clause::kParked | Clause::kCollect);
      clauses.push_back(c);
      watchClause(*c);
    }
    eliminatedClauses[e].clear();
  }
  eliminatedVars.resize(kept);
  eliminatedClauses.resize(kept);
  trail.propagationHead = 0;  // propagated again, against the restored clauses
}

void Solver::selectPolicy() {
  const bool modern = params.modern;
  if (policy != nullptr && modern == (std::string(policy->name()) == "modern")) return;
  policy.reset();  // the old policy hands the solver back first
  policy = modern ? makeModernPolicy(*this) : makeClassicPolicy(*this);
}

void Solver::reset() {
  model.clear();
  policy->resetLimits();
  if (status != Unsatisfiable) status = Unknown;
  trail.propagationHead = 0;
}

void Solver::clear() {
  assumptions.clear();
  model.clear();
  params.reset();
  status = Unknown;
  trail.clear();
  resetSearchLimits();
  stats.clear();
  vars.clear();
  decisionQueue.heap.clear();
  decisionQueue.heapIndex.clear();
  freeAllClauses();
  watches.release();
  watchers.clear();
  watchesDeferred = true;
  pendingClauses = 0;
  listMarks.clear();
  litValues.clear();
  occurrences.lists.clear();
  numVars = 0;
  redundancyStack.clear();
  newUnitsMask = 0;
  refuted = false;
  preprocessed = false;
  eliminatedOnTrail = false;
  frozen.clear();
  random.reseed(kRandomSeed);
}

void Solver::freeze(unsigned v) {
  createVar(v, dpinterface::ProblemVar, 0, 0);
  if (frozen.size() <= v) frozen.resize(static_cast<std::size_t>(v) + 1, 0);
  frozen[v] += 1;
  if (vars[v].eliminated()) {
    const Literal l = Literal::make(v, true);
    restoreFor(&l, 1);
  }
}

void Solver::melt(unsigned v) {
  if (isFrozen(v)) frozen[v] -= 1;
}

}  // namespace quelt
