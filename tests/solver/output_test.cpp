// What the solver writes: result lines, the model line, the DIMACS dumps of
// its state, and the diagnostics of the model self-check, which end the
// process with status 1.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/cnf_gen.hpp"
#include "support/solver_checks.hpp"

namespace quelt_test {
namespace {

using quelt::Solver;

std::string resultLines(const Solver& s) {
  std::ostringstream os;
  os << s;
  return os.str();
}

std::string modelLine(const Solver& s) {
  std::ostringstream os;
  s.dumpModel(os);
  return os.str();
}

std::string pLine(const Solver& s) {
  std::ostringstream os;
  s.dumpPLine(os);
  return os.str();
}

std::string clauseLines(const Solver& s) {
  std::ostringstream os;
  s.dumpClauses(os);
  return os.str();
}

TEST(SolverOutput, ResultLinesForEveryStatus) {
  const struct {
    std::uint32_t status;
    const char* text;
  } table[] = {
      {Solver::Satisfiable, "s SATISFIABLE"},
      {Solver::Unsatisfiable, "s UNSATISFIABLE"},
      {Solver::LimitsExceeded, "c LIMITS EXCEEDED\ns UNKNOWN"},
      {Solver::Unknown, "s UNKNOWN"},
      {Solver::Timeout, "c TIMEOUT\ns UNKNOWN"},
      {5, ""},
      {0xFFFFFFFFu, ""},
  };
  for (const auto& row : table) {
    Solver s;
    s.status = row.status;
    EXPECT_EQ(resultLines(s), row.text) << "status " << row.status;
  }
  Solver fresh;
  EXPECT_EQ(resultLines(fresh), "s UNKNOWN");
}

TEST(SolverOutput, ModelLineOnlyWhenSatisfiable) {
  Solver s;
  s.createVar(3, quelt::dpinterface::ProblemVar, 0, 0);
  s.model = lits({1, -2, 3});
  for (std::uint32_t status : {1u, 2u, 3u, 4u, 7u}) {
    s.status = status;
    EXPECT_EQ(modelLine(s), "") << "status " << status;
  }
  s.status = Solver::Satisfiable;
  EXPECT_EQ(modelLine(s), "v 1 -2 3 0\n");
  s.model.clear();
  EXPECT_EQ(modelLine(s), "v 0\n");
}

TEST(SolverOutput, ModelLineOfASolveIsOneLineInVariableOrder) {
  // Units only, given out of order: the model is sorted by variable.
  Cnf f;
  f.numVars = 12;
  for (int v : {7, -3, 12, -1, 5, 2, -9, 10, -4, 6, -8, 11}) f.clauses.push_back({v});
  Solver s;
  load(s, f);
  std::srand(1851696952u);
  ASSERT_EQ(s.solve(false), Solver::Satisfiable);
  EXPECT_EQ(modelLine(s), "v -1 2 -3 -4 5 6 7 -8 -9 10 11 12 0\n");
  EXPECT_EQ(resultLines(s), "s SATISFIABLE");
}

TEST(SolverOutput, ProblemLineCountsStoredClausesAndTrailLiterals) {
  Solver empty;
  EXPECT_EQ(pLine(empty), "p cnf 0 0\n");

  Solver s;
  s.createVar(2, quelt::dpinterface::ProblemVar, 0, 0);
  auto clause = lits({1, 2});
  ASSERT_NE(s.addClause(clause, false).first, nullptr);
  auto unit = lits({-1});
  s.addClause(unit, false);
  EXPECT_EQ(s.trail.lits.size(), 1u);
  EXPECT_EQ(pLine(s), "p cnf 2 2\n");

  auto learned = lits({2, -1});
  ASSERT_NE(s.addClause(learned, true).first, nullptr);
  EXPECT_EQ(pLine(s), "p cnf 2 3\n");
}

TEST(SolverOutput, ClauseDumpListsOriginalThenLearnedClauses) {
  quelt::SearchParams p;
  p.clauseSortHeur = 19;  // keep every literal where it was put
  Solver s(p);
  s.createVar(5, quelt::dpinterface::ProblemVar, 0, 0);
  EXPECT_EQ(clauseLines(s), "");
  auto learned = lits({5, -1, 3});  // a learned clause keeps its order
  s.addClause(learned, true);
  auto a = lits({4, -2, 1});  // an original clause is sorted by variable
  s.addClause(a, false);
  auto b = lits({-5, 3});
  s.addClause(b, false);
  auto unit = lits({2});  // units are never stored
  s.addClause(unit, false);
  EXPECT_EQ(clauseLines(s), "1 -2 4 0\n3 -5 0\n5 -1 3 0\n");
  // Together with the problem line and the unit lines: one DIMACS formula.
  EXPECT_EQ(pLine(s), "p cnf 5 4\n");
}

// ---- The model self-check ------------------------------------------------

// Clauses (1 v -2) and (2 v 3 v -4) over four variables.
void loadSmall(Solver& s) {
  Cnf f;
  f.numVars = 4;
  f.clauses = {{1, -2}, {2, 3, -4}};
  load(s, f);
}

TEST(SolverVerifyModel, AcceptsACompleteSatisfyingModel) {
  Solver s;
  loadSmall(s);
  s.model = lits({1, 2, -3, -4});
  s.assume(lits({1, -4}));
  s.verifyModel();  // returns
  SUCCEED();
}

TEST(SolverVerifyModel, AcceptsTheEmptyModelWithoutVariables) {
  Solver s;
  s.verifyModel();
  SUCCEED();
}

using SolverVerifyModelDeathTest = ::testing::Test;

::testing::Matcher<const std::string&> exactly(const std::string& text) {
  return ::testing::Matcher<const std::string&>(text);
}

TEST_F(SolverVerifyModelDeathTest, EmptyModelWithVariables) {
  Solver s;
  loadSmall(s);
  EXPECT_EXIT(s.verifyModel(), ::testing::ExitedWithCode(1),
              exactly("c *** Error: Verify called with empty model ***\n"));
}

TEST_F(SolverVerifyModelDeathTest, IncompleteModelIsRejectedBeforeAnyClause) {
  Solver s;
  loadSmall(s);
  s.model = lits({-1, 2, 3});  // violates (1 v -2), but is too short first
  EXPECT_EXIT(s.verifyModel(), ::testing::ExitedWithCode(1), exactly("c *** Error: Incomplete model ***\n"));
}

TEST_F(SolverVerifyModelDeathTest, InvalidSolutionNamesTheFirstFalseClause) {
  Solver s;
  loadSmall(s);
  s.model = lits({-1, 2, -3, 4});  // both clauses false; the first is named
  EXPECT_EXIT(s.verifyModel(), ::testing::ExitedWithCode(1),
              exactly("c *** Error: Invalid solution detected ***\n1 -2 0\ns UNKNOWN\n"));
}

TEST_F(SolverVerifyModelDeathTest, InvalidSolutionInTheSecondClause) {
  Solver s;
  loadSmall(s);
  s.model = lits({1, -2, -3, 4});
  EXPECT_EXIT(s.verifyModel(), ::testing::ExitedWithCode(1),
              exactly("c *** Error: Invalid solution detected ***\n2 3 -4 0\ns UNKNOWN\n"));
}

TEST_F(SolverVerifyModelDeathTest, UnsatisfiedAssumption) {
  Solver s;
  loadSmall(s);
  s.model = lits({1, 2, 3, 4});
  s.assume(lits({2, -4, 1}));
  EXPECT_EXIT(s.verifyModel(), ::testing::ExitedWithCode(1),
              exactly("c *** Error: User assumption -4 unsatisfied! ***\ns UNKNOWN\n"));
}

TEST_F(SolverVerifyModelDeathTest, EmptyModelWithAssumptionsButNoVariables) {
  Solver s;
  s.assumptions = lits({1});
  EXPECT_EXIT(s.verifyModel(), ::testing::ExitedWithCode(1),
              exactly("c *** Error: Verify called with empty model ***\n"));
}

// Clauses removed with an eliminated variable must hold as well. Variable 1
// of (2 v 1) (-1 v 3) is eliminated; once the removed clauses have left the
// clause list, only the resolvent (2 v 3) is there, and -1 -2 3 satisfies
// it but not the eliminated (1 v 2), kept with the variable's literal first.
void eliminateFirstVariable(Solver& s) {
  Cnf f;
  f.numVars = 3;
  f.clauses = {{2, 1}, {-1, 3}};
  load(s, f);
  s.newUnitsMask = 1;  // let the next simplification round run
  ASSERT_TRUE(s.simplify());
  ASSERT_EQ(s.eliminatedVars, (std::vector<unsigned>{1}));
  s.clauses.erase(std::remove_if(s.clauses.begin(), s.clauses.end(), [](quelt::Clause* c) { return c->removed(); }),
                  s.clauses.end());
  ASSERT_EQ(s.clauses.size(), 1u);
  ASSERT_EQ(dimacsOf(*s.clauses[0]), (std::vector<int>{2, 3}));
}

quelt::SearchParams eliminating() {
  quelt::SearchParams p;
  p.resolution = 1;
  p.usePureLiteralRule = false;
  return p;
}

TEST(SolverVerifyModel, AcceptsAModelThatSatisfiesEliminatedClauses) {
  Solver s(eliminating());
  eliminateFirstVariable(s);
  s.model = lits({1, -2, 3});
  s.verifyModel();
  SUCCEED();
}

TEST_F(SolverVerifyModelDeathTest, EliminatedClausesAreChecked) {
  Solver s(eliminating());
  eliminateFirstVariable(s);
  s.model = lits({-1, -2, 3});
  EXPECT_EXIT(s.verifyModel(), ::testing::ExitedWithCode(1),
              exactly("c *** Error: Invalid solution detected ***\n1 2 0\ns UNKNOWN\n"));
}

}  // namespace
}  // namespace quelt_test
