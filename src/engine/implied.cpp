// What a set of literals implies by unit propagation alone, without a
// decision of the solver's own: the question a caller asks to learn the
// consequences of a partial assignment cheaply (the Python module's
// propagate()).
//
// Each assumption in turn opens a decision level and is propagated, as the
// search would place it; one already true opens nothing, one already false
// or a propagation ending in a conflict stops there. The answer is every
// literal assigned above level 0, in trail order, up to the stop: the
// assumptions themselves and what they implied, never the units the formula
// fixes alone. The trail is then undone to level 0, so the solver is as
// before apart from what level 0 propagated (and counted).
//
// The formula must be the caller's, not the simplified one: pure literals
// and every eliminated variable are restored first (a solve's assumptions
// bring back only the variables they name; propagation needs all the
// clauses in between as given).
#include "engine/Solver.hpp"

namespace quelt {

bool Solver::propagateUnder(const std::vector<Literal>& assumed, std::vector<Literal>& assigned) {
  assigned.clear();
  if (!assumed.empty() && (!pureVars.empty() || !eliminatedVars.empty())) reopen();
  attachPending();
  backtrack(0);
  if (refuted) return false;
  if (propagate() != nullptr) {  // the formula alone is refuted
    refuted = true;
    return false;
  }
  bool consistent = true;
  for (Literal a : assumed) {
    if (isTrue(a)) continue;
    if (isFalse(a)) {
      consistent = false;
      break;
    }
    trail.levelStarts.push_back(static_cast<unsigned>(trail.lits.size()));
    assign(a, nullptr);
    if (propagate() != nullptr) {
      consistent = false;
      break;
    }
  }
  if (decisionLevel() > 0) assigned.assign(trail.lits.begin() + trail.levelStarts[1], trail.lits.end());
  backtrack(0);
  return consistent;
}

}  // namespace quelt
