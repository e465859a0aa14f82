// The modern search's schedule: modes, restarts and the limits of
// reduction and rephasing (see ModernPolicy.hpp).
#include "search/modern/ModernPolicy.hpp"

#include <algorithm>
#include <cmath>

namespace quelt {

std::unique_ptr<SearchPolicy> makeModernPolicy(Solver& solver) { return std::make_unique<ModernPolicy>(solver); }

ModernPolicy::ModernPolicy(Solver& solver) : s(solver) {
  s.backtrack(0);
  s.useBlockerWatches(true);
  s.policyHearsBacktrack = true;
  s.queueOnBacktrack = stable;
  s.sortLearnedLiterals = false;
  // Clauses learned by another search carry an activity, not a quality:
  // their size stands in for the glue, which it bounds.
  for (Clause* c : s.learnedClauses) setQuality(*c, c->size, 0);
  grow();
  resetLimits();
  configure();
}

ModernPolicy::~ModernPolicy() {
  // The next search finds every free variable in the decision queue.
  s.policyHearsBacktrack = false;
  s.queueOnBacktrack = true;
  s.sortLearnedLiterals = true;
  s.backtrack(0);
  rebuildHeap();
}

void ModernPolicy::configure() {
  // The stable mode's heap ranks by activity alone.
  s.decisionQueue.cmp.heuristic = 0;
  s.decisionQueue.rebuild();
}

void ModernPolicy::resetLimits() {
  const std::uint64_t now = s.stats.conflicts;
  nextReduce = now + static_cast<std::uint64_t>(kReduceInterval);
  nextVivify = now + static_cast<std::uint64_t>(kVivifyInterval);
  nextRephase = now + kRephaseInterval;
  nextModeSwitch = now + modeLength;
}

// Phases, scores, modes and learned clauses carry over from one solve to
// the next: an incremental sequence is one long search.
void ModernPolicy::resume() {}

void ModernPolicy::growTables() {
  const std::size_t n = s.vars.size();
  const std::size_t old = saved.size();
  saved.resize(n, 1);
  target.resize(n, 0);
  best.resize(n, 0);
  prev.resize(n, 0);
  next.resize(n, 0);
  stamp.resize(n, 0);
  litMarks.resize(2 * n + 2, 0);
  levelMarks.resize(n + 1, 0);
  varMarks.resize(n, 0);
  for (std::size_t v = std::max<std::size_t>(old, 1); v < n; ++v) enqueue(static_cast<unsigned>(v));
}

void ModernPolicy::beginRun() {
  s.stats.restarts += 1;
  grow();
  // Variables may have come back unassigned without a backtrack (a client
  // changed the formula): the next decision looks at the whole queue.
  searchFrom = last;
  restartConflicts = 0;
  if (stable) rebuildHeap();
}

void ModernPolicy::endRun(unsigned) {}

bool ModernPolicy::restarting() {
  if (s.stats.conflicts >= nextModeSwitch) return true;
  if (s.decisionLevel() <= s.assumptions.size()) return false;
  if (stable) return s.stats.conflicts >= reluctantLimit;
  return restartConflicts >= kRestartMinConflicts && fastGlue.value > kRestartMargin * slowGlue.value;
}

void ModernPolicy::restart() {
  s.stats.restarts += 1;
  restartConflicts = 0;
  // Clauses from other solvers are taken in at level 0: a restart goes
  // all the way down when some wait.
  const bool importing = s.exchange != nullptr && s.exchange->waiting();
  if (s.stats.conflicts >= nextModeSwitch) {
    s.backtrack(0);
    switchMode();
  } else {
    s.backtrack(importing ? 0 : reuseLevel());
  }
  if (stable) {
    // Knuth's reluctant doubling: 1 1 2 1 1 2 4 1 1 2 ...
    if ((reluctantU & (~reluctantU + 1)) == reluctantV) {
      reluctantU += 1;
      reluctantV = 1;
    } else {
      reluctantV *= 2;
    }
    reluctantLimit = s.stats.conflicts + reluctantV * kReluctantBase;
  }
  if (s.stats.conflicts >= nextRephase) rephase();
  // A refutation among them ends the search run (search/search.cpp).
  s.tradeShared();
}

void ModernPolicy::switchMode() {
  stable = !stable;
  s.stats.modern.modeSwitches += 1;
  s.queueOnBacktrack = stable;
  if (stable) {
    rebuildHeap();
    reluctantU = reluctantV = 1;
    reluctantLimit = s.stats.conflicts + kReluctantBase;
    targetAssigned = 0;
  } else {
    searchFrom = last;
    modeLength *= 2;  // the next pair of modes runs twice as long
  }
  nextModeSwitch = s.stats.conflicts + modeLength;
}

void ModernPolicy::rebuildHeap() {
  Solver::DecisionQueue& q = s.decisionQueue;
  for (unsigned v = 1; v < s.vars.size(); ++v)
    if (!q.contains(v) && s.vars[v].level < 0 && !s.vars[v].eliminated()) q.insert(v);
}

// A clause from another solver ranks as one of this search's own of the
// same glue, just learned.
void ModernPolicy::adoptShared(Clause& c, unsigned glue) { setFreshQuality(c, glue); }

void ModernPolicy::makeRoom() {
  if (s.mayDeleteClauses()) reduce();
}

std::int32_t ModernPolicy::shownReductionLimit() const {
  const std::uint64_t left = nextReduce > s.stats.conflicts ? nextReduce - s.stats.conflicts : 0;
  return left > 0x7fffffffu ? 0x7fffffff : static_cast<std::int32_t>(left);
}

bool ModernPolicy::learn(Clause* conflict) {
  restartConflicts += 1;
  if (stable) s.stats.modern.stableConflicts += 1;
  updateTargetAndBest();
  decisionRate.update(static_cast<double>(s.stats.decisions - decisionsAtConflict));
  decisionsAtConflict = s.stats.decisions;
  unsigned glue = 0;
  const unsigned level = analyze(conflict, glue);
  if (s.learnHook != nullptr) s.learnHook(s.learnData, learned);
  s.shareLearned(learned, glue);
  s.backtrack(level);
  const std::pair<Clause*, bool> stored = s.addClause(learned, true);
  if (stored.first == nullptr) {
    if (s.status == Solver::Unsatisfiable) return false;
  } else {
    setFreshQuality(*stored.first, glue);
    if (s.vars[learned[0].var()].level < 0) s.assign(learned[0], stored.first);
  }
  SearchStatistics::Modern& m = s.stats.modern;
  m.glueSum += glue;
  if (glue <= kTier1)
    m.tier1 += 1;
  else if (glue <= kTier2)
    m.tier2 += 1;
  else
    m.tier3 += 1;
  fastGlue.update(glue);
  slowGlue.update(glue);
  if (stable) scoreIncrement *= 1 / 0.95;
  return true;
}

}  // namespace quelt
