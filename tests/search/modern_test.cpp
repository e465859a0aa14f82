// The modern search on formulas large enough for its schedules to run
// (reductions, mode switches, rephasing, restarts that keep part of the
// trail), its minimisation with binary clauses, its shrinking, its
// probing, vivification and local-search walks to act: every verdict
// agrees with the classic search's, every model satisfies the clauses and
// the assumptions, every refutation's proof checks, and failed assumptions
// are a refuted subset of those assumed.
#include <gtest/gtest.h>

#include <algorithm>

#include "search/modern/ModernPolicy.hpp"
#include "simplify/preprocess.hpp"
#include "support/cnf.hpp"
#include "support/drat_checker.hpp"
#include "support/run.hpp"

namespace {

using quelt::SearchParams;
using quelt::Solver;
using quelt_test::Cnf;

SearchParams modern(bool shrink = false) {
  SearchParams p;
  p.modern = true;
  p.shrink = shrink;
  return p;
}

// Checks one answer of the modern solver m against the classic solver c,
// both just solved under assumed.
void expectAgreement(const Solver& m, const Solver& c, const Cnf& f, const std::vector<int>& assumed) {
  ASSERT_EQ(m.status, c.status);
  if (m.status == Solver::Satisfiable) {
    auto all = f.clauses;
    for (int a : assumed) all.push_back({a});
    EXPECT_TRUE(quelt_test::satisfies(quelt_test::modelOf(m), all));
    return;
  }
  std::vector<int> failed;
  for (quelt::Literal l : m.failedAssumptions) failed.push_back(static_cast<int>(l.toDimacs()));
  for (int l : failed) EXPECT_NE(std::find(assumed.begin(), assumed.end(), l), assumed.end()) << l;
  Solver check;
  quelt_test::load(check, f);
  EXPECT_EQ(check.solve(quelt_test::lits(failed), false), Solver::Unsatisfiable);
}

TEST(ModernSearch, AgreesWithTheClassicSearchAndProvesItsRefutations) {
  const quelt_test::ScratchDir dir;
  quelt_test::CnfGenerator gen(23);
  quelt::SearchStatistics::Modern total;
  for (int i = 0; i < 6; ++i) {
    Cnf f = gen.threshold3Sat(110 + 10 * i);
    // A failed literal for probing to find: -r implies p and q, which
    // exclude each other; the search's phases (true first) never try -r.
    const int r = f.numVars + 1, p = r + 1, q = r + 2;
    f.numVars += 3;
    f.clauses.insert(f.clauses.end(), {{r, p}, {r, q}, {-p, -q}});
    SCOPED_TRACE(f.name);
    Solver c;
    quelt_test::load(c, f);
    c.solve(false);
    Solver m(modern(i % 3 != 0));  // shrinking on two in three
    {
      quelt::ProofWriter proof(dir.file("proof"), i % 2 == 0);
      m.proof = &proof;
      quelt_test::load(m, f);
      m.solve(false);
      m.proof = nullptr;
      ASSERT_TRUE(proof.flush());
    }
    expectAgreement(m, c, f, {});
    if (m.status == Solver::Unsatisfiable) {
      quelt_test::DratChecker checker;
      for (const auto& cl : f.clauses) checker.addOriginal(cl);
      EXPECT_EQ(checker.checkProof(quelt_test::readFile(dir.file("proof"))),
                quelt_test::DratChecker::Result::Verified);
      continue;
    }
    // An incremental sequence that changes its assumptions at every call,
    // as a client exploring a space does.
    for (unsigned k = 0; k < 24; ++k) {
      std::vector<int> assumed;
      for (unsigned j = 0; j <= k % 5; ++j) {
        const int v = 1 + static_cast<int>((k * 7919u + j * 104729u) % static_cast<unsigned>(f.numVars));
        assumed.push_back(((k + j) & 1) != 0 ? v : -v);
      }
      m.clearAssumed(), c.clearAssumed();
      m.solve(quelt_test::lits(assumed), false);
      c.solve(quelt_test::lits(assumed), false);
      expectAgreement(m, c, f, assumed);
    }
    const quelt::SearchStatistics::Modern& s = m.stats.modern;
    total.reductions += s.reductions;
    total.modeSwitches += s.modeSwitches;
    total.rephases += s.rephases;
    total.reusedLevels += s.reusedLevels;
    total.tier1 += s.tier1;
    total.tier3 += s.tier3;
    total.binaryMinimised += s.binaryMinimised;
    total.shrunkLiterals += s.shrunkLiterals;
    total.vivifiedLiterals += s.vivifiedLiterals;
    total.walkFlips += s.walkFlips;
    total.failedLiterals += s.failedLiterals;
    total.inprocessing.eliminatedVariables += s.inprocessing.eliminatedVariables;
    total.inprocessing.subsumedClauses += s.inprocessing.subsumedClauses;
  }
  // The formulas are hard enough for every part of the schedule to run.
  EXPECT_GT(total.reductions, 0u);
  EXPECT_GT(total.modeSwitches, 0u);
  EXPECT_GT(total.rephases, 0u);
  EXPECT_GT(total.reusedLevels, 0u);
  EXPECT_GT(total.tier1, 0u);
  EXPECT_GT(total.tier3, 0u);
  EXPECT_GT(total.binaryMinimised, 0u);
  EXPECT_GT(total.shrunkLiterals, 0u);
  EXPECT_GT(total.vivifiedLiterals, 0u);
  EXPECT_GT(total.walkFlips, 0u);
  EXPECT_GT(total.failedLiterals, 0u);
  EXPECT_GT(total.inprocessing.eliminatedVariables, 0u);
  EXPECT_GT(total.inprocessing.subsumedClauses, 0u);
}

// Elimination runs between the solves; the frozen variables must survive it
// and the decisions must respect the assumptions over them.
TEST(ModernSearch, RespectsAssumptionsAndFrozenVariablesAfterElimination) {
  quelt_test::CnfGenerator gen(5);
  const Cnf f = gen.randomKSat(80, 3, 300);
  SearchParams p = modern();
  p.preprocess = true;
  p.resolution = 2, p.maxResRuns = 1000, p.resCutoffCls = 20, p.resCutoffLits = 10000;
  Solver m(p);
  quelt_test::load(m, f);
  for (unsigned v = 1; v <= 12; ++v) m.freeze(v);
  Solver c;
  quelt_test::load(c, f);
  ASSERT_EQ(m.solve(false), Solver::Satisfiable);
  EXPECT_GT(m.stats.preprocessing.eliminatedVariables + m.stats.eliminatedVariables, 0u);
  for (unsigned v = 1; v <= 12; ++v) EXPECT_FALSE(m.vars[v].eliminated()) << v;
  for (unsigned k = 0; k < 40; ++k) {
    std::vector<int> assumed;
    for (int v = 1; v <= 12; ++v)
      if ((k * 2654435761u >> v) & 1) assumed.push_back(((k >> (v % 4)) & 1) != 0 ? v : -v);
    m.clearAssumed(), c.clearAssumed();
    m.solve(quelt_test::lits(assumed), false);
    c.solve(quelt_test::lits(assumed), false);
    expectAgreement(m, c, f, assumed);
    for (unsigned v = 1; v <= 12; ++v) EXPECT_FALSE(m.vars[v].eliminated()) << v;
  }
}

}  // namespace

