// Learned-clause reduction, and the level-0 clean-up of the clause database
// (strengthening, the clean-up pass over a clause list, and the gates and
// failure paths of a simplification round).
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "support/solver_checks.hpp"

namespace quelt_test {
namespace {

using quelt::Clause;
using quelt::Solver;

struct Db {
  Solver s;
  explicit Db(unsigned n, unsigned delHeur = 0) : s([delHeur] {
    quelt::SearchParams p;
    p.clauseSortHeur = 19;
    p.clauseDelHeur = delHeur;
    return p;
  }()) {
    s.createVar(n, quelt::dpinterface::ProblemVar, 0, 0);
  }
  Clause* learn(std::vector<int> c, float activity) {
    auto l = lits(c);
    Clause* k = s.addClause(l, true).first;
    k->activity = activity;
    return k;
  }
  Clause* add(std::vector<int> c) {
    auto l = lits(c);
    return s.addClause(l, false).first;
  }
  bool kept(const Clause* c) const {
    return std::find(s.learnedClauses.begin(), s.learnedClauses.end(), c) != s.learnedClauses.end();
  }
};

// Ten clauses of three literals over distinct variables.
std::vector<int> ternary(int i) { return {3 * i + 1, 3 * i + 2, 3 * i + 3}; }

TEST(SolverReduction, FirstHalfGoesAndTheSecondHalfBelowTheThreshold) {
  Db d(40);
  std::vector<Clause*> cs;
  const float act[] = {7, 2, 9, 0, 4, 6, 1, 8, 3, 5};
  for (int i = 0; i < 10; ++i) cs.push_back(d.learn(ternary(i), act[i]));
  d.s.params.clauseActivityInc = 80.0;  // threshold 8
  const quelt::SearchStatistics before = d.s.stats;
  const std::int32_t limit = d.s.learnedLimit;
  d.s.reduceLearnedClauses();
  // Sorted by activity: 0..4 go as the first half; of 5..9 those below 8.
  ASSERT_EQ(d.s.learnedClauses.size(), 2u);
  EXPECT_EQ(d.s.learnedClauses[0]->activity, 8.0f);
  EXPECT_EQ(d.s.learnedClauses[1]->activity, 9.0f);
  EXPECT_TRUE(watchesConsistent(d.s));
  EXPECT_TRUE(sameCounters(before, d.s.stats));
  EXPECT_EQ(d.s.learnedLimit, limit);
  EXPECT_DOUBLE_EQ(d.s.params.clauseActivityInc, 80.0);
}

TEST(SolverReduction, HalvesADatabaseOfActiveClauses) {
  // Activities at or above the threshold: exactly the first half goes, in
  // every deletion order, for any size.
  for (unsigned mode : {0u, 1u, 2u, 5u})
    for (int n = 0; n <= 13; ++n) {
      Db d(40, mode);
      for (int i = 0; i < n; ++i) d.learn(ternary(i), static_cast<float>(10 + i));
      d.s.reduceLearnedClauses();
      EXPECT_EQ(d.s.learnedClauses.size(), static_cast<std::size_t>(n - n / 2)) << "mode " << mode << ", " << n;
      EXPECT_TRUE(watchesConsistent(d.s));
    }
}

// A list emptied to under a quarter of its room by a reduction gives the
// room back, keeping its entries in order; lists the reduction did not
// touch keep theirs.
TEST(SolverReduction, ListsEmptiedByTheReductionShrink) {
  Db d(400);
  for (int i = 0; i < 100; ++i) d.learn({1, 2, 3 + i}, static_cast<float>(i < 90 ? 0 : 100 + i));
  Clause* other = d.learn({300, 301, 302}, 1000.0f);
  ASSERT_EQ(d.s.watches.of(lit(1)).capacity, 127u);
  const std::uint32_t untouched = d.s.watches.of(lit(300)).capacity;
  d.s.params.clauseActivityInc = 1.0;
  d.s.reduceLearnedClauses();
  ASSERT_EQ(d.s.learnedClauses.size(), 11u);
  const quelt::util::WatchVector& w1 = d.s.watches.of(lit(1));
  EXPECT_EQ(w1.size, 10u);
  EXPECT_EQ(w1.capacity, 21u);
  for (std::uint32_t k = 0; k < w1.size; ++k) EXPECT_EQ((*w1.data[k])[2], lit(static_cast<int>(93 + k)));
  EXPECT_EQ(d.s.watches.of(lit(300)).capacity, untouched);
  EXPECT_TRUE(d.kept(other));
  EXPECT_TRUE(watchesConsistent(d.s));
}

TEST(SolverReduction, BinaryClausesAreNeverDeleted) {
  for (unsigned mode : {0u, 1u, 2u, 5u}) {
    Db d(40, mode);
    std::vector<Clause*> binaries;
    for (int i = 0; i < 4; ++i) {
      binaries.push_back(d.learn({2 * i + 1, 2 * i + 2}, 0.0f));
      d.learn(ternary(4 + i), 0.0f);
    }
    d.s.reduceLearnedClauses();
    EXPECT_EQ(d.s.learnedClauses.size(), 4u) << "mode " << mode;
    for (Clause* b : binaries) EXPECT_TRUE(d.kept(b)) << "mode " << mode;
    EXPECT_TRUE(watchesConsistent(d.s));
  }
}

TEST(SolverReduction, ALockedClauseStaysUntilItsLiteralIsUnassigned) {
  Db d(40);
  Clause* locked = d.learn({1, 2, 3}, 0.0f);
  for (int i = 1; i < 6; ++i) d.learn(ternary(i), 0.0f);
  d.s.trail.levelStarts.push_back(0);
  d.s.assign(lit(-2), nullptr);
  d.s.assign(lit(-3), nullptr);
  d.s.assign(lit(1), locked);
  d.s.reduceLearnedClauses();
  EXPECT_EQ(d.s.learnedClauses, std::vector<Clause*>{locked});
  d.s.backtrack(0);
  d.s.reduceLearnedClauses();  // alone in the second half, activity 0 < 1
  EXPECT_TRUE(d.s.learnedClauses.empty());
  EXPECT_TRUE(watchesConsistent(d.s));
}

TEST(SolverReduction, SizeOrderPutsBinaryClausesLast) {
  // Four long clauses with high activity and four binary ones with none.
  // By activity the binary clauses fill the first half and every long one
  // survives; with binary clauses last, the long ones are the first half.
  for (unsigned mode : {0u, 1u}) {
    Db d(40, mode);
    for (int i = 0; i < 4; ++i) {
      d.learn({2 * i + 1, 2 * i + 2}, 0.0f);
      d.learn(ternary(4 + i), static_cast<float>(5 + i));
    }
    d.s.reduceLearnedClauses();
    const std::size_t longOnes = static_cast<std::size_t>(std::count_if(
        d.s.learnedClauses.begin(), d.s.learnedClauses.end(), [](const Clause* c) { return c->size > 2; }));
    EXPECT_EQ(longOnes, mode == 0 ? 4u : 0u) << "mode " << mode;
    EXPECT_EQ(d.s.learnedClauses.size() - longOnes, 4u);
  }
}

TEST(SolverReduction, ActivityPerLiteralOrder) {
  // Mode 2 deletes by (1 + activity) / size: a long active clause can go
  // before a short, less active one.
  Db d(40, 2);
  Clause* longActive = d.learn({1, 2, 3, 4, 5, 6, 7, 8, 9}, 3.5f);  // 0.5 per literal
  Clause* shortIdle = d.learn({10, 11, 12}, 1.0f);                  // 0.67
  Clause* mid = d.learn({13, 14, 15, 16}, 2.0f);                    // 0.75
  Clause* best = d.learn({17, 18, 19}, 8.0f);                       // 3
  d.s.params.clauseActivityInc = 1.0;                               // threshold 0.25
  d.s.reduceLearnedClauses();
  EXPECT_FALSE(d.kept(longActive));
  EXPECT_FALSE(d.kept(shortIdle));
  EXPECT_TRUE(d.kept(mid));
  EXPECT_TRUE(d.kept(best));
}

TEST(SolverReduction, UnknownOrderKeepsTheDatabaseOrder) {
  Db d(40, 5);
  std::vector<Clause*> cs;
  for (int i = 0; i < 6; ++i) cs.push_back(d.learn(ternary(i), static_cast<float>(10 - i)));
  d.s.reduceLearnedClauses();
  EXPECT_EQ(d.s.learnedClauses, (std::vector<Clause*>{cs[3], cs[4], cs[5]}));
}

TEST(SolverReduction, SingleClauseGoesOnlyBelowTheIncrement) {
  for (float act : {0.5f, 1.0f}) {
    Db d(40);
    d.learn(ternary(0), act);
    d.s.reduceLearnedClauses();
    EXPECT_EQ(d.s.learnedClauses.size(), act < 1.0f ? 0u : 1u) << act;
  }
  Db empty(3);
  empty.s.reduceLearnedClauses();
  EXPECT_TRUE(empty.s.learnedClauses.empty());
}

// ---- Strengthening and clean-up ------------------------------------------------

TEST(SolverStrengthen, FalseWatchedLiteralIsRemovedAndTheClauseRewatched) {
  Db d(3);
  Clause* c = d.add({1, 2, 3});
  d.add({-1});  // false at level 0, not yet propagated
  EXPECT_FALSE(d.s.strengthen(*c));
  EXPECT_EQ(dimacsOf(*c), (std::vector<int>{2, 3}));
  EXPECT_TRUE(watchesConsistent(d.s));
  EXPECT_EQ(d.s.vars[2].occur[1], 1);
  EXPECT_EQ(d.s.vars[3].occur[1], 1);
  EXPECT_EQ(d.s.vars[1].occur[0] + d.s.vars[1].occur[1], 0);
}

TEST(SolverStrengthen, FalseUnwatchedLiteralLeavesTheWatches) {
  Db d(4);
  Clause* c = d.add({1, 2, 3, 4});
  d.add({-3});
  const auto before1 = d.s.watches.of(lit(1)).size, before2 = d.s.watches.of(lit(2)).size;
  EXPECT_FALSE(d.s.strengthen(*c));
  EXPECT_EQ(dimacsOf(*c), (std::vector<int>{1, 2, 4}));
  EXPECT_EQ(d.s.watches.of(lit(1)).size, before1);
  EXPECT_EQ(d.s.watches.of(lit(2)).size, before2);
  EXPECT_TRUE(watchesConsistent(d.s));
}

TEST(SolverStrengthen, ClauseReducedToOneLiteralBecomesAFact) {
  Db d(2);
  d.add({1, 2});
  d.add({-1});
  const quelt::SearchStatistics before = d.s.stats;
  d.s.runClauseCleanup(d.s.clauses);
  EXPECT_TRUE(d.s.clauses.empty());
  EXPECT_TRUE(d.s.isTrue(lit(2)));
  EXPECT_EQ(d.s.vars[2].level, 0);
  EXPECT_EQ(d.s.stats.simplifyUnits, before.simplifyUnits + 1);
  EXPECT_TRUE(watchesConsistent(d.s));
}

TEST(SolverStrengthen, SatisfiedClauseIsDeletedAtItsFirstTrueLiteral) {
  Db d(3);
  d.add({1, 2, 3});
  d.add({-1});
  d.add({2});
  const quelt::SearchStatistics before = d.s.stats;
  d.s.runClauseCleanup(d.s.clauses);
  EXPECT_TRUE(d.s.clauses.empty());
  EXPECT_EQ(d.s.stats.simplifyUnits, before.simplifyUnits);
  EXPECT_TRUE(watchesConsistent(d.s));
}

TEST(SolverStrengthen, CleanupKeepsTheOrderOfTheSurvivors) {
  Db d(9);
  Clause* a = d.add({1, 2, 3});
  d.add({4, 5});  // satisfied
  Clause* b = d.add({6, 7, -4});
  d.add({-8, 9});  // becomes the fact 9
  Clause* c = d.add({1, 9, 6});
  d.add({4});
  d.add({8});
  d.s.runClauseCleanup(d.s.clauses);
  // c is satisfied by 9 only if 9 was assigned before it was visited: it was.
  EXPECT_EQ(d.s.clauses, (std::vector<Clause*>{a, b}));
  EXPECT_EQ(dimacsOf(*b), (std::vector<int>{6, 7}));
  (void)c;
  EXPECT_TRUE(watchesConsistent(d.s));
}

TEST(SolverStrengthen, RemovedClausesLeaveTheList) {
  // A removed learned clause is deleted; a removed original one only leaves
  // the list (its owner is the elimination record).
  Db d(6);
  Clause* orig = d.add({1, 2, 3});
  Clause* keep = d.add({4, 5, 6});
  Clause* learned = d.learn({-1, -2, -3}, 1.0f);
  for (Clause* c : {orig, learned}) {
    d.s.watches.dewatch(*c);
    c->setRemoved();
  }
  d.s.eliminatedClauses.push_back({orig});
  d.s.eliminatedVars.push_back(1);
  d.s.runClauseCleanup(d.s.clauses);
  d.s.runClauseCleanup(d.s.learnedClauses);
  EXPECT_EQ(d.s.clauses, std::vector<Clause*>{keep});
  EXPECT_TRUE(d.s.learnedClauses.empty());
  EXPECT_EQ(d.s.eliminatedClauses[0], std::vector<Clause*>{orig});
  EXPECT_TRUE(watchesConsistent(d.s));
}

// Level-0 facts that were put on the trail as already propagated, so that
// only the clean-up sees them: (1 v 3) and (2 v 3) then yield the units 1
// and 2 in the same pass, and a later clause (-1 v -2) loses every literal.
struct EmptiedInCleanup : Db {
  Clause* first;
  Clause* second;
  Clause* victim;
  std::vector<Clause*> later;
  explicit EmptiedInCleanup(bool victimLearned) : Db(8) {
    first = learn({1, 3}, 1.0f);
    second = learn({2, 3}, 1.0f);
    if (victimLearned) {
      victim = learn({-1, -2}, 1.0f);
    } else {
      victim = add({-1, -2});
    }
    later.push_back(add({4, 5, 6}));
    later.push_back(add({-4, 7, 8}));
    s.assign(lit(-3), nullptr);
    s.trail.propagationHead = static_cast<std::uint32_t>(s.trail.lits.size());
    s.newUnitsMask = 1;
  }
};

TEST(SolverSimplify, ClauseEmptiedDuringCleanupMakesSimplifyFail) {
  EmptiedInCleanup e(false);
  EXPECT_FALSE(e.s.simplify());
  EXPECT_EQ(e.s.status, Solver::Unsatisfiable);
  EXPECT_EQ(e.s.stats.simplificationRounds, 1u);
  EXPECT_NE(e.s.newUnitsMask, 0u) << "a failed round leaves the mask";
  EXPECT_TRUE(e.s.learnedClauses.empty()) << "both learned clauses became units";
  EXPECT_TRUE(e.s.clauses.empty()) << "the clauses after the empty one are dropped";
  EXPECT_TRUE(watchesConsistent(e.s));
}

TEST(SolverSimplify, ClauseEmptiedDuringCleanupEndsTheSearch) {
  EmptiedInCleanup e(false);
  std::srand(1851696952u);
  EXPECT_EQ(e.s.solve(false), Solver::Unsatisfiable);
  e.s.clearAssumed();
  EXPECT_EQ(e.s.status, Solver::Unsatisfiable) << "a refutation of the clauses themselves";
}

// When a learned clause loses every literal, the status is Unsatisfiable
// before the original clauses are cleaned: that list is dropped, and its
// clauses must be detached and freed with it (the sanitizer build reports
// a leak otherwise).
TEST(SolverSimplify, ClauseListDroppedAfterALearnedClauseIsEmptiedIsReleased) {
  EmptiedInCleanup e(true);
  EXPECT_FALSE(e.s.simplify());
  EXPECT_EQ(e.s.status, Solver::Unsatisfiable);
  EXPECT_TRUE(e.s.clauses.empty());
  EXPECT_TRUE(watchesConsistent(e.s));
}

TEST(SolverSimplify, WithoutALearnedUnitOnlyPropagates) {
  Db d(4);
  d.add({1, 2, 3});
  d.add({-1, 4});
  d.add({1});
  EXPECT_TRUE(d.s.simplify());
  EXPECT_EQ(d.s.stats.simplificationRounds, 0u);
  EXPECT_TRUE(d.s.isTrue(lit(4)));
  EXPECT_EQ(d.s.clauses.size(), 2u) << "satisfied clauses stay until a round runs";
  for (unsigned v = 1; v <= 4; ++v) EXPECT_EQ(d.s.vars[v].occur[0] + d.s.vars[v].occur[1], 0);
}

TEST(SolverSimplify, BudgetDelaysTheRoundUntilEnoughPropagation) {
  Db d(8);
  d.add({1, 2, 3});
  d.add({-1, 4});
  d.add({5, 6, 7});
  d.s.newUnitsMask = 1;
  d.s.stats.simplifyBudget = 5;
  d.add({1});  // propagates 1 and 4: two literals
  EXPECT_TRUE(d.s.simplify());
  EXPECT_EQ(d.s.stats.simplificationRounds, 0u);
  EXPECT_EQ(d.s.stats.simplifyBudget, 3);
  d.add({-5});
  d.add({8});
  d.add({-2});
  EXPECT_TRUE(d.s.simplify());  // three more: the budget reaches 0
  EXPECT_EQ(d.s.stats.simplificationRounds, 1u);
  EXPECT_EQ(d.s.newUnitsMask, 0u);
  // The next budget is the literal total of both clause lists, less what
  // the round's last propagation took: the three pure literals below.
  EXPECT_EQ(d.s.stats.simplifyBudget,
            static_cast<std::int32_t>(d.s.stats.originalLiterals + d.s.stats.learnedLiterals) - 3);
  // (1 2 3) and (-1 4) are satisfied; (5 6 7) lost 5.
  ASSERT_EQ(d.s.clauses.size(), 1u);
  EXPECT_EQ(dimacsOf(*d.s.clauses[0]), (std::vector<int>{6, 7}));
  EXPECT_EQ(d.s.vars[6].occur[1], 1);
  EXPECT_TRUE(watchesConsistent(d.s));
  // The pure literal rule ran after the clean-up: 6 and 7 occur only
  // positively and are set true; the variables in no clause were set true
  // as well if still free.
  EXPECT_TRUE(d.s.isTrue(lit(6)));
  EXPECT_TRUE(d.s.isTrue(lit(7)));
  EXPECT_TRUE(d.s.isTrue(lit(3)));
}

}  // namespace
}  // namespace quelt_test
