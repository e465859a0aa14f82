// What verdicts alone do not show: the model self-check that guards every
// answer, recovery from a failed clause allocation, the time limit and the
// single-run mode, a solver used again after clear(), the text forms of the
// solver's state, simplification undone when the formula changes, and the
// facade's random seed and assumption input.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "app/Dimacs.hpp"
#include "support/cnf.hpp"

namespace {

using quelt::Literal;
using quelt::Solver;
using quelt_test::Cnf;
using quelt_test::CnfGenerator;

// A satisfiable formula on which, with resolution on, a learned unit starts a
// round of variable elimination: the model extension must then supply the
// values of three eliminated variables.
Cnf eliminable() { return CnfGenerator(11).randomKSat(40, 3, 150); }

struct Tampering {
  const char* name;
  void (*tamper)(Solver&);
  const char* message;
};

const Tampering kTamperings[] = {
    {"flipped value", [](Solver& s) { s.model[2] = ~s.model[2]; }, "Invalid solution detected \\*\\*\\*\n.* 0\ns UNKNOWN"},
    {"flipped eliminated value",
     [](Solver& s) { s.model[s.eliminatedVars.at(0) - 1] = ~s.model[s.eliminatedVars.at(0) - 1]; },
     "Invalid solution detected"},
    {"short model", [](Solver& s) { s.model.pop_back(); }, "^c \\*\\*\\* Error: Incomplete model \\*\\*\\*\n$"},
    {"empty model", [](Solver& s) { s.model.clear(); }, "^c \\*\\*\\* Error: Verify called with empty model \\*\\*\\*\n$"},
    {"false assumption", [](Solver& s) { s.assumptions.push_back(~s.model[0]); },
     "^c \\*\\*\\* Error: User assumption -?1 unsatisfied! \\*\\*\\*\ns UNKNOWN\n$"},
};

TEST(ModelCheck, EveryBrokenModelThrowsItsDiagnosis) {
  for (const Tampering& t : kTamperings) {
    SCOPED_TRACE(t.name);
    quelt::SearchParams p;
    p.resolution = 2, p.usePureLiteralRule = false;
    Solver s(p);
    quelt_test::load(s, eliminable());
    ASSERT_EQ(s.solve(false), Solver::Satisfiable);
    ASSERT_FALSE(s.eliminatedVars.empty());
    s.verifyModel();  // untouched, it passes
    t.tamper(s);
    try {
      s.verifyModel();
      ADD_FAILURE() << "no diagnosis";
    } catch (const quelt::ModelCheckFailure& e) {
      EXPECT_TRUE(std::regex_search(e.what(), std::regex(t.message))) << e.what();
    }
  }
}

TEST(Engine, FailedClauseAllocationsShrinkTheBudgetAndTheVerdictStands) {
  for (std::size_t length = 2; length < 12; ++length) {
    Solver s;
    quelt_test::load(s, CnfGenerator::pigeonHole(5));
    s.clauseArena.failNextAllocation(length);
    EXPECT_EQ(s.solve(false), Solver::Unsatisfiable) << length;
  }
}

TEST(Engine, TimeLimitAndSingleRunsLeaveASolvableSolver) {
  Solver s;
  quelt_test::load(s, CnfGenerator::pigeonHole(6));
  s.setTimeout(0);
  EXPECT_EQ(s.solve(false), Solver::Timeout);
  EXPECT_EQ(s.stats.bcpCalls, 0u);
  std::ostringstream os;
  os << s;
  EXPECT_EQ(os.str(), "c TIMEOUT\ns UNKNOWN");
  s.params.timeLimit = quelt::SearchParams::kNoTimeLimit;
  s.setTimeout(quelt::SearchParams::kNoTimeLimit);
  EXPECT_EQ(s.solve(true), Solver::LimitsExceeded);
  // Exactly one restart period, the second: the timed-out run used up the first.
  EXPECT_EQ(s.stats.conflicts, 150u);
  os.str("");
  os << s;
  EXPECT_EQ(os.str(), "c LIMITS EXCEEDED\ns UNKNOWN");
  EXPECT_EQ(s.solve(false), Solver::Unsatisfiable);
  os.str("");
  os << s;
  EXPECT_EQ(os.str(), "s UNSATISFIABLE");
}

// Every field of a parameter record, for exact comparison.
std::string record(const quelt::SearchParams& p) {
  std::ostringstream os;
  os << p.varDecHeur << ' ' << p.clauseSortHeur << ' ' << p.resOrderHeur << ' ' << p.clauseDelHeur << ' '
     << p.phaseDecHeur << ' ' << p.resolution << ' ' << p.variableDecay << ' ' << p.clauseDecay << ' '
     << p.restartInc << ' ' << p.learnedSizeFactor << ' ' << p.learnedClausesInc << ' ' << p.clauseActivityInc
     << ' ' << p.varActivityInc << ' ' << p.randPhaseDecFreq << ' ' << p.randVarDecFreq << ' '
     << p.randVarDecScaling << ' ' << p.randPhaseScaling << ' ' << p.maxResLitInc << ' ' << p.firstRestart << ' '
     << p.resCutoffCls << ' ' << p.resCutoffLits << ' ' << p.maxResRuns << ' ' << p.updateDecQueue << ' '
     << p.usePureLiteralRule << ' ' << p.timeLimit << ' ' << p.presetId;
  return os.str();
}

// clear() empties the solver and puts back the preset it was made with.
TEST(Engine, AClearedSolverRepeatsAFreshOne) {
  const Cnf f = CnfGenerator(42).threshold3Sat(150);
  auto run = [&f](Solver& s) {
    quelt_test::load(s, f);
    s.solve(false);
    return std::to_string(s.stats.conflicts) + " " + std::to_string(s.stats.decisions) + " " +
           std::to_string(s.stats.bcPropagations);
  };
  for (auto preset : {&quelt::SearchParams::setDefault, &quelt::SearchParams::setDefaultInc,
                      &quelt::SearchParams::setAutotunedKz_1_0, &quelt::SearchParams::setAutotunedKz_1_1,
                      &quelt::SearchParams::setSwVerification}) {
    quelt::SearchParams p;
    (p.*preset)();
    Solver fresh(p), reused(p);
    const std::string first = run(fresh);
    run(reused);
    reused.params.restartInc = 3, reused.params.varDecHeur = 17, reused.params.usePureLiteralRule ^= 1;
    reused.params.resolution = 1 - p.resolution % 2;
    reused.clear();
    EXPECT_EQ(record(reused.params), record(p));
    EXPECT_EQ(run(reused), first) << p.presetId;
  }
}

TEST(Engine, StateDumpsAndStatisticsOfAFormula) {
  Solver s;
  quelt_test::load(s, Cnf{"small", 4, {{1, 2, 2}, {-1, 3}, {2}, {3, -3}, {1, -4, 3, 2}}});
  std::ostringstream os;
  s.dumpPLine(os);
  s.dumpClauses(os);
  // Stored: "1 2" without its repeated literal; the unit 2 is on the trail;
  // the tautology and the clause satisfied by the unit are gone.
  EXPECT_EQ(os.str(), "p cnf 4 3\n1 2 0\n-1 3 0\n");
  EXPECT_EQ(s.stats.originalClauses, 3u);
  EXPECT_EQ(s.stats.originalLiterals, 5u);
  EXPECT_EQ(s.stats.originalUnitClauses, 1u);
  std::vector<Literal> satisfied = quelt_test::lits({4, 2}), none;
  EXPECT_EQ(s.addClause(satisfied, false), std::make_pair(static_cast<quelt::Clause*>(nullptr), true));
  ASSERT_EQ(s.solve(false), Solver::Satisfiable);
  os.str("");
  s.dumpModel(os);
  EXPECT_EQ(os.str(), "v -1 2 -3 -4 0\n");
  EXPECT_EQ(s.addClause(none, false), std::make_pair(static_cast<quelt::Clause*>(nullptr), false));
  EXPECT_EQ(s.solve(false), Solver::Unsatisfiable);
}

// Simplification waits for a learned unit; these scenarios ask for a round at
// once. What the pure literal rule and elimination decide holds only for the
// formula as it was: a later clause or assumption must undo it.
TEST(Simplification, PureLiteralsAreUndoneAndAssignedVariablesStay) {
  for (bool viaAssumption : {false, true}) {
    Solver s;  // 1 occurs only positively
    quelt_test::load(s, Cnf{"pure", 3, {{1, 2}, {1, 3}, {-2, -3}}});
    s.newUnitsMask = 1;
    ASSERT_EQ(s.solve(false), Solver::Satisfiable);
    ASSERT_TRUE(s.vars[1].pure());
    s.newUnitsMask = 1, s.stats.simplifyBudget = 0;
    ASSERT_TRUE(s.simplify());  // a second round sets aside the clauses that 1 satisfies
    std::vector<Literal> notOne = quelt_test::lits({-1});
    if (viaAssumption) s.clearAssumed();
    else s.addClause(notOne, false);
    EXPECT_EQ(viaAssumption ? s.solve(notOne, false) : s.solve(false), Solver::Unsatisfiable);
  }
  // Eliminating 1 gives the unit resolvent 2: assigned now, 2 is no longer
  // a candidate later in the same round.
  quelt::SearchParams p;
  p.resolution = 2, p.resOrderHeur = 16, p.usePureLiteralRule = false;
  Solver s(p);
  quelt_test::load(s, Cnf{"unitResolvent", 4, {{1, 2}, {-1, 2}, {-2, 3, 4}, {2, -4}}});
  s.newUnitsMask = 1;
  ASSERT_EQ(s.solve(false), Solver::Satisfiable);
  EXPECT_TRUE(s.vars[1].eliminated());
  EXPECT_FALSE(s.vars[2].eliminated());
}

// Each facade seeds the random generator, so two runs with random
// decisions repeat exactly; assumptions can be read from DIMACS text.
TEST(Facade, SeedsTheGeneratorAndReadsAssumptions) {
  const std::string text = CnfGenerator(3).threshold3Sat(80).dimacs();
  std::string counters[2];
  for (std::string& c : counters) {
    quelt::Dimacs d;
    std::istringstream in(text);
    d.parse(in, false);
    d.getSolver().params.randVarDecFreq = 0.5;
    d.solve();
    c = std::to_string(d.getSolver().stats.decisions) + " " + std::to_string(d.getSolver().stats.randomDecisions);
    std::rand();
  }
  EXPECT_EQ(counters[0], counters[1]);

  quelt::Dimacs d;
  std::istringstream unreadable("3 99999999999 0\n"), formula("1 2 0\n-1 2 0\n"), assumed("-2 0\n"), other("1 0\n");
  std::streambuf* err = std::cerr.rdbuf(nullptr);
  d.parse(unreadable, false);
  std::cerr.rdbuf(err);
  EXPECT_TRUE(d.stoppedAtInvalidNumber());
  d.parse(formula, false);  // a new parse starts afresh
  EXPECT_FALSE(d.stoppedAtInvalidNumber());
  d.parse(assumed, true);
  EXPECT_EQ(d.solve(), Solver::Unsatisfiable);
  d.getSolver().clearAssumed();
  d.parse(other, true);
  EXPECT_EQ(d.solve(), Solver::Satisfiable);
  std::ostringstream os;
  d.dumpSolution(os);
  EXPECT_EQ(os.str(), "v 1 2 -3 0\n");  // 3 was created by the unreadable line
}

}  // namespace
