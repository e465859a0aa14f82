// Conflict analysis on hand-built trails: the first-UIP clause, its literal
// order, minimisation, the backjump level, the activity bumps, and that no
// analysis mark survives. Reasons and conflicts are stored as learned
// clauses so that their literal order is exactly the one written here.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/solver_checks.hpp"

namespace quelt_test {
namespace {

using quelt::Clause;
using quelt::Solver;

struct Trail {
  Solver s;
  explicit Trail(unsigned n) : s([] {
    quelt::SearchParams p;
    p.clauseSortHeur = 19;
    p.varDecHeur = 0;
    return p;
  }()) {
    s.createVar(n, quelt::dpinterface::ProblemVar, 0, 0);
  }
  Clause* clause(std::initializer_list<int> c) {
    auto l = lits(c);
    return s.addClause(l, true).first;
  }
  void fact(int l) { s.assign(lit(l), nullptr); }
  void decide(int l) {
    s.trail.levelStarts.push_back(static_cast<unsigned>(s.trail.lits.size()));
    s.assign(lit(l), nullptr);
  }
  void imply(int l, Clause* reason) { s.assign(lit(l), reason); }
  std::vector<int> analyze(Clause* conflict, unsigned& level) {
    std::vector<quelt::Literal> learned;
    level = s.analyzeConflict(conflict, learned);
    return dimacsOf(learned);
  }
};

TEST(SolverAnalysis, FirstUipWithLowerLevelLiteralsInTheOrderMet) {
  // Level 1: 1 -> 2. Level 2: 3 -> 4. Level 3: 5 -> 6, and (-6 -5 -4)
  // is false. Resolving 6 away leaves 5 as the UIP; -4 and -2 remain.
  Trail t(6);
  Clause* r2 = t.clause({2, -1});
  Clause* r4 = t.clause({4, -3});
  Clause* r6 = t.clause({6, -5, -2});
  Clause* k = t.clause({-6, -5, -4});
  t.decide(1);
  t.imply(2, r2);
  t.decide(3);
  t.imply(4, r4);
  t.decide(5);
  t.imply(6, r6);
  ASSERT_TRUE(trailConsistent(t.s));
  unsigned level = 99;
  EXPECT_EQ(t.analyze(k, level), (std::vector<int>{-5, -4, -2}));
  EXPECT_EQ(level, 2u);
  EXPECT_EQ(t.s.stats.redundantLearnedLiterals, 0u);
  EXPECT_EQ(t.s.newUnitsMask, 0u);
  // Every variable met is bumped once; those only reached through
  // minimisation or never met are not.
  const double expected[] = {0, 0, 1, 0, 1, 1, 1};
  for (unsigned v = 1; v <= 6; ++v) EXPECT_EQ(t.s.vars[v].activity, expected[v]) << "variable " << v;
  // The conflict and the reason resolved with are learned clauses: bumped.
  EXPECT_EQ(k->activity, 2.0f);
  EXPECT_EQ(r6->activity, 2.0f);
  EXPECT_EQ(r4->activity, 1.0f);
  EXPECT_EQ(r2->activity, 1.0f);
  EXPECT_TRUE(trailConsistent(t.s)) << "marks cleared";
}

TEST(SolverAnalysis, RedundantLiteralIsDroppedAndLevelZeroIgnored) {
  // Level 0: 9. Level 1: 1 -> 2 through (2 -1 -9). Level 2: 3 -> 4, 3 -> 5,
  // conflict (-5 -4 -1 -2 -9). -2 is implied by -1 (in the clause) and a
  // level-0 literal, so it goes.
  Trail t(9);
  Clause* r2 = t.clause({2, -1, -9});
  Clause* r4 = t.clause({4, -3});
  Clause* r5 = t.clause({5, -3});
  Clause* k = t.clause({-5, -4, -1, -2, -9});
  t.fact(9);
  t.decide(1);
  t.imply(2, r2);
  t.decide(3);
  t.imply(4, r4);
  t.imply(5, r5);
  unsigned level = 99;
  EXPECT_EQ(t.analyze(k, level), (std::vector<int>{-3, -1}));
  EXPECT_EQ(level, 1u);
  EXPECT_EQ(t.s.stats.redundantLearnedLiterals, 1u);
  EXPECT_EQ(t.s.vars[9].activity, 0.0) << "level-0 variables are not bumped";
  EXPECT_EQ(t.s.vars[2].activity, 1.0) << "bumped when met, though dropped later";
  EXPECT_EQ(r2->activity, 1.0f) << "minimisation does not bump";
  EXPECT_EQ(r5->activity, 2.0f);
  EXPECT_EQ(r4->activity, 2.0f);
  EXPECT_TRUE(trailConsistent(t.s));
}

TEST(SolverAnalysis, LiteralWhosePathReachesADecisionIsKeptAndUnmarked) {
  // Level 1: 1. Level 2: 2. Level 3: 7 -> 8 -> 4 and 7 -> 3. Level 4:
  // 5 -> 6, conflict (-6 -1 -4 -2 -3 -5). The path back from 4 passes 8 and
  // reaches the decision 7, which is not in the clause: 4 stays, and 8 must
  // not stay marked. Two literals share the highest level 3; the first one
  // met (-4) goes to position 1.
  Trail t(8);
  Clause* r8 = t.clause({8, -7});
  Clause* r4 = t.clause({4, -8});
  Clause* r3 = t.clause({3, -7});
  Clause* r6 = t.clause({6, -5});
  Clause* k = t.clause({-6, -1, -4, -2, -3, -5});
  t.decide(1);
  t.decide(2);
  t.decide(7);
  t.imply(8, r8);
  t.imply(4, r4);
  t.imply(3, r3);
  t.decide(5);
  t.imply(6, r6);
  unsigned level = 99;
  EXPECT_EQ(t.analyze(k, level), (std::vector<int>{-5, -4, -1, -2, -3}));
  EXPECT_EQ(level, 3u);
  EXPECT_EQ(t.s.stats.redundantLearnedLiterals, 0u);
  EXPECT_FALSE(t.s.vars[8].marked());
  EXPECT_TRUE(t.s.redundancyStack.empty());
  EXPECT_TRUE(trailConsistent(t.s));
}

TEST(SolverAnalysis, OnlyOneCurrentLevelLiteralMeansNoResolution) {
  Trail t(3);
  Clause* k = t.clause({-3, -1, -2});
  t.decide(1);
  t.decide(2);
  t.decide(3);
  unsigned level = 99;
  // -2 has the highest remaining level and moves to position 1.
  EXPECT_EQ(t.analyze(k, level), (std::vector<int>{-3, -2, -1}));
  EXPECT_EQ(level, 2u);
  EXPECT_EQ(k->activity, 2.0f);
}

TEST(SolverAnalysis, UnitLearnedClauseBackjumpsToLevelZero) {
  Trail t(4);
  Clause* r2 = t.clause({2, -1});
  Clause* k = t.clause({-2, -1});
  t.fact(4);
  t.decide(1);
  t.imply(2, r2);
  unsigned level = 99;
  EXPECT_EQ(t.analyze(k, level), (std::vector<int>{-1}));
  EXPECT_EQ(level, 0u);
  EXPECT_NE(t.s.newUnitsMask, 0u);
  EXPECT_TRUE(trailConsistent(t.s));
}

TEST(SolverAnalysis, SearchStoresTheLearnedClauseWatchedOnItsFirstTwoLiterals) {
  // The same state as the first test, reached through propagation: the
  // search loop learns (-5 -4 -2), backjumps to level 2 and asserts -5.
  quelt::SearchParams p;
  p.clauseSortHeur = 19;
  Solver s(p);
  s.createVar(6, quelt::dpinterface::ProblemVar, 0, 0);
  for (auto c : {lits({-1, 2}), lits({-3, 4}), lits({-5, -2, 6}), lits({-5, -4, -6})}) s.addClause(c, false);
  for (int d : {1, 3, 5}) {
    s.trail.levelStarts.push_back(static_cast<unsigned>(s.trail.lits.size()));
    s.assign(lit(d), nullptr);
    if (d < 5) {
      ASSERT_EQ(s.bcp(), nullptr);
    }
  }
  Clause* conflict = s.bcp();
  ASSERT_NE(conflict, nullptr);
  std::vector<quelt::Literal> learned;
  const unsigned level = s.analyzeConflict(conflict, learned);
  EXPECT_EQ(level, 2u);
  EXPECT_EQ(dimacsOf(learned), (std::vector<int>{-5, -4, -2}));
  s.backtrack(level);
  Clause* c = s.addClause(learned, true).first;
  ASSERT_NE(c, nullptr);
  s.assign(learned[0], c);
  EXPECT_EQ(s.bcp(), nullptr);
  EXPECT_TRUE(s.isFalse(lit(5)));
  EXPECT_EQ(s.vars[5].level, 2);
  EXPECT_TRUE(trailConsistent(s));
  EXPECT_TRUE(watchesConsistent(s));
}

TEST(SolverActivity, VariableBumpPastTheBoundRescalesEverythingAndKeepsTheOrder) {
  quelt::SearchParams p;
  p.varDecHeur = 0;
  Solver s(p);
  s.createVar(4, quelt::dpinterface::ProblemVar, 0, 0);
  s.vars[1].activity = 4e99;
  s.vars[2].activity = 8e99;
  s.vars[3].activity = 2.0;
  s.decisionQueue.updateAll();
  s.params.varActivityInc = 7e99;
  s.incVariablePriority(s.vars[1]);  // 1.1e100 > 1e100
  EXPECT_NEAR(s.vars[1].activity, 1.1, 1e-12);
  EXPECT_NEAR(s.vars[2].activity, 0.8, 1e-12);
  EXPECT_NEAR(s.vars[3].activity, 2e-100, 1e-112);
  EXPECT_NEAR(s.params.varActivityInc, 0.7, 1e-12);
  EXPECT_TRUE(queueConsistent(s, true));
  EXPECT_EQ(s.decisionQueue.heap[0], 1u) << "the bumped variable moved to the front";
  // A variable that is not queued keeps its place outside.
  s.decisionQueue.remove(3);
  s.incVariablePriority(s.vars[3]);
  EXPECT_FALSE(s.decisionQueue.contains(3));
}

TEST(SolverActivity, ClauseBumpPastTheBoundRescalesLearnedClausesOnly) {
  Solver s;
  s.createVar(4, quelt::dpinterface::ProblemVar, 0, 0);
  auto a = lits({1, 2, 3});
  auto b = lits({-1, 2, 4});
  auto o = lits({1, 4});
  Clause* ca = s.addClause(a, true).first;
  Clause* cb = s.addClause(b, true).first;
  Clause* original = s.addClause(o, false).first;
  ca->activity = 9e19f;
  cb->activity = 3e10f;
  s.params.clauseActivityInc = 2e19;
  s.incClausePriority(*ca);  // 1.1e20
  EXPECT_FLOAT_EQ(ca->activity, 1.1f);
  EXPECT_FLOAT_EQ(cb->activity, 3e-10f);
  EXPECT_DOUBLE_EQ(s.params.clauseActivityInc, 0.2);
  EXPECT_EQ(original->activity, 0.0f);
  s.incClausePriority(*cb);  // below the bound: no rescaling
  EXPECT_FLOAT_EQ(cb->activity, 0.2f);
  EXPECT_FLOAT_EQ(ca->activity, 1.1f);
}

}  // namespace
}  // namespace quelt_test
