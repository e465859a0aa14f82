// The clause database: variable creation, clause insertion with its
// normalisation and counters, learned clauses, locking, reset and clear.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/cnf_gen.hpp"
#include "support/solver_checks.hpp"

namespace quelt_test {
namespace {

using quelt::Clause;
using quelt::Solver;

// Makes each literal of facts true at level 0 (queued, not propagated).
void setFacts(Solver& s, const std::vector<int>& facts) {
  for (int f : facts) {
    auto unit = lits({f});
    s.addClause(unit, false);
  }
}

struct AddCase {
  const char* name;
  std::vector<int> facts;     // level-0 literals set before the clause
  std::vector<int> input;     // the clause as given
  bool stored;                // a clause object is returned
  bool absorbed;              // second element of the result
  std::vector<int> result;    // the caller's vector afterwards (when stored or a unit)
  std::uint32_t status;       // status afterwards
  unsigned clauses, units, literals;  // growth of the three original-clause counters
  std::vector<int> trail;     // the trail afterwards
};

class SolverAddClause : public ::testing::TestWithParam<AddCase> {};

TEST_P(SolverAddClause, NormalisesStoresAndCounts) {
  const AddCase& c = GetParam();
  Solver s;
  s.createVar(6, quelt::dpinterface::ProblemVar, 0, 0);
  setFacts(s, c.facts);
  const quelt::SearchStatistics before = s.stats;
  std::vector<quelt::Literal> input = lits(c.input);
  const std::pair<Clause*, bool> r = s.addClause(input, false);
  EXPECT_EQ(r.first != nullptr, c.stored);
  EXPECT_EQ(r.second, c.absorbed);
  if (c.stored) {
    EXPECT_EQ(dimacsOf(input), c.result);
    EXPECT_EQ(dimacsOf(*r.first), c.result);
    ASSERT_EQ(s.clauses.size(), 1u);
    EXPECT_EQ(s.clauses[0], r.first);
    EXPECT_FALSE(r.first->learned());
    EXPECT_EQ(r.first->activity, 0.0f);
  } else {
    EXPECT_TRUE(s.clauses.empty());
  }
  EXPECT_EQ(s.status, c.status);
  EXPECT_EQ(s.stats.originalClauses - before.originalClauses, c.clauses);
  EXPECT_EQ(s.stats.originalUnitClauses - before.originalUnitClauses, c.units);
  EXPECT_EQ(s.stats.originalLiterals - before.originalLiterals, c.literals);
  EXPECT_EQ(dimacsOf(s.trail.lits), c.trail);
  EXPECT_EQ(s.trail.propagationHead, 0u) << "adding never propagates";
  for (quelt::Literal l : s.trail.lits) {
    EXPECT_EQ(s.vars[l.var()].level, 0);
    EXPECT_EQ(s.vars[l.var()].reason, nullptr);
  }
  EXPECT_TRUE(watchesConsistent(s));
}

const AddCase kAddCases[] = {
    {"Tautology", {}, {1, -1, 2}, false, true, {}, Solver::Unknown, 0, 0, 0, {}},
    {"TautologyAfterDuplicates", {}, {3, 2, 3, -2}, false, true, {}, Solver::Unknown, 0, 0, 0, {}},
    {"RepeatedLiteral", {}, {2, 2, -3}, true, false, {2, -3}, Solver::Unknown, 1, 0, 2, {}},
    {"SortedByVariable", {}, {5, -1, 3}, true, false, {-1, 3, 5}, Solver::Unknown, 1, 0, 3, {}},
    {"RepeatsAndOrder", {}, {-2, 1, -2, 3, 1}, true, false, {1, -2, 3}, Solver::Unknown, 1, 0, 3, {}},
    {"UnitAssignsAtLevelZero", {}, {4}, false, true, {4}, Solver::Unknown, 1, 1, 1, {4}},
    {"RepeatedUnit", {}, {-4, -4}, false, true, {-4}, Solver::Unknown, 1, 1, 1, {-4}},
    {"FalseUnitIsEmpty", {1}, {-1}, false, false, {}, Solver::Unsatisfiable, 0, 0, 0, {1}},
    {"EmptyClause", {}, {}, false, false, {}, Solver::Unsatisfiable, 0, 0, 0, {}},
    {"SatisfiedAtLevelZero", {1}, {1, 2}, false, true, {}, Solver::Unknown, 0, 0, 0, {1}},
    {"SatisfiedByLaterLiteral", {3}, {-1, 2, 3}, false, true, {}, Solver::Unknown, 0, 0, 0, {3}},
    {"FalseLiteralDropped", {-1}, {1, 2, 3}, true, false, {2, 3}, Solver::Unknown, 1, 0, 2, {-1}},
    {"FalseLiteralsLeaveAUnit", {-1, 3}, {1, 2, -3}, false, true, {2}, Solver::Unknown, 1, 1, 1, {-1, 3, 2}},
    {"AllFalse", {-1, -2}, {1, 2}, false, false, {}, Solver::Unsatisfiable, 0, 0, 0, {-1, -2}},
};

INSTANTIATE_TEST_SUITE_P(Cases, SolverAddClause, ::testing::ValuesIn(kAddCases),
                         [](const ::testing::TestParamInfo<AddCase>& info) { return std::string(info.param.name); });

TEST(SolverClauseDatabase, UnsatisfiableStatusSticksWhileClausesAreAdded) {
  Solver s;
  s.createVar(3, quelt::dpinterface::ProblemVar, 0, 0);
  std::vector<quelt::Literal> empty;
  EXPECT_EQ(s.addClause(empty, false), std::make_pair(static_cast<Clause*>(nullptr), false));
  EXPECT_EQ(s.status, Solver::Unsatisfiable);
  auto c = lits({1, 2});
  EXPECT_NE(s.addClause(c, false).first, nullptr);
  EXPECT_EQ(s.status, Solver::Unsatisfiable);
  s.reset();
  EXPECT_EQ(s.status, Solver::Unsatisfiable);
  std::srand(1851696952u);
  EXPECT_EQ(s.solve(false), Solver::Unsatisfiable);
  EXPECT_EQ(s.stats.restarts, 0u) << "an unsatisfiable solver does not search";
}

TEST(SolverClauseDatabase, AddingAClauseDiscardsASatisfiableStatus) {
  Solver s;
  s.createVar(2, quelt::dpinterface::ProblemVar, 0, 0);
  s.status = Solver::Satisfiable;
  auto c = lits({1, 2});
  s.addClause(c, false);
  EXPECT_EQ(s.status, Solver::Unknown);
  s.status = Solver::Timeout;
  auto d = lits({-1, 2});
  s.addClause(d, false);
  EXPECT_EQ(s.status, Solver::Unknown);
}

TEST(SolverClauseDatabase, LearnedClausesKeepTheirOrderAndAreCountedApart) {
  Solver s;
  s.createVar(5, quelt::dpinterface::ProblemVar, 0, 0);
  s.status = Solver::Satisfiable;  // learned clauses leave the status alone
  s.params.clauseActivityInc = 2.5;
  s.params.clauseSortHeur = 19;
  auto l = lits({5, -1, 3, 2});
  const auto r = s.addClause(l, true);
  ASSERT_NE(r.first, nullptr);
  EXPECT_FALSE(r.second);
  EXPECT_TRUE(r.first->learned());
  EXPECT_EQ(dimacsOf(*r.first), (std::vector<int>{5, -1, 3, 2}));
  EXPECT_EQ(r.first->activity, 2.5f);
  EXPECT_EQ(s.status, Solver::Satisfiable);
  EXPECT_EQ(s.learnedClauses, std::vector<Clause*>{r.first});
  EXPECT_TRUE(s.clauses.empty());
  EXPECT_EQ(s.stats.totalLearnedClauses, 1u);
  EXPECT_EQ(s.stats.learnedLiterals, 4u);
  EXPECT_EQ(s.stats.learnedUnitClauses, 0u);
  EXPECT_EQ(s.stats.originalClauses, 0u);
  EXPECT_TRUE(watchesConsistent(s));

  // A learned unit is assigned at the current level, with no reason.
  s.trail.levelStarts.push_back(0);
  s.trail.levelStarts.push_back(0);
  auto u = lits({-4});
  EXPECT_EQ(s.addClause(u, true), std::make_pair(static_cast<Clause*>(nullptr), true));
  EXPECT_EQ(s.vars[4].level, 2);
  EXPECT_EQ(s.vars[4].reason, nullptr);
  EXPECT_TRUE(s.isFalse(lit(4)));
  EXPECT_EQ(s.stats.totalLearnedClauses, 2u);
  EXPECT_EQ(s.stats.learnedUnitClauses, 1u);
  EXPECT_EQ(s.stats.learnedLiterals, 5u);
}

TEST(SolverClauseDatabase, LearnedActivityOverflowRescalesTheOthers) {
  Solver s;
  s.createVar(4, quelt::dpinterface::ProblemVar, 0, 0);
  auto a = lits({1, 2, 3});
  Clause* old = s.addClause(a, true).first;
  old->activity = 1e10f;
  auto o = lits({1, 4});
  Clause* original = s.addClause(o, false).first;
  s.params.clauseActivityInc = 2e20;
  auto b = lits({-1, -2, 4});
  Clause* fresh = s.addClause(b, true).first;
  EXPECT_FLOAT_EQ(fresh->activity, 2e20f) << "the new clause keeps its own activity";
  EXPECT_FLOAT_EQ(old->activity, 1e-10f);
  EXPECT_DOUBLE_EQ(s.params.clauseActivityInc, 2.0);
  EXPECT_EQ(original->activity, 0.0f);
}

TEST(SolverClauseDatabase, ClauseSortingMovesOnlyTheUnwatchedTail) {
  const struct {
    std::uint32_t mode;
    bool learned;
    std::vector<int> input, stored;
  } table[] = {
      {17, false, {1, 2, 3, 4, 5}, {1, 2, 5, 4, 3}},  // larger index first, after the watches
      {16, false, {5, 4, 3, 2, 1}, {1, 2, 3, 4, 5}},  // originals are sorted first anyway
      {19, false, {5, 3, 1, 4, 2}, {1, 2, 3, 4, 5}},
      {16, true, {5, 1, 4, 3, 2}, {5, 1, 2, 3, 4}},
      {17, true, {2, 5, 1, 3, 4}, {2, 5, 4, 3, 1}},
      {19, true, {5, 1, 4, 3, 2}, {5, 1, 4, 3, 2}},  // mode 19 keeps the given order
      {17, true, {1, 2, 3}, {1, 2, 3}},
      {17, true, {4, 5}, {4, 5}},
  };
  for (const auto& row : table) {
    quelt::SearchParams p;
    p.clauseSortHeur = row.mode;
    Solver s(p);
    s.createVar(5, quelt::dpinterface::ProblemVar, 0, 0);
    auto l = lits(row.input);
    Clause* c = s.addClause(l, row.learned).first;
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(dimacsOf(*c), row.stored) << "mode " << row.mode << " input " << ::testing::PrintToString(row.input);
    EXPECT_TRUE(watchesConsistent(s));
  }
}

TEST(SolverClauseDatabase, ClauseSortingUsesTheVariableOrdering) {
  // Mode 0: more active variables first among the unwatched literals.
  quelt::SearchParams p;
  p.clauseSortHeur = 0;
  Solver s(p);
  s.createVar(6, quelt::dpinterface::ProblemVar, 0, 0);
  s.vars[3].activity = 1.0;
  s.vars[4].activity = 5.0;
  s.vars[5].activity = 3.0;
  s.vars[6].activity = 4.0;
  auto l = lits({2, 1, 3, -5, 4, -6});
  Clause* c = s.addClause(l, true).first;
  EXPECT_EQ(dimacsOf(*c), (std::vector<int>{2, 1, 4, -6, -5, 3}));
}

TEST(SolverVariables, CreateVarBuildsRecordsListsAndQueue) {
  Solver s;
  s.createVar(5, quelt::dpinterface::ProblemVar, 0, 0);
  EXPECT_EQ(s.numVars, 6u);
  ASSERT_EQ(s.vars.size(), 6u);
  EXPECT_EQ(s.watches.numLists, 12u);
  EXPECT_EQ(s.occurrences.lists.size(), 12u);
  EXPECT_GE(s.decisionQueue.heapIndex.size(), 6u);
  EXPECT_FALSE(s.decisionQueue.contains(0));
  for (unsigned v = 1; v <= 5; ++v) {
    EXPECT_TRUE(s.decisionQueue.contains(v));
    const auto& r = s.vars[v];
    EXPECT_EQ(r.lit, quelt::Literal(v));
    EXPECT_EQ(r.level, -1);
    EXPECT_EQ(r.activity, 0.0);
    EXPECT_EQ(r.reason, nullptr);
    EXPECT_EQ(r.occur[0], 0);
    EXPECT_EQ(r.occur[1], 0);
    EXPECT_EQ(r.flags, quelt::dpinterface::ProblemVar);
  }
  EXPECT_EQ(s.decisionQueue.heap.size(), 5u);
  EXPECT_TRUE(queueConsistent(s, true));

  s.createVar(3, quelt::dpinterface::ProblemVar, 0, 0);
  EXPECT_EQ(s.numVars, 6u);
  EXPECT_EQ(s.decisionQueue.heap.size(), 5u);
  EXPECT_EQ(s.createNewVar(quelt::dpinterface::ProblemVar, 7, 9), 6u);
  EXPECT_EQ(s.numVars, 7u);
  EXPECT_EQ(s.vars[6].userByteA, 7);
  EXPECT_EQ(s.vars[6].userByteB, 9);
  EXPECT_EQ(s.watches.numLists, 14u);
  EXPECT_TRUE(s.decisionQueue.contains(6));
}

// A reader creates variables one at a time as larger indices appear; the
// tables must grow with them, not ahead of them without bound.
TEST(SolverVariables, VariablesCreatedOneByOneGrowEveryTable) {
  Solver s;
  CnfGenerator g(99u);
  for (unsigned v = 1; v <= 300; ++v) {
    s.createVar(v, quelt::dpinterface::ProblemVar, 0, 0);
    auto c = lits({static_cast<int>(v), -g.uniform(1, static_cast<int>(v))});
    s.addClause(c, false);
  }
  EXPECT_EQ(s.numVars, 301u);
  EXPECT_TRUE(watchesConsistent(s));
  EXPECT_TRUE(queueConsistent(s, false));
  EXPECT_TRUE(unassignedAreQueued(s));
}

TEST(SolverClauseDatabase, LockedMeansReasonOfTheCurrentValueOfLiteralZero) {
  Solver s;
  s.createVar(3, quelt::dpinterface::ProblemVar, 0, 0);
  auto l = lits({1, 2, 3});
  Clause* c = s.addClause(l, true).first;
  auto& r = s.vars[1];
  EXPECT_FALSE(s.isClauseLocked(*c)) << "unassigned";
  r.level = 1;
  r.lit = lit(1);
  r.reason = c;
  EXPECT_TRUE(s.isClauseLocked(*c));
  r.lit = lit(-1);
  EXPECT_FALSE(s.isClauseLocked(*c)) << "literal 0 false";
  r.lit = lit(1);
  r.reason = nullptr;
  EXPECT_FALSE(s.isClauseLocked(*c)) << "true, but for another reason";
  r.reason = c;
  r.level = -1;
  EXPECT_FALSE(s.isClauseLocked(*c)) << "stale reason of an unassigned variable";
  r.level = 0;
  EXPECT_TRUE(s.isClauseLocked(*c));
  r.reason = nullptr;
  r.level = -1;
}

TEST(SolverClauseDatabase, RemoveClauseDetachesIt) {
  Solver s;
  s.createVar(4, quelt::dpinterface::ProblemVar, 0, 0);
  auto a = lits({1, 2, 3});
  auto b = lits({-1, 2, 4});
  Clause* ca = s.addClause(a, false).first;
  Clause* cb = s.addClause(b, false).first;
  s.clauses.erase(s.clauses.begin());
  s.removeClause(ca);
  EXPECT_EQ(s.clauses, std::vector<Clause*>{cb});
  EXPECT_TRUE(watchesConsistent(s));
  EXPECT_EQ(s.watches.of(lit(2)).size, 1u);
  EXPECT_EQ(s.watches.of(lit(1)).size, 0u);
}

TEST(SolverClauseDatabase, ResetPreparesAnotherSolveOfTheSameProblem) {
  quelt::SearchParams p;
  p.firstRestart = 30;
  p.learnedSizeFactor = 0.5;
  Solver s(p);
  CnfGenerator g(12u);
  load(s, g.randomKSat(8, 3, 12));
  std::srand(1851696952u);
  ASSERT_EQ(s.solve(false), Solver::Satisfiable);
  s.restartLimit = 7;
  s.learnedLimit = 1;
  s.reset();
  EXPECT_TRUE(s.model.empty());
  EXPECT_EQ(s.status, Solver::Unknown);
  EXPECT_EQ(s.restartLimit, 30);
  EXPECT_EQ(s.learnedLimit, 6);  // 12 * 0.5
  EXPECT_EQ(s.trail.propagationHead, 0u);
  EXPECT_EQ(s.stats.originalClauses, 12u) << "counters are kept";
}

TEST(SolverClauseDatabase, ClearReturnsToTheEmptyStateWithThePresetParameters) {
  quelt::SearchParams p;
  p.setDefaultInc();
  p.firstRestart = 33;
  p.varDecHeur = 17;
  Solver s(p);
  CnfGenerator g(13u);
  load(s, CnfGenerator::pigeonHole(3));
  s.assume(lits({1}));
  std::srand(1851696952u);
  ASSERT_EQ(s.solve(false), Solver::Unsatisfiable);
  s.clear();
  EXPECT_TRUE(s.assumptions.empty());
  EXPECT_TRUE(s.model.empty());
  EXPECT_EQ(s.status, Solver::Unknown);
  EXPECT_TRUE(s.vars.empty());
  EXPECT_EQ(s.numVars, 0u);
  EXPECT_TRUE(s.clauses.empty());
  EXPECT_TRUE(s.learnedClauses.empty());
  EXPECT_TRUE(s.eliminatedClauses.empty());
  EXPECT_EQ(s.watches.numLists, 0u);
  EXPECT_TRUE(s.occurrences.lists.empty());
  EXPECT_TRUE(s.decisionQueue.heap.empty());
  EXPECT_TRUE(s.decisionQueue.heapIndex.empty());
  EXPECT_EQ(s.trail.lits.size(), 0u);
  EXPECT_EQ(s.trail.levelStarts, std::vector<unsigned>{0});
  EXPECT_TRUE(sameCounters(s.stats, quelt::SearchStatistics()));
  EXPECT_EQ(s.newUnitsMask, 0u);
  // The parameters of the last preset, not the individual changes.
  EXPECT_EQ(s.params.presetId, 1u);
  EXPECT_FALSE(s.params.usePureLiteralRule);
  EXPECT_EQ(s.params.firstRestart, 100u);
  EXPECT_EQ(s.restartLimit, 100);
  // The queue keeps the ordering it was built with.
  EXPECT_EQ(s.decisionQueue.cmp.heuristic, 17u);
  // And the solver is usable again.
  const Cnf f = g.randomKSat(10, 3, 20);
  load(s, f);
  std::srand(1851696952u);
  const bool sat = bruteForce(f).has_value();
  EXPECT_EQ(s.solve(false), sat ? Solver::Satisfiable : Solver::Unsatisfiable);
  EXPECT_TRUE(consistentAfterSolve(s, true));
}

}  // namespace
}  // namespace quelt_test
