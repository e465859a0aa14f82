// The decision step and the phase rule: the best variable of the decision
// queue, now and then a random one, as in MiniSat (Eén and Sörensson, SAT
// 2003); the fixed phase rules by occurrence count go back to the
// Jeroslow-Wang and DLIS heuristics of the DPLL era.
//
// With a small probability (randVarDecFreq) a decision takes a random queued
// variable; otherwise the best unassigned variable of the decision queue,
// dropping assigned ones on the way. The phase is random with probability
// randPhaseDecFreq, otherwise one of seven fixed rules: always false, always
// true, random, by occurrence counts (3, 4) or by watch-list lengths (5, 6).
//
// Randomness comes from the solver's own generator, seeded at construction,
// so runs repeat exactly. The draws happen in a fixed order, including the phase
// draw made even when no variable is left: the sequence of random numbers,
// and with it the search, must not depend on anything else. A phase the
// caller asked for (preferredPhase) overrides all of this and draws nothing,
// so a solver without such wishes searches exactly as before.
#include "engine/Solver.hpp"

namespace quelt {

namespace {
// A random fraction in [0, 1): a draw scaled by 2^-31.
inline long double randomFraction(util::Random& random) {
  return static_cast<long double>(random.next()) * static_cast<long double>(4.656613e-10f) + 0.0L;
}
}  // namespace

Literal Solver::choosePhase(unsigned v) {
  // A caller's preference comes before every rule and draws no number.
  if (v < preferredPhase.size() && preferredPhase[v] != 0) return Literal::make(v, preferredPhase[v] > 0);
  bool positive;
  if (params.randPhaseDecFreq > randomFraction(random)) {
    stats.randomPolarityDecisions += 1;
    positive = (random.next() & 1) != 0;
  } else if (v >= vars.size()) {
    positive = params.phaseDecHeur == 1;  // no variable at all: nothing to count
  } else {
    const util::VarInfo& r = vars[v];
    switch (params.phaseDecHeur) {
      case 1: positive = true; break;
      case 2:
        stats.randomPolarityDecisions += 1;
        positive = (random.next() & 1) != 0;
        break;
      case 3: positive = r.occur[0] > r.occur[1]; break;
      case 4: positive = r.occur[0] < r.occur[1]; break;
      case 5: positive = watches.size(v, false) > watches.size(v, true); break;
      case 6: positive = watches.size(v, true) > watches.size(v, false); break;
      default: positive = false; break;
    }
  }
  return Literal::make(v, positive);
}

bool Solver::pickDecision(Literal& decision) {
  stats.decisions += 1;
  unsigned v = 0;
  bool chosen = false;
  if (params.randVarDecFreq > randomFraction(random) && !decisionQueue.empty()) {
    const unsigned k = static_cast<unsigned>(random.next()) % static_cast<unsigned>(decisionQueue.heap.size());
    v = decisionQueue.heap[k];
    if (vars[v].level < 0) {
      stats.randomDecisions += 1;
      chosen = true;
    }
  }
  while (!chosen && !decisionQueue.empty()) {
    v = decisionQueue.removeBest();
    chosen = vars[v].level < 0;
  }
  decision = choosePhase(v);
  return chosen;
}

}  // namespace quelt
