// The C++ interface: every caller's mistake is an exception that leaves the
// solver usable, parameters keep the command line's ranges and messages,
// limits and interruption end a solve with Unknown and nothing lost,
// propagation alone answers for the formula as given, frozen variables
// escape elimination, and the generator repeats the C library's.
#include "quelt/quelt.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "params/ParameterTable.hpp"
#include "support/cnf.hpp"
#include "support/drat_checker.hpp"

namespace {

using quelt::api::Limits;
using quelt::api::Result;
using quelt::api::Solver;
using quelt_test::CnfGenerator;

void load(Solver& s, const quelt_test::Cnf& f) {
  for (const auto& c : f.clauses) s.addClause(c);
}

template <typename E, typename F>
std::string thrown(F f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "nothing thrown";
}

TEST(Api, MistakesThrowAndChangeNothing) {
  Solver s;
  EXPECT_THROW(s.value(1), std::logic_error);  // before any solve
  EXPECT_EQ(thrown<std::invalid_argument>([&] { s.addClause({1, 0, 2}); }), "Not a literal: 0.");
  EXPECT_THROW(s.addClause({-2, INT_MIN}), std::invalid_argument);
  EXPECT_THROW(s.assume(0), std::invalid_argument);
  EXPECT_EQ(s.maxVar(), 0);  // the refused clauses left nothing behind
  s.addClause({1, 2});
  s.addClause({-1});
  ASSERT_EQ(s.solve(), Result::Satisfiable);
  EXPECT_EQ(s.model(), (std::vector<int>{-1, 2}));
  EXPECT_EQ(s.value(-2), 2);  // -2 is false
  EXPECT_EQ(s.value(-1), -1);
  EXPECT_EQ(thrown<std::out_of_range>([&] { s.value(3); }), "Variable 3 is not in the model.");
  EXPECT_THROW(s.failedAssumptions(), std::logic_error);
  EXPECT_THROW(s.melt(1), std::logic_error);
  EXPECT_THROW(s.freeze(0), std::invalid_argument);
  s.add(3);
  EXPECT_THROW(s.solve(), std::logic_error);  // a clause left open
  s.add(0);
  ASSERT_EQ(s.solve({-2}), Result::Unsatisfiable);
  EXPECT_EQ(s.failedAssumptions(), std::vector<int>{-2});
  EXPECT_TRUE(s.failed(-2));
  EXPECT_THROW(s.value(1), std::logic_error);
  EXPECT_EQ(s.solve(), Result::Satisfiable);  // the assumption is gone
}

TEST(Api, ParametersKeepTheCommandLineRangesAndMessages) {
  quelt::SearchParams p;
  quelt::setParameter(p, "sp-first-restart", 10);
  quelt::setParameter(p, "sp-restart-inc", 2.5);
  quelt::setParameter(p, "sp-resolution", 2);
  quelt::setParameter(p, "sp-use-pure-literal-rule", 0);
  EXPECT_EQ(p.firstRestart, 10u);
  EXPECT_EQ(p.restartInc, 2.5);
  EXPECT_EQ(p.resolution, 2u);
  EXPECT_FALSE(p.usePureLiteralRule);

  Solver s;
  auto message = [&](const char* name, double value) {
    return thrown<quelt::api::ParameterError>([&] { s.setParameter(name, value); });
  };
  EXPECT_EQ(message("sp-first-restart", 5), "Parameter sp-first-restart out of range.\nAllowed range [10,10000] (inclusive)");
  EXPECT_EQ(message("sp-first-restart", 10.5), "Parameter sp-first-restart out of range.\nAllowed range [10,10000] (inclusive)");
  EXPECT_EQ(message("sp-learned-clauses-inc", 1.05), "Parameter sp-learned-clauses-inc out of range.\nAllowed range [1.1,2] (inclusive)");
  EXPECT_EQ(message("sp-var-dec-heur", -1), "Parameter sp-var-dec-heur out of range.\nAllowed range [0,19] (inclusive)");
  EXPECT_EQ(message("sp-update-dec-queue", 2), "Parameter sp-update-dec-queue out of range.\nAllowed range [0,1] (inclusive)");
  EXPECT_EQ(message("sp-nothing", 1), "Unknown parameter sp-nothing.");
  EXPECT_EQ(thrown<quelt::api::ParameterError>([] { Solver("fastest"); }), "Unknown preset fastest.");
  for (const auto& row : quelt::parameterTable()) {  // both bounds are accepted
    s.setParameter(row.name, row.lower);
    s.setParameter(row.name, row.upper);
  }
}

// Pigeons into too few holes: thousands of conflicts, whatever the settings.
quelt_test::Cnf hard() { return CnfGenerator::pigeonHole(8); }

TEST(Api, LimitsAndInterruptionEndASolveWithoutLoss) {
  Solver s;
  load(s, hard());
  EXPECT_EQ(s.solve({}, Limits{100, -1}), Result::Unknown);
  EXPECT_EQ(s.statistics().at("conflicts"), 100u);
  EXPECT_EQ(s.solve({}, Limits{-1, 0}), Result::Unknown);  // no time at all
  s.interrupt();
  EXPECT_EQ(s.solve(), Result::Unknown);
  int polls = 0;
  s.setTerminate([&polls] { return ++polls == 50; });
  EXPECT_EQ(s.solve(), Result::Unknown);
  EXPECT_EQ(polls, 50);
  s.setTerminate(nullptr);
  // Propagations and decisions count from the start of each solve.
  for (const Limits& limits : {Limits{-1, -1, 1000, -1}, Limits{-1, -1, -1, 10}}) {
    const auto before = s.statistics();
    EXPECT_EQ(s.solve({}, limits), Result::Unknown);
    const auto after = s.statistics();
    if (limits.propagations > 0)
      EXPECT_GE(after.at("propagations") - before.at("propagations"), 1000u);
    else
      EXPECT_EQ(after.at("decisions") - before.at("decisions"), 10u);
  }
  s.interrupt();
  s.clearInterrupt();
  EXPECT_EQ(s.solve(), Result::Unsatisfiable);  // the interrupt was withdrawn
  EXPECT_GT(s.statistics().at("conflicts"), 100u);
}

// propagate answers for the formula as given, even where simplification
// eliminated the variables in between; phases steer decisions; the proof
// passes the checker.
TEST(Api, PropagationPhasesAndProof) {
  for (double preprocess : {0.0, 1.0}) {
    Solver s;
    s.setParameter("preprocess", preprocess);
    for (const auto& c : std::vector<std::vector<int>>{{-1, 2}, {-2, 3}, {-3, 4}, {4, 5, 6}, {-6, -1}}) s.addClause(c);
    ASSERT_EQ(s.solve(), Result::Satisfiable);
    std::vector<int> assigned;
    EXPECT_TRUE(s.propagate({1}, assigned));
    std::sort(assigned.begin(), assigned.end());
    EXPECT_EQ(assigned, (std::vector<int>{-6, 1, 2, 3, 4}));
    EXPECT_FALSE(s.propagate({6, -4, 1}, assigned));  // 1 is false by then
    EXPECT_EQ(assigned, (std::vector<int>{6, -1, -4, -3, -2}));
    EXPECT_EQ(s.lastResult(), Result::Satisfiable);
    EXPECT_EQ(s.solve({-4}), Result::Satisfiable);
  }
  Solver phases;
  for (int lit : {-1, 2, -3}) phases.setPhase(lit);
  ASSERT_EQ(phases.solve(), Result::Satisfiable);
  EXPECT_EQ(phases.model(), (std::vector<int>{-1, 2, -3}));

  const std::string path = testing::TempDir() + "api-proof.drat";
  Solver proved;
  proved.setProof(path);
  EXPECT_EQ(thrown<std::logic_error>([&] { proved.setThreads(2); }), "A proof goes with one thread only.");
  quelt_test::DratChecker checker;
  for (const auto& c : CnfGenerator::pigeonHole(4).clauses) proved.addClause(c), checker.addOriginal(c);
  EXPECT_EQ(thrown<std::logic_error>([&] { phases.setProof(path); }), "The proof is set before the first literal.");
  ASSERT_EQ(proved.solve(), Result::Unsatisfiable);
  std::ifstream in(path);
  EXPECT_EQ(checker.checkProof(std::string(std::istreambuf_iterator<char>(in), {})),
            quelt_test::DratChecker::Result::Verified);
  std::remove(path.c_str());
}

// Units added after a solve are still to be propagated when the next solve
// stops at once; the one after must not lose them.
TEST(Api, ASolveStoppedAtOnceLosesNoUnits) {
  Solver s;
  for (const auto& c : std::vector<std::vector<int>>{{21}, {-15}, {3, -8}}) s.addClause(c);
  ASSERT_EQ(s.solve(), Result::Satisfiable);
  s.addClause({-3});
  s.addClause({8});
  EXPECT_EQ(s.solve({}, Limits{0, -1}), Result::Unknown);
  EXPECT_EQ(s.solve(), Result::Unsatisfiable);
}

// Neither eliminated during the search nor by preprocessing (eliminated or
// substituted: the formula has a chain of equivalent literals).
TEST(Api, FrozenVariablesAreNotEliminated) {
  quelt_test::Cnf f = CnfGenerator(11).randomKSat(40, 3, 150);
  for (int v = 40; v < 44; ++v) f.clauses.push_back({-v, v + 1}), f.clauses.push_back({v, -v - 1});
  struct Setting {
    const char* parameter;
    std::vector<const char*> counters;
  };
  for (const Setting& setting : {Setting{"sp-resolution", {"eliminated_variables"}},
                                 Setting{"preprocess", {"preprocess_eliminated_variables", "preprocess_substituted_variables"}}})
  for (bool freeze : {false, true}) {
    Solver s("classic");  // whose level-0 rounds eliminate as soon as units are learned
    s.setParameter(setting.parameter, setting.parameter[0] == 's' ? 2 : 1);
    s.setParameter("sp-use-pure-literal-rule", 0);
    if (freeze)
      for (int v = 1; v <= 44; ++v) s.freeze(v);
    load(s, f);
    ASSERT_EQ(s.solve(), Result::Satisfiable);
    for (const char* counter : setting.counters) EXPECT_EQ(s.statistics().at(counter) == 0, freeze) << counter;
    if (freeze) {
      s.melt(7);
      EXPECT_FALSE(s.frozen(7));
      EXPECT_TRUE(s.frozen(8));
    }
    // A clause over every variable, eliminated or not, is answered exactly.
    std::vector<int> model = s.model(), flipped;
    for (int l : model) flipped.push_back(-l);
    s.addClause(flipped);
    ASSERT_NE(s.solve(), Result::Unknown);
    if (s.lastResult() == Result::Satisfiable) {
      EXPECT_NE(s.model(), model);
    }
  }
}

// The library's default is the modern search; a preset, "classic" among
// them, gives the classic search, and the parameter switches back.
TEST(Api, TheDefaultSearchIsModernAndAPresetIsClassic) {
  const quelt_test::Cnf f = CnfGenerator(3).threshold3Sat(90);
  auto modernRan = [&](Solver& s) {
    load(s, f);
    EXPECT_NE(s.solve(), Result::Unknown);
    const auto st = s.statistics();
    return st.at("modern_tier1_learned") + st.at("modern_tier2_learned") + st.at("modern_tier3_learned") > 0;
  };
  Solver byDefault, classic("classic"), preset("sw-verification"), back("default");
  back.setParameter("modern", 1);
  EXPECT_TRUE(modernRan(byDefault));
  EXPECT_FALSE(modernRan(classic));
  EXPECT_FALSE(modernRan(preset));
  EXPECT_TRUE(modernRan(back));
  EXPECT_EQ(byDefault.lastResult(), classic.lastResult());
  // Its simplification rounds are counted too.
  Solver rounds;
  load(rounds, CnfGenerator::pigeonHole(8));
  EXPECT_EQ(rounds.solve(), Result::Unsatisfiable);
  const auto st = rounds.statistics();
  EXPECT_GT(st.at("modern_vivify_rounds"), 0u);
  EXPECT_GT(st.at("modern_eliminated_variables"), 0u);
  EXPECT_GT(st.at("modern_vivified_clauses"), 0u);
  EXPECT_GT(st.at("modern_walk_flips"), 0u);
}

// Switching searches between solves moves every watch and learned clause
// to the other scheme: the answers stay those of a solver that never
// switched.
TEST(Api, SwitchingSearchesBetweenSolvesKeepsEveryClause) {
  const quelt_test::Cnf f = CnfGenerator(9).threshold3Sat(70);
  Solver switching, fixed("classic");
  load(switching, f);
  load(fixed, f);
  for (int k = 0; k < 12; ++k) {
    switching.setParameter("modern", k % 3 != 1 ? 1 : 0);
    const std::vector<int> assumed = {(k % 2 ? 1 : -1) * (1 + k), (k % 3 ? -1 : 1) * (20 + k)};
    ASSERT_EQ(switching.solve(assumed), fixed.solve(assumed)) << k;
  }
}

TEST(Api, TheGeneratorRepeatsTheCLibrarySequence) {
  for (unsigned seed : {0u, 1u, 1851696952u, 4294967295u}) {
    std::srand(seed);
    quelt::util::Random r(seed);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(r.next(), static_cast<std::uint32_t>(std::rand())) << seed;
  }
}

}  // namespace

