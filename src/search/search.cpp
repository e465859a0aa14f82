// The search loop and the solve around it.
//
// solve runs search runs until one ends with anything but a restart. A
// search run is a schedule of tests and actions, the same for every
// search policy (engine/SearchPolicy.hpp), which owns the tests:
//   stop?         the limits, the flags and the callback (engine/Limits.hpp)
//   propagate     a conflict: count it; at level 0 the formula is refuted;
//                 otherwise the policy may end the run here (a restart), or
//                 learns from it: analysis, backjump, the learned clause
//   simplify?     when the policy says so (the classic search: at level 0)
//   reduce?       when the learned clauses are due
//   restart?      without a conflict, when the policy says so (a restart
//                 that took in shared clauses propagates their units first)
//   assumptions   assumption i sits at level i + 1, as a decision or as an
//                 empty level when it is already true; a false one ends the
//                 solve with the final analysis
//   decide        the policy's next decision; none left means satisfiable
// Each action falls through to the next test, as the classic search was
// always written: a reduction is followed by a decision in the same turn.
//
// Before the first search run, when asked, the formula is preprocessed
// (simplify/preprocess.cpp). After a satisfiable run the variables removed
// by elimination or substitution are given values, from the last removed
// back to the first (engine/model.cpp), the model is recorded sorted by
// variable and checked against every clause before it is reported.
#include <algorithm>

#include "engine/Solver.hpp"

namespace quelt {

void Solver::setTimeout(unsigned seconds) {
  if (seconds == SearchParams::kNoTimeLimit) return;
  params.timeLimit = seconds + cpuSeconds();
}

unsigned Solver::search() {
  SearchPolicy& rules = *policy;
  rules.beginRun();
  stop.beginRun(stats.bcPropagations);
  for (;;) {
    if (stopPolled()) {
      backtrack(0);
      return Timeout;
    }
    if (Clause* const conflict = rules.propagate()) {
      stats.conflicts += 1;
      if (progressHook != nullptr && (stats.conflicts & 1023u) == 0) progressHook(progressData, *this, false);
      if (decisionLevel() == 0) {
        refuted = true;
        return Unsatisfiable;
      }
      if (rules.restartAtConflict()) {
        backtrack(0);
        return LimitsExceeded;
      }
      if (!rules.learn(conflict)) return Unsatisfiable;
      continue;
    }

    if (rules.simplifying() && !rules.simplify()) {
      refuted = true;
      return Unsatisfiable;
    }
    if (trail.propagationHead != trail.lits.size()) continue;
    if (rules.reducing()) rules.reduce();
    if (rules.restarting()) {
      rules.restart();
      // A restart may take in clauses from other solvers: a refutation
      // among them ends the search, units are propagated first.
      if (refuted) return Unsatisfiable;
      if (trail.propagationHead != trail.lits.size()) continue;
    }

    Literal next;
    bool haveDecision = false;
    while (decisionLevel() < assumptions.size()) {
      const Literal a = assumptions[decisionLevel()];
      if (isTrue(a)) {
        trail.levelStarts.push_back(static_cast<unsigned>(trail.lits.size()));
      } else if (isFalse(a)) {
        analyzeFinal(a);
        return Unsatisfiable;
      } else {
        next = a;
        haveDecision = true;
        break;
      }
    }
    if (!haveDecision && !rules.decide(next)) return Satisfiable;
    trail.levelStarts.push_back(static_cast<unsigned>(trail.lits.size()));
    if (vars[next.var()].level < 0) assign(next, nullptr);
  }
}

unsigned Solver::solve(const std::vector<Literal>& assumed, bool singleRun) {
  assume(assumed);
  return solve(singleRun);
}

void Solver::concludeProof() {
  if (proof == nullptr || proofConcluded || !refuted) return;
  proof->addEmpty();
  proofConcluded = true;
}

unsigned Solver::solve(bool singleRun) {
  attachPending();
  failedAssumptions.clear();  // a refutation found before this solve rests on no assumption
  if (status == Satisfiable || status == Unsatisfiable) {
    if (status == Unsatisfiable) concludeProof();
    return status;
  }
  unsigned r = Unsatisfiable;  // when preprocessing refutes the formula
  if (!params.preprocess || preprocessed || preprocess()) {
    do {
      r = search();
      policy->endRun(r);
      if (progressHook != nullptr && r == LimitsExceeded) progressHook(progressData, *this, false);
    } while (!singleRun && r == LimitsExceeded);
  }
  status = r;
  if (r == Satisfiable && !eliminatedVars.empty()) extendModel();
  if (trail.propagationHead > stats.maxLiteralsAssigned) stats.maxLiteralsAssigned = trail.propagationHead;
  if (status == Satisfiable) {
    // A new model replaces the one of an earlier solve.
    model.assign(trail.lits.begin(), trail.lits.end());
    std::sort(model.begin(), model.end());
  }
  backtrack(0);
  if (status == Satisfiable) verifyModel();
  stats.variables = static_cast<std::uint32_t>(vars.size());
  // Sorting the level-0 trail mixes literals not yet propagated (a solve
  // stopped before propagating units added since the last one) with those
  // that were; the next solve then propagates them all again.
  const bool propagated = trail.propagationHead == trail.lits.size();
  trail.sort();
  if (!propagated) trail.propagationHead = 0;
  if (status == Unsatisfiable) concludeProof();
  if (progressHook != nullptr) progressHook(progressData, *this, true);
  return status;
}

}  // namespace quelt
