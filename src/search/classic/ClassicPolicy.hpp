// The classic search: the rules of a MiniSat-era solver, exactly as this
// system has always searched.
//
//   restarts   on a geometric conflict schedule: a search run ends after
//              restartLimit conflicts, and the next one may have
//              restartInc times as many (Luby and others have studied
//              such schedules; this one is the plain geometric series)
//   reduction  when the learned clauses, less the assigned literals, reach
//              learnedLimit: delete the less active half (reduce.cpp);
//              the limit grows by learnedClausesInc after every run
//   decisions  the decision queue under one of twenty orderings, with
//              occasional random variables and phases, and seven fixed
//              phase rules (decide.cpp)
//   learning   first-UIP analysis with minimisation (engine/analyze.cpp);
//              a learned clause records its activity, and the activity
//              increments grow after every conflict instead of decaying
//              every activity
//   simplify   at every visit of level 0, gated inside simplify(); clauses
//              shared with other solvers are traded there too
//
// Growing a limit past what fits a signed 32-bit integer disables it.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/SearchPolicy.hpp"
#include "engine/Solver.hpp"

namespace quelt {

class ClassicPolicy final : public SearchPolicy {
 public:
  explicit ClassicPolicy(Solver& solver);

  const char* name() const override { return "classic"; }
  void configure() override;
  void resetLimits() override;
  void resume() override;

  void beginRun() override;
  void endRun(unsigned result) override;
  Clause* propagate() override { return s.bcp(); }
  bool restartAtConflict() override {
    runConflicts += 1;
    return restartLimit > 0 && runConflicts >= restartLimit;
  }
  bool learn(Clause* conflict) override;
  bool simplifying() override { return s.decisionLevel() == 0; }
  bool simplify() override;
  bool reducing() override {
    return learnedLimit > 0 && static_cast<std::int64_t>(learnedLimit) <=
                                   static_cast<std::int64_t>(s.learnedClauses.size()) -
                                       static_cast<std::int64_t>(s.trail.lits.size());
  }
  void reduce() override { s.reduceLearnedClauses(); }
  bool restarting() override { return false; }
  void restart() override {}
  bool decide(Literal& decision) override { return s.pickDecision(decision); }
  Literal phase(unsigned v) override { return s.choosePhase(v); }

  void makeRoom() override;

  std::int32_t shownRestartLimit() const override { return restartLimit; }
  std::int32_t shownReductionLimit() const override { return learnedLimit; }

  // ---- State ------------------------------------------------------------------
  std::int32_t restartLimit = 0;  // conflicts per search run; <= 0 disables restarts
  std::int32_t learnedLimit = 0;  // learned-clause budget; <= 0 disables reduction
  std::int32_t runConflicts = 0;  // conflicts of the current run

 private:
  Solver& s;
  std::vector<Literal> learned;  // the clause of the conflict being learned
};

}  // namespace quelt
