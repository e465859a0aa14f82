// Simplification during the modern search (see ModernPolicy.hpp).
//
// At level 0 the classic cleanup runs whenever new units came (removing
// satisfied clauses and false literals, simplify/simplify.cpp). Every so
// many conflicts (kVivifyInterval) a round goes further, from level 0:
// failed-literal probing on the roots of the binary implication graph, the
// preprocessor's kernel (simplify/probe.cpp), with the learned clauses
// taking part in its propagation; then vivification of the learned clauses
// (vivify.cpp). Each has a share of the propagations the search made since
// its last round.
#include "search/modern/ModernPolicy.hpp"
#include "simplify/probe.hpp"

namespace quelt {

bool ModernPolicy::simplify() {
  if (s.stats.conflicts >= nextVivify && (!probe() || !vivify())) return false;
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

}  // namespace quelt
