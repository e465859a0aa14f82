// Backtracking: undo every assignment above a target decision level; with
// the asserting level of a learned clause as target, the non-chronological
// backjump of GRASP (Marques-Silva and Sakallah, 1996).
//
// Literals are unassigned in reverse trail order, one at a time, and each
// unassigned variable goes straight back into the decision queue unless it
// never left it. A level may be empty (an assumption that was already true
// opens a level without a literal), so levels are closed by their start
// marks rather than by counting literals: literals of a lower level are never
// touched. The call also samples the deepest level and the largest trail.
//
// A policy with an order of its own hears of the literals first, and may
// keep the decision queue out of it (Solver::queueOnBacktrack).
#include <cstring>

#include "engine/Solver.hpp"

namespace quelt {

void Solver::backtrack(unsigned target) {
  const unsigned d = decisionLevel();
  if (d > stats.maxDecisionLevel) stats.maxDecisionLevel = d;
  if (trail.propagationHead > stats.maxLiteralsAssigned) stats.maxLiteralsAssigned = trail.propagationHead;
  if (target != 0 && target < d) stats.backtrackLevels += d - target;
  if (target >= d) return;

  std::vector<Literal>& lits = trail.lits;
  const std::size_t keep = trail.levelStarts[target + 1];
  if (policyHearsBacktrack) policy->unassigning(lits.data() + keep, lits.data() + lits.size());
  if (!queueOnBacktrack) {
    util::VarInfo* const V = vars.data();
    std::int8_t* const value = litValues.data();
    for (std::size_t i = keep; i < lits.size(); ++i) {
      const unsigned v = lits[i].var();
      V[v].level = -1;
      std::memset(value + 2 * static_cast<std::size_t>(v), 0, 2);
    }
    lits.resize(keep);
    trail.levelStarts.resize(target + 1);
    if (trail.propagationHead > lits.size()) trail.propagationHead = static_cast<std::uint32_t>(lits.size());
    return;
  }
  // Raw pointers throughout: the byte stores into the value table may alias
  // anything, and through the members every one would force reloads.
  util::VarInfo* const V = vars.data();
  std::int8_t* const value = litValues.data();
  // Every variable on the trail has a heap index slot (createNewVar).
  const int* heapIndex = decisionQueue.heapIndex.data();
  std::size_t heapSize = decisionQueue.heap.size();
  const Literal* const stop = lits.data() + keep;
  for (const Literal* p = lits.data() + lits.size(); p != stop;) {
    const unsigned v = (--p)->var();
    V[v].level = -1;
    std::memset(value + 2 * static_cast<std::size_t>(v), 0, 2);
    const int h = heapIndex[v];
    const bool queued = h >= 0 && static_cast<std::size_t>(h) < heapSize;
    if (!queued && !V[v].eliminated()) {
      decisionQueue.insert(v);
      heapIndex = decisionQueue.heapIndex.data();
      heapSize = decisionQueue.heap.size();
    }
  }
  lits.resize(keep);
  trail.levelStarts.resize(target + 1);
  if (trail.propagationHead > lits.size()) trail.propagationHead = static_cast<std::uint32_t>(lits.size());
}

}  // namespace quelt
