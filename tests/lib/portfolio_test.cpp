// The portfolio's configurations: after a solve, each solver runs what its
// name says, for a caller of either search.
#include <gtest/gtest.h>

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

}  // namespace
