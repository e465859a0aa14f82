// The classic search's schedule (see ClassicPolicy.hpp).
#include "search/classic/ClassicPolicy.hpp"

namespace quelt {

namespace {
inline double scaledFrequency(double freq, double scaling) {
  const double p = freq * scaling;
  return (p >= 1.0 || p != p) ? 1.0 : p;
}
}  // namespace

std::unique_ptr<SearchPolicy> makeClassicPolicy(Solver& solver) { return std::make_unique<ClassicPolicy>(solver); }

ClassicPolicy::ClassicPolicy(Solver& solver) : s(solver) {
  // A solver handed over from another search watches and backtracks the
  // classic way again.
  s.useBlockerWatches(false);
  s.policyHearsBacktrack = false;
  s.queueOnBacktrack = true;
  resetLimits();
}

void ClassicPolicy::resetLimits() {
  restartLimit = limitFromDouble(static_cast<double>(s.params.firstRestart));
  learnedLimit = limitFromDouble(static_cast<double>(s.stats.originalClauses) * s.params.learnedSizeFactor);
}

void ClassicPolicy::configure() {
  resetLimits();
  s.decisionQueue.cmp.heuristic = s.params.varDecHeur;
  s.decisionQueue.rebuild();
}

// The search limits carry on from solve to solve, as in one long search:
// starting every one of thousands of short solves at the first restart
// interval made a bounded-model-checking run 2.6 times slower. Only the
// learned-clause budget is raised to what a fresh solver would give the
// formula as it now stands, so that a first solve on a small formula does
// not leave reduction off for good.
void ClassicPolicy::resume() {
  const std::int32_t budget =
      limitFromDouble(static_cast<double>(s.stats.originalClauses) * s.params.learnedSizeFactor);
  if (learnedLimit >= 0 && learnedLimit < budget) learnedLimit = budget;
}

void ClassicPolicy::beginRun() {
  const std::uint32_t previousRuns = s.stats.restarts;
  s.stats.restarts = previousRuns + 1;
  if (previousRuns >= 2 && s.params.updateDecQueue) s.decisionQueue.updateAll();
  s.params.randVarDecFreq = scaledFrequency(s.params.randVarDecFreq, s.params.randVarDecScaling);
  s.params.randPhaseDecFreq = scaledFrequency(s.params.randPhaseDecFreq, s.params.randPhaseScaling);
  runConflicts = 0;
}

void ClassicPolicy::endRun(unsigned) {
  restartLimit = limitFromDouble(static_cast<double>(restartLimit) * s.params.restartInc);
  learnedLimit = limitFromDouble(static_cast<double>(learnedLimit) * s.params.learnedClausesInc);
}

bool ClassicPolicy::learn(Clause* conflict) {
  learned.clear();
  const unsigned level = s.analyzeConflict(conflict, learned);
  if (s.learnHook != nullptr) s.learnHook(s.learnData, learned);
  s.shareLearned(learned, 0);
  s.backtrack(level);
  const std::pair<Clause*, bool> stored = s.addClause(learned, true);
  if (stored.first == nullptr) {
    if (s.status == Solver::Unsatisfiable) return false;
  } else if (s.vars[learned[0].var()].level < 0) {
    s.assign(learned[0], s.learnedClauses.back());
  }
  s.params.varActivityInc *= s.params.variableDecay;
  s.params.clauseActivityInc *= s.params.clauseDecay;
  return true;
}

// Clauses are traded at every visit of level 0: after each restart and
// after each learned unit. Units received are propagated before the
// cleanup runs.
bool ClassicPolicy::simplify() {
  if (s.exchange != nullptr) {
    if (!s.tradeShared()) return false;
    if (s.trail.propagationHead != s.trail.lits.size()) return true;
  }
  return s.simplify();
}

// A failed allocation: the learned-clause budget stops growing and
// shrinks, reduction falls back to plain activity, and learned clauses go
// now when nothing still holds them.
void ClassicPolicy::makeRoom() {
  s.params.learnedClausesInc = 1.0;
  s.params.clauseDelHeur = 0;
  learnedLimit = static_cast<std::int32_t>(learnedLimit * 0.95);
  if (s.mayDeleteClauses()) s.reduceLearnedClauses();
}

}  // namespace quelt
