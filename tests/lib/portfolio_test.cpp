// The portfolio's configurations: after a solve, each solver runs what its
// name says, for a caller of either search. Clause sharing: with several
// solvers passing clauses, every verdict, model and core of an incremental
// sequence is the one a single solver gives; every solver hears from the
// others; clauses from elsewhere reach a single solver when asked, and
// nothing crosses when sharing is off.
#include <gtest/gtest.h>

#include <algorithm>

#include "lib/Facade.hpp"
#include "lib/parallel/Portfolio.hpp"
#include "support/cnf.hpp"

namespace {

struct Expected {
  bool modern, preprocess, shrink;
};

void expectConfigurations(bool callerModern, const std::vector<Expected>& expected, unsigned firstIndex = 0) {
  quelt::Portfolio p(static_cast<unsigned>(expected.size()));
  p.setFirstIndex(firstIndex);
  p.setParameter("modern", callerModern ? 1 : 0);
  // Hard enough that no solver answers within its first conflict: every
  // one loads the formula and takes its configuration, whatever the timing.
  const quelt_test::Cnf f = quelt_test::CnfGenerator(7).threshold3Sat(90);
  for (int v = 1; v <= f.numVars; ++v) p.createVar(static_cast<unsigned>(v));
  for (const auto& c : f.clauses) {
    std::vector<quelt::Literal> lits;
    for (int l : c) lits.push_back(quelt::Literal::fromDimacs(l));
    p.addClause(lits);
  }
  p.setConflictLimit(1);
  ASSERT_EQ(p.winner(), -1);
  p.solve();
  ASSERT_EQ(p.winner(), -1);
  for (unsigned i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(p.nameOf(i));
    EXPECT_EQ(p.nameOf(i), quelt::Portfolio::configurationName(firstIndex + i, false, callerModern));
    const quelt::SearchParams& got = p.solver(i).parameters();
    EXPECT_EQ(got.modern, expected[i].modern);
    EXPECT_EQ(got.preprocess, expected[i].preprocess);
    EXPECT_EQ(got.shrink, expected[i].shrink);
  }
}

TEST(Portfolio, EachSolverRunsTheConfigurationItsNameSays) {
  // 0 the caller's, 1 the other search, 2 preprocessing, 3 a classic
  // preset, 4 both switches, 5 the modern search shrinking.
  expectConfigurations(false, {{false, false, false},
                               {true, false, false},
                               {false, true, false},
                               {false, false, false},
                               {true, true, false},
                               {true, false, true}});
  expectConfigurations(true, {{true, false, false},
                              {false, false, false},
                              {true, true, false},
                              {false, false, false},
                              {false, true, false},
                              {true, false, true}});
  // The same configurations from a first index on, as in the second
  // process of a distributed run; a lone solver takes its own too.
  expectConfigurations(false, {{false, false, false}, {true, true, false}, {true, false, true}}, 3);
  expectConfigurations(false, {{true, false, false}}, 1);
  expectConfigurations(true, {{true, true, false}}, 2);
  EXPECT_EQ(quelt::Portfolio::configurationName(4, false, false), "modern search, preprocessing on");
  EXPECT_EQ(quelt::Portfolio::configurationName(4, false, true), "classic search, preprocessing on");
  EXPECT_EQ(quelt::Portfolio::configurationName(5, false, true), "modern search, shrink");
}

void loadInto(quelt::Portfolio& p, const quelt_test::Cnf& f) {
  for (int v = 1; v <= f.numVars; ++v) p.createVar(static_cast<unsigned>(v));
  for (const auto& c : f.clauses) {
    std::vector<quelt::Literal> lits = quelt_test::lits(c);
    p.addClause(lits);
  }
}

// A single classic solver's verdict, the peer of every shared solve.
unsigned alone(const quelt_test::Cnf& f, const std::vector<int>& assumed) {
  quelt::Facade single;
  quelt_test::load(single.solver(), f);
  return single.solve(quelt_test::lits(assumed));
}

quelt::SearchStatistics::Sharing sharingOf(const quelt::Portfolio& p, unsigned i) {
  return p.solver(i).solver().stats.sharing;
}

TEST(PortfolioSharing, VerdictsModelsAndCoresAreASingleSolversOverIncrementalSolves) {
  quelt_test::CnfGenerator gen(4242);
  std::uint64_t imported = 0;
  for (int round = 0; round < 8; ++round) {
    const unsigned threads = 2 + static_cast<unsigned>(round % 3);
    const quelt_test::Cnf f =
        round % 4 == 3 ? quelt_test::CnfGenerator::pigeonHole(6) : gen.threshold3Sat(gen.uniform(70, 110));
    quelt::Portfolio p(threads);
    if (round % 2 == 1) p.setParameter("modern", 1);
    if (round % 4 == 2) p.setParameter("preprocess", 1);
    loadInto(p, f);
    ASSERT_TRUE(p.sharing());
    for (int step = 0; step < 4; ++step) {
      std::vector<int> assumed;
      for (int k = 0; step > 0 && k < 3; ++k)
        assumed.push_back(gen.coin() ? gen.uniform(1, f.numVars) : -gen.uniform(1, f.numVars));
      const std::string trace = f.name + " with " + std::to_string(threads) + " threads, step " + std::to_string(step);
      const unsigned got = p.solve(quelt_test::lits(assumed));
      ASSERT_EQ(got, alone(f, assumed)) << trace;
      const quelt::Solver& s = p.result();
      if (got == quelt::Solver::Satisfiable) {
        EXPECT_TRUE(quelt_test::satisfies(quelt_test::modelOf(s), f.clauses)) << trace;
        for (int lit : assumed) EXPECT_TRUE(quelt_test::satisfies(quelt_test::modelOf(s), {{lit}})) << trace;
        EXPECT_EQ(p.checkModel(), "") << trace;
      } else {
        std::vector<int> core;
        for (quelt::Literal l : s.failedAssumptions) core.push_back(static_cast<int>(l.toDimacs()));
        for (int lit : core) EXPECT_NE(std::find(assumed.begin(), assumed.end(), lit), assumed.end()) << trace;
        EXPECT_EQ(alone(f, core), quelt::Solver::Unsatisfiable) << trace;
      }
    }
    for (unsigned i = 0; i < threads; ++i) imported += sharingOf(p, i).imported;
  }
  EXPECT_GT(imported, 0u);
}

TEST(PortfolioSharing, EverySolverHearsFromTheOthers) {
  // Hard enough that no solver answers within its conflicts: each learns
  // short clauses in the first solve and, whatever the timing, finds the
  // others' waiting at the start of the second.
  quelt::Portfolio p(3);
  loadInto(p, quelt_test::CnfGenerator(5).threshold3Sat(400));
  p.setConflictLimit(1000);
  p.solve();
  ASSERT_EQ(p.winner(), -1);
  for (unsigned i = 0; i < p.size(); ++i) EXPECT_GT(sharingOf(p, i).exported, 0u) << p.nameOf(i);
  p.solve();
  ASSERT_EQ(p.winner(), -1);
  for (unsigned i = 0; i < p.size(); ++i) {
    const quelt::SearchStatistics::Sharing s = sharingOf(p, i);
    EXPECT_GT(s.imported + s.duplicates + s.satisfied + s.removed, 0u) << p.nameOf(i);
  }
  const quelt::SearchStatistics::Sharing all = p.sharingTotals();
  EXPECT_EQ(all.exported, sharingOf(p, 0).exported + sharingOf(p, 1).exported + sharingOf(p, 2).exported);
}

TEST(PortfolioSharing, OneSolverTradesWithElsewhereOnlyWhenAsked) {
  quelt_test::CnfGenerator gen(11);
  quelt_test::Cnf f = gen.threshold3Sat(18);
  while (quelt_test::countModels(f, {}, 2) < 2) f = gen.threshold3Sat(18);
  // A literal some models have and others not: a unit from elsewhere decides it.
  int unit = 1;
  while (quelt_test::countModels(f, {unit}, 1) == 0 || quelt_test::countModels(f, {-unit}, 1) == 0) ++unit;

  quelt::Portfolio off(1);
  loadInto(off, f);
  EXPECT_FALSE(off.sharing());
  off.importRemote({1, unit, 0});
  std::vector<std::int32_t> out = {7};
  off.takeExports(out, 100);
  EXPECT_TRUE(out.empty());
  ASSERT_EQ(off.solve(), quelt::Solver::Satisfiable);
  EXPECT_EQ(off.solver(0).solver().exchange, nullptr);
  EXPECT_EQ(sharingOf(off, 0).imported, 0u);

  quelt::Portfolio on(1);
  on.setSharing(true);
  loadInto(on, f);
  on.takeExports(out, 100);  // opens the collection
  const int other = unit % f.numVars + 1;
  on.importRemote({1, unit, 0, 3, other, unit, 0});  // the second is satisfied once the first is in
  ASSERT_EQ(on.solve(), quelt::Solver::Satisfiable);
  EXPECT_TRUE(quelt_test::satisfies(quelt_test::modelOf(on.result()), {{unit}}));
  EXPECT_EQ(sharingOf(on, 0).units, 1u);
  EXPECT_EQ(sharingOf(on, 0).satisfied, 1u);

  // What it learns goes out best first, within the bound.
  quelt::Portfolio hard(1);
  hard.setSharing(true);
  loadInto(hard, quelt_test::CnfGenerator::pigeonHole(7));
  hard.takeExports(out, 100);
  hard.setConflictLimit(1000);
  hard.solve();
  hard.takeExports(out, 400);
  ASSERT_FALSE(out.empty());
  EXPECT_LE(out.size(), 400u);
  std::pair<unsigned, std::size_t> last{0, 0};
  for (std::size_t k = 0; k < out.size();) {
    std::size_t n = 0;
    while (out[k + 1 + n] != 0) ++n;
    const std::pair<unsigned, std::size_t> rank{n == 1 ? 0u : static_cast<unsigned>(out[k]), n};
    EXPECT_LE(last, rank);
    last = rank;
    k += n + 2;
  }
}

}  // namespace
