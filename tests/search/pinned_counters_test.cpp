// The search is deterministic, so its counters are a fingerprint: an
// optimisation must leave every one of them unchanged, and a change here
// means the search itself changed (as it must not when the progress table
// watches it). The rows cover the presets and, twenty
// rows together, every mode of every ordering, phase, deletion and
// resolution parameter.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "app/Progress.hpp"
#include "lib/Facade.hpp"
#include "support/cnf.hpp"

namespace {

using quelt::SearchParams;
using quelt_test::Cnf;
using quelt_test::CnfGenerator;

// result conflicts decisions propagations learned-literals redundant restarts
// eliminated random-decisions random-phases simplify-units rounds backtracks
// max-level max-assigned learned-units
std::string fingerprint(quelt::Solver& s, unsigned result) {
  const quelt::SearchStatistics& t = s.stats;
  std::ostringstream os;
  os << result;
  for (std::uint32_t x : {t.conflicts, t.decisions, t.bcPropagations, t.learnedLiterals, t.redundantLearnedLiterals,
                          t.restarts, t.eliminatedVariables, t.randomDecisions, t.randomPolarityDecisions,
                          t.simplifyUnits, t.simplificationRounds, t.backtrackLevels, t.maxDecisionLevel,
                          t.maxLiteralsAssigned, t.learnedUnitClauses, t.eliminatedClauseCount})
    os << ' ' << x;
  return os.str();
}

struct Pinned {
  std::string name;
  Cnf formula;
  SearchParams params;
  std::string expected;
};

SearchParams preset(void (SearchParams::*set)()) {
  SearchParams p;
  (p.*set)();
  return p;
}

// Row i: orderings i, i + 7 and i + 13 (mod 20), phase i mod 7, deletion
// i mod 3, resolution i mod 3.
SearchParams modes(int i) {
  SearchParams p;
  p.varDecHeur = i, p.clauseSortHeur = (i + 7) % 20, p.resOrderHeur = (i + 13) % 20;
  p.phaseDecHeur = i % 7, p.clauseDelHeur = i % 3, p.resolution = i % 3;
  p.learnedSizeFactor = 0.1, p.updateDecQueue = i % 2, p.maxResRuns = 2;
  return p;
}

std::vector<Pinned> rows() {
  const Cnf pigeons7 = CnfGenerator::pigeonHole(7), random150 = CnfGenerator(42).threshold3Sat(150),
            random200 = CnfGenerator(7).threshold3Sat(200), random60 = CnfGenerator(5).threshold3Sat(60);
  SearchParams elim2;
  elim2.resolution = 2, elim2.maxResRuns = 3;
  std::vector<Pinned> r = {
      {"pigeons7_default", pigeons7, SearchParams(), "1 5652 6906 68284 95587 7495 9 0 3 73 40 1 6787 31 55 3 0"},
      {"random150_default", random150, SearchParams(), "0 616 853 19942 5819 1138 4 0 0 11 0 0 796 25 150 0 0"},
      {"random200_default", random200, SearchParams(), "1 18310 21350 707873 184009 64720 12 0 9 171 394 2 21219 23 157 7 0"},
      {"pigeons7_kz11", pigeons7, preset(&SearchParams::setAutotunedKz_1_1), "1 4942 5822 66489 74588 9255 10 0 0 0 55 1 5664 28 55 9 0"},
      {"random200_kz11", random200, preset(&SearchParams::setAutotunedKz_1_1), "1 21327 25749 798547 226541 74626 14 4 0 0 381 2 25570 28 154 13 43"},
      {"pigeons7_kz10", pigeons7, preset(&SearchParams::setAutotunedKz_1_0), "1 4942 5822 66489 74588 9255 10 0 0 0 0 1 5664 28 55 9 0"},
      {"random150_sw", random150, preset(&SearchParams::setSwVerification), "0 95 181 3174 1134 137 2 0 0 0 0 0 130 31 150 0 0"},
      {"random200_defaultInc", random200, preset(&SearchParams::setDefaultInc),
       "1 18310 21350 707873 184009 64720 12 0 9 171 0 2 21219 23 157 7 0"},
      {"random200_elim2", random200, elim2, "1 18547 21601 718745 184991 66740 12 3 9 174 389 2 21467 23 157 10 4"},
  };
  const char* const expected[20] = {
      "1 92 101 1509 365 94 1 0 0 0 59 1 94 8 40 6 0",
      "1 2632 4325 36487 14534 1824 7 0 1 53 59 1 4262 16 52 8 0",
      "1 74 88 1295 302 38 1 1 0 88 58 1 81 11 42 7 1",
      "1 85 93 1345 351 88 1 0 0 0 59 1 86 8 43 7 0",
      "1 91 103 1362 363 90 1 2 0 0 57 1 95 8 41 6 2",
      "1 115 122 1840 548 91 2 1 0 0 58 1 115 11 39 5 1",
      "1 84 97 1292 282 106 1 0 0 0 59 1 90 7 47 7 0",
      "1 90 96 1426 367 96 1 2 0 0 57 1 90 8 37 6 2",
      "1 235 284 3387 1146 212 2 2 0 4 57 1 273 13 44 4 2",
      "1 1288 2101 17501 6595 925 5 0 1 2101 173 3 2067 18 50 9 0",
      "1 330 419 4981 1544 323 3 3 0 7 56 1 405 11 47 7 4",
      "1 394 640 5996 1956 230 3 1 0 10 115 2 619 16 43 5 1",
      "1 180 278 2909 801 156 2 0 0 4 59 1 267 12 40 5 0",
      "1 177 228 2706 675 194 2 3 0 2 111 2 212 11 42 10 2",
      "1 121 159 1787 472 82 2 1 0 1 58 1 144 8 40 9 1",
      "1 348 507 4917 1527 260 3 0 0 7 117 2 488 17 48 8 0",
      "1 190 251 3110 792 203 2 1 0 251 113 2 237 12 42 9 1",
      "1 360 432 5540 1647 349 3 1 0 7 114 2 415 11 44 6 1",
      "1 229 336 3367 993 195 2 0 0 5 117 2 321 15 40 6 0",
      "1 381 492 5543 1879 257 3 4 0 7 110 2 478 13 42 7 6",
  };
  for (int i = 0; i < 20; ++i) r.push_back({"random60_modes" + std::to_string(i), random60, modes(i), expected[i]});
  return r;
}

void PrintTo(const Pinned& c, std::ostream* os) { *os << c.name; }

class PinnedCounters : public ::testing::TestWithParam<Pinned> {};

TEST_P(PinnedCounters, SearchIsUnchanged) {
  const Pinned& p = GetParam();
  quelt::Solver s(p.params);
  // Every other row runs with the progress table watching: it must not
  // change the search.
  std::ostringstream table;
  quelt::ProgressTable progress(table);
  quelt::Facade facade(s);
  if (p.name.size() % 2 == 0) progress.attach(facade);
  quelt_test::load(s, p.formula);
  const unsigned result = s.solve(false);
  EXPECT_EQ(fingerprint(s, result), p.expected);
}

INSTANTIATE_TEST_SUITE_P(Formulas, PinnedCounters, ::testing::ValuesIn(rows()),
                         [](const auto& info) { return info.param.name; });

// A clause added after a solve brings back eliminated variables with their
// clauses; the second search is pinned too.
TEST(PinnedCountersAfterElimination, SecondSolveIsUnchanged) {
  SearchParams p;
  p.resolution = 2, p.maxResRuns = 3;
  quelt::Solver s(p);
  const Cnf f = CnfGenerator(11).randomKSat(40, 3, 150);
  quelt_test::load(s, f);
  std::string prints = fingerprint(s, s.solve(false));
  std::vector<int> block;
  for (int v = 1; v <= f.numVars; ++v) block.push_back(s.decode(v) ? -v : v);
  std::vector<quelt::Literal> ls = quelt_test::lits(block);
  s.addClause(ls, false);
  prints += " / " + fingerprint(s, s.solve(false));
  EXPECT_EQ(prints, "0 43 55 552 160 26 1 3 0 0 36 1 48 8 37 2 3 / 0 45 62 603 164 26 2 3 0 0 36 1 49 8 40 3 3");
}

}  // namespace
