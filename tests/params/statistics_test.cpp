// The statistics report, line by line, from counters set by hand. Rates per
// second and the run time depend on the clock, so their figures are masked;
// everything else is exact, including the precision left on the stream.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "params/SearchStatistics.hpp"

namespace {

TEST(StatisticsReport, ExactLinesAndDerivedFigures) {
  quelt::SearchStatistics s;
  s.variables = 200, s.originalClauses = 40, s.totalLearnedClauses = 8, s.maxDecisionLevel = 17;
  s.maxLiteralsAssigned = 150, s.restarts = 3, s.decisions = 900, s.randomDecisions = 9;
  s.randomPolarityDecisions = 3, s.bcPropagations = 5000, s.bcpCalls = 700, s.conflicts = 64;
  s.backtrackLevels = 96, s.originalLiterals = 130, s.learnedLiterals = 50, s.redundantLearnedLiterals = 14;
  s.originalUnitClauses = 2, s.learnedUnitClauses = 5, s.simplifyUnits = 7, s.eliminatedVariables = 30;
  s.eliminatedClauseCount = 50, s.simplificationRounds = 4, s.resolutionRounds = 1;
  std::ostringstream os;
  os.precision(9);
  os << s;
  EXPECT_EQ(os.precision(), 9);
  const std::string masked = std::regex_replace(
      std::regex_replace(os.str(), std::regex("\\([0-9.]+/sec\\)"), "(R/sec)"), std::regex("runtime:( +)[0-9.]+"),
      "runtime:$1T");
  EXPECT_EQ(masked,
            "c \n"
            "c ---------------------------------\n"
            "c Solving statistics:        \n"
            "c ---------------------------------\n"
            "c Variables:                 200\n"
            "c Original clauses:          40\n"
            "c Total learned clauses:     8\n"
            "c Max. dec. level reached:   17\n"
            "c Max. literals assigned:    150  (75.00%)\n"
            "c Restarts:                  3\n"
            "c Decisions:                 900  (R/sec)\n"
            "c Random decisions:          9  (1.000%)\n"
            "c Random polarity decisions: 3  (0.333%)\n"
            "c BC Propagations:           5000  (R/sec)\n"
            "c BCP calls:                 700  (7 implications/call)\n"
            "c Conflicts:                 64  (R/sec)\n"
            "c Backtrack levels:          96  (1.50 levs/conflict)\n"
            "c Literals in orig. clauses: 130  (3.25 lits/clause)\n"
            "c Literals in lear. clauses: 64  (8.00 lits/clause)\n"
            "c Redundant learned lits:    14  (21.88%)\n"
            "c Original unit lit. cls.:   2\n"
            "c Learned unit lit. cls.:    5\n"
            "c Unit lits. from simplify:  7\n"
            "c Eliminated variables:      30 (15.00%)\n"
            "c Eliminated clauses:        50 (125.00%) [can be >100%]\n"
            "c Simplification rounds:     4\n"
            "c Resolution rounds:         1\n"
            "c Total runtime:             T\n");
  quelt::SearchStatistics zero;
  os.str("");
  os << zero;
  EXPECT_NE(os.str().find("c BCP calls:                 0  (0 implications/call)\n"), std::string::npos);
  EXPECT_NE(os.str().find("c Eliminated variables:      0 (0.00%)\n"), std::string::npos);
}

// reset() starts a new search on the same database: search counters go,
// database totals stay.
TEST(StatisticsReport, ResetKeepsTheDatabaseTotals) {
  using S = quelt::SearchStatistics;
  const std::vector<std::uint32_t S::*> cleared = {
      &S::restarts, &S::decisions, &S::randomDecisions, &S::randomPolarityDecisions, &S::bcPropagations,
      &S::bcpCalls, &S::conflicts, &S::simplifyUnits, &S::simplificationRounds, &S::variables,
      &S::backtrackLevels, &S::maxDecisionLevel, &S::maxLiteralsAssigned, &S::resolutionRounds};
  const std::vector<std::uint32_t S::*> kept = {
      &S::originalClauses, &S::totalLearnedClauses, &S::originalLiterals, &S::learnedLiterals,
      &S::redundantLearnedLiterals, &S::originalUnitClauses, &S::learnedUnitClauses, &S::eliminatedVariables,
      &S::eliminatedClauseCount};
  S s;
  for (auto f : cleared) s.*f = 5;
  for (auto f : kept) s.*f = 5;
  s.reset();
  for (auto f : cleared) EXPECT_EQ(s.*f, 0u);
  for (auto f : kept) EXPECT_EQ(s.*f, 5u);
}

}  // namespace
