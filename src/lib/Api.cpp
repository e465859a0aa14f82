// The public C++ interface (include/quelt/quelt.hpp) over the library's
// portfolio, which holds one facade per solver: one unless setThreads asks
// for more (lib/parallel/Portfolio.hpp).
//
// The engine takes clauses and assumptions as literal vectors and has no
// notion of a caller's mistakes; this layer checks every literal, turns the
// engine's results into the interface's, and keeps what the last solve found
// (the result, the failed assumptions) until the next one. The model stays
// in the engine whose verdict was reported, which only rewrites it on a
// satisfiable solve. Settings, limits and callbacks go through the facade
// (lib/Facade.hpp), as they do from every other caller.
#include "quelt/quelt.hpp"

#include <algorithm>
#include <chrono>
#include <climits>
#include <utility>

#include "lib/Facade.hpp"
#include "lib/parallel/Portfolio.hpp"
#include "params/ParameterTable.hpp"

namespace quelt {
namespace api {

namespace {

Literal literal(int lit) {
  if (lit == 0 || lit == INT_MIN) throw std::invalid_argument("Not a literal: " + std::to_string(lit) + ".");
  return Literal::fromDimacs(lit);
}

}  // namespace

struct Solver::Impl {
  std::unique_ptr<ProofWriter> proof;  // first: it outlives the engine that writes it
  std::unique_ptr<Portfolio> portfolio = std::make_unique<Portfolio>(1);
  bool used = false;             // a literal, a freeze or a solve so far
  std::vector<Literal> clause;   // being built by add()
  std::vector<Literal> assumed;  // for the next solve
  std::vector<int> failed;       // of the last solve, sorted
  Result result = Result::Unknown;

  int sharing = -1;  // as set by setSharing; -1: the portfolio's default
  std::function<bool()> terminate;
  std::function<void(const std::vector<int>&)> learn;
  std::size_t maxLength = 0;
  std::vector<int> learnBuffer;

  Literal take(int lit) {
    const Literal l = literal(lit);
    portfolio->createVar(l.var());
    used = true;
    return l;
  }