// A propagation limit can fall inside a simplification round (probing,
// vivification) or a walk: the solver stops, and solving again finishes with
// the right verdict and a proof that checks across both solves.
TEST(ModernSearch, AStopAnywhereLeavesASolverThatFinishesRight) {
  const quelt_test::ScratchDir dir;
  const Cnf f = quelt_test::CnfGenerator::pigeonHole(8);
  Solver whole(modern());
  quelt_test::load(whole, f);
  ASSERT_EQ(whole.solve(false), Solver::Unsatisfiable);
  ASSERT_GT(whole.stats.modern.vivifyRounds, 0u);
  const std::int64_t total = whole.stats.bcPropagations;
  for (int k = 1; k < 4; ++k) {
    SCOPED_TRACE(k);
    Solver m(modern());
    {
      quelt::ProofWriter proof(dir.file("proof"), k % 2 == 0);
      m.proof = &proof;
      quelt_test::load(m, f);
      m.stop.propagationEnd = total * k / 4;
      EXPECT_EQ(m.solve(false), Solver::Timeout);
      m.stop.propagationEnd = -1;
      EXPECT_EQ(m.solve(false), Solver::Unsatisfiable);
      m.proof = nullptr;
      ASSERT_TRUE(proof.flush());
    }
    quelt_test::DratChecker checker;
    for (const auto& cl : f.clauses) checker.addOriginal(cl);
    EXPECT_EQ(checker.checkProof(quelt_test::readFile(dir.file("proof"))), quelt_test::DratChecker::Result::Verified);
  }
}

