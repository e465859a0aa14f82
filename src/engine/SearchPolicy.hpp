// The seam between the engine and the search that drives it.
//
// The search loop (search/search.cpp) is the same for every search: a
// schedule of tests and actions. Wherever a search decides something, the
// loop asks its policy: how to propagate and how to learn from a conflict
// (and what to record of the learned clause), whether to restart, when to
// simplify, whether and how to reduce the learned clauses, and the next
// decision with its phase. Propagation, analysis and backtracking are
// techniques of the engine (this folder) and never ask which policy runs;
// a policy combines them. Everything a policy keeps (schedules, limits,
// averages) lives in the policy object, never in the engine's state.
//
// The engine itself turns to its policy in three places only: for room
// when a clause cannot be allocated, for fresh limits when it is reset, and,
// when the policy asks for it, before backtracking unassigns literals.
//
// Each solver has exactly one policy, created with it and owned by it
// (Solver::policy); a second policy is a second class beside the first
// (search/classic/ is the first), not a mode inside it.
#pragma once

#include <cstdint>
#include <memory>

#include "core/Literal.hpp"

namespace quelt {

class Clause;
class Solver;

class SearchPolicy {
 public:
  virtual ~SearchPolicy() = default;

  // "classic" or "modern".
  virtual const char* name() const = 0;

  // ---- Settings -------------------------------------------------------------
  // The parameters changed: derive again what depends on them (limits,
  // orderings).
  virtual void configure() = 0;
  // The limits as a fresh solver has them (Solver::reset, clear and
  // resetSearchLimits).
  virtual void resetLimits() = 0;
  // A solve of an incremental sequence begins (the facade's solve).
  virtual void resume() = 0;

  // ---- The schedule of a search run (search/search.cpp) ---------------------
  virtual void beginRun() = 0;
  // The run ended with result (a Solver::Status).
  virtual void endRun(unsigned result) = 0;
  // Propagates the trail: the conflict, or null.
  virtual Clause* propagate() = 0;
  // A conflict above level 0 before it is analysed: whether the run ends
  // here, with a restart.
  virtual bool restartAtConflict() = 0;
  // Learns from the conflict: analyses it, backjumps, records the learned
  // clause and asserts its literal. False when that refuted the formula.
  virtual bool learn(Clause* conflict) = 0;
  // With nothing left to propagate: whether to simplify now, and doing it
  // (false when that refuted the formula).
  virtual bool simplifying() = 0;
  virtual bool simplify() = 0;
  // Whether the learned clauses are due for a reduction, and doing it.
  virtual bool reducing() = 0;
  virtual void reduce() = 0;
  // Whether to restart now, without a conflict, and doing it.
  virtual bool restarting() = 0;
  virtual void restart() = 0;
  // The next decision literal; false when every variable is assigned.
  virtual bool decide(Literal& decision) = 0;
  // A phase for v: the literal of v to assign when nothing constrains it
  // (the model extension's choice for a removed variable).
  virtual Literal phase(unsigned v) = 0;

  // ---- Asked by the engine --------------------------------------------------
  // The literals first .. last of the trail are about to be unassigned, when
  // the policy asked to hear it (Solver::policyHearsBacktrack).
  virtual void unassigning(const Literal* first, const Literal* last) {
    (void)first;
    (void)last;
  }
  // A clause learned by another solver, of the given glue, has just been
  // stored as a learned clause of this one.
  virtual void adoptShared(Clause& c, unsigned glue) {
    (void)c;
    (void)glue;
  }
  // A clause could not be allocated: make room (delete learned clauses)
  // if that is safe now, and spend less from now on.
  virtual void makeRoom() = 0;

  // ---- Figures for the progress table ---------------------------------------
  // Conflicts allowed in the current run, and learned clauses before the
  // next reduction; 0 or less when there is no such limit.
  virtual std::int32_t shownRestartLimit() const = 0;
  virtual std::int32_t shownReductionLimit() const = 0;
  // The mode the search is in, as one letter, or 0 for a search of one mode.
  virtual char shownMode() const { return 0; }
};

// The classic search, every solver's policy until it is given another
// (search/classic/ClassicPolicy.cpp).
std::unique_ptr<SearchPolicy> makeClassicPolicy(Solver& solver);
// The modern search (search/modern/ModernPolicy.cpp).
std::unique_ptr<SearchPolicy> makeModernPolicy(Solver& solver);

}  // namespace quelt
