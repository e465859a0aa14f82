// The search loop, restarts and limits.
//
// solve runs search runs until one ends with anything but a restart. A
// search run loops: check the CPU-time limit, propagate; on a conflict
// analyse it, backjump, learn and assert; without one simplify at level 0,
// reduce the learned clauses when their budget is reached, place the
// assumptions (assumption i sits at level i + 1, as a decision or as an
// empty level when it is already true) and decide.
//
// Three limits shape a solve: the conflict limit of a search run (a restart;
// it grows by restartInc after every run), the learned-clause budget (grows
// by learnedClausesInc) and an absolute limit on process CPU time, polled
// every thousand loop iterations or so. The loop also reads a stop flag and a
// caller's terminate callback on every iteration. Growing a limit past what fits a signed 32-bit
// integer disables it.
//
// Before the first search run, when asked, the formula is preprocessed
// (preprocess.cpp). After a satisfiable run the variables removed by
// elimination or substitution are given values, from the last removed back
// to the first, the model is recorded sorted by variable and checked
// against every clause before it is reported.
#include <algorithm>

#include "solver/Solver.hpp"

namespace quelt {

namespace {
constexpr std::uint32_t kClockIterations = 1024;
constexpr std::uint32_t kClockPropagations = 1u << 16;
}  // namespace

void Solver::resetSearchLimits() {
  restartLimit = limitFromDouble(static_cast<double>(params.firstRestart));
  learnedLimit = limitFromDouble(static_cast<double>(stats.originalClauses) * params.learnedSizeFactor);
}

void Solver::setTimeout(unsigned seconds) {
  if (seconds == SearchParams::kNoTimeLimit) return;
  params.timeLimit = seconds + cpuSeconds();
}

namespace {
inline double scaledFrequency(double freq, double scaling) {
  const double p = freq * scaling;
  return (p >= 1.0 || p != p) ? 1.0 : p;
}
}  // namespace

unsigned Solver::search() {
  const std::uint32_t previousRuns = stats.restarts;
  stats.restarts = previousRuns + 1;
  if (previousRuns >= 2 && params.updateDecQueue) decisionQueue.updateAll();
  params.randVarDecFreq = scaledFrequency(params.randVarDecFreq, params.randVarDecScaling);
  params.randPhaseDecFreq = scaledFrequency(params.randPhaseDecFreq, params.randPhaseScaling);

  std::int32_t runConflicts = 0;
  std::vector<Literal>& learned = learnedScratch;
  // Reading the process CPU clock is a system call, dearer than a whole
  // iteration on easy formulas: it is read on the first iteration of a run,
  // then after kClockIterations iterations or kClockPropagations
  // propagations, whichever comes first (milliseconds either way, far below
  // the limit's resolution of a second).
  std::uint32_t clockCountdown = 0;
  std::uint32_t clockPropagations = stats.bcPropagations;
  bool outOfTime = false;
  for (;;) {
    if (params.timeLimit != SearchParams::kNoTimeLimit) {
      if (clockCountdown == 0 || stats.bcPropagations - clockPropagations >= kClockPropagations) {
        clockCountdown = kClockIterations;
        clockPropagations = stats.bcPropagations;
        outOfTime = cpuSeconds() >= params.timeLimit;
      } else {
        --clockCountdown;
      }
    }
    if (outOfTime || (stopFlag != nullptr && stopFlag->load(std::memory_order_relaxed)) ||
        (terminateHook != nullptr && terminateHook(terminateData) != 0)) {
      backtrack(0);
      return Timeout;
    }
    Clause* conflict = bcp();
    if (conflict != nullptr) {
      stats.conflicts += 1;
      if (progressHook != nullptr && (stats.conflicts & 1023u) == 0) progressHook(progressData, *this, false);
      if (decisionLevel() == 0) {
        refuted = true;
        return Unsatisfiable;
      }
      runConflicts += 1;
      if (restartLimit > 0 && runConflicts >= restartLimit) {
        backtrack(0);
        return LimitsExceeded;
      }
      learned.clear();
      const unsigned level = analyzeConflict(conflict, learned);
      if (learnHook != nullptr) learnHook(learnData, learned);
      backtrack(level);
      const std::pair<Clause*, bool> stored = addClause(learned, true);
      if (stored.first == nullptr) {
        if (status == Unsatisfiable) return Unsatisfiable;
      } else if (vars[learned[0].var()].level < 0) {
        assign(learned[0], learnedClauses.back());
      }
      params.varActivityInc *= params.variableDecay;
      params.clauseActivityInc *= params.clauseDecay;
      continue;
    }

    if (decisionLevel() == 0 && !simplify()) {
      refuted = true;
      return Unsatisfiable;
    }
    if (trail.propagationHead != trail.lits.size()) continue;
    if (learnedLimit > 0 &&
        static_cast<std::int64_t>(learnedLimit) <=
            static_cast<std::int64_t>(learnedClauses.size()) - static_cast<std::int64_t>(trail.lits.size()))
      reduceLearnedClauses();

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
    if (!haveDecision && !pickDecision(next)) return Satisfiable;
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
      restartLimit = limitFromDouble(static_cast<double>(restartLimit) * params.restartInc);
      learnedLimit = limitFromDouble(static_cast<double>(learnedLimit) * params.learnedClausesInc);
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

void Solver::extendModel() {
  // The eliminated flags stay: eliminated variables remain outside the
  // search in later solves (backtracking does not queue them again), and
  // this extension gives them their values each time.
  const bool atLevelZero = decisionLevel() == 0;
  for (std::size_t e = eliminatedClauses.size(); e-- > 0;) {
    const unsigned v = eliminatedVars[e];
    for (Clause* c : eliminatedClauses[e]) {
      Literal* cl = c->lits();
      bool satisfied = false;
      for (std::uint32_t k = 0; k < c->size; ++k)
        if (isTrue(cl[k])) {
          std::swap(cl[0], cl[k]);
          satisfied = true;
          break;
        }
      if (satisfied || vars[v].level >= 0) continue;
      // The eliminated variable's literal was stored first, but an earlier
      // extension may have moved a literal that was true then in front of it.
      for (std::uint32_t k = 0; k < c->size; ++k)
        if (cl[k].var() == v) {
          assign(cl[k], atLevelZero ? nullptr : c);
          break;
        }
    }
    if (vars[v].level < 0) assign(choosePhase(v), nullptr);
  }
}

}  // namespace quelt
