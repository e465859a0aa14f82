// Solving under assumptions, and solving the same solver more than once.
//
// Verdicts under random assumption sets are compared with exhaustive
// enumeration of the formula plus the assumptions as unit clauses; models
// must satisfy both. clearAssumed must undo an unsatisfiable verdict that
// came from the assumptions but keep one the clauses alone proved.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "support/cnf_gen.hpp"
#include "support/solver_checks.hpp"

namespace quelt_test {
namespace {

constexpr unsigned kSeed = 1851696952u;
using quelt::Solver;

unsigned solveWith(Solver& s, const std::vector<int>& assumed) {
  std::srand(kSeed);
  return s.solve(lits(assumed), false);
}

// The model is complete, satisfies every clause of f and every literal in
// assumed.
::testing::AssertionResult modelSatisfies(const Solver& s, const Cnf& f, const std::vector<int>& assumed) {
  const Assignment a = modelOf(s);
  if (a.size() != static_cast<std::size_t>(f.numVars) + 1)
    return ::testing::AssertionFailure() << "model has " << s.model.size() << " entries for " << f.numVars
                                         << " variables";
  const int bad = firstFalsifiedClause(f, a);
  if (bad >= 0) return ::testing::AssertionFailure() << "clause " << bad << " is false";
  for (int l : assumed)
    if (!literalTrue(l, a)) return ::testing::AssertionFailure() << "assumption " << l << " is false";
  return ::testing::AssertionSuccess();
}

struct AssumptionConfig {
  std::string name;
  std::function<void(quelt::SearchParams&)> tweak;
};
void PrintTo(const AssumptionConfig& c, std::ostream* os) { *os << c.name; }

class SolverAssumptions : public ::testing::TestWithParam<AssumptionConfig> {};

// Random formulas under random sets of one to four assumptions (repeated and
// opposite literals included). The verdict and model must match the formula
// with the assumptions added as units. Then the assumptions are dropped and
// the same solver is solved again: the verdict must be the formula's own.
TEST_P(SolverAssumptions, VerdictsMatchEnumerationAndSurviveClearAssumed) {
  CnfGenerator g(5150u);
  int satUnder = 0, unsatUnder = 0, keptUnsat = 0;
  for (int i = 0; i < 150; ++i) {
    const int n = g.uniform(4, 12);
    const Cnf f = i % 3 == 0 ? g.irregular(n, 1, g.uniform(6, 40), false) : g.threshold3Sat(n);
    std::vector<int> assumed;
    const int k = g.uniform(1, 4);
    for (int j = 0; j < k; ++j) assumed.push_back(g.randomLiteral(f.numVars));
    SCOPED_TRACE(f.dimacs() + "assumptions " + ::testing::PrintToString(assumed));

    quelt::SearchParams p;
    GetParam().tweak(p);
    Solver s(p);
    load(s, f);
    const bool satUnderAssumptions = bruteForce(f, assumed).has_value();
    const bool satAlone = bruteForce(f).has_value();
    const unsigned r = solveWith(s, assumed);
    ASSERT_EQ(r, satUnderAssumptions ? Solver::Satisfiable : Solver::Unsatisfiable);
    (satUnderAssumptions ? satUnder : unsatUnder) += 1;
    if (r == Solver::Satisfiable) {
      EXPECT_TRUE(modelSatisfies(s, f, assumed));
    }
    EXPECT_TRUE(consistentAfterSolve(s, false));
    std::vector<int> sortedAssumed = assumed;
    std::sort(sortedAssumed.begin(), sortedAssumed.end(),
              [](int a, int b) { return lit(a) < lit(b); });
    EXPECT_EQ(dimacsOf(s.assumptions), sortedAssumed);

    s.clearAssumed();
    EXPECT_TRUE(s.assumptions.empty());
    if (s.status == Solver::Unsatisfiable) {
      // Only a refutation of the clauses themselves survives.
      EXPECT_FALSE(satAlone) << "clearAssumed kept Unsatisfiable for a satisfiable formula";
      keptUnsat += 1;
    } else {
      EXPECT_EQ(s.status, Solver::Unknown);
    }
    const unsigned again = solveWith(s, {});
    ASSERT_EQ(again, satAlone ? Solver::Satisfiable : Solver::Unsatisfiable);
    if (again == Solver::Satisfiable) {
      EXPECT_TRUE(modelSatisfies(s, f, {}));
      EXPECT_EQ(s.model.size(), static_cast<std::size_t>(f.numVars)) << "model of the first solve not replaced";
    }
    EXPECT_TRUE(consistentAfterSolve(s, false));
  }
  EXPECT_GT(satUnder, 20);
  EXPECT_GT(unsatUnder, 20);
  EXPECT_GT(keptUnsat, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Configurations, SolverAssumptions,
    ::testing::Values(AssumptionConfig{"default", [](quelt::SearchParams&) {}},
                      AssumptionConfig{"restartEveryTwo",
                                       [](quelt::SearchParams& p) {
                                         p.firstRestart = 2;
                                         p.learnedSizeFactor = 0.1;
                                       }},
                      AssumptionConfig{"resolution1", [](quelt::SearchParams& p) { p.resolution = 1; }},
                      AssumptionConfig{"resolution2", [](quelt::SearchParams& p) {
                                         p.resolution = 2;
                                         p.maxResRuns = 5;
                                       }}),
    [](const ::testing::TestParamInfo<AssumptionConfig>& info) { return info.param.name; });

// The other order: each formula is solved alone first, then under random
// assumptions on the same solver. Returns the number of checked cases.
int solveAloneThenUnderAssumptions(const quelt::SearchParams& p, const std::vector<Cnf>& extra) {
  CnfGenerator g(8128u);
  std::vector<Cnf> formulas = extra;
  for (int i = 0; i < 150; ++i) {
    const int n = g.uniform(4, 12);
    formulas.push_back(i % 3 == 0 ? g.irregular(n, 1, g.uniform(6, 40), false) : g.threshold3Sat(n));
  }
  int checked = 0;
  for (std::size_t i = 0; i < formulas.size(); ++i) {
    const Cnf& f = formulas[i];
    std::vector<int> assumed;
    if (i < extra.size()) {
      assumed = {-2};
    } else {
      const int k = g.uniform(1, 3);
      for (int j = 0; j < k; ++j) assumed.push_back(g.randomLiteral(f.numVars));
    }
    SCOPED_TRACE(f.dimacs() + "assumptions " + ::testing::PrintToString(assumed));
    Solver s(p);
    load(s, f);
    const unsigned alone = solveWith(s, {});
    EXPECT_EQ(alone, bruteForce(f).has_value() ? Solver::Satisfiable : Solver::Unsatisfiable);
    s.clearAssumed();
    const bool expected = bruteForce(f, assumed).has_value();
    const unsigned r = solveWith(s, assumed);
    EXPECT_EQ(r, expected ? Solver::Satisfiable : Solver::Unsatisfiable);
    if (r == Solver::Satisfiable) {
      EXPECT_TRUE(modelSatisfies(s, f, assumed));
    }
    checked += 1;
  }
  return checked;
}

Cnf formula(int numVars, std::vector<std::vector<int>> clauses);

TEST(SolverAssumptionCases, AssumptionsAfterASolveWithoutThem) {
  quelt::SearchParams p;
  p.usePureLiteralRule = false;
  EXPECT_EQ(solveAloneThenUnderAssumptions(p, {}), 150);
}

// Literals set by the pure literal rule are a choice, not a fact: a later
// solve under assumptions must not find an assumption false because of them.
// For (2 v 1) (-1 v 3) (-2 v 1) with the default parameters the first solve
// sets 2 true as a pure literal; under the assumption -2 the formula is
// still satisfiable (1 -2 3).
TEST(SolverAssumptionCases, AssumptionsAfterASolveWithPureLiterals) {
  quelt::SearchParams p;
  p.usePureLiteralRule = true;
  solveAloneThenUnderAssumptions(p, {formula(3, {{2, 1}, {-1, 3}, {-2, 1}})});
}

Cnf formula(int numVars, std::vector<std::vector<int>> clauses) {
  Cnf f;
  f.numVars = numVars;
  f.clauses = std::move(clauses);
  return f;
}

TEST(SolverAssumptionCases, AssumptionFalseAtLevelZeroIsUnsatisfiableUntilCleared) {
  const Cnf f = formula(3, {{-1}, {2, 3}});
  Solver s;
  load(s, f);
  EXPECT_EQ(solveWith(s, {1}), Solver::Unsatisfiable);
  EXPECT_EQ(s.status, Solver::Unsatisfiable);
  EXPECT_TRUE(s.model.empty());
  s.clearAssumed();
  EXPECT_EQ(s.status, Solver::Unknown);
  EXPECT_EQ(solveWith(s, {}), Solver::Satisfiable);
  EXPECT_TRUE(modelSatisfies(s, f, {}));
}

TEST(SolverAssumptionCases, LevelZeroRefutationSurvivesClearAssumed) {
  // The units are only queued when added; the first propagation conflicts.
  const Cnf f = formula(3, {{-1, -2}, {1}, {2}});
  Solver s;
  load(s, f);
  EXPECT_EQ(solveWith(s, {3}), Solver::Unsatisfiable);
  EXPECT_EQ(s.stats.conflicts, 1u);
  EXPECT_EQ(s.stats.restarts, 1u);
  s.clearAssumed();
  EXPECT_EQ(s.status, Solver::Unsatisfiable);
  EXPECT_EQ(solveWith(s, {}), Solver::Unsatisfiable);
}

TEST(SolverAssumptionCases, EmptyClauseSurvivesClearAssumed) {
  Solver s;
  load(s, formula(2, {{1, 2}, {}}));
  EXPECT_EQ(s.status, Solver::Unsatisfiable);
  EXPECT_EQ(solveWith(s, {1}), Solver::Unsatisfiable);
  s.clearAssumed();
  EXPECT_EQ(s.status, Solver::Unsatisfiable);
}

TEST(SolverAssumptionCases, AssumptionImpliedByAnEarlierOneGetsAnEmptyLevel) {
  // Assumption 1 sits at level 1 and implies 2; assumption 2 then opens an
  // empty level 2, and the free decision comes at level 3.
  const Cnf f = formula(4, {{-1, 2}, {-2, 3, 4}});
  quelt::SearchParams p;
  p.randVarDecFreq = 0.0;
  p.randPhaseDecFreq = 0.0;
  Solver s(p);
  load(s, f);
  EXPECT_EQ(solveWith(s, {1, 2}), Solver::Satisfiable);
  EXPECT_TRUE(modelSatisfies(s, f, {1, 2}));
  EXPECT_EQ(s.stats.maxDecisionLevel, 3u);
  EXPECT_TRUE(consistentAfterSolve(s, false));
}

TEST(SolverAssumptionCases, BackjumpAcrossAnEmptyLevelKeepsLowerLevels) {
  // Assumptions 1 and 2 (implied by 1, an empty level 2); below them the
  // search must learn that 3 is impossible with 1 and backjump over the
  // empty level without losing assumption 1.
  const Cnf f = formula(6, {{-1, 2}, {-1, -3, 4}, {-1, -3, -4, 5}, {-1, -3, -4, -5}, {3, 6}});
  quelt::SearchParams p;
  p.phaseDecHeur = 1;  // decide 3 true first
  p.varDecHeur = 16;   // in index order
  p.randVarDecFreq = 0.0;
  p.randPhaseDecFreq = 0.0;
  Solver s(p);
  load(s, f);
  EXPECT_EQ(solveWith(s, {1, 2}), Solver::Satisfiable);
  EXPECT_TRUE(modelSatisfies(s, f, {1, 2}));
  EXPECT_GE(s.stats.conflicts, 1u);
  EXPECT_TRUE(consistentAfterSolve(s, true));
}

TEST(SolverAssumptionCases, RepeatedAndOppositeAssumptions) {
  const Cnf f = formula(2, {{1, 2}});
  Solver a;
  load(a, f);
  EXPECT_EQ(solveWith(a, {-1, -1}), Solver::Satisfiable);
  EXPECT_TRUE(modelSatisfies(a, f, {-1}));
  Solver b;
  load(b, f);
  EXPECT_EQ(solveWith(b, {1, -1}), Solver::Unsatisfiable);
  b.clearAssumed();
  EXPECT_EQ(b.status, Solver::Unknown);
}

TEST(SolverAssumptionCases, AssumeKeepsTheListSortedAndLeavesStatus) {
  Solver s;
  s.createVar(3, quelt::dpinterface::ProblemVar, 0, 0);
  s.assume(lits({3, -1}));
  s.assume(lits({1}));
  EXPECT_EQ(dimacsOf(s.assumptions), (std::vector<int>{-1, 1, 3}));
  EXPECT_EQ(s.status, Solver::Unknown);
}

TEST(SolverAssumptionCases, SolveWithAssumptionsAccumulates) {
  const Cnf f = formula(4, {{1, 2, 3}, {-1, 4}, {-3, -4}});
  Solver s;
  load(s, f);
  EXPECT_EQ(solveWith(s, {3}), Solver::Satisfiable);
  EXPECT_TRUE(modelSatisfies(s, f, {3}));
  // A satisfiable status is final: the next call only appends its literal.
  const quelt::SearchStatistics before = s.stats;
  EXPECT_EQ(solveWith(s, {-2}), Solver::Satisfiable);
  EXPECT_TRUE(sameCounters(before, s.stats));
  EXPECT_EQ(dimacsOf(s.assumptions), (std::vector<int>{-2, 3}));
  // After reset both assumptions are in force.
  s.reset();
  EXPECT_TRUE(s.model.empty());
  EXPECT_EQ(solveWith(s, {2}), Solver::Unsatisfiable);  // 2 and -2
  s.clearAssumed();
  EXPECT_EQ(solveWith(s, {-1}), Solver::Satisfiable);
  EXPECT_EQ(solveWith(s, {}), Solver::Satisfiable);
  s.reset();
  EXPECT_EQ(solveWith(s, {-2}), Solver::Satisfiable);
  EXPECT_TRUE(modelSatisfies(s, f, {-1, -2}));
}

TEST(SolverAssumptionCases, PureLiteralRuleLeavesAssumptionsAlone) {
  // Variable 1 occurs only positively, so the pure literal rule would set it
  // true; the assumption says false and the formula allows that.
  const Cnf f = formula(3, {{1, 2}, {1, 3}});
  Solver s;
  load(s, f);
  s.newUnitsMask = 1;  // as if a unit had been learned: a simplification round runs
  EXPECT_EQ(solveWith(s, {-1}), Solver::Satisfiable);
  EXPECT_EQ(s.stats.simplificationRounds, 1u);
  EXPECT_TRUE(modelSatisfies(s, f, {-1}));
}

TEST(SolverAssumptionCases, AssumedVariablesAreNotEliminated) {
  // Variable 1 could be eliminated ((1 v 2), (-1 v 3) -> (2 v 3)), but the
  // search decides assumptions directly, so it must stay: without (-1 v 3)
  // the search would learn 2 and then decide 3 false. Variable 3 may go.
  const Cnf f = formula(3, {{1, 2}, {-1, 3}, {2, -3}});
  quelt::SearchParams p;
  p.resolution = 1;
  p.usePureLiteralRule = false;
  p.phaseDecHeur = 0;
  p.randPhaseDecFreq = 0.0;
  Solver s(p);
  load(s, f);
  s.newUnitsMask = 1;
  EXPECT_EQ(solveWith(s, {1}), Solver::Satisfiable);
  EXPECT_EQ(s.stats.resolutionRounds, 1u);
  EXPECT_TRUE(std::find(s.eliminatedVars.begin(), s.eliminatedVars.end(), 1u) == s.eliminatedVars.end());
  EXPECT_TRUE(modelSatisfies(s, f, {1}));
}

// After a satisfiable solve that eliminated variables, solving again gives
// a model that satisfies the eliminated clauses too (variable 1 is
// eliminated here), and an assumption on the eliminated variable brings it
// and its clauses back first.
TEST(SolverAssumptionCases, SecondSolveAfterEliminationKeepsEliminatedClauses) {
  // Run in a child process: a failed model check ends the process.
  EXPECT_EXIT(
      {
        const Cnf f = formula(3, {{1, 2}, {-1, 3}});
        quelt::SearchParams p;
        p.resolution = 1;
        p.usePureLiteralRule = false;
        p.randVarDecFreq = 0.0;
        p.randPhaseDecFreq = 0.0;
        Solver s(p);
        load(s, f);
        s.newUnitsMask = 1;  // a simplification round, with elimination, runs first
        if (solveWith(s, {}) != Solver::Satisfiable || s.stats.eliminatedVariables != 1) std::exit(2);
        if (!modelSatisfies(s, f, {})) std::exit(3);
        s.clearAssumed();
        if (solveWith(s, {}) != Solver::Satisfiable || !modelSatisfies(s, f, {})) std::exit(4);
        s.clearAssumed();
        if (solveWith(s, {-1}) != Solver::Satisfiable || !modelSatisfies(s, f, {-1})) std::exit(5);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace quelt_test
