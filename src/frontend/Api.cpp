// The public C++ interface (include/quelt/quelt.hpp) over one engine Solver.
//
// The engine takes clauses and assumptions as literal vectors and has no
// notion of a caller's mistakes; this layer checks every literal, turns the
// engine's results into the interface's, and keeps what the last solve found
// (the result, the failed assumptions) until the next one. The model stays
// in the engine, which only rewrites it on a satisfiable solve.
//
// Limits, interruption and the caller's terminate callback all go through
// the engine's terminate hook, which the search polls once per propagation
// round: the hook reads the interrupt flag, the conflict count, the caller's
// callback, and the clock only every so many polls, since reading it costs
// more than a round on easy formulas.
#include "quelt/quelt.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <utility>

#include "params/ParameterTable.hpp"
#include "solver/Solver.hpp"

namespace quelt {
namespace api {

namespace {

using Clock = std::chrono::steady_clock;

Literal literal(int lit) {
  if (lit == 0 || lit == INT_MIN) throw std::invalid_argument("Not a literal: " + std::to_string(lit) + ".");
  return Literal::fromDimacs(lit);
}

const PresetSpec& preset(const std::string& name) {
  for (const PresetSpec& p : presetTable())
    if (name == p.name + 6) return p;  // the option without "spset-"
  throw ParameterError("Unknown preset " + name + ".");
}

}  // namespace

struct Solver::Impl {
  quelt::Solver engine;
  std::vector<Literal> clause;   // being built by add()
  std::vector<Literal> assumed;  // for the next solve
  std::vector<int> failed;       // of the last solve, sorted
  Result result = Result::Unknown;

  std::atomic<bool> interrupted{false};
  std::function<bool()> terminate;
  std::int64_t conflictEnd = -1;  // stop once stats.conflicts reaches it
  bool hasDeadline = false;
  Clock::time_point deadline;
  unsigned pollsToClock = 0;

  std::function<void(const std::vector<int>&)> learn;
  std::size_t maxLength = 0;
  std::vector<int> learnBuffer;

  Impl() {
    engine.terminateHook = [](void* p) { return static_cast<Impl*>(p)->stop() ? 1 : 0; };
    engine.terminateData = this;
  }

  bool stop() {
    if (interrupted.load(std::memory_order_relaxed)) return true;
    if (conflictEnd >= 0 && engine.stats.conflicts >= conflictEnd) return true;
    if (terminate && terminate()) return true;
    if (hasDeadline && pollsToClock-- == 0) {
      pollsToClock = 255;
      if (Clock::now() >= deadline) return true;
    }
    return false;
  }

  // The engine's derived values follow its parameters.
  void parametersChanged() {
    engine.resetSearchLimits();
    engine.decisionQueue.cmp.heuristic = engine.params.varDecHeur;
    engine.decisionQueue.rebuild();
  }

  Literal take(int lit) {
    const Literal l = literal(lit);
    engine.createVar(l.var(), dpinterface::ProblemVar, 0, 0);
    return l;
  }

  std::size_t modelVars() const { return result == Result::Satisfiable ? engine.model.size() : 0; }
};

Solver::Solver() : impl(new Impl) {}

Solver::Solver(const std::string& name) : Solver() { setPreset(name); }

Solver::~Solver() = default;
Solver::Solver(Solver&&) noexcept = default;
Solver& Solver::operator=(Solver&&) noexcept = default;

const char* Solver::signature() { return "quelt-1.0"; }

void Solver::setParameter(const std::string& name, double value) {
  try {
    quelt::setParameter(impl->engine.params, name, value);
  } catch (const quelt::ParameterError& e) {
    throw ParameterError(e.what());
  }
  impl->parametersChanged();
}

void Solver::setPreset(const std::string& name) {
  (impl->engine.params.*preset(name).apply)();
  impl->parametersChanged();
}

void Solver::addClause(const std::vector<int>& clause) {
  std::vector<Literal>& lits = impl->clause;
  if (!lits.empty()) throw std::logic_error("A clause begun with add() is not finished.");
  for (int lit : clause) literal(lit);  // all checked before anything changes
  for (int lit : clause) lits.push_back(impl->take(lit));
  impl->engine.addClause(lits, false);
  lits.clear();
}

void Solver::add(int lit) {
  if (lit != 0) {
    impl->clause.push_back(impl->take(lit));
    return;
  }
  impl->engine.addClause(impl->clause, false);
  impl->clause.clear();
}

void Solver::assume(int lit) { impl->assumed.push_back(impl->take(lit)); }

Result Solver::solve(const std::vector<int>& assumptions, const Limits& limits) {
  Impl& s = *impl;
  for (int lit : assumptions) literal(lit);
  for (int lit : assumptions) s.assumed.push_back(s.take(lit));
  if (!s.clause.empty()) throw std::logic_error("A clause begun with add() is not finished.");

  quelt::Solver& e = s.engine;
  s.conflictEnd = limits.conflicts >= 0 ? static_cast<std::int64_t>(e.stats.conflicts) + limits.conflicts : -1;
  s.hasDeadline = limits.seconds >= 0;
  if (s.hasDeadline)
    s.deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                                    std::min(limits.seconds, 1e9)));
  s.pollsToClock = 0;

