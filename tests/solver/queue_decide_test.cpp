// The twenty variable orderings, the decision queue built on them, and the
// decision step with its phase rules and random draws.
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <vector>

#include "support/solver_checks.hpp"

namespace quelt_test {
namespace {

using quelt::Clause;
using quelt::Solver;

constexpr unsigned kSeed = 1851696952u;

// Four variables with distinguishing keys:
//   var  activity  occur(neg,pos)  sum prod asym  level  reason
//   1    2.0       (1,5)           6   5    4     3      size 2
//   2    1.0       (0,2)           2   0    2     1      size 3
//   3    2.0       (3,3)           6   9    0     -1     stale (a live clause of size 2)
//   4    NaN       (0,0)           0   0    0     2      none
struct Keyed {
  Solver s;
  Clause* two;
  Clause* three;
  Keyed() {
    s.createVar(6, quelt::dpinterface::ProblemVar, 0, 0);
    auto a = lits({5, 6});
    auto b = lits({-5, -6, 1});
    two = s.addClause(a, false).first;
    three = s.addClause(b, false).first;
    auto set = [this](unsigned v, double act, int neg, int pos, int level, Clause* reason) {
      auto& r = s.vars[v];
      r.activity = act;
      r.occur[0] = static_cast<std::uint16_t>(neg);
      r.occur[1] = static_cast<std::uint16_t>(pos);
      r.level = level;
      r.reason = reason;
    };
    set(1, 2.0, 1, 5, 3, two);
    set(2, 1.0, 0, 2, 1, three);
    set(3, 2.0, 3, 3, -1, two);
    set(4, std::numeric_limits<double>::quiet_NaN(), 0, 0, 2, nullptr);
  }
  ~Keyed() {
    for (unsigned v = 1; v <= 4; ++v) {
      s.vars[v].reason = nullptr;
      s.vars[v].level = -1;
    }
  }
};

struct OrderRow {
  unsigned mode;
  unsigned a, b;
  bool before;
};

TEST(SolverOrderings, EveryModeComparesAsSpecified) {
  const OrderRow table[] = {
      // 0, 1: activity only; NaN never comes first and nothing comes before it.
      {0, 1, 2, true}, {0, 2, 1, false}, {0, 1, 3, false}, {0, 3, 1, false}, {0, 4, 2, false}, {0, 2, 4, false},
      {1, 2, 1, true}, {1, 1, 2, false}, {1, 1, 3, false}, {1, 4, 2, false},
      // 2-7: activity first, then an occurrence measure on exact ties.
      {2, 1, 2, true}, {2, 2, 1, false}, {2, 1, 3, false}, {2, 3, 1, false}, {2, 4, 2, false}, {2, 2, 4, false},
      {3, 1, 2, true}, {3, 1, 3, false}, {3, 3, 1, false},
      {4, 1, 3, true}, {4, 3, 1, false}, {4, 2, 1, false},
      {5, 3, 1, true}, {5, 1, 3, false}, {5, 2, 3, false},
      {6, 3, 1, true}, {6, 1, 3, false},
      {7, 1, 3, true}, {7, 3, 1, false}, {7, 2, 1, false},
      // 8-13: occurrence measures alone.
      {8, 1, 2, true}, {8, 2, 1, false}, {8, 1, 3, false}, {8, 3, 1, false},
      {9, 2, 1, true}, {9, 1, 2, false}, {9, 4, 2, true},
      {10, 3, 1, true}, {10, 1, 2, true}, {10, 2, 4, false},
      {11, 2, 1, true}, {11, 1, 3, true}, {11, 2, 4, false},
      {12, 1, 2, true}, {12, 2, 3, true}, {12, 3, 4, false},
      {13, 3, 2, true}, {13, 2, 1, true}, {13, 4, 3, false},
      // 14, 15: decision level, -1 compared as a number.
      {14, 1, 2, true}, {14, 2, 3, true}, {14, 3, 2, false}, {14, 1, 1, false},
      {15, 3, 2, true}, {15, 2, 1, true}, {15, 1, 4, false},
      // 16, 17: index.
      {16, 1, 2, true}, {16, 2, 1, false}, {16, 3, 3, false},
      {17, 2, 1, true}, {17, 1, 2, false},
      // 18: shorter reason first; no reason counts as 0; an unassigned
      // variable has no reason whatever its record says.
      {18, 1, 2, true}, {18, 2, 1, false}, {18, 4, 1, true}, {18, 1, 4, false}, {18, 3, 1, true},
      {18, 1, 3, false}, {18, 3, 4, false}, {18, 4, 3, false}, {18, 3, 2, true},
      // 19 and above: nothing comes first.
      {19, 1, 2, false}, {19, 2, 1, false}, {20, 1, 2, false}, {25, 2, 1, false},
  };
  Keyed k;
  for (const OrderRow& row : table) {
    const Solver::VarComparator cmp{&k.s.vars, row.mode};
    EXPECT_EQ(cmp(row.a, row.b), row.before) << "mode " << row.mode << ": " << row.a << " before " << row.b;
    // The literal form ignores polarity.
    const Solver::LitComparator lcmp{&k.s.vars, row.mode};
    for (bool pa : {false, true})
      for (bool pb : {false, true})
        EXPECT_EQ(lcmp(quelt::Literal::make(row.a, pa), quelt::Literal::make(row.b, pb)), row.before)
            << "mode " << row.mode << " on literals of " << row.a << " and " << row.b;
  }
}

// After backtracking, a variable keeps the reason it had, and reduction may
// delete that clause. Mode 18 must not look at it (the sanitizer build
// reports any read of the freed clause).
TEST(SolverOrderings, DeletedReasonOfAnUnassignedVariableIsNeverRead) {
  quelt::SearchParams p;
  p.varDecHeur = 18;
  Solver s(p);
  s.createVar(5, quelt::dpinterface::ProblemVar, 0, 0);
  auto l = lits({3, 4, 5});
  Clause* gone = s.addClause(l, true).first;
  auto r = lits({1, 2});
  Clause* live = s.addClause(r, false).first;
  s.trail.levelStarts.push_back(0);
  s.assign(lit(-4), nullptr);
  s.assign(lit(-5), nullptr);
  s.assign(lit(3), gone);
  s.assign(lit(-2), nullptr);
  s.assign(lit(1), live);
  s.backtrack(0);
  gone->activity = 0.0f;
  s.reduceLearnedClauses();  // the stale reason of 3 is freed here
  ASSERT_TRUE(s.learnedClauses.empty());
  const Solver::VarComparator cmp{&s.vars, 18};
  for (unsigned a = 1; a <= 5; ++a)
    for (unsigned b = 1; b <= 5; ++b) EXPECT_FALSE(cmp(a, b)) << a << " before " << b;
  s.decisionQueue.updateAll();
  EXPECT_TRUE(queueConsistent(s, true));
}

// A solver with variables 1 .. n ordered by the given mode.
Solver& queued(Solver& s, unsigned n) {
  s.createVar(n, quelt::dpinterface::ProblemVar, 0, 0);
  return s;
}

quelt::SearchParams mode(unsigned m) {
  quelt::SearchParams p;
  p.varDecHeur = m;
  return p;
}

std::vector<unsigned> drain(Solver& s) {
  std::vector<unsigned> out;
  while (!s.decisionQueue.empty()) out.push_back(s.decisionQueue.removeBest());
  return out;
}

TEST(SolverDecisionQueue, RemoveBestOrderUnderStaticOrderings) {
  const struct {
    unsigned mode;
    std::vector<unsigned> order;
  } table[] = {
      {19, {1, 5, 4, 3, 2}},  // nothing ever moves
      {0, {1, 5, 4, 3, 2}},   // all activities equal: the same
      {2, {1, 5, 4, 3, 2}},
      {16, {1, 2, 3, 4, 5}},
      {17, {5, 4, 3, 2, 1}},
  };
  for (const auto& row : table) {
    Solver s(mode(row.mode));
    queued(s, 5);
    EXPECT_TRUE(queueConsistent(s, true));
    EXPECT_EQ(drain(s), row.order) << "mode " << row.mode;
    EXPECT_EQ(s.decisionQueue.heapIndex[1], -1);
  }
}

TEST(SolverDecisionQueue, ActivityOrderAfterUpdateAll) {
  Solver s(mode(0));
  queued(s, 7);
  const double act[] = {0, 3, 9, 1, 7, 5, 8, 2};
  for (unsigned v = 1; v <= 7; ++v) s.vars[v].activity = act[v];
  s.decisionQueue.updateAll();
  EXPECT_TRUE(queueConsistent(s, true));
  EXPECT_EQ(drain(s), (std::vector<unsigned>{2, 6, 4, 5, 1, 7, 3}));
}

TEST(SolverDecisionQueue, IncreaseMovesABumpedVariableUp) {
  Solver s(mode(0));
  queued(s, 6);
  s.incVariablePriority(s.vars[6]);
  EXPECT_EQ(s.decisionQueue.heap[0], 6u);
  s.incVariablePriority(s.vars[3]);
  s.incVariablePriority(s.vars[3]);
  EXPECT_EQ(s.decisionQueue.heap[0], 3u);
  EXPECT_TRUE(queueConsistent(s, true));
  EXPECT_EQ(drain(s)[0], 3u);
}

TEST(SolverDecisionQueue, RemoveTakesAVariableOut) {
  Solver s(mode(16));
  queued(s, 7);
  const std::vector<unsigned> before = s.decisionQueue.heap;
  s.decisionQueue.remove(7);  // the last slot: nothing else moves
  std::vector<unsigned> expected(before.begin(), before.end() - 1);
  EXPECT_EQ(s.decisionQueue.heap, expected);
  EXPECT_FALSE(s.decisionQueue.contains(7));
  s.decisionQueue.remove(7);  // not queued: no effect
  EXPECT_EQ(s.decisionQueue.heap, expected);
  s.decisionQueue.remove(1);  // the root
  s.decisionQueue.remove(4);
  EXPECT_TRUE(queueConsistent(s, true));
  EXPECT_EQ(drain(s), (std::vector<unsigned>{2, 3, 5, 6}));
  s.decisionQueue.insert(4);
  s.decisionQueue.remove(4);  // the single entry
  EXPECT_TRUE(s.decisionQueue.empty());
  EXPECT_EQ(s.decisionQueue.heapIndex[4], -1);
}

TEST(SolverDecisionQueue, OrderingIsFixedWhenTheSolverIsBuilt) {
  Solver byDefault;  // mode 2 from the default parameters
  byDefault.params.varDecHeur = 17;
  queued(byDefault, 5);
  EXPECT_EQ(byDefault.decisionQueue.cmp.heuristic, 2u);
  EXPECT_EQ(drain(byDefault), (std::vector<unsigned>{1, 5, 4, 3, 2}));

  Solver fromParams(mode(17));
  queued(fromParams, 5);
  EXPECT_EQ(drain(fromParams), (std::vector<unsigned>{5, 4, 3, 2, 1}));
}

// ---- Decisions ---------------------------------------------------------------

quelt::SearchParams noRandom(unsigned phase) {
  quelt::SearchParams p;
  p.varDecHeur = 16;
  p.phaseDecHeur = phase;
  p.randVarDecFreq = 0.0;
  p.randPhaseDecFreq = 0.0;
  return p;
}

TEST(SolverDecision, FirstDecisionIsTheFirstVariableAndFalse) {
  Solver s(noRandom(3));
  queued(s, 4);
  quelt::Literal d;
  std::srand(kSeed);
  ASSERT_TRUE(s.pickDecision(d));
  EXPECT_EQ(d, lit(-1)) << "occurrence counts are all 0 before simplification";
  EXPECT_EQ(s.stats.decisions, 1u);
  EXPECT_EQ(s.stats.randomDecisions, 0u);
  EXPECT_EQ(s.stats.randomPolarityDecisions, 0u);
}

TEST(SolverDecision, EachDecisionDrawsTwoRandomNumbers) {
  // One draw for the random-variable test and one for the random-phase
  // test, even when both frequencies are 0.
  Solver s(noRandom(0));
  queued(s, 4);
  std::srand(kSeed);
  quelt::Literal d;
  ASSERT_TRUE(s.pickDecision(d));
  const int next = std::rand();
  std::srand(kSeed);
  std::rand();
  std::rand();
  EXPECT_EQ(std::rand(), next);
}

TEST(SolverDecision, AssignedVariablesAreDroppedFromTheQueue) {
  Solver s(noRandom(1));
  queued(s, 5);
  s.vars[1].level = 0;
  s.vars[2].level = 0;
  quelt::Literal d;
  ASSERT_TRUE(s.pickDecision(d));
  EXPECT_EQ(d, lit(3));
  EXPECT_FALSE(s.decisionQueue.contains(1));
  EXPECT_FALSE(s.decisionQueue.contains(2));
  EXPECT_FALSE(s.decisionQueue.contains(3));
  EXPECT_TRUE(s.decisionQueue.contains(4));
  s.vars[1].level = s.vars[2].level = -1;
}

TEST(SolverDecision, NoUnassignedVariableStillCountsADecision) {
  quelt::SearchParams p = noRandom(2);  // random phase: counted even here
  Solver s(p);
  queued(s, 3);
  for (unsigned v = 1; v <= 3; ++v) s.vars[v].level = 0;
  quelt::Literal d;
  std::srand(kSeed);
  EXPECT_FALSE(s.pickDecision(d));
  EXPECT_EQ(s.stats.decisions, 1u);
  EXPECT_EQ(s.stats.randomPolarityDecisions, 1u);
  EXPECT_TRUE(s.decisionQueue.empty());
  EXPECT_FALSE(s.pickDecision(d));
  EXPECT_EQ(s.stats.decisions, 2u);
  for (unsigned v = 1; v <= 3; ++v) s.vars[v].level = -1;
}

TEST(SolverDecision, RandomVariableStaysQueuedAndAnAssignedPickFallsBack) {
  quelt::SearchParams p = noRandom(1);
  p.randVarDecFreq = 1.0;
  int random = 0, fallback = 0;
  for (unsigned seed = 1; seed <= 40; ++seed) {
    Solver s(p);
    queued(s, 4);
    s.vars[1].level = 0;  // two of four assigned
    s.vars[3].level = 0;
    std::srand(seed);
    quelt::Literal d;
    ASSERT_TRUE(s.pickDecision(d));
    EXPECT_TRUE(d == lit(2) || d == lit(4)) << d;
    if (s.stats.randomDecisions == 1) {
      ++random;
      EXPECT_TRUE(s.decisionQueue.contains(d.var())) << "a random pick stays in the queue";
      EXPECT_EQ(s.decisionQueue.heap.size(), 4u);
    } else {
      ++fallback;
      EXPECT_EQ(s.stats.randomDecisions, 0u);
      EXPECT_EQ(d, lit(2)) << "the queue order after an assigned random pick";
    }
    s.vars[1].level = s.vars[3].level = -1;
  }
  EXPECT_GT(random, 0);
  EXPECT_GT(fallback, 0);
}

TEST(SolverDecision, PhaseRules) {
  // Variable 1: the negative literal occurs 3 times, the positive once;
  // two clauses watch the positive literal, one the negative. Variable 2:
  // equal counts everywhere.
  const struct {
    unsigned mode;
    bool positive1, positive2;
  } table[] = {
      {0, false, false}, {1, true, true},   {3, true, false},  {4, false, false},
      {5, true, false},  {6, false, false}, {7, false, false}, {99, false, false},
  };
  for (const auto& row : table) {
    Solver s(noRandom(row.mode));
    s.createVar(6, quelt::dpinterface::ProblemVar, 0, 0);
    for (auto c : {lits({1, 3}), lits({1, 4}), lits({-1, 5}), lits({2, 6}), lits({-2, 3})}) s.addClause(c, false);
    s.vars[1].occur[0] = 3;
    s.vars[1].occur[1] = 1;
    s.vars[2].occur[0] = 2;
    s.vars[2].occur[1] = 2;
    std::srand(kSeed);
    EXPECT_EQ(s.choosePhase(1), quelt::Literal::make(1, row.positive1)) << "mode " << row.mode;
    EXPECT_EQ(s.choosePhase(2), quelt::Literal::make(2, row.positive2)) << "mode " << row.mode;
    EXPECT_EQ(s.stats.randomPolarityDecisions, 0u);
  }
}

TEST(SolverDecision, RandomPhasesAreCountedAndUseBothPolarities) {
  for (bool viaFrequency : {true, false}) {
    quelt::SearchParams p = noRandom(viaFrequency ? 0 : 2);
    if (viaFrequency) p.randPhaseDecFreq = 1.0;
    Solver s(p);
    s.createVar(1, quelt::dpinterface::ProblemVar, 0, 0);
    std::srand(kSeed);
    int positive = 0;
    for (int i = 0; i < 64; ++i) positive += s.choosePhase(1).positive() ? 1 : 0;
    EXPECT_EQ(s.stats.randomPolarityDecisions, 64u);
    EXPECT_GT(positive, 8);
    EXPECT_LT(positive, 56);
  }
}

}  // namespace
}  // namespace quelt_test
