// Simplification at decision level 0.
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
#include "solver/Solver.hpp"

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
      watches.dewatch(c);
      return true;
    }
    falsePos.push_back(k);
  }
  if (!falsePos.empty()) {
    const bool watchedFalse = falsePos[0] <= 1;
    if (watchedFalse) watches.dewatch(c);
    if (proof != nullptr) proofScratch.assign(c.begin(), c.end());
    c.erase(falsePos);
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
    if (watchedFalse) {
      watches.of(c[0]).push(&c);
      watches.of(c[1]).push(&c);
    }
  }
  MarkOccurrences(c);
  return false;
}

void Solver::runClauseCleanup(std::vector<Clause*>& list) {
  if (list.empty()) return;
  if (status == Unsatisfiable) {
    list.clear();
    return;
  }
  std::size_t k = 0;
  std::size_t i = 0;
  const std::size_t n = list.size();
  while (i < n) {
    Clause* c = list[i++];
    if (c->removed()) {
      if (c->learned()) delete c;  // removed originals live on in eliminatedClauses
    } else if (strengthen(*c)) {
      delete c;
    } else {
      list[k++] = c;
    }
    if (status == Unsatisfiable) break;
  }
  // After an early stop the unvisited clauses are freed with the list entry:
  // nothing reads them again, and they would otherwise leak.
  for (; i < n; ++i) {
    Clause* c = list[i];
    if (c->removed() && !c->learned()) continue;
    watches.dewatch(*c);
    delete c;
  }
  list.resize(k);
}

bool Solver::simplify() {
  if (bcp() != nullptr) return false;
  if (newUnitsMask == 0) return true;
  if (stats.simplifyBudget > 0) return true;
  stats.simplifyBudget = static_cast<std::int32_t>(stats.originalLiterals + stats.learnedLiterals);
  stats.simplificationRounds += 1;
  for (util::VarInfo& r : vars) r.resetNumOccurrences();
  runClauseCleanup(learnedClauses);
  runClauseCleanup(clauses);
  if (status == Unsatisfiable) return false;
  if (bcp() != nullptr) return false;
  if (params.resolution != 0 && stats.resolutionRounds < params.maxResRuns) {
    runResolution();
    decisionQueue.updateAll();
  } else {
    params.resolution = 0;
  }
  occurrences.clearOcc();
  if (status == Unsatisfiable) return false;
  if (bcp() != nullptr) return false;
  runPurelitRule();
  if (bcp() != nullptr) return false;
  newUnitsMask = 0;
  return true;
}

}  // namespace quelt
