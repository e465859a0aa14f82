// The one way into the engine.
//
// Every caller drives a solver through a Facade: the command-line program,
// the C++ interface (and through it IPASIR and the Python module) and the
// parallel portfolio, one facade per solver. A facade owns what a caller
// sets around a search, so that a setting takes effect the same way for all
// of them:
//   - parameters and presets, by name or as a whole record, after which
//     the policy derives again what depends on them (limits, orderings);
//   - the limits of a solve (CPU time, elapsed time, conflicts,
//     propagations, decisions, clause memory), the interrupt flag, a flag
//     raised from outside and the terminate callback, all of which the
//     engine reads through one stop check (engine/Limits.hpp);
//   - the progress hook, the learned-clause hook, the proof and the
//     exchange of clauses with other solvers.
// It leaves the engine's results where the engine keeps them (status,
// model, failed assumptions, counters); solver() reaches them.
//
// A facade either owns its solver or drives one that lives elsewhere (the
// command line's reader holds its solver by value). It is not safe to use
// from two threads at once, except interrupt().
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/Solver.hpp"
#include "params/ParameterTable.hpp"

namespace quelt {

class Facade {
 public:
  // A solver of its own, with the default parameters.
  Facade();
  // Drives solver, which must outlive the facade.
  explicit Facade(Solver& solver);
  ~Facade();
  Facade(const Facade&) = delete;
  Facade& operator=(const Facade&) = delete;

  Solver& solver() { return engine; }
  const Solver& solver() const { return engine; }

  // ---- Settings ---------------------------------------------------------------
  // Sets one parameter by its command-line name (an sp- option or a
  // switch such as preprocess), or every parameter to a preset's ("default",
  // "default-inc", "autotuned-kz_1_0", "autotuned-kz_1_1", "sw-verification").
  // Throws ParameterError (params/ParameterTable.hpp) for an unknown name
  // or a value out of range, with nothing changed.
  void setParameter(const std::string& name, double value);
  void setPreset(const std::string& name);
  // Every parameter at once, e.g. the command line's record.
  void setParameters(const SearchParams& params);
  const SearchParams& parameters() const { return engine.params; }

  // ---- Limits and stopping ----------------------------------------------------
  // CPU seconds from now (kNoTimeLimit: none); the limit is absolute, on the
  // process's CPU time.
  void setCpuLimit(unsigned seconds) { engine.setTimeout(seconds); }
  // A point in elapsed time after which solves stop; none by default.
  void setDeadline(WallClock::time_point deadline);
  void clearDeadline() { engine.stop.hasDeadline = false; }
  // Conflicts each solve may spend from its start; negative: no limit.
  void setConflictLimit(std::int64_t conflicts) { conflictBudget = conflicts; }
  // Propagations and decisions each solve may spend from its start;
  // negative: no limit.
  void setPropagationLimit(std::int64_t propagations) { propagationBudget = propagations; }
  void setDecisionLimit(std::int64_t decisions) { decisionBudget = decisions; }
  // Bytes the clauses may take (0: no limit); a clause past it throws
  // util::MemoryLimitReached out of whatever call added it.
  void setMemoryLimit(std::size_t bytes) { engine.clauseArena.setLimit(bytes); }
  // A flag raised from outside (a signal handler, another solver's verdict);
  // not owned, null for none.
  void setStopFlag(const std::atomic<bool>* flag) { engine.stop.flag = flag; }
  // Asks a running solve to stop soon; safe from another thread or a signal
  // handler. A call while no solve runs stops the next one at once.
  void interrupt() { engine.stop.interrupted.store(true, std::memory_order_relaxed); }
  // Withdraws an interrupt that has not stopped a solve yet.
  void clearInterrupt() { engine.stop.interrupted.store(false, std::memory_order_relaxed); }
  // Polled during each solve; true stops it. An empty function removes it.
  void setTerminate(std::function<bool()> terminate) { engine.stop.terminate = std::move(terminate); }

  // ---- Hooks ------------------------------------------------------------------
  // Called after preprocessing, at each restart, every 1024 conflicts and
  // when a solve ends (final); it must not change the solver.
  using ProgressHook = std::function<void(const Solver&, bool final)>;
  void setProgress(ProgressHook hook);
  // Handed every learned clause; an empty function removes it.
  using LearnHook = std::function<void(const std::vector<Literal>&)>;
  void setLearn(LearnHook hook);
  // Where the proof is written (not owned); null for none.
  void setProof(ProofWriter* proof) { engine.proof = proof; }
  // Where learned clauses are traded with other solvers (not owned); null
  // for none.
  void setExchange(ClauseExchange* exchange) { engine.exchange = exchange; }
  // Decisions on the variable of l take its phase from now on.
  void setPhase(Literal l);

  // ---- Solving ----------------------------------------------------------------
  // Solves under the given assumptions (those of an earlier solve are
  // forgotten first) and returns the engine's status. The limits hold from
  // its start; the interrupt flag is lowered when it ends. The result stays
  // in the engine until the next solve; the engine's exceptions (a failed
  // model check, util::MemoryLimitReached, std::bad_alloc) pass through.
  unsigned solve(const std::vector<Literal>& assumptions = {});
  // Unit propagation of the assumptions without search
  // (engine/implied.cpp): false when it ends in a conflict; assigned gets
  // the literals it set above level 0, the assumptions among them.
  bool propagate(const std::vector<Literal>& assumptions, std::vector<Literal>& assigned);

 private:
  // Has the policy the parameters name, and lets it derive its settings.
  void derive();

  std::unique_ptr<Solver> own;  // null when the solver lives elsewhere
  Solver& engine;
  std::int64_t conflictBudget = -1;
  std::int64_t propagationBudget = -1;
  std::int64_t decisionBudget = -1;
  ProgressHook progress;
  LearnHook learn;
};

}  // namespace quelt
