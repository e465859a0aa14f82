// The pure literal rule of Davis and Putnam (1960), kept by Davis,
// Logemann and Loveland (1962).
//
// At the end of a simplification round, every free variable that occurs in
// one polarity only in the surviving clauses is assigned at level 0 so that
// all its occurrences are true; a variable that occurs nowhere is set true.
// Whether a polarity occurs is read from the occurrence counters, which the
// round has just recounted. A counter that ever reached its ceiling may have
// been decremented since, so it is never taken as absent. With assumptions
// the rule stays off: a pure literal could contradict an assumption that
// the formula alone does not.
#include "engine/Solver.hpp"

namespace quelt {

void Solver::runPurelitRule() {
  if (!params.usePureLiteralRule) return;
  if (!assumptions.empty() && decisionLevel() <= assumptions.size()) return;
  for (unsigned v = 1; v < vars.size(); ++v) {
    util::VarInfo& r = vars[v];
    if (r.level >= 0 || r.eliminated()) continue;
    stats.simplifyUnits += 1;
    Literal l;
    if (!r.mayOccur(0))
      l = Literal::make(v, true);
    else if (!r.mayOccur(1))
      l = Literal::make(v, false);
    else
      continue;
    if (r.level < 0) {
      if (proof != nullptr) proof->add(&l, 1);  // a pure literal is a RAT unit
      assign(l, nullptr);
      r.setPure();
      pureVars.push_back(v);
    }
  }
}

}  // namespace quelt