namespace {

// Several threads through the C++ interface: an incremental sequence of
// solves under changing assumptions and growing clauses, each verdict the
// one enumeration gives, each model satisfying every clause and the
// assumptions, each core a refuted subset of the assumptions; every solver
// goes on from where it stopped. The thread count is checked and fixed
// before the first literal.
TEST(ApiThreads, IncrementalSolvesGiveExactVerdictsModelsAndCores) {
  CnfGenerator gen(77);
  for (int round = 0; round < 12; ++round) {
    const int threads = 2 + round % 3;
    const int n = gen.uniform(8, 16);
    quelt_test::Cnf f = gen.threshold3Sat(n);
    Solver s;
    s.setThreads(threads);
    EXPECT_EQ(s.threads(), threads);
    if (round % 4 == 1) s.setParameter("sp-resolution", 2);
    if (round % 4 == 2) s.setParameter("preprocess", 1);
    load(s, f);
    for (int step = 0; step < 6; ++step) {
      std::vector<int> assumed;
      for (int k = 0; k < 3; ++k) assumed.push_back(gen.coin() ? gen.uniform(1, n) : -gen.uniform(1, n));
      const bool satisfiable = quelt_test::countModels(f, assumed, 1) > 0;
      const Result r = s.solve(assumed);
      const std::string trace = f.name + " step " + std::to_string(step);
      ASSERT_EQ(r, satisfiable ? Result::Satisfiable : Result::Unsatisfiable) << trace;
      if (satisfiable) {
        quelt_test::Assignment a(static_cast<std::size_t>(n) + 1);
        for (int lit : s.model()) a[static_cast<std::size_t>(std::abs(lit))] = lit > 0;
        EXPECT_TRUE(quelt_test::satisfies(a, f.clauses)) << trace;
        for (int lit : assumed) EXPECT_EQ(s.value(lit), lit) << trace;
      } else {
        const std::vector<int> core = s.failedAssumptions();
        for (int lit : core) EXPECT_NE(std::find(assumed.begin(), assumed.end(), lit), assumed.end()) << trace;
        EXPECT_EQ(quelt_test::countModels(f, core, 1), 0) << trace;
      }
      // The formula grows between solves.
      const std::vector<int> extra = {gen.coin() ? gen.uniform(1, n) : -gen.uniform(1, n),
                                      gen.coin() ? gen.uniform(1, n) : -gen.uniform(1, n)};
      f.clauses.push_back(extra);
      s.addClause(extra);
    }
  }
}

TEST(ApiThreads, TheCountIsCheckedAndSetFirst) {
  Solver s;
  EXPECT_EQ(s.threads(), 1);
  EXPECT_EQ(thrown<std::invalid_argument>([&] { s.setThreads(0); }), "Threads must be 1 to 64, not 0.");
  EXPECT_THROW(s.setThreads(65), std::invalid_argument);
  s.setParameter("threads", 4);
  EXPECT_EQ(s.threads(), 4);
  s.addClause({1, 2});
  EXPECT_THROW(s.setThreads(2), std::logic_error);
  s.setThreads(4);  // unchanged: allowed
  s.addClause({-1});
  ASSERT_EQ(s.solve(), Result::Satisfiable);
  EXPECT_EQ(s.model(), (std::vector<int>{-1, 2}));
  EXPECT_EQ(s.maxVar(), 2);
  // An interrupt stops every solver of the next solve.
  load(s, hard());
  s.interrupt();
  EXPECT_EQ(s.solve(), Result::Unknown);
  EXPECT_EQ(s.solve(), Result::Unsatisfiable);
}

}  // namespace
