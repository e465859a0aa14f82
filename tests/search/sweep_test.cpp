// The engine against exhaustive enumeration, under many configurations. For
// each configuration and each small generated formula:
//  - the verdict matches the oracle; a model satisfies every clause as
//    written; a refutation comes with a proof that the checker accepts;
//  - solving again under random assumptions matches the oracle with those
//    literals added, and clearing them brings back the first verdict;
//  - on the smallest formulas, blocking each model in turn enumerates
//    exactly as many models as there are (clauses added between solves
//    must undo pure literals and eliminated variables correctly).
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "support/cnf.hpp"
#include "support/drat_checker.hpp"
#include "support/run.hpp"

namespace {

using quelt::SearchParams;
using quelt::Solver;
using quelt_test::Cnf;

struct Config {
  const char* name;
  std::function<void(SearchParams&)> set;
};

const Config kConfigs[] = {
    {"defaults", [](SearchParams&) {}},
    {"defaultInc", [](SearchParams& p) { p.setDefaultInc(); }},
    {"kz10", [](SearchParams& p) { p.setAutotunedKz_1_0(); }},
    {"kz11", [](SearchParams& p) { p.setAutotunedKz_1_1(); }},
    {"swVerification", [](SearchParams& p) { p.setSwVerification(); }},
    {"resolution1", [](SearchParams& p) { p.resolution = 1, p.resOrderHeur = 7; }},
    {"resolution2Greedy", [](SearchParams& p) {
       p.resolution = 2, p.maxResRuns = 1000, p.resCutoffCls = 20, p.resCutoffLits = 10000, p.maxResLitInc = 10;
     }},
    {"resolutionTight", [](SearchParams& p) { p.resolution = 2, p.maxResRuns = 3, p.maxResLitInc = 0.1, p.resCutoffCls = 3; }},
    {"noPureLiterals", [](SearchParams& p) { p.usePureLiteralRule = false, p.resolution = 1; }},
    {"reduceOften", [](SearchParams& p) { p.learnedSizeFactor = 0.1, p.learnedClausesInc = 1.1, p.clauseDelHeur = 0; }},
    {"reduceKeepBinary", [](SearchParams& p) { p.learnedSizeFactor = 0.1, p.clauseDelHeur = 1, p.clauseSortHeur = 18; }},
    {"reduceLarge", [](SearchParams& p) { p.learnedSizeFactor = 0.1, p.clauseDelHeur = 2, p.varDecHeur = 14; }},
    {"restartEarly", [](SearchParams& p) { p.firstRestart = 10, p.restartInc = 1, p.updateDecQueue = true; }},
    {"random", [](SearchParams& p) { p.randVarDecFreq = 1, p.randPhaseDecFreq = 1, p.randVarDecScaling = 10; }},
    {"negativeIncrements", [](SearchParams& p) { p.varActivityInc = -3, p.clauseActivityInc = -2, p.variableDecay = 0; }},
    {"phaseTrue", [](SearchParams& p) { p.phaseDecHeur = 1, p.varDecHeur = 8; }},
    {"phaseRandom", [](SearchParams& p) { p.phaseDecHeur = 2, p.varDecHeur = 11; }},
    {"phaseLessFrequent", [](SearchParams& p) { p.phaseDecHeur = 4, p.varDecHeur = 5; }},
    {"phaseWatched", [](SearchParams& p) { p.phaseDecHeur = 5, p.varDecHeur = 16, p.clauseSortHeur = 9; }},
    {"phaseFewerWatched", [](SearchParams& p) { p.phaseDecHeur = 6, p.varDecHeur = 19, p.clauseSortHeur = 12; }},
    {"phaseFalse", [](SearchParams& p) { p.phaseDecHeur = 0, p.varDecHeur = 18, p.clauseSortHeur = 2; }},
    {"preprocess", [](SearchParams& p) { p.preprocess = true; }},
    {"preprocessKz11", [](SearchParams& p) { p.setAutotunedKz_1_1(), p.preprocess = true, p.maxResRuns = 5; }},
    {"modern", [](SearchParams& p) { p.modern = true; }},
    {"modernPreprocess", [](SearchParams& p) { p.modern = true, p.preprocess = true; }},
    {"modernResolution", [](SearchParams& p) {
       p.modern = true, p.resolution = 2, p.maxResRuns = 1000, p.resCutoffCls = 20, p.resCutoffLits = 10000;
     }},
    {"modernShrink", [](SearchParams& p) { p.modern = true, p.shrink = true; }},
    {"modernNoPureLiterals", [](SearchParams& p) { p.modern = true, p.usePureLiteralRule = false, p.resolution = 1; }},
};

// Formulas of at most 16 variables, both verdicts, with the irregularities
// of real input.
const std::vector<Cnf>& corpus() {
  static const std::vector<Cnf> all = [] {
    std::vector<Cnf> fs = {Cnf{"empty", 3, {}}, Cnf{"units", 2, {{1}, {-2}, {1, 2}}},
                           quelt_test::CnfGenerator::pigeonHole(3)};
    quelt_test::CnfGenerator gen(2024);
    for (int i = 0; i < 24; ++i) fs.push_back(gen.threshold3Sat(8 + i % 9));
    for (int i = 0; i < 8; ++i) fs.push_back(gen.randomKSat(12, 2 + i % 3, 12 + 6 * i));
    for (int i = 0; i < 10; ++i) fs.push_back(gen.irregular(6 + i, i % 3, 10 + 4 * i, i == 7));
    return fs;
  }();
  return all;
}

std::vector<int> randomAssumptions(const Cnf& f, unsigned seed) {
  std::vector<int> a;
  for (int i = 0; i < 3 && f.numVars > 0; ++i) {
    const int v = 1 + static_cast<int>((seed * 7919u + 31u * i) % static_cast<unsigned>(f.numVars));
    a.push_back((seed >> i) & 1 ? v : -v);
  }
  return a;
}

void PrintTo(const Config& c, std::ostream* os) { *os << c.name; }

class Sweep : public ::testing::TestWithParam<Config> {};

TEST_P(Sweep, VerdictsModelsProofsAssumptionsAndEnumeration) {
  const quelt_test::ScratchDir dir;
  for (std::size_t k = 0; k < corpus().size(); ++k) {
    const Cnf& f = corpus()[k];
    SCOPED_TRACE(f.name + "\n" + f.dimacs());
    SearchParams params;
    GetParam().set(params);
    Solver s(params);
    s.random.reseed(1851696952u + static_cast<unsigned>(k));
    {
      quelt::ProofWriter proof(dir.file("proof"), k % 2 == 0);
      s.proof = &proof;
      quelt_test::load(s, f);
      const bool sat = quelt_test::countModels(f, {}, 1) > 0;
      ASSERT_EQ(s.solve(false), sat ? Solver::Satisfiable : Solver::Unsatisfiable);
      s.proof = nullptr;
      ASSERT_TRUE(proof.flush());
      if (sat) {
        EXPECT_TRUE(quelt_test::satisfies(quelt_test::modelOf(s), f.clauses));
        for (int v = 1; v <= f.numVars; ++v) EXPECT_EQ(s.decode(v), quelt_test::modelOf(s)[v]);
        EXPECT_EQ(quelt_test::modelOf(s).size(), static_cast<std::size_t>(std::max(f.numVars, 0)) + 1);
      } else {
        quelt_test::DratChecker checker;
        for (const auto& c : f.clauses) checker.addOriginal(c);
        EXPECT_EQ(checker.checkProof(quelt_test::readFile(dir.file("proof"))),
                  quelt_test::DratChecker::Result::Verified);
      }
    }
    const bool sat = s.status == Solver::Satisfiable;
    const std::vector<int> assumed = randomAssumptions(f, static_cast<unsigned>(k));
    s.clearAssumed();
    const bool satUnder = quelt_test::countModels(f, assumed, 1) > 0;
    EXPECT_EQ(s.solve(quelt_test::lits(assumed), false), satUnder ? Solver::Satisfiable : Solver::Unsatisfiable);
    if (satUnder) {
      auto all = f.clauses;
      for (int a : assumed) all.push_back({a});
      EXPECT_TRUE(quelt_test::satisfies(quelt_test::modelOf(s), all));
    } else {  // the failed assumptions alone contradict the formula
      std::vector<int> failed;
      for (quelt::Literal l : s.failedAssumptions) failed.push_back(static_cast<int>(l.toDimacs()));
      for (int l : failed) EXPECT_NE(std::find(assumed.begin(), assumed.end(), l), assumed.end()) << l;
      EXPECT_EQ(quelt_test::countModels(f, failed, 1), 0);
      EXPECT_TRUE(sat || failed.empty());
    }
    s.clearAssumed();
    EXPECT_EQ(s.solve(false), sat ? Solver::Satisfiable : Solver::Unsatisfiable);
    if (f.numVars > 10) continue;
    long long found = 0;
    while (s.status == Solver::Satisfiable && found <= 1024) {
      ++found;
      const quelt_test::Assignment m = quelt_test::modelOf(s);
      ASSERT_TRUE(quelt_test::satisfies(m, f.clauses));
      std::vector<int> block;
      for (int v = 1; v <= f.numVars; ++v) block.push_back(m[v] ? -v : v);
      std::vector<quelt::Literal> ls = quelt_test::lits(block);
      s.addClause(ls, false);
      s.solve(false);
    }
    EXPECT_EQ(found, quelt_test::countModels(f));
  }
}

INSTANTIATE_TEST_SUITE_P(Configs, Sweep, ::testing::ValuesIn(kConfigs),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
