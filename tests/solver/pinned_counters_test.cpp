// The search is deterministic and exactly specified, so its counters are a
// fingerprint: an optimisation must leave every one of them unchanged. These
// pin the counters of a few formulas made by the tests' own generator, under
// the default parameters and under presets that turn on reduction,
// elimination and the pure literal rule. A change here means the search
// itself changed.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "solver/Solver.hpp"
#include "support/cnf_gen.hpp"
#include "support/solver_checks.hpp"

namespace {

using quelt::SearchParams;
using quelt::Solver;
using quelt_test::Cnf;
using quelt_test::CnfGenerator;

struct Pinned {
  const char* name;
  Cnf (*formula)();
  void (*configure)(SearchParams&);
  unsigned result;
  std::uint32_t conflicts, decisions, propagations, learnedLiterals, redundant, restarts, eliminated;
};

Cnf pigeons7() { return CnfGenerator::pigeonHole(7); }
Cnf random150() { return CnfGenerator(42).threshold3Sat(150); }
Cnf random200() { return CnfGenerator(7).threshold3Sat(200); }
void defaults(SearchParams&) {}
void kz11(SearchParams& p) { p.setAutotunedKz_1_1(); }
void sw(SearchParams& p) { p.setSwVerification(); }
void elimination2(SearchParams& p) {
  p.resolution = 2;
  p.maxResRuns = 3;
}

const Pinned kPinned[] = {
    {"pigeons7-default", pigeons7, defaults, Solver::Unsatisfiable, 5652, 6906, 68284, 95587, 7495, 9, 0},
    {"random150-default", random150, defaults, Solver::Satisfiable, 616, 853, 19942, 5819, 1138, 4, 0},
    {"random200-default", random200, defaults, Solver::Unsatisfiable, 18310, 21350, 707873, 184009, 64720, 12, 0},
    {"pigeons7-kz11", pigeons7, kz11, Solver::Unsatisfiable, 4942, 5822, 66489, 74588, 9255, 10, 0},
    {"random200-kz11", random200, kz11, Solver::Unsatisfiable, 21327, 25749, 798547, 226541, 74626, 14, 4},
    {"random150-sw", random150, sw, Solver::Satisfiable, 95, 181, 3174, 1134, 137, 2, 0},
    {"random200-elim2", random200, elimination2, Solver::Unsatisfiable, 18547, 21601, 718745, 184991, 66740, 12, 3},
};

class PinnedCounters : public ::testing::TestWithParam<Pinned> {};

TEST_P(PinnedCounters, SearchIsUnchanged) {
  const Pinned& p = GetParam();
  SearchParams params;
  p.configure(params);
  Solver s(params);
  std::srand(1851696952);
  quelt_test::load(s, p.formula());
  const unsigned result = s.solve(false);
  const quelt::SearchStatistics& st = s.stats;
  EXPECT_EQ(result, p.result);
  EXPECT_EQ(st.conflicts, p.conflicts);
  EXPECT_EQ(st.decisions, p.decisions);
  EXPECT_EQ(st.bcPropagations, p.propagations);
  EXPECT_EQ(st.learnedLiterals, p.learnedLiterals);
  EXPECT_EQ(st.redundantLearnedLiterals, p.redundant);
  EXPECT_EQ(st.restarts, p.restarts);
  EXPECT_EQ(st.eliminatedVariables, p.eliminated);
}

INSTANTIATE_TEST_SUITE_P(Formulas, PinnedCounters, ::testing::ValuesIn(kPinned),
                         [](const ::testing::TestParamInfo<Pinned>& i) {
                           std::string n = i.param.name;
                           for (char& c : n)
                             if (c == '-') c = '_';
                           return n;
                         });

}  // namespace
