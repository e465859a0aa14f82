// Several solvers on one formula (see Portfolio.hpp).
#include "lib/parallel/Portfolio.hpp"

#include <exception>
#include <sstream>
#include <system_error>
#include <thread>

#include "params/ParameterTable.hpp"

namespace quelt {

namespace {

// A configuration of the fixed list: a preset (of the classic search), or
// one parameter changed from the defaults (a switch is named alone), or the
// defaults with the search and the preprocessor the other way from the
// caller's, or none of these (the defaults, told apart by their seed alone).
struct Variant {
  const char* preset;
  const char* parameter;
  double value;
  bool otherSearchAndPreprocessing = false;
  bool modern = false;  // a parameter of the modern search: run that search
};

// Solver 1 runs the caller's own configuration with the other search
// (modern for the classic, classic for the modern): the two searches differ
// more than any two settings of either, so two threads solve whatever
// either search solves. Solver 2 runs the caller's configuration with the
// preprocessor switched the other way: of all single changes within one
// search this one tells formulas apart most (some are out of reach without
// it, for some it leads the search astray). Solvers 3, 4, ... take this list, in the
// order of what each added to the ones before it (solved instances, then
// time) in single runs of 20 CPU seconds over the shared benchmark set and
// the generated families, whichever search the caller runs: the first tuned
// preset, then the two switches of solvers 1 and 2 together, then the
// modern search with shrinking. The tuned presets differ most from the
// defaults but little among themselves: after the first of them, the others
// add little.
const Variant kVariants[] = {
    {"spset-autotuned-kz_1_0", nullptr, 0},
    {nullptr, nullptr, 0, true},
    {nullptr, "shrink", 1, false, true},
    {nullptr, "sp-var-dec-heur", 0},
    {nullptr, "sp-first-restart", 1000},
    {"spset-autotuned-kz_1_1", nullptr, 0},
    {"spset-sw-verification", nullptr, 0},
    {nullptr, "sp-phase-dec-heur", 0},
    {"spset-default-inc", nullptr, 0},
    {nullptr, nullptr, 0},
};
constexpr unsigned kVariantCount = sizeof kVariants / sizeof kVariants[0];
constexpr unsigned kFirstVariant = 3;  // solver 3 takes kVariants[0]

const Variant& variantOf(unsigned i) { return kVariants[(i - kFirstVariant) % kVariantCount]; }

// Every solver past the first round of the list, and the plain defaults in
// it, draw from a seed of their own.
bool reseeded(unsigned i) {
  const Variant& v = variantOf(i);
  return i >= kFirstVariant + kVariantCount ||
         (v.preset == nullptr && v.parameter == nullptr && !v.otherSearchAndPreprocessing);
}
std::uint32_t seedOf(unsigned i) { return Solver::kRandomSeed + i; }

bool isSwitch(const char* parameter) {
  for (const ParameterSpec& spec : parameterTable())
    if (std::string(spec.name) == parameter) return spec.kind == ParameterKind::Switch;
  return false;
}

// Loading gives up every so many clauses once another solver has answered.
constexpr std::size_t kLoadCheckClauses = 4096;

}  // namespace

std::string Portfolio::configurationName(unsigned i, bool firstPreprocesses, bool firstModern) {
  if (i == 0) return "command line";
  if (i == 1) return firstModern ? "command line, classic search" : "command line, modern search";
  if (i == 2) return firstPreprocesses ? "command line, preprocessing off" : "command line, preprocessing on";
  const Variant& v = variantOf(i);
  std::ostringstream name;
  if (v.otherSearchAndPreprocessing)
    name << (firstModern ? "classic search" : "modern search")
         << (firstPreprocesses ? ", preprocessing off" : ", preprocessing on");
  else if (v.preset != nullptr) name << (v.preset + 6);  // without "spset-"
  else if (v.modern) name << "modern search, " << v.parameter;
  else if (v.parameter != nullptr && isSwitch(v.parameter)) name << v.parameter;
  else if (v.parameter != nullptr) name << v.parameter << ' ' << v.value;
  else name << "default";
  if (reseeded(i)) name << ", seed " << seedOf(i);
  return name.str();
}

Portfolio::Portfolio(unsigned threads, Facade* first) : entrants(threads) {
  for (unsigned i = 0; i < threads; ++i) {
    Entrant& e = entrants[i];
    if (i == 0 && first != nullptr) {
      e.facade = first;
      base = first->parameters();
    } else {
      e.own = std::make_unique<Facade>();
      e.facade = e.own.get();
    }
  }
  if (threads == 1) return;  // the caller's flag and callback go straight to the solver
  hub = std::make_unique<SharingHub>(threads);
  for (Entrant& e : entrants) {
    e.facade->setStopFlag(&decided);
    e.facade->setTerminate([this] { return stopFromOutside(); });
  }
}

Portfolio::~Portfolio() {
  // A solver given by the caller lives on without the hub.
  for (Entrant& e : entrants) e.facade->setExchange(nullptr);
}

// ---- Clause sharing ---------------------------------------------------------

void Portfolio::setSharing(bool on) {
  sharingMode = on ? SharingMode::On : SharingMode::Off;
  if (on && !hub) hub = std::make_unique<SharingHub>(size());
  if (!on && hub) {
    for (Entrant& e : entrants) e.facade->setExchange(nullptr);
    hub.reset();  // its filters and inboxes take some memory per solver
  }
}

void Portfolio::takeExports(std::vector<std::int32_t>& out, std::size_t maxInts) {
  out.clear();
  if (!hub || !sharing()) return;
  hub->openOutbox();
  hub->takeExports(out, maxInts);
}

void Portfolio::importRemote(const std::vector<std::int32_t>& in) {
  if (hub && sharing()) hub->importRemote(in);
}

SearchStatistics::Sharing Portfolio::sharingTotals() const {
  SearchStatistics::Sharing sum;
  for (const Entrant& e : entrants) {
    const SearchStatistics::Sharing& s = e.facade->solver().stats.sharing;
    sum.exported += s.exported;
    sum.imported += s.imported;
    sum.units += s.units;
    sum.duplicates += s.duplicates;
    sum.satisfied += s.satisfied;
    sum.removed += s.removed;
  }
  return sum;
}

bool Portfolio::stopFromOutside() {
  if (outsideStop != nullptr && outsideStop->load(std::memory_order_relaxed)) return true;
  if (interrupted.load(std::memory_order_relaxed)) return true;
  if (!terminate) return false;
  const std::lock_guard<std::mutex> lock(callbacks);
  return terminate();
}

// ---- The formula ----------------------------------------------------------

void Portfolio::createVar(unsigned v) {
  if (v > maxVariable) maxVariable = v;
  if (size() == 1) solver(0).solver().createVar(v, dpinterface::ProblemVar, 0, 0);
}

void Portfolio::addClause(std::vector<Literal>& lits) {
  for (Literal l : lits)
    if (l.var() > maxVariable) maxVariable = l.var();
  if (size() == 1) {
    solver(0).solver().addClause(lits, false);
    return;
  }
  for (Literal l : lits) formula.push_back(static_cast<std::int32_t>(l.toDimacs()));
  formula.push_back(0);
}

void Portfolio::freeze(unsigned v) {
  createVar(v);
  for (Entrant& e : entrants) e.facade->solver().freeze(v);
}

void Portfolio::melt(unsigned v) {
  for (Entrant& e : entrants) e.facade->solver().melt(v);
}

// The same createVar and addClause calls the reader made, in its order.
void Portfolio::load(Entrant& e) {
  Solver& s = e.facade->solver();
  std::vector<Literal> clause;
  std::size_t clauses = 0;
  std::size_t k = e.loaded;
  for (; k < formula.size(); ++k) {
    const std::int32_t x = formula[k];
    if (x != 0) {
      const std::uint32_t v = static_cast<std::uint32_t>(x < 0 ? -x : x);
      s.createVar(v, dpinterface::ProblemVar, 0, 0);
      clause.push_back(Literal::make(v, x > 0));
      continue;
    }
    s.addClause(clause, false);
    clause.clear();
    e.loaded = k + 1;
    if (++clauses % kLoadCheckClauses == 0 && decided.load(std::memory_order_relaxed)) return;
  }
  // Variables named only by assumptions or freezes.
  if (maxVariable > 0) s.createVar(maxVariable, dpinterface::ProblemVar, 0, 0);
}

// ---- Settings -------------------------------------------------------------

// The solvers that run the caller's settings with one change (indices 1 and
// 2) take them again at their next solve.
void Portfolio::markBaseChanged() {
  for (unsigned i = 0; i < size(); ++i) {
    const unsigned index = firstIndex + i;
    if (index > 0 && index < kFirstVariant) entrants[i].baseChanged = true;
  }
}

// Solver 0 takes a setting at once; solvers 1 and 2 at their next solve,
// with the search or the preprocessor switched, and from its whole record
// before their first.
void Portfolio::setParameter(const std::string& name, double value) {
  SearchParams checked = base;
  quelt::setParameter(checked, name, value);  // throws before anything changes
  base = checked;
  solver(0).setParameter(name, value);
  markBaseChanged();
}

void Portfolio::setPreset(const std::string& name) {
  const PresetSpec& preset = presetNamed(name);
  const std::uint32_t limit = base.timeLimit;
  (base.*preset.apply)();
  base.timeLimit = limit;
  solver(0).setPreset(name);
  markBaseChanged();
}

void Portfolio::setParameters(const SearchParams& params) {
  base = params;
  solver(0).setParameters(params);
  markBaseChanged();
}

void Portfolio::setCpuLimit(unsigned seconds) {
  solver(0).setCpuLimit(seconds);
  timeLimit = solver(0).parameters().timeLimit;
}

void Portfolio::setDeadline(WallClock::time_point deadline) {
  for (Entrant& e : entrants) e.facade->setDeadline(deadline);
}

void Portfolio::clearDeadline() {
  for (Entrant& e : entrants) e.facade->clearDeadline();
}

void Portfolio::setConflictLimit(std::int64_t conflicts) {
  for (Entrant& e : entrants) e.facade->setConflictLimit(conflicts);
}

void Portfolio::setPropagationLimit(std::int64_t propagations) {
  for (Entrant& e : entrants) e.facade->setPropagationLimit(propagations);
}

void Portfolio::setDecisionLimit(std::int64_t decisions) {
  for (Entrant& e : entrants) e.facade->setDecisionLimit(decisions);
}

void Portfolio::setPhase(Literal l) {
  for (Entrant& e : entrants) e.facade->setPhase(l);
}

bool Portfolio::propagate(const std::vector<Literal>& assumptions, std::vector<Literal>& assigned) {
  Entrant& first = entrants[0];
  if (size() > 1) {
    decided.store(false);  // no solve runs: the load must not stop early
    load(first);
  }
  return first.facade->propagate(assumptions, assigned);
}

void Portfolio::setMemoryLimit(std::size_t bytesPerSolver) {
  for (Entrant& e : entrants) e.facade->setMemoryLimit(bytesPerSolver);
}

void Portfolio::setStopFlag(const std::atomic<bool>* flag) {
  if (size() == 1) return solver(0).setStopFlag(flag);
  outsideStop = flag;
}

void Portfolio::interrupt() {
  if (size() == 1) return solver(0).interrupt();
  interrupted.store(true, std::memory_order_relaxed);
}

void Portfolio::clearInterrupt() {
  if (size() == 1) return solver(0).clearInterrupt();
  interrupted.store(false, std::memory_order_relaxed);
}

void Portfolio::setTerminate(std::function<bool()> callback) {
  if (size() == 1) return solver(0).setTerminate(std::move(callback));
  terminate = std::move(callback);
}

void Portfolio::setLearn(std::function<void(const std::vector<Literal>&)> callback) {
  learn = std::move(callback);
  for (Entrant& e : entrants) {
    if (!learn) {
      e.facade->setLearn(nullptr);
    } else if (size() == 1) {
      e.facade->setLearn(learn);
    } else {
      e.facade->setLearn([this](const std::vector<Literal>& clause) {
        const std::lock_guard<std::mutex> lock(callbacks);
        learn(clause);
      });
    }
  }
}

// Solver i's configuration, taken once it holds the formula. Everything
// below goes by its index in the whole run, firstIndex + i.
void Portfolio::configure(unsigned i) {
  Entrant& e = entrants[i];
  Facade& f = *e.facade;
  const unsigned index = firstIndex + i;
  if (index < kFirstVariant && index > 0 && (!e.configured || e.baseChanged)) {
    SearchParams p = base;
    if (index == 1)
      p.modern = !p.modern;
    else
      p.preprocess = !p.preprocess;
    f.setParameters(p);
    e.baseChanged = false;
  } else if (index >= kFirstVariant && !e.configured) {
    // From the defaults: the caller's solver 0 holds the caller's settings.
    SearchParams p = i == 0 ? SearchParams() : f.parameters();
    const Variant& v = variantOf(index);
    if (v.otherSearchAndPreprocessing) {  // the defaults otherwise
      p.modern = !base.modern;
      p.preprocess = !base.preprocess;
    }
    if (v.preset != nullptr) {
      (p.*presetNamed(v.preset).apply)();
      p.modern = false;  // a preset names a configuration of the classic search
    }
    if (v.modern) p.modern = true;
    if (v.parameter != nullptr) quelt::setParameter(p, v.parameter, v.value);
    if (reseeded(index)) {
      // A seed matters only to a configuration that draws: one that makes
      // no random decisions gets the default frequencies of them.
      const SearchParams defaults;
      if (p.randVarDecFreq == 0) p.randVarDecFreq = defaults.randVarDecFreq;
      if (p.randPhaseDecFreq == 0) p.randPhaseDecFreq = defaults.randPhaseDecFreq;
      f.solver().random.reseed(seedOf(index));
    }
    f.setParameters(p);
  }
  e.configured = true;
  if (index > 0) f.solver().params.timeLimit = timeLimit;
}

// ---- Solving ----------------------------------------------------------------

void Portfolio::claim(unsigned i) {
  int none = -1;
  winnerIndex.compare_exchange_strong(none, static_cast<int>(i));
  decided.store(true);
}

void Portfolio::runOne(unsigned i, const std::vector<Literal>& assumptions) {
  Entrant& e = entrants[i];
  Facade& f = *e.facade;
  try {
    if (size() > 1) {
      load(e);
      if (decided.load()) return;  // answered meanwhile; a stop from outside ends the solve below
      configure(i);
    } else if (firstIndex > 0) {
      configure(i);  // a lone solver holds the formula already
    }
    const unsigned result = f.solve(assumptions);
    // What is still staged goes out now, for the others' next solve.
    if (ClauseExchange* x = f.solver().exchange) f.solver().stats.sharing.exported += x->send();
    if (result == Solver::Satisfiable || result == Solver::Unsatisfiable) claim(i);
  } catch (const ModelCheckFailure& failure) {
    e.failure = failure.what();
    claim(i);
  } catch (const util::MemoryLimitReached&) {
    e.overLimit = true;
    f.solver().status = Solver::Unknown;
  } catch (const std::bad_alloc&) {
    e.outOfResources = true;
    f.solver().status = Solver::Unknown;
  }
}

unsigned Portfolio::solve(const std::vector<Literal>& assumptions) {
  decided.store(false);
  winnerIndex.store(-1);
  for (Entrant& e : entrants) {
    e.overLimit = e.outOfResources = false;
    e.failure.clear();
  }
  // Anything else a solver throws (a caller's callback, for one) comes out
  // of this call, once every solver has ended.
  std::vector<std::exception_ptr> thrown(size());
  auto guarded = [&](unsigned i) {
    try {
      runOne(i, assumptions);
    } catch (...) {
      thrown[i] = std::current_exception();
      entrants[i].outOfResources = true;
      decided.store(true);
    }
  };
  bool proving = false;
  for (Entrant& e : entrants) proving = proving || e.facade->solver().proof != nullptr;
  const bool share = sharing() && hub && !proving;
  for (unsigned i = 0; i < size(); ++i) entrants[i].facade->setExchange(share ? &hub->channel(i) : nullptr);
  std::vector<std::thread> threads;
  for (unsigned i = 1; i < size(); ++i) {
    try {
      threads.emplace_back(guarded, i);
    } catch (const std::system_error&) {
      entrants[i].outOfResources = true;  // no thread to be had: the others go on
    }
  }
  guarded(0);
  for (std::thread& t : threads) t.join();
  interrupted.store(false, std::memory_order_relaxed);
  if (winner() < 0)
    for (const std::exception_ptr& x : thrown)
      if (x) std::rethrow_exception(x);
  return result().status;
}

const Solver& Portfolio::result() const {
  const int w = winner();
  if (w >= 0) return solver(static_cast<unsigned>(w)).solver();
  for (const Entrant& e : entrants)
    if (!e.overLimit && !e.outOfResources) return e.facade->solver();
  return solver(0).solver();
}

std::string Portfolio::checkModel() const {
  const int w = winner();
  if (w < 0 || solver(static_cast<unsigned>(w)).solver().status != Solver::Satisfiable) return {};
  return checkModel(formula, solver(static_cast<unsigned>(w)).solver().model);
}

std::string Portfolio::checkModel(const std::vector<std::int32_t>& formula, const std::vector<Literal>& model) {
  auto holds = [&](std::int32_t x) {
    const std::uint32_t v = static_cast<std::uint32_t>(x < 0 ? -x : x);
    return v <= model.size() && model[v - 1] == Literal::make(v, x > 0);
  };
  std::size_t begin = 0;
  bool satisfied = false;
  for (std::size_t k = 0; k < formula.size(); ++k) {
    if (formula[k] != 0) {
      satisfied = satisfied || holds(formula[k]);
      continue;
    }
    if (!satisfied) {
      std::ostringstream diagnosis;
      diagnosis << "c *** Error: Invalid solution detected ***\n";
      for (std::size_t j = begin; j < k; ++j) diagnosis << formula[j] << ' ';
      diagnosis << "0\ns UNKNOWN\n";
      return diagnosis.str();
    }
    satisfied = false;
    begin = k + 1;
  }
  return {};
}

}  // namespace quelt