  e.clearAssumed();
  // The search limits carry on from solve to solve, as in one long search:
  // starting every one of thousands of short solves at the first restart
  // interval made a bounded-model-checking run 2.6 times slower. Only the
  // learned-clause budget is raised to what a fresh solver would give the
  // formula as it now stands, so that a first solve on a small formula does
  // not leave reduction off for good.
  const std::int32_t budget = limitFromDouble(static_cast<double>(e.stats.originalClauses) * e.params.learnedSizeFactor);
  if (e.learnedLimit >= 0 && e.learnedLimit < budget) e.learnedLimit = budget;
  unsigned r;
  try {
    r = e.solve(s.assumed, false);
  } catch (const std::bad_alloc&) {  // no answer, the formula intact
    r = quelt::Solver::Unknown;
  } catch (...) {
    s.assumed.clear();
    e.clearAssumed();
    s.result = Result::Unknown;
    throw;
  }
  s.assumed.clear();
  s.interrupted.store(false, std::memory_order_relaxed);
  s.failed.clear();
  for (Literal l : e.failedAssumptions) s.failed.push_back(static_cast<int>(l.toDimacs()));
  std::sort(s.failed.begin(), s.failed.end());
  s.failed.erase(std::unique(s.failed.begin(), s.failed.end()), s.failed.end());
  e.clearAssumed();
  s.result = r == quelt::Solver::Satisfiable     ? Result::Satisfiable
             : r == quelt::Solver::Unsatisfiable ? Result::Unsatisfiable
                                                 : Result::Unknown;
  return s.result;
}

void Solver::interrupt() { impl->interrupted.store(true, std::memory_order_relaxed); }

int Solver::value(int lit) const {
  const Literal l = literal(lit);
  if (impl->result != Result::Satisfiable) throw std::logic_error("No model: the last solve was not satisfiable.");
  if (l.var() > impl->modelVars())
    throw std::out_of_range("Variable " + std::to_string(l.var()) + " is not in the model.");
  return impl->engine.model[l.var() - 1] == l ? lit : -lit;
}

std::vector<int> Solver::model() const {
  if (impl->result != Result::Satisfiable) throw std::logic_error("No model: the last solve was not satisfiable.");
  std::vector<int> values;
  values.reserve(impl->modelVars());
  for (Literal l : impl->engine.model) values.push_back(static_cast<int>(l.toDimacs()));
  return values;
}

bool Solver::failed(int lit) const {
  literal(lit);
  if (impl->result != Result::Unsatisfiable)
    throw std::logic_error("No failed assumptions: the last solve was not unsatisfiable.");
  return std::binary_search(impl->failed.begin(), impl->failed.end(), lit);
}

std::vector<int> Solver::failedAssumptions() const {
  if (impl->result != Result::Unsatisfiable)
    throw std::logic_error("No failed assumptions: the last solve was not unsatisfiable.");
  return impl->failed;
}

Result Solver::lastResult() const { return impl->result; }

void Solver::freeze(int var) {
  if (var <= 0) throw std::invalid_argument("Not a variable: " + std::to_string(var) + ".");
  impl->engine.freeze(static_cast<unsigned>(var));
}

void Solver::melt(int var) {
  if (!frozen(var)) throw std::logic_error("Variable " + std::to_string(var) + " is not frozen.");
  impl->engine.melt(static_cast<unsigned>(var));
}

bool Solver::frozen(int var) const {
  if (var <= 0) throw std::invalid_argument("Not a variable: " + std::to_string(var) + ".");
  return impl->engine.isFrozen(static_cast<unsigned>(var));
}

int Solver::maxVar() const {
  const std::size_t n = impl->engine.vars.size();
  return n == 0 ? 0 : static_cast<int>(n - 1);
}

void Solver::setTerminate(std::function<bool()> terminate) { impl->terminate = std::move(terminate); }

void Solver::setLearn(int maxLength, std::function<void(const std::vector<int>&)> learn) {
  Impl& s = *impl;
  s.learn = std::move(learn);
  s.maxLength = maxLength < 0 ? 0 : static_cast<std::size_t>(maxLength);
  s.engine.learnData = &s;
  s.engine.learnHook = nullptr;
  if (!s.learn) return;
  s.engine.learnHook = [](void* p, const std::vector<Literal>& learned) {
    Impl& h = *static_cast<Impl*>(p);
    if (learned.size() > h.maxLength) return;
    h.learnBuffer.clear();
    for (Literal l : learned) h.learnBuffer.push_back(static_cast<int>(l.toDimacs()));
    h.learn(h.learnBuffer);
  };
}

std::map<std::string, std::uint64_t> Solver::statistics() const {
  const SearchStatistics& st = impl->engine.stats;
  return {
      {"restarts", st.restarts},
      {"decisions", st.decisions},
      {"random_decisions", st.randomDecisions},
      {"random_phase_decisions", st.randomPolarityDecisions},
      {"propagations", st.bcPropagations},
      {"conflicts", st.conflicts},
      {"original_clauses", st.originalClauses},
      {"learned_clauses", st.totalLearnedClauses},
      {"learned_literals", st.learnedLiterals},
      {"minimised_literals", st.redundantLearnedLiterals},
      {"original_units", st.originalUnitClauses},
      {"learned_units", st.learnedUnitClauses},
      {"simplification_rounds", st.simplificationRounds},
      {"max_decision_level", st.maxDecisionLevel},
      {"eliminated_variables", st.eliminatedVariables},
      {"eliminated_clauses", st.eliminatedClauseCount},
      {"elimination_rounds", st.resolutionRounds},
      {"preprocess_eliminated_variables", st.preprocessing.eliminatedVariables},
      {"preprocess_substituted_variables", st.preprocessing.substitutedVariables},
      {"preprocess_failed_literals", st.preprocessing.failedLiterals},
      {"preprocess_subsumed_clauses", st.preprocessing.subsumedClauses},
      {"preprocess_strengthened_clauses", st.preprocessing.strengthenedClauses},
      {"variables", static_cast<std::uint64_t>(maxVar())},
  };
}

}  // namespace api
}  // namespace quelt
