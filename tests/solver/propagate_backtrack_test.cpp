// Unit propagation over watched literals, and backtracking, on small
// hand-made states: which literals are implied with which reason, where
// watches move, what a conflict leaves behind, which counters move, and
// how the trail, its level marks and the decision queue are restored.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/solver_checks.hpp"

namespace quelt_test {
namespace {

using quelt::Clause;
using quelt::Solver;

// A solver with variables 1 .. n whose clause literals stay where they are
// put (sorted by variable for original clauses, as given for learned ones).
struct Fixture {
  quelt::SearchParams params;
  Solver s;
  explicit Fixture(unsigned n, unsigned varDecHeur = 16)
      : params([varDecHeur] {
          quelt::SearchParams p;
          p.clauseSortHeur = 19;
          p.varDecHeur = varDecHeur;
          return p;
        }()),
        s(params) {
    s.createVar(n, quelt::dpinterface::ProblemVar, 0, 0);
  }
  Clause* add(std::initializer_list<int> c) {
    auto l = lits(c);
    return s.addClause(l, false).first;
  }
  Clause* learn(std::initializer_list<int> c) {
    auto l = lits(c);
    return s.addClause(l, true).first;
  }
  // Opens a new decision level and assigns l there, without propagating.
  void decide(int l) {
    s.trail.levelStarts.push_back(static_cast<unsigned>(s.trail.lits.size()));
    s.assign(lit(l), nullptr);
  }
  const quelt::util::WatchVector& watchers(int l) { return s.watches.of(lit(l)); }
  std::vector<Clause*> watchList(int l) {
    const auto& w = watchers(l);
    return std::vector<Clause*>(w.data, w.data + w.size);
  }
};

TEST(SolverPropagation, EmptyQueueOnlyCountsTheCall) {
  Fixture f(3);
  f.add({1, 2, 3});
  const quelt::SearchStatistics before = f.s.stats;
  EXPECT_EQ(f.s.bcp(), nullptr);
  EXPECT_EQ(f.s.stats.bcpCalls, before.bcpCalls + 1);
  EXPECT_EQ(f.s.stats.bcPropagations, before.bcPropagations);
  EXPECT_EQ(f.s.stats.simplifyBudget, before.simplifyBudget);
  EXPECT_TRUE(f.s.trail.lits.empty());
}

TEST(SolverPropagation, LiteralWithoutWatchersStillCounts) {
  Fixture f(3);
  f.add({1, 2});
  f.decide(3);  // nobody watches -3
  EXPECT_EQ(f.s.bcp(), nullptr);
  EXPECT_EQ(f.s.trail.propagationHead, 1u);
  EXPECT_EQ(f.s.stats.bcPropagations, 1u);
  EXPECT_EQ(f.s.stats.simplifyBudget, -1);
}

TEST(SolverPropagation, BinaryClauseImpliesWithReasonAboveLevelZero) {
  Fixture f(2);
  Clause* c = f.add({1, 2});
  f.decide(-1);
  EXPECT_EQ(f.s.bcp(), nullptr);
  EXPECT_EQ(dimacsOf(f.s.trail.lits), (std::vector<int>{-1, 2}));
  EXPECT_EQ(f.s.vars[2].level, 1);
  EXPECT_EQ(f.s.vars[2].reason, c);
  EXPECT_EQ(dimacsOf(*c), (std::vector<int>{2, 1})) << "the implied literal comes first";
  EXPECT_EQ(f.watchList(1), std::vector<Clause*>{c}) << "a binary clause keeps its watch";
  EXPECT_EQ(f.watchList(2), std::vector<Clause*>{c});
  EXPECT_EQ(f.s.trail.propagationHead, 2u);
  EXPECT_EQ(f.s.stats.bcPropagations, 2u);
  EXPECT_TRUE(trailConsistent(f.s));
  EXPECT_TRUE(watchesConsistent(f.s));
}

TEST(SolverPropagation, BinaryClauseImpliesWithoutReasonAtLevelZero) {
  Fixture f(2);
  Clause* c = f.add({1, 2});
  f.add({-1});
  EXPECT_EQ(f.s.bcp(), nullptr);
  EXPECT_EQ(dimacsOf(f.s.trail.lits), (std::vector<int>{-1, 2}));
  EXPECT_EQ(f.s.vars[2].level, 0);
  EXPECT_EQ(f.s.vars[2].reason, nullptr);
  EXPECT_EQ(f.watchList(1), std::vector<Clause*>{c});
}

TEST(SolverPropagation, WatchMovesToTheFirstLiteralThatIsNotFalse) {
  // (a b c d) watched on a and b; c false; a made false while b and d are
  // unassigned: the clause moves to d's list as (b d c a).
  Fixture f(4);
  Clause* c = f.add({1, 2, 3, 4});
  f.add({-3});
  ASSERT_EQ(f.s.bcp(), nullptr);
  f.decide(-1);
  EXPECT_EQ(f.s.bcp(), nullptr);
  EXPECT_EQ(dimacsOf(*c), (std::vector<int>{2, 4, 3, 1}));
  EXPECT_TRUE(f.watchList(1).empty());
  EXPECT_EQ(f.watchList(4), std::vector<Clause*>{c});
  EXPECT_EQ(f.watchList(2), std::vector<Clause*>{c});
  EXPECT_EQ(f.s.vars[2].level, -1) << "nothing implied";
  EXPECT_EQ(f.s.vars[4].level, -1);
  EXPECT_TRUE(watchesConsistent(f.s));
}

TEST(SolverPropagation, TrueOtherWatchKeepsTheClauseUntouched) {
  Fixture f(4);
  Clause* c = f.add({1, 2, 3, 4});
  f.decide(2);
  f.decide(-1);
  EXPECT_EQ(f.s.bcp(), nullptr);
  EXPECT_EQ(dimacsOf(*c), (std::vector<int>{2, 1, 3, 4}));
  EXPECT_EQ(f.watchList(1), std::vector<Clause*>{c});
}

TEST(SolverPropagation, MovedWatchersAreAppendedAndStayersKeepTheirOrder) {
  Fixture f(8);
  Clause* stay1 = f.add({1, 2});           // unit: stays
  Clause* move1 = f.add({1, 3, 4});        // moves to 4
  Clause* stay2 = f.add({1, 5});           // unit: stays
  Clause* move2 = f.add({1, 6, 7});        // moves to 7
  Clause* other = f.add({4, 8});           // already in 4's list
  f.decide(-1);
  EXPECT_EQ(f.s.bcp(), nullptr);
  EXPECT_EQ(f.watchList(1), (std::vector<Clause*>{stay1, stay2}));
  EXPECT_EQ(f.watchList(4), (std::vector<Clause*>{other, move1}));
  EXPECT_EQ(f.watchList(7), std::vector<Clause*>{move2});
  // Implied in list order: 2 by stay1, then 5 by stay2.
  EXPECT_EQ(dimacsOf(f.s.trail.lits), (std::vector<int>{-1, 2, 5}));
  EXPECT_TRUE(watchesConsistent(f.s));
}

TEST(SolverPropagation, ConflictInTheMiddleOfAListKeepsEveryWatcher) {
  // The watch list of 1 holds four clauses; the second is the conflict
  // (1 v 2) with 2 false. The first implies 3 before the conflict; the
  // third and fourth are not visited. -2 stays unpropagated behind the head.
  Fixture f(7);
  Clause* first = f.add({1, 3});
  Clause* conflict = f.add({1, 2});
  Clause* third = f.add({1, 4, 5});
  Clause* fourth = f.add({1, 6, 7});
  f.decide(-1);
  f.s.assign(lit(-2), nullptr);
  const quelt::SearchStatistics before = f.s.stats;
  EXPECT_EQ(f.s.bcp(), conflict);
  EXPECT_EQ(f.watchList(1), (std::vector<Clause*>{first, conflict, third, fourth}));
  EXPECT_EQ(dimacsOf(*third), (std::vector<int>{1, 4, 5})) << "not visited after the conflict";
  EXPECT_EQ(dimacsOf(f.s.trail.lits), (std::vector<int>{-1, -2, 3}));
  EXPECT_EQ(f.s.vars[3].reason, first);
  EXPECT_EQ(f.s.trail.propagationHead, 1u);
  EXPECT_EQ(f.s.stats.bcPropagations, before.bcPropagations + 1);
  EXPECT_EQ(f.s.stats.simplifyBudget, before.simplifyBudget - 1);
  EXPECT_TRUE(watchesConsistent(f.s));
  for (quelt::Literal l : *conflict) EXPECT_TRUE(f.s.isFalse(l));
}

TEST(SolverPropagation, ChainOfImplicationsInTrailOrder) {
  // 1 -> 2 -> 3 -> 4 and 2 -> 5: every implied literal comes after the
  // literals of its reason, and the counters move by the literals taken.
  Fixture f(5);
  f.add({-1, 2});
  f.add({-2, 3});
  f.add({-3, 4});
  f.add({-2, 5});
  f.s.stats.simplifyBudget = 3;
  f.decide(1);
  EXPECT_EQ(f.s.bcp(), nullptr);
  EXPECT_EQ(dimacsOf(f.s.trail.lits), (std::vector<int>{1, 2, 3, 5, 4}));
  EXPECT_EQ(f.s.stats.bcPropagations, 5u);
  EXPECT_EQ(f.s.stats.simplifyBudget, -2);
  EXPECT_EQ(f.s.stats.bcpCalls, 1u);
  EXPECT_TRUE(trailConsistent(f.s));
}

// ---- Backtracking ----------------------------------------------------------

// Five decision levels over variables 1 .. 10: level d decides 2d - 1 and
// implies 2d through (-(2d - 1) v 2d).
struct FiveLevels : Fixture {
  FiveLevels() : Fixture(11) {
    for (int d = 1; d <= 5; ++d) add({-(2 * d - 1), 2 * d});
    add({11});  // one level-0 fact
    EXPECT_EQ(s.bcp(), nullptr);
    for (int d = 1; d <= 5; ++d) {
      // As the decision step does: pop the best variable (index order here),
      // dropping the ones already assigned.
      while (s.decisionQueue.removeBest() != static_cast<unsigned>(2 * d - 1)) {
      }
      decide(2 * d - 1);
      EXPECT_EQ(s.bcp(), nullptr);
    }
  }
};

TEST(SolverBacktrack, AtLevelZeroOnlySamplesTheCounters) {
  Fixture f(3);
  f.add({1});
  f.add({-1, 2});
  ASSERT_EQ(f.s.bcp(), nullptr);
  f.s.backtrack(0);
  EXPECT_EQ(dimacsOf(f.s.trail.lits), (std::vector<int>{1, 2}));
  EXPECT_EQ(f.s.stats.maxDecisionLevel, 0u);
  EXPECT_EQ(f.s.stats.maxLiteralsAssigned, 2u);
  EXPECT_EQ(f.s.stats.backtrackLevels, 0u);
}

TEST(SolverBacktrack, BackjumpUndoesHigherLevelsAndRequeues) {
  FiveLevels f;
  Solver& s = f.s;
  ASSERT_EQ(s.decisionLevel(), 5u);
  s.backtrack(2);
  EXPECT_EQ(s.decisionLevel(), 2u);
  EXPECT_EQ(dimacsOf(s.trail.lits), (std::vector<int>{11, 1, 2, 3, 4}));
  EXPECT_EQ(s.trail.propagationHead, 5u);
  EXPECT_EQ(s.stats.backtrackLevels, 3u);
  EXPECT_EQ(s.stats.maxDecisionLevel, 5u);
  EXPECT_EQ(s.stats.maxLiteralsAssigned, 11u);
  for (unsigned v = 5; v <= 10; ++v) {
    EXPECT_EQ(s.vars[v].level, -1);
    EXPECT_TRUE(s.decisionQueue.contains(v)) << v;
  }
  EXPECT_FALSE(s.decisionQueue.contains(1));
  EXPECT_FALSE(s.decisionQueue.contains(2));
  EXPECT_FALSE(s.decisionQueue.contains(3));
  EXPECT_TRUE(s.decisionQueue.contains(11)) << "assigned at level 0 but never popped";
  EXPECT_TRUE(queueConsistent(s, true));
  EXPECT_TRUE(trailConsistent(s));
  // Variable records keep their last value and reason.
  EXPECT_TRUE(s.vars[6].lit.positive());
  EXPECT_NE(s.vars[6].reason, nullptr);

  s.backtrack(0);
  EXPECT_EQ(dimacsOf(s.trail.lits), (std::vector<int>{11}));
  EXPECT_EQ(s.stats.backtrackLevels, 3u) << "a restart is not counted";
  EXPECT_TRUE(unassignedAreQueued(s));
  EXPECT_TRUE(queueConsistent(s, true));
}

TEST(SolverBacktrack, RestartFromLevelFiveAddsNoBacktrackLevels) {
  FiveLevels f;
  f.s.backtrack(0);
  EXPECT_EQ(f.s.stats.backtrackLevels, 0u);
  EXPECT_EQ(f.s.stats.maxDecisionLevel, 5u);
  EXPECT_EQ(f.s.decisionLevel(), 0u);
  EXPECT_EQ(f.s.trail.lits.size(), 1u);
  EXPECT_TRUE(unassignedAreQueued(f.s));
}

TEST(SolverBacktrack, TargetAtOrAboveTheCurrentLevelChangesNothing) {
  FiveLevels f;
  f.s.backtrack(5);
  f.s.backtrack(7);
  EXPECT_EQ(f.s.decisionLevel(), 5u);
  EXPECT_EQ(f.s.trail.lits.size(), 11u);
  EXPECT_EQ(f.s.stats.backtrackLevels, 0u);
}

TEST(SolverBacktrack, HeadBehindTheTrailEndsAtTheNewTrailSize) {
  Fixture f(6);
  f.add({1, 3});
  Clause* conflict = f.add({1, 2});
  f.decide(4);
  EXPECT_EQ(f.s.bcp(), nullptr);
  f.decide(-1);
  f.s.assign(lit(-2), nullptr);
  ASSERT_EQ(f.s.bcp(), conflict);
  ASSERT_EQ(f.s.trail.propagationHead, 2u);
  f.s.backtrack(1);
  EXPECT_EQ(dimacsOf(f.s.trail.lits), (std::vector<int>{4}));
  EXPECT_EQ(f.s.trail.propagationHead, 1u);
  EXPECT_EQ(f.s.stats.maxLiteralsAssigned, 2u) << "the head, not the trail size, is sampled";
}

TEST(SolverBacktrack, VariablesStillQueuedAreNotInsertedTwice) {
  FiveLevels f;  // 10 was implied while still queued
  ASSERT_TRUE(f.s.decisionQueue.contains(10));
  f.s.backtrack(1);
  EXPECT_TRUE(queueConsistent(f.s, true));
  EXPECT_EQ(f.s.decisionQueue.heap.size(), 9u);  // variables 3 .. 11
}

TEST(SolverBacktrack, EmptyLevelsAreUndoneWithoutTouchingLowerLevels) {
  // Level 1: decision 1 implying 2. Level 2: empty (an assumption that was
  // already true). Level 3: decision 3 implying 4. Level 4: empty.
  Fixture f(5);
  f.add({-1, 2});
  f.add({-3, 4});
  f.decide(1);
  ASSERT_EQ(f.s.bcp(), nullptr);
  f.s.trail.levelStarts.push_back(static_cast<unsigned>(f.s.trail.lits.size()));
  f.decide(3);
  ASSERT_EQ(f.s.bcp(), nullptr);
  f.s.trail.levelStarts.push_back(static_cast<unsigned>(f.s.trail.lits.size()));
  ASSERT_EQ(f.s.decisionLevel(), 4u);
  EXPECT_TRUE(trailConsistent(f.s));

  f.s.backtrack(3);  // only the empty level 4 goes
  EXPECT_EQ(f.s.decisionLevel(), 3u);
  EXPECT_EQ(dimacsOf(f.s.trail.lits), (std::vector<int>{1, 2, 3, 4}));

  f.s.backtrack(2);  // level 3 goes, the empty level 2 stays
  EXPECT_EQ(f.s.decisionLevel(), 2u);
  EXPECT_EQ(dimacsOf(f.s.trail.lits), (std::vector<int>{1, 2}));
  EXPECT_EQ(f.s.vars[3].level, -1);
  EXPECT_EQ(f.s.vars[1].level, 1);

  f.s.backtrack(1);  // the empty level 2 goes; level 1 is untouched
  EXPECT_EQ(f.s.decisionLevel(), 1u);
  EXPECT_EQ(dimacsOf(f.s.trail.lits), (std::vector<int>{1, 2}));
  EXPECT_EQ(f.s.vars[2].level, 1);
  EXPECT_TRUE(trailConsistent(f.s));
  EXPECT_TRUE(queueConsistent(f.s, true));
}

TEST(SolverBacktrack, JumpOverAnEmptyLevelInOneStep) {
  Fixture f(5);
  f.add({-1, 2});
  f.decide(1);
  ASSERT_EQ(f.s.bcp(), nullptr);
  f.s.trail.levelStarts.push_back(static_cast<unsigned>(f.s.trail.lits.size()));  // empty level 2
  f.decide(3);
  f.s.backtrack(1);
  EXPECT_EQ(f.s.decisionLevel(), 1u);
  EXPECT_EQ(dimacsOf(f.s.trail.lits), (std::vector<int>{1, 2}));
  EXPECT_EQ(f.s.stats.backtrackLevels, 2u);
  EXPECT_TRUE(f.s.decisionQueue.contains(3));
}

}  // namespace
}  // namespace quelt_test
