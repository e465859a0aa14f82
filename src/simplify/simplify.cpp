// Simplification at decision level 0, as MiniSat's simplify removes
// satisfied clauses and false literals between searches.
//
// Between searches, whenever propagation at level 0 ends without conflict,
// the clause database is cleaned with the facts known there: satisfied
// clauses are deleted, false literals are removed (a clause left with one
// literal becomes a new fact), the occurrence counters of every variable are
// recounted from the surviving clauses, and, when enabled, variable
// elimination and the pure literal rule run on the fresh counts.
//
// Two gates keep this cheap: a round runs only after a unit clause has been
// learned since the last round, and only once propagation has processed as
// many literals as the database held at the start of the previous round.
//
// Units found by strengthening are assigned without propagation until the
// cleanup is over, so a later clause of the same pass can lose every
// literal. Such a clause proves the formula unsatisfiable on the spot: it is
// deleted and the status set, which ends the pass and makes simplify fail.
#include "engine/Solver.hpp"

namespace quelt {

void Solver::MarkOccurrences(Clause& c) {
  if (c.size == 0) return;
  const bool filing = params.resolution != 0;
  for (Literal l : c) {
    vars[l.var()].incOccur(l.sign());
    if (filing) occurrences.of(l).push_back(&c);
  }
}

bool Solver::strengthen(Clause& c) {
  std::vector<unsigned>& falsePos = erasePositions;
  falsePos.clear();
  for (std::uint32_t k = 0; k < c.size; ++k) {
    const Literal l = c[k];
    const util::VarInfo& r = vars[l.var()];
    if (r.level < 0) continue;
    if (r.isTrue(l)) {
      if (proof != nullptr) proof->del(c);
      detach(c);
      // Satisfied only by a pure literal's choice: set aside, not deleted,
      // in case the formula changes later.
      if (r.pure() && !c.learned()) {
        c.flags |= Clause::kParked;
        parkedClauses.push_back(&c);
      }
      return true;
    }
    falsePos.push_back(k);
  }
  if (!falsePos.empty()) {
    const bool watchedFalse = falsePos[0] <= 1;
    if (watchedFalse) detach(c);
    if (proof != nullptr) proofScratch.assign(c.begin(), c.end());
    const std::uint32_t oldSize = c.size;
    c.erase(falsePos);
    clauseArena.shrink(&c, oldSize);
    if (proof != nullptr) {
      proof->add(c);  // the shortened clause first, then the old one goes
      proof->del(proofScratch.data(), proofScratch.size());
    }
    if (c.size == 0) {
      status = Unsatisfiable;
      return true;
    }
    if (c.size == 1) {
      stats.simplifyUnits += 1;
      std::vector<Literal> unit{c[0]};
      addClause(unit, false);
      return true;
    }
    if (watchedFalse) attach(c);
  }
  MarkOccurrences(c);
  return false;
}

void Solver::runClauseCleanup(std::vector<Clause*>& list) {
  if (list.empty()) return;
  beginBatchedDetach();
  std::size_t k = 0;
  std::size_t i = 0;
  const std::size_t n = list.size();
  while (i < n && status != Unsatisfiable) {
    Clause* c = list[i++];
    if (c->removed()) {
      if (c->learned()) freeClause(c);  // removed originals live on in eliminatedClauses
    } else if (strengthen(*c)) {
      if ((c->flags & Clause::kParked) == 0) garbage.push_back(c);
    } else {
      list[k++] = c;
    }
  }
  // Once the formula is refuted the clauses not visited are dropped with the
  // list entries: nothing reads them again, and they would otherwise leak.
  for (; i < n; ++i) {
    Clause* c = list[i];
    if (c->removed()) {
      if (c->learned()) freeClause(c);
      continue;
    }
    detach(*c);
    garbage.push_back(c);
  }
  list.resize(k);
  sweepDetached();
  batchingDetach = false;
}

bool Solver::simplify() {
  const SimplificationScope scope(*this);
  if (propagate() != nullptr) return false;
  if (newUnitsMask == 0) return true;
  if (stats.simplifyBudget > 0) return true;
  stats.simplifyBudget = static_cast<std::int32_t>(stats.originalLiterals + stats.learnedLiterals);
  stats.simplificationRounds += 1;
  for (util::VarInfo& r : vars) r.resetNumOccurrences();
  // The occurrence lists exist only during a round that files them.
  if (params.resolution != 0 && numVars > 0) occurrences.addVar(numVars - 1);
  runClauseCleanup(learnedClauses);
  runClauseCleanup(clauses);
  if (status == Unsatisfiable) return false;
  if (propagate() != nullptr) return false;
  if (params.resolution != 0 && stats.resolutionRounds < params.maxResRuns) {
    runResolution();
    decisionQueue.updateAll();
  } else {
    params.resolution = 0;
  }
  occurrences.release();
  if (status == Unsatisfiable) return false;
  if (propagate() != nullptr) return false;
  runPurelitRule();
  if (propagate() != nullptr) return false;
  newUnitsMask = 0;
  return true;
}

}  // namespace quelt