// An elimination round in the middle of a search: learned clauses that
// name an eliminated variable go, the others stay watched, and the search
// goes on to the classic search's verdict, with a model of the formula as
// given or a proof that checks across the round. The formulas are random
// ones with gates over their variables (g = a and b), used in a clause or
// two each, which elimination removes and which the search learns about.
TEST(ModernSearch, AnEliminationRoundTakesTheLearnedClausesOfWhatItRemoves) {
  const quelt_test::ScratchDir dir;
  for (int seed : {3, 8}) {
    SCOPED_TRACE(seed);
    quelt_test::CnfGenerator gen(static_cast<unsigned>(seed));
    Cnf f = gen.threshold3Sat(120);
    const int n = f.numVars, gates = 40;
    for (int i = 0; i < gates; ++i) {
      const int g = n + 1 + i, a = gen.uniform(1, n) * (gen.coin() ? 1 : -1), b = gen.uniform(1, n);
      f.clauses.insert(f.clauses.end(), {{-g, a}, {-g, b}, {g, -a, -b}});
      f.clauses.push_back({g, i > 0 ? -(g - 1) : 1, gen.uniform(1, n)});
    }
    f.numVars = n + gates;
    Solver c;
    quelt_test::load(c, f);
    c.solve(false);
    Solver m(modern());
    {
      quelt::ProofWriter proof(dir.file("proof"), seed % 2 == 0);
      m.proof = &proof;
      quelt_test::load(m, f);
      m.stop.conflictEnd = 400;
      ASSERT_EQ(m.solve(false), Solver::Timeout);
      m.backtrack(0);
      ASSERT_EQ(m.propagate(), nullptr);
      std::vector<std::vector<unsigned>> learnedVars;
      for (const quelt::Clause* cl : m.learnedClauses) {
        learnedVars.emplace_back();
        for (quelt::Literal l : *cl) learnedVars.back().push_back(l.var());
      }
      quelt::SearchStatistics::Preprocessing counts;
      quelt::Preprocessor round(m, counts);
      ASSERT_TRUE(round.runDuringSearch(100000000, 0, {}));
      ASSERT_GT(counts.eliminatedVariables, 0u);
      std::size_t touched = 0;
      for (const auto& vs : learnedVars)
        touched += std::any_of(vs.begin(), vs.end(), [&m](unsigned v) { return m.vars[v].eliminated(); });
      ASSERT_GT(touched, 0u);
      EXPECT_LE(m.learnedClauses.size(), learnedVars.size() - touched);
      for (const quelt::Clause* cl : m.learnedClauses)
        for (quelt::Literal l : *cl) EXPECT_FALSE(m.vars[l.var()].eliminated()) << l;
      m.stop.conflictEnd = -1;
      m.solve(false);
      m.proof = nullptr;
      ASSERT_TRUE(proof.flush());
    }
    expectAgreement(m, c, f, {});
    if (m.status != Solver::Unsatisfiable) continue;
    quelt_test::DratChecker checker;
    for (const auto& cl : f.clauses) checker.addOriginal(cl);
    EXPECT_EQ(checker.checkProof(quelt_test::readFile(dir.file("proof"))), quelt_test::DratChecker::Result::Verified);
  }
}
