// Several solvers on one formula (see Portfolio.hpp).
#include "frontend/Portfolio.hpp"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>

#include <unistd.h>

#include "params/ParameterTable.hpp"

namespace quelt {

namespace {

// A configuration of the fixed list: a preset, or one parameter changed from
// the defaults (a switch is named alone), or neither (the defaults, told
// apart by their seed alone).
struct Variant {
  const char* preset;
  const char* parameter;
  double value;
};

// Solver 1 runs the command line's own configuration with the preprocessor
// switched the other way: of all single changes this one tells formulas
// apart most (some are out of reach without it, for some it leads the
// search astray), so two threads, with or without --preprocess, solve
// whatever either setting solves. Solvers 2, 3, ... take this list, in the
// order of what each added to the ones before it (solved instances, then
// time) in single runs of 20 CPU seconds over the shared benchmark set. The
// tuned presets differ most from the defaults but little among themselves:
// after the first of them, the others add little.
const Variant kVariants[] = {
    {"spset-autotuned-kz_1_0", nullptr, 0},
    {nullptr, "sp-var-dec-heur", 0},
    {nullptr, "sp-first-restart", 1000},
    {"spset-autotuned-kz_1_1", nullptr, 0},
    {"spset-sw-verification", nullptr, 0},
    {nullptr, "sp-phase-dec-heur", 0},
    {"spset-default-inc", nullptr, 0},
    {nullptr, nullptr, 0},
};
constexpr unsigned kVariantCount = sizeof kVariants / sizeof kVariants[0];
constexpr unsigned kFirstVariant = 2;  // solver 2 takes kVariants[0]

const Variant& variantOf(unsigned i) { return kVariants[(i - kFirstVariant) % kVariantCount]; }

// Every solver past the first round of the list, and the plain defaults in
// it, draw from a seed of their own.
bool reseeded(unsigned i) {
  return i >= kFirstVariant + kVariantCount ||
         (variantOf(i).preset == nullptr && variantOf(i).parameter == nullptr);
}
std::uint32_t seedOf(unsigned i) { return Solver::kRandomSeed + i; }

void applyVariant(unsigned i, Solver& s) {
  const Variant& v = variantOf(i);
  if (v.preset != nullptr)
    for (const PresetSpec& p : presetTable())
      if (std::string(p.name) == v.preset) (s.params.*p.apply)();
  if (v.parameter != nullptr) setParameter(s.params, v.parameter, v.value);
  if (reseeded(i)) {
    // A seed matters only to a configuration that draws: one that makes no
    // random decisions gets the default frequencies of them.
    const SearchParams defaults;
    if (s.params.randVarDecFreq == 0) s.params.randVarDecFreq = defaults.randVarDecFreq;
    if (s.params.randPhaseDecFreq == 0) s.params.randPhaseDecFreq = defaults.randPhaseDecFreq;
    s.random.reseed(seedOf(i));
  }
}

bool isSwitch(const char* parameter) {
  for (const ParameterSpec& spec : parameterTable())
    if (std::string(spec.name) == parameter) return spec.kind == ParameterKind::Switch;
  return false;
}

int stopRaised(void* flag) {
  return static_cast<const std::atomic<bool>*>(flag)->load(std::memory_order_relaxed) ? 1 : 0;
}

}  // namespace

std::string Portfolio::configurationName(unsigned i, bool firstPreprocesses) {
  if (i == 0) return "command line";
  if (i == 1) return firstPreprocesses ? "command line, preprocessing off" : "command line, preprocessing on";
  const Variant& v = variantOf(i);
  std::ostringstream name;
  if (v.preset != nullptr) name << (v.preset + 6);  // without "spset-"
  else if (v.parameter != nullptr && isSwitch(v.parameter)) name << v.parameter;
  else if (v.parameter != nullptr) name << v.parameter << ' ' << v.value;
  else name << "default";
  if (reseeded(i)) name << ", seed " << seedOf(i);
  return name.str();
}

Portfolio::Portfolio(Solver& first, const std::vector<std::int32_t>& formula, unsigned threads,
                     std::size_t clauseMemoryLimit, const std::atomic<bool>& outsideStop)
    : formula(formula), outsideStop(outsideStop), firstParams(first.params), entrants(threads) {
  entrants[0].solver = &first;
  for (unsigned i = 1; i < threads; ++i) {
    entrants[i].own = std::make_unique<Solver>();
    entrants[i].solver = entrants[i].own.get();
    entrants[i].solver->clauseArena.setLimit(clauseMemoryLimit);
  }
  for (Entrant& e : entrants) {
    e.solver->stopFlag = &decided;
    e.solver->terminateHook = stopRaised;
    e.solver->terminateData = const_cast<std::atomic<bool>*>(&outsideStop);
  }
}

Portfolio::~Portfolio() { discardProofs(); }

void Portfolio::openProofs(const std::string& path, bool binary) {
  for (unsigned i = 1; i < size(); ++i) {
    Entrant& e = entrants[i];
    e.proofPath = path + ".part" + std::to_string(i) + "-" + std::to_string(getpid());
    try {
      e.proof = std::make_unique<ProofWriter>(e.proofPath, binary);
    } catch (const std::exception&) {
      discardProofs();  // the run ends here: leave no part file behind
      throw;
    }
    e.solver->proof = e.proof.get();
  }
}

void Portfolio::discardProofs() {
  for (Entrant& e : entrants)
    if (e.proof != nullptr) {
      e.solver->proof = nullptr;
      e.proof.reset();
      std::remove(e.proofPath.c_str());
    }
}

// The same createVar and addClause calls the reader made, in its order.
void Portfolio::load(Solver& s) const {
  std::vector<Literal> clause;
  std::size_t clauses = 0;
  for (const std::int32_t x : formula) {
    if (x != 0) {
      const std::uint32_t v = static_cast<std::uint32_t>(x < 0 ? -x : x);
      s.createVar(v, dpinterface::ProblemVar, 0, 0);
      clause.push_back(Literal::make(v, x > 0));
      continue;
    }
    s.addClause(clause, false);
    clause.clear();
    // A long load gives up as soon as another solver has answered.
    if ((++clauses & 4095) == 0 && decided.load(std::memory_order_relaxed)) return;
  }
}

void Portfolio::claim(unsigned i) {
  int none = -1;
  winnerIndex.compare_exchange_strong(none, static_cast<int>(i));
  decided.store(true);
}

void Portfolio::runOne(unsigned i) {
  Entrant& e = entrants[i];
  Solver& s = *e.solver;
  try {
    if (i > 0) {
      load(s);
      if (decided.load()) return;  // answered meanwhile; a stop from outside ends the solve below
      if (i == 1) {
        s.params = firstParams;
        s.params.preprocess = !s.params.preprocess;
      } else {
        applyVariant(i, s);
      }
      s.params.timeLimit = entrants[0].solver->params.timeLimit;
      s.resetSearchLimits();
      s.decisionQueue.cmp.heuristic = s.params.varDecHeur;
      s.decisionQueue.rebuild();
    }
    const unsigned result = s.solve(false);
    if (result == Solver::Satisfiable || result == Solver::Unsatisfiable) claim(i);
  } catch (const ModelCheckFailure& failure) {
    e.failure = failure.what();
    claim(i);
  } catch (const util::MemoryLimitReached&) {
    e.overLimit = true;
    s.status = Solver::Unknown;
  } catch (...) {
    e.outOfResources = true;
    s.status = Solver::Unknown;
  }
}

void Portfolio::run() {
  std::vector<std::thread> threads;
  for (unsigned i = 1; i < size(); ++i) {
    try {
      threads.emplace_back(&Portfolio::runOne, this, i);
    } catch (const std::system_error&) {
      entrants[i].outOfResources = true;  // no thread to be had: the others go on
    }
  }
  runOne(0);
  for (std::thread& t : threads) t.join();
}

std::string Portfolio::checkModel() const {
  const int w = winner();
  if (w < 0 || entrants[w].solver->status != Solver::Satisfiable) return {};
  const std::vector<Literal>& model = entrants[w].solver->model;
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

bool Portfolio::settleProofs(const std::string& path, ProofWriter& firstProof) {
  const int w = winner();
  const unsigned kept = w > 0 ? static_cast<unsigned>(w) : 0;
  bool written = kept != 0 || firstProof.flush();
  for (unsigned i = 1; i < size(); ++i) {
    Entrant& e = entrants[i];
    if (e.proof == nullptr) continue;
    e.solver->proof = nullptr;
    const bool flushed = e.proof->flush();
    e.proof.reset();
    if (i == kept)
      written = flushed && std::rename(e.proofPath.c_str(), path.c_str()) == 0;
    else
      std::remove(e.proofPath.c_str());
  }
  return written;
}

}  // namespace quelt