  // The engine whose verdict the last solve reported.
  const quelt::Solver& engine() const { return portfolio->result(); }
  std::size_t modelVars() const { return result == Result::Satisfiable ? engine().model.size() : 0; }
};

// The library's callers get the modern search: most of them solve many
// related formulas in a row, where phases, scores and clauses carried over
// count most. The command line keeps the classic search by default.
Solver::Solver() : impl(new Impl) { impl->portfolio->setParameter("modern", 1); }

Solver::Solver(const std::string& name) : Solver() { setPreset(name); }

Solver::~Solver() = default;
Solver::Solver(Solver&&) noexcept = default;
Solver& Solver::operator=(Solver&&) noexcept = default;

const char* Solver::signature() { return "quelt-1.0"; }

void Solver::setThreads(int threads) {
  if (threads < 1 || threads > static_cast<int>(Portfolio::kMaxThreads))
    throw std::invalid_argument("Threads must be 1 to " + std::to_string(Portfolio::kMaxThreads) + ", not " +
                                std::to_string(threads) + ".");
  Impl& s = *impl;
  if (static_cast<unsigned>(threads) == s.portfolio->size()) return;
  if (s.proof) throw std::logic_error("A proof goes with one thread only.");
  if (s.used) throw std::logic_error("The number of threads is set before the first literal.");
  auto next = std::make_unique<Portfolio>(static_cast<unsigned>(threads));
  next->setParameters(s.portfolio->parameters());
  s.portfolio = std::move(next);
  if (s.sharing >= 0) s.portfolio->setSharing(s.sharing == 1);
  s.portfolio->setTerminate(s.terminate);
  if (s.learn) setLearn(static_cast<int>(s.maxLength), s.learn);
}

int Solver::threads() const { return static_cast<int>(impl->portfolio->size()); }

// Only between this process's threads: the portfolio shares with one
// solver only when told to, for a front end that trades with others.
void Solver::setSharing(bool on) {
  impl->sharing = on ? 1 : 0;
  if (impl->portfolio->size() > 1) impl->portfolio->setSharing(on);
}

bool Solver::sharing() const { return impl->portfolio->size() > 1 && impl->portfolio->sharing(); }

void Solver::setParameter(const std::string& name, double value) {
  if (name == "threads") {
    if (value != static_cast<int>(value)) throw ParameterError("Threads take a whole number.");
    return setThreads(static_cast<int>(value));
  }
  try {
    impl->portfolio->setParameter(name, value);
  } catch (const quelt::ParameterError& e) {
    throw ParameterError(e.what());
  }
}

void Solver::setPreset(const std::string& name) {
  try {
    impl->portfolio->setPreset(name == "classic" ? "default" : name);
    impl->portfolio->setParameter("modern", 0);
  } catch (const quelt::ParameterError& e) {
    throw ParameterError(e.what());
  }
}

void Solver::addClause(const std::vector<int>& clause) {
  std::vector<Literal>& lits = impl->clause;
  if (!lits.empty()) throw std::logic_error("A clause begun with add() is not finished.");
  for (int lit : clause) literal(lit);  // all checked before anything changes
  for (int lit : clause) lits.push_back(impl->take(lit));
  impl->portfolio->addClause(lits);
  lits.clear();
}

void Solver::add(int lit) {
  if (lit != 0) {
    impl->clause.push_back(impl->take(lit));
    return;
  }
  impl->portfolio->addClause(impl->clause);
  impl->clause.clear();
}

void Solver::assume(int lit) { impl->assumed.push_back(impl->take(lit)); }

Result Solver::solve(const std::vector<int>& assumptions, const Limits& limits) {
  Impl& s = *impl;
  for (int lit : assumptions) literal(lit);
  for (int lit : assumptions) s.assumed.push_back(s.take(lit));
  if (!s.clause.empty()) throw std::logic_error("A clause begun with add() is not finished.");

  Portfolio& f = *s.portfolio;
  s.used = true;
  f.setConflictLimit(limits.conflicts);
  f.setPropagationLimit(limits.propagations);
  f.setDecisionLimit(limits.decisions);
  if (limits.seconds >= 0)
    f.setDeadline(wallTime() + std::chrono::duration_cast<WallClock::duration>(
                                   std::chrono::duration<double>(std::min(limits.seconds, 1e9))));
  else
    f.clearDeadline();
  unsigned r;
  try {
    r = f.solve(s.assumed);
  } catch (const std::bad_alloc&) {  // no answer, the formula intact
    r = quelt::Solver::Unknown;
  } catch (...) {
    s.assumed.clear();
    for (unsigned i = 0; i < f.size(); ++i) f.solver(i).solver().clearAssumed();
    s.result = Result::Unknown;
    throw;
  }
  s.assumed.clear();
  if (f.winner() >= 0 && !f.modelCheckFailure(static_cast<unsigned>(f.winner())).empty()) {
    s.result = Result::Unknown;
    throw ModelCheckFailure(f.modelCheckFailure(static_cast<unsigned>(f.winner())));
  }
  s.failed.clear();
  for (Literal l : s.engine().failedAssumptions) s.failed.push_back(static_cast<int>(l.toDimacs()));
  std::sort(s.failed.begin(), s.failed.end());
  s.failed.erase(std::unique(s.failed.begin(), s.failed.end()), s.failed.end());
  for (unsigned i = 0; i < f.size(); ++i) f.solver(i).solver().clearAssumed();
  if (s.proof && !s.proof->flush()) throw std::runtime_error("The proof could not be written.");
  s.result = r == quelt::Solver::Satisfiable     ? Result::Satisfiable
             : r == quelt::Solver::Unsatisfiable ? Result::Unsatisfiable
                                                 : Result::Unknown;
  return s.result;
}

void Solver::interrupt() { impl->portfolio->interrupt(); }

void Solver::clearInterrupt() { impl->portfolio->clearInterrupt(); }

bool Solver::propagate(const std::vector<int>& assumptions, std::vector<int>& assigned) {
  Impl& s = *impl;
  if (!s.clause.empty()) throw std::logic_error("A clause begun with add() is not finished.");
  for (int lit : assumptions) literal(lit);
  std::vector<Literal> assumed;
  for (int lit : assumptions) assumed.push_back(s.take(lit));
  std::vector<Literal> implied;
  const bool consistent = s.portfolio->propagate(assumed, implied);
  assigned.clear();
  for (Literal l : implied) assigned.push_back(static_cast<int>(l.toDimacs()));
  return consistent;
}

void Solver::setPhase(int lit) { impl->portfolio->setPhase(impl->take(lit)); }

void Solver::setProof(const std::string& path) {
  Impl& s = *impl;
  if (path.empty()) {
    s.portfolio->solver(0).setProof(nullptr);
    if (s.proof) s.proof->flush();
    s.proof.reset();
    return;
  }
  if (s.portfolio->size() != 1) throw std::logic_error("A proof goes with one thread only.");
  if (s.used) throw std::logic_error("The proof is set before the first literal.");
  auto writer = std::make_unique<ProofWriter>(path, false);
  s.portfolio->solver(0).setProof(writer.get());
  s.proof = std::move(writer);
}

int Solver::value(int lit) const {
  const Literal l = literal(lit);
  if (impl->result != Result::Satisfiable) throw std::logic_error("No model: the last solve was not satisfiable.");
  if (l.var() > impl->modelVars())
    throw std::out_of_range("Variable " + std::to_string(l.var()) + " is not in the model.");
  return impl->engine().model[l.var() - 1] == l ? lit : -lit;
}

std::vector<int> Solver::model() const {
  if (impl->result != Result::Satisfiable) throw std::logic_error("No model: the last solve was not satisfiable.");
  std::vector<int> values;
  values.reserve(impl->modelVars());
  for (Literal l : impl->engine().model) values.push_back(static_cast<int>(l.toDimacs()));
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
  impl->used = true;
  impl->portfolio->freeze(static_cast<unsigned>(var));
}

void Solver::melt(int var) {
  if (!frozen(var)) throw std::logic_error("Variable " + std::to_string(var) + " is not frozen.");
  impl->portfolio->melt(static_cast<unsigned>(var));
}

bool Solver::frozen(int var) const {
  if (var <= 0) throw std::invalid_argument("Not a variable: " + std::to_string(var) + ".");
  return impl->portfolio->solver(0).solver().isFrozen(static_cast<unsigned>(var));
}

int Solver::maxVar() const { return static_cast<int>(impl->portfolio->maxVar()); }

void Solver::setTerminate(std::function<bool()> terminate) {
  impl->terminate = terminate;
  impl->portfolio->setTerminate(std::move(terminate));
}

void Solver::setLearn(int maxLength, std::function<void(const std::vector<int>&)> learn) {
  Impl& s = *impl;
  s.learn = std::move(learn);
  s.maxLength = maxLength < 0 ? 0 : static_cast<std::size_t>(maxLength);
  if (!s.learn) return s.portfolio->setLearn(nullptr);
  s.portfolio->setLearn([&s](const std::vector<Literal>& learned) {
    if (learned.size() > s.maxLength) return;
    s.learnBuffer.clear();
    for (Literal l : learned) s.learnBuffer.push_back(static_cast<int>(l.toDimacs()));
    s.learn(s.learnBuffer);
  });
}

namespace {
std::map<std::string, std::uint64_t> countersOf(const SearchStatistics& st) {
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
      {"modern_glue_sum", st.modern.glueSum},
      {"modern_tier1_learned", st.modern.tier1},
      {"modern_tier2_learned", st.modern.tier2},
      {"modern_tier3_learned", st.modern.tier3},
      {"modern_reductions", st.modern.reductions},
      {"modern_reduced_clauses", st.modern.reducedClauses},
      {"modern_mode_switches", st.modern.modeSwitches},
      {"modern_rephases", st.modern.rephases},
      {"modern_shrunk_literals", st.modern.shrunkLiterals},
      {"modern_failed_literals", st.modern.failedLiterals},
      {"modern_eliminated_variables", st.modern.inprocessing.eliminatedVariables},
      {"modern_substituted_variables", st.modern.inprocessing.substitutedVariables},
      {"modern_vivify_rounds", st.modern.vivifyRounds},
      {"modern_vivified_clauses", st.modern.vivifiedClauses},
      {"modern_vivified_literals", st.modern.vivifiedLiterals},
      {"modern_walks", st.modern.walks},
      {"modern_walk_flips", st.modern.walkFlips},
      {"shared_exported", st.sharing.exported},
      {"shared_imported", st.sharing.imported},
      {"shared_imported_units", st.sharing.units},
      {"shared_duplicates", st.sharing.duplicates},
      {"shared_satisfied", st.sharing.satisfied},
      {"shared_on_removed_variables", st.sharing.removed},
  };
}
}  // namespace

// With several threads, every counter is the sum over the solvers.
std::map<std::string, std::uint64_t> Solver::statistics() const {
  std::map<std::string, std::uint64_t> sum;
  const Portfolio& p = *impl->portfolio;
  for (unsigned i = 0; i < p.size(); ++i)
    for (const auto& [name, value] : countersOf(p.solver(i).solver().stats)) sum[name] += value;
  sum["variables"] = static_cast<std::uint64_t>(maxVar());
  return sum;
}

}  // namespace api
}  // namespace quelt
