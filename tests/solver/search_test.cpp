// The search loop as a whole: restart schedule and single search runs, the
// limit arithmetic, the CPU-time limit, and repeatability of a solve.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "support/cnf_gen.hpp"
#include "support/solver_checks.hpp"

namespace quelt_test {
namespace {

constexpr unsigned kSeed = 1851696952u;
using quelt::Solver;

std::string resultLines(const Solver& s) {
  std::ostringstream os;
  os << s;
  return os.str();
}

TEST(SolverLimits, LimitFromDoubleTruncatesOrDisables) {
  constexpr std::int32_t kDisabled = std::numeric_limits<std::int32_t>::min();
  const struct {
    double in;
    std::int32_t out;
  } table[] = {
      {0.0, 0},
      {-0.0, 0},
      {0.999, 0},
      {-0.999, 0},
      {3.99, 3},
      {337.5, 337},
      {-3.99, -3},
      {2147483647.0, 2147483647},
      {2147483647.99, 2147483647},
      {2147483648.0, kDisabled},
      {3e9, kDisabled},
      {1e300, kDisabled},
      {-2147483647.5, -2147483647},
      {-2147483648.0, kDisabled},  // representable: truncates to the same value
      {-2147483648.9, kDisabled},
      {-2147483649.0, kDisabled},
      {-1e300, kDisabled},
      {std::numeric_limits<double>::infinity(), kDisabled},
      {-std::numeric_limits<double>::infinity(), kDisabled},
      {std::numeric_limits<double>::quiet_NaN(), kDisabled},
  };
  for (const auto& row : table) EXPECT_EQ(quelt::limitFromDouble(row.in), row.out) << "input " << row.in;
}

TEST(SolverLimits, ResetSearchLimitsUsesFirstRestartAndLearnedSizeFactor) {
  quelt::SearchParams p;
  p.firstRestart = 17;
  p.learnedSizeFactor = 0.35;
  Solver s(p);
  EXPECT_EQ(s.restartLimit, 17);
  EXPECT_EQ(s.learnedLimit, 0);  // no clause yet
  CnfGenerator g(3u);
  load(s, g.randomKSat(10, 3, 10));  // ten original clauses
  EXPECT_EQ(s.stats.originalClauses, 10u);
  EXPECT_EQ(s.learnedLimit, 3);  // 10 * 0.35 = 3.5, truncated
  s.params.firstRestart = 40;
  s.resetSearchLimits();
  EXPECT_EQ(s.restartLimit, 40);
}

// With the default schedule each search run stops at exactly its conflict
// limit (the conflict that reaches it is counted but not analysed), and the
// limit grows by 1.5 after every run: 100, 150, 225, 337, 505, 757, 1135,
// 1702. Pigeon-hole 8 into 7 needs more than all of these.
TEST(SolverRestarts, SingleRunsFollowTheGeometricSchedule) {
  Solver s;
  load(s, CnfGenerator::pigeonHole(7));
  std::srand(kSeed);
  const std::int32_t schedule[] = {100, 150, 225, 337, 505, 757, 1135, 1702};
  std::int32_t learned = s.learnedLimit;
  EXPECT_EQ(learned, 68);  // 204 clauses / 3
  for (std::size_t run = 0; run < 8; ++run) {
    SCOPED_TRACE("search run " + std::to_string(run + 1));
    EXPECT_EQ(s.restartLimit, schedule[run]);
    const std::uint32_t conflictsBefore = s.stats.conflicts;
    const std::uint32_t learnedBefore = s.stats.totalLearnedClauses;
    ASSERT_EQ(s.solve(true), Solver::LimitsExceeded);
    EXPECT_EQ(s.status, Solver::LimitsExceeded);
    EXPECT_EQ(s.stats.conflicts - conflictsBefore, static_cast<std::uint32_t>(schedule[run]));
    EXPECT_EQ(s.stats.totalLearnedClauses - learnedBefore, static_cast<std::uint32_t>(schedule[run] - 1));
    EXPECT_EQ(s.stats.restarts, run + 1);
    EXPECT_EQ(s.trail.levelStarts.size(), 1u) << "a restart ends at level 0";
    learned = static_cast<std::int32_t>(learned * 1.1);
    EXPECT_EQ(s.learnedLimit, learned);
    EXPECT_EQ(resultLines(s), "c LIMITS EXCEEDED\ns UNKNOWN");
    EXPECT_TRUE(s.model.empty());
  }
  EXPECT_EQ(s.restartLimit, 2553);
  EXPECT_EQ(s.solve(false), Solver::Unsatisfiable);
}

TEST(SolverRestarts, LimitOfOneRestartsBeforeAnyAnalysis) {
  quelt::SearchParams p;
  p.firstRestart = 1;
  p.restartInc = 1.0;
  Solver s(p);
  load(s, CnfGenerator::pigeonHole(3));
  std::srand(kSeed);
  for (int run = 1; run <= 3; ++run) {
    ASSERT_EQ(s.solve(true), Solver::LimitsExceeded);
    EXPECT_EQ(s.stats.conflicts, static_cast<std::uint32_t>(run));
    EXPECT_EQ(s.stats.totalLearnedClauses, 0u);
    EXPECT_EQ(s.restartLimit, 1);
  }
}

TEST(SolverRestarts, OverflowingLimitsDisableRestartsAndReduction) {
  Solver s;
  load(s, CnfGenerator::pigeonHole(6));
  s.restartLimit = 2000000000;  // times 1.5 does not fit
  s.learnedLimit = 2000000000;  // times 1.1 does not fit
  std::srand(kSeed);
  EXPECT_EQ(s.solve(false), Solver::Unsatisfiable);
  EXPECT_EQ(s.stats.restarts, 1u);
  EXPECT_EQ(s.restartLimit, std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(s.learnedLimit, std::numeric_limits<std::int32_t>::min());
}

TEST(SolverRestarts, DisabledRestartLimitMeansOneSearchRun) {
  Solver s;
  load(s, CnfGenerator::pigeonHole(6));
  s.restartLimit = 0;
  std::srand(kSeed);
  EXPECT_EQ(s.solve(true), Solver::Unsatisfiable);
  EXPECT_EQ(s.stats.restarts, 1u);
  EXPECT_GT(s.stats.conflicts, 100u);
  EXPECT_EQ(s.restartLimit, 0);
}

// A solver whose limits were never derived from its clauses keeps a learned
// budget of 0 and never reduces; the same formula with a derived budget
// does. Simplification is held back so that only reduction deletes.
TEST(SolverReductionBudget, ZeroBudgetNeverReducesAndASmallOneDoes) {
  const Cnf f = CnfGenerator::pigeonHole(5);
  auto deletedLearned = [](const Solver& s) {
    return static_cast<long long>(s.stats.totalLearnedClauses) - s.stats.learnedUnitClauses -
           static_cast<long long>(s.learnedClauses.size());
  };
  quelt::SearchParams p;
  p.learnedSizeFactor = 0.1;
  Solver never(p);
  never.createVar(static_cast<unsigned>(f.numVars), quelt::dpinterface::ProblemVar, 0, 0);
  for (const auto& c : f.clauses) {
    auto copy = lits(c);
    never.addClause(copy, false);
  }
  never.stats.simplifyBudget = std::numeric_limits<std::int32_t>::max();
  std::srand(kSeed);
  EXPECT_EQ(never.learnedLimit, 0);
  EXPECT_EQ(never.solve(false), Solver::Unsatisfiable);
  EXPECT_GT(never.stats.totalLearnedClauses, 20u);
  EXPECT_EQ(deletedLearned(never), 0);

  Solver reducing(p);
  load(reducing, f);
  reducing.stats.simplifyBudget = std::numeric_limits<std::int32_t>::max();
  std::srand(kSeed);
  EXPECT_GT(reducing.learnedLimit, 0);
  EXPECT_EQ(reducing.solve(false), Solver::Unsatisfiable);
  EXPECT_GT(deletedLearned(reducing), 0);
}

TEST(SolverTimeLimit, ZeroSecondsStopsBeforeAnyPropagation) {
  CnfGenerator g(909u);
  for (int i = 0; i < 12; ++i) {
    const Cnf f = i == 0 ? CnfGenerator::pigeonHole(3) : g.threshold3Sat(6 + i);
    SCOPED_TRACE(f.dimacs());
    Solver s;
    load(s, f);
    if (s.status == Solver::Unsatisfiable) continue;
    s.setTimeout(0);
    std::srand(kSeed);
    EXPECT_EQ(s.solve(false), Solver::Timeout);
    EXPECT_EQ(s.status, Solver::Timeout);
    EXPECT_EQ(s.trail.levelStarts.size(), 1u);
    EXPECT_EQ(s.stats.bcpCalls, 0u);
    EXPECT_EQ(s.stats.decisions, 0u);
    EXPECT_EQ(s.stats.restarts, 1u);
    EXPECT_TRUE(s.model.empty());
    EXPECT_EQ(resultLines(s), "c TIMEOUT\ns UNKNOWN");
    std::ostringstream modelLine;
    s.dumpModel(modelLine);
    EXPECT_EQ(modelLine.str(), "");
    // Timeout is not final: lift the limit and the same solver decides.
    s.params.timeLimit = quelt::SearchParams::kNoTimeLimit;
    const bool sat = bruteForce(f).has_value();
    EXPECT_EQ(s.solve(false), sat ? Solver::Satisfiable : Solver::Unsatisfiable);
    if (sat) {
      EXPECT_EQ(firstFalsifiedClause(f, modelOf(s)), -1);
    }
  }
}

TEST(SolverTimeLimit, TimeoutBetweenRunsLeavesASolvableSolver) {
  // One search run with learning, then a timeout, then the rest.
  CnfGenerator g(4242u);
  for (int i = 0; i < 10; ++i) {
    const Cnf f = g.threshold3Sat(14);
    quelt::SearchParams p;
    p.firstRestart = 2;
    Solver s(p);
    load(s, f);
    std::srand(kSeed);
    const unsigned first = s.solve(true);
    if (first != Solver::LimitsExceeded) continue;
    s.setTimeout(0);
    EXPECT_EQ(s.solve(false), Solver::Timeout);
    EXPECT_TRUE(trailConsistent(s));
    EXPECT_TRUE(watchesConsistent(s));
    s.params.timeLimit = quelt::SearchParams::kNoTimeLimit;
    const bool sat = bruteForce(f).has_value();
    ASSERT_EQ(s.solve(false), sat ? Solver::Satisfiable : Solver::Unsatisfiable) << f.dimacs();
    if (sat) {
      EXPECT_EQ(firstFalsifiedClause(f, modelOf(s)), -1);
    }
  }
}

TEST(SolverTimeLimit, SetTimeoutStoresAnAbsoluteLimitAndAllBitsSetKeepsIt) {
  Solver s;
  EXPECT_EQ(s.params.timeLimit, quelt::SearchParams::kNoTimeLimit);
  s.setTimeout(4294967295u);
  EXPECT_EQ(s.params.timeLimit, quelt::SearchParams::kNoTimeLimit);
  const unsigned before = quelt::cpuSeconds();
  s.setTimeout(10);
  const unsigned after = quelt::cpuSeconds();
  EXPECT_GE(s.params.timeLimit, before + 10);
  EXPECT_LE(s.params.timeLimit, after + 10);
  const std::uint32_t armed = s.params.timeLimit;
  s.setTimeout(4294967295u);
  EXPECT_EQ(s.params.timeLimit, armed);
}

// Same formula, same parameters, same seed: the same search, counter for
// counter, and the same model and learned clauses. The configurations make
// random choices frequent, so a stray use of another random source or of
// uninitialised state would show.
TEST(SolverDeterminism, FreshSolversRepeatExactly) {
  CnfGenerator g(31337u);
  std::vector<Cnf> formulas = {g.randomKSat(60, 3, 240), g.threshold3Sat(40), CnfGenerator::pigeonHole(5),
                               g.randomKSat(30, 4, 290)};
  std::vector<std::function<void(quelt::SearchParams&)>> configs = {
      [](quelt::SearchParams&) {},
      [](quelt::SearchParams& p) {
        p.randVarDecFreq = 0.2;
        p.randPhaseDecFreq = 0.3;
        p.randVarDecScaling = 1.0;
        p.randPhaseScaling = 1.0;
        p.firstRestart = 5;
        p.learnedSizeFactor = 0.1;
      },
      [](quelt::SearchParams& p) {
        p.setAutotunedKz_1_1();
        p.phaseDecHeur = 2;
        p.maxResRuns = 3;
      },
  };
  for (std::size_t ci = 0; ci < configs.size(); ++ci)
    for (const Cnf& f : formulas) {
      SCOPED_TRACE("configuration " + std::to_string(ci) + ", " + f.name);
      quelt::SearchParams p;
      configs[ci](p);
      Solver a(p), b(p);
      load(a, f);
      load(b, f);
      std::srand(kSeed);
      const unsigned ra = a.solve(false);
      std::srand(kSeed);
      const unsigned rb = b.solve(false);
      EXPECT_EQ(ra, rb);
      EXPECT_TRUE(sameCounters(a.stats, b.stats));
      EXPECT_EQ(dimacsOf(a.model), dimacsOf(b.model));
      ASSERT_EQ(a.learnedClauses.size(), b.learnedClauses.size());
      for (std::size_t i = 0; i < a.learnedClauses.size(); ++i)
        EXPECT_EQ(dimacsOf(*a.learnedClauses[i]), dimacsOf(*b.learnedClauses[i]));
      EXPECT_GT(a.stats.decisions, 0u);
    }
}

TEST(SolverDeterminism, ClearedSolverRepeatsAFreshOne) {
  CnfGenerator g(2718u);
  const Cnf f = g.randomKSat(50, 3, 205);
  const Cnf other = CnfGenerator::pigeonHole(4);
  Solver fresh;
  load(fresh, f);
  std::srand(kSeed);
  const unsigned expected = fresh.solve(false);

  Solver reused;
  load(reused, other);
  std::srand(kSeed);
  EXPECT_EQ(reused.solve(false), Solver::Unsatisfiable);
  reused.clear();
  EXPECT_EQ(reused.status, Solver::Unknown);
  load(reused, f);
  std::srand(kSeed);
  EXPECT_EQ(reused.solve(false), expected);
  EXPECT_TRUE(sameCounters(fresh.stats, reused.stats));
  EXPECT_EQ(dimacsOf(fresh.model), dimacsOf(reused.model));
}

TEST(SolverSearchCases, SatisfiableStatusIsFinalUntilReset) {
  CnfGenerator g(77u);
  const Cnf f = g.randomKSat(12, 3, 30);
  ASSERT_TRUE(bruteForce(f).has_value());
  Solver s;
  load(s, f);
  std::srand(kSeed);
  ASSERT_EQ(s.solve(false), Solver::Satisfiable);
  const quelt::SearchStatistics before = s.stats;
  const std::vector<int> model = dimacsOf(s.model);
  EXPECT_EQ(s.solve(false), Solver::Satisfiable);
  EXPECT_TRUE(sameCounters(before, s.stats));
  EXPECT_EQ(dimacsOf(s.model), model);
  EXPECT_EQ(s.trail.levelStarts.size(), 1u);
  // reset empties the model; the next solve records exactly one new model.
  s.reset();
  EXPECT_TRUE(s.model.empty());
  EXPECT_EQ(s.status, Solver::Unknown);
  EXPECT_EQ(s.trail.propagationHead, 0u);
  std::srand(kSeed);
  EXPECT_EQ(s.solve(false), Solver::Satisfiable);
  EXPECT_EQ(s.model.size(), 12u);
  EXPECT_EQ(firstFalsifiedClause(f, modelOf(s)), -1);
}

// Enumerates the models of f by solving, adding a clause that blocks the
// model found, and solving again until the verdict is Unsatisfiable. Every
// model must satisfy f and differ from the earlier ones.
int countModelsByBlocking(const Cnf& f, const quelt::SearchParams& p) {
  Solver s(p);
  load(s, f);
  std::vector<std::vector<int>> seen;
  for (;;) {
    if (s.status == Solver::Unsatisfiable) break;
    std::srand(kSeed);
    const unsigned r = s.solve(false);
    if (r == Solver::Unsatisfiable) break;
    EXPECT_EQ(r, Solver::Satisfiable);
    if (r != Solver::Satisfiable) return -1;
    EXPECT_EQ(firstFalsifiedClause(f, modelOf(s)), -1);
    const std::vector<int> model = dimacsOf(s.model);
    EXPECT_TRUE(std::find(seen.begin(), seen.end(), model) == seen.end()) << "model found twice";
    seen.push_back(model);
    if (seen.size() > 300) return -1;
    std::vector<quelt::Literal> block;
    for (quelt::Literal l : s.model) block.push_back(~l);
    s.addClause(block, false);
    if (s.status != Solver::Unsatisfiable) {
      EXPECT_EQ(s.status, Solver::Unknown) << "adding a clause keeps a satisfiable verdict";
    }
  }
  return static_cast<int>(seen.size());
}

const std::vector<Cnf>& modelCountingFormulas() {
  static const std::vector<Cnf> fs = [] {
    CnfGenerator g(6061u);
    std::vector<Cnf> out;
    Cnf small;
    small.numVars = 3;
    small.clauses = {{1, 2}, {-1, 3}};
    out.push_back(small);
    for (int i = 0; i < 25; ++i) {
      const int n = g.uniform(3, 8);
      out.push_back(i % 2 ? g.randomKSat(n, 3, 2 * n) : g.irregular(n, 0, n + 2, false));
    }
    return out;
  }();
  return fs;
}

TEST(SolverIncremental, BlockingClausesEnumerateEveryModel) {
  quelt::SearchParams p;
  p.usePureLiteralRule = false;
  for (const Cnf& f : modelCountingFormulas()) {
    SCOPED_TRACE(f.dimacs());
    EXPECT_EQ(countModelsByBlocking(f, p), countModels(f));
  }
}

// Pure literals are a choice, not a consequence: a clause added after the
// solve must not be normalised against them. For (1 v 2) (-1 v 3), after
// blocking the first model the pure literal rule sets 1 and 2 true; the
// blocking clause (-1 v -2 v -3) added next must still let 1 -2 3 and
// -1 2 3 be found, so all four models are enumerated.
TEST(SolverIncremental, BlockingClausesEnumerateEveryModelWithPureLiterals) {
  quelt::SearchParams p;
  p.usePureLiteralRule = true;
  for (const Cnf& f : modelCountingFormulas()) {
    SCOPED_TRACE(f.dimacs());
    EXPECT_EQ(countModelsByBlocking(f, p), countModels(f));
  }
}

TEST(SolverSearchCases, NoVariablesIsSatisfiableWithAnEmptyModel) {
  Solver s;
  std::srand(kSeed);
  EXPECT_EQ(s.solve(false), Solver::Satisfiable);
  EXPECT_TRUE(s.model.empty());
  EXPECT_EQ(s.stats.variables, 0u);
  std::ostringstream os;
  s.dumpModel(os);
  EXPECT_EQ(os.str(), "v 0\n");
}

TEST(SolverSearchCases, RandomFrequenciesAreScaledOncePerSearchRun) {
  quelt::SearchParams p;
  p.randPhaseDecFreq = 0.5;
  p.randPhaseScaling = 3.0;
  p.randVarDecFreq = 0.25;
  p.randVarDecScaling = 0.0;
  Solver s(p);
  load(s, CnfGenerator::pigeonHole(2));
  std::srand(kSeed);
  EXPECT_EQ(s.solve(true), Solver::Unsatisfiable);
  EXPECT_EQ(s.params.randPhaseDecFreq, 1.0);  // 1.5 is capped
  EXPECT_EQ(s.params.randVarDecFreq, 0.0);

  quelt::SearchParams q;  // defaults: 0.02 and 0.001 scaled by 0.9 per run
  Solver t(q);
  load(t, CnfGenerator::pigeonHole(7));
  t.restartLimit = 10;
  std::srand(kSeed);
  for (int run = 1; run <= 3; ++run) {
    ASSERT_EQ(t.solve(true), Solver::LimitsExceeded);
    EXPECT_DOUBLE_EQ(t.params.randPhaseDecFreq, 0.02 * std::pow(0.9, run));
    EXPECT_DOUBLE_EQ(t.params.randVarDecFreq, 0.001 * std::pow(0.9, run));
  }
}

}  // namespace
}  // namespace quelt_test
