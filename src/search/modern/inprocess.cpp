// Simplification during the modern search (see ModernPolicy.hpp).
//
// At level 0 the classic cleanup runs whenever new units came (removing
// satisfied clauses and false literals, simplify/simplify.cpp). Every so
// many conflicts (kVivifyInterval) a round goes further, from level 0:
// failed-literal probing on the roots of the binary implication graph, the
// preprocessor's kernel (simplify/probe.cpp), with the learned clauses
// taking part in its propagation; then the preprocessor's other
// techniques on the irredundant clauses (equivalent literals, subsumption,
// bounded variable elimination; simplify/preprocess.cpp), the learned
// clauses kept but for those naming a removed variable; then vivification
// of the learned clauses (vivify.cpp). Each has a share of the
// propagations the search made since its last round.
//
// Elimination first allows no growth of the formula; each round that
// removes nothing lets the next add a few more clauses per variable, as
// the easy eliminations are done by then.
#include <algorithm>

#include "search/modern/ModernPolicy.hpp"
#include "simplify/preprocess.hpp"
#include "simplify/probe.hpp"

namespace quelt {

bool ModernPolicy::simplify() {
  if (s.stats.conflicts >= nextVivify && (!probe() || !eliminate() || !vivify())) return false;
  if (s.decisionLevel() != 0) return true;
  // At level 0 clauses from other solvers come in too; their units are
  // propagated before the cleanup.
  if (s.exchange != nullptr) {
    if (!s.tradeShared()) return false;
    if (s.trail.propagationHead != s.trail.lits.size()) return true;
  }
  return s.simplify();
}

bool ModernPolicy::probe() {
  s.backtrack(0);
  const std::uint32_t now = s.stats.bcPropagations;  // 32 bits, wrapping: differences only
  const auto budget = static_cast<std::uint64_t>(kProbeEffort * static_cast<double>(now - propagationsAfterProbe));
  std::uint32_t failed = 0;
  const bool hears = s.policyHearsBacktrack;
  s.policyHearsBacktrack = false;  // the probes' values are no phases
  const bool open = probeRoots(s, budget, failed);
  s.policyHearsBacktrack = hears;
  s.stats.modern.failedLiterals += failed;
  propagationsAfterProbe = s.stats.bcPropagations;
  if (failed != 0) s.newUnitsMask |= 1;  // the cleanup removes what they satisfy
  return open;
}

bool ModernPolicy::eliminate() {
  const std::uint32_t now = s.stats.bcPropagations;
  const double share = kEliminateEffort * static_cast<double>(now - propagationsAfterEliminate);
  const std::uint64_t budget = std::clamp(static_cast<std::uint64_t>(share), kEliminateMinTicks, kEliminateMaxTicks);
  // Pure literals stand for a choice a later clause may undo; the round
  // would take the clauses they satisfy for good.
  if (!s.pureVars.empty() || s.stopRequested()) return true;
  s.backtrack(0);
  if (s.propagate() != nullptr) return false;
  SearchStatistics::Preprocessing& counts = s.stats.modern.inprocessing;
  const std::uint32_t removedBefore = counts.eliminatedVariables + counts.substitutedVariables;
  const Solver::SimplificationScope scope(s);
  // The variables of the learned clauses kept for good or while used:
  // eliminating one would take those clauses with it.
  std::vector<unsigned>& kept = eliminationKept;
  kept.clear();
  for (const Clause* c : s.learnedClauses)
    if (glueOf(*c) <= kTier2)
      for (Literal l : *c) kept.push_back(l.var());
  Preprocessor round(s, counts);
  const bool open = round.runDuringSearch(budget, eliminationGrowth, kept);
  propagationsAfterEliminate = s.stats.bcPropagations;
  if (counts.eliminatedVariables + counts.substitutedVariables == removedBefore)
    eliminationGrowth = std::min(eliminationGrowth + kGrowthStep, kMaxGrowth);
  s.newUnitsMask |= 1;  // the cleanup removes what new units satisfy
  return open && s.propagate() == nullptr;
}

}  // namespace quelt
