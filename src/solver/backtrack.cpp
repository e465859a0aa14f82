// Backtracking: undo every assignment above a target decision level.
//
// Literals are unassigned in reverse trail order, one at a time, and each
// unassigned variable goes straight back into the decision queue unless it
// never left it. A level may be empty (an assumption that was already true
// opens a level without a literal), so levels are closed by their start
// marks rather than by counting literals: literals of a lower level are never
// touched. The call also samples the deepest level and the largest trail.
#include "solver/Solver.hpp"

namespace quelt {

void Solver::backtrack(unsigned target) {
  const unsigned d = decisionLevel();
  if (d > stats.maxDecisionLevel) stats.maxDecisionLevel = d;
  if (trail.propagationHead > stats.maxLiteralsAssigned) stats.maxLiteralsAssigned = trail.propagationHead;
  if (target != 0 && target < d) stats.backtrackLevels += d - target;
  if (target >= d) return;

  std::vector<Literal>& lits = trail.lits;
  const std::size_t keep = trail.levelStarts[target + 1];
  for (std::size_t i = lits.size(); i > keep; --i) {
    const unsigned v = lits[i - 1].var();
    unassign(v);
    if (!decisionQueue.contains(v) && !vars[v].eliminated()) decisionQueue.insert(v);
  }
  lits.resize(keep);
  trail.levelStarts.resize(target + 1);
  if (trail.propagationHead > lits.size()) trail.propagationHead = static_cast<std::uint32_t>(lits.size());
}

}  // namespace quelt
