// The statistics report: exact text, derived rates and percentages, stream
// state afterwards, and which counters reset() keeps.
#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "params/SearchStatistics.hpp"

namespace quelt {
namespace {

std::vector<std::string> reportLines(const SearchStatistics& s) {
  std::ostringstream os;
  os << s;
  std::vector<std::string> lines;
  std::istringstream in(os.str());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Every line but the last (the run time, which cannot be predicted).
const std::vector<std::string> kClearedReport = {
    "c ",
    "c ---------------------------------",
    "c Solving statistics:        ",
    "c ---------------------------------",
    "c Variables:                 0",
    "c Original clauses:          0",
    "c Total learned clauses:     0",
    "c Max. dec. level reached:   0",
    "c Max. literals assigned:    0  (0.00%)",
    "c Restarts:                  0",
    "c Decisions:                 0  (0/sec)",
    "c Random decisions:          0  (0.000%)",
    "c Random polarity decisions: 0  (0.000%)",
    "c BC Propagations:           0  (0/sec)",
    "c BCP calls:                 0  (0 implications/call)",
    "c Conflicts:                 0  (0/sec)",
    "c Backtrack levels:          0  (0.00 levs/conflict)",
    "c Literals in orig. clauses: 0  (0.00 lits/clause)",
    "c Literals in lear. clauses: 0  (0.00 lits/clause)",
    "c Redundant learned lits:    0  (0.00%)",
    "c Original unit lit. cls.:   0",
    "c Learned unit lit. cls.:    0",
    "c Unit lits. from simplify:  0",
    "c Eliminated variables:      0 (0.00%)",
    "c Eliminated clauses:        0 (0.00%) [can be >100%]",
    "c Simplification rounds:     0",
    "c Resolution rounds:         0",
};

TEST(StatisticsReport, ClearedRecordPrintsZerosAndARunTime) {
  SearchStatistics s;
  s.clear();
  std::ostringstream os;
  os << s;
  const std::string text = os.str();
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');

  const std::vector<std::string> lines = reportLines(s);
  ASSERT_EQ(lines.size(), kClearedReport.size() + 1);
  for (std::size_t i = 0; i < kClearedReport.size(); ++i)
    EXPECT_EQ(lines[i], kClearedReport[i]) << "line " << i + 1;
  EXPECT_TRUE(std::regex_match(lines.back(),
                               std::regex(R"(c Total runtime:             [0-9]+\.[0-9]{2})")))
      << lines.back();
}

// One counter setting and the report line it must produce.
struct ReportCase {
  const char* what;
  void (*fill)(SearchStatistics&);
  std::size_t line;  // 1-based line number in the report
  const char* expected;
};

const ReportCase kReportCases[] = {
    {"random decisions in percent of decisions",
     [](SearchStatistics& s) { s.decisions = 1000; s.randomDecisions = 25; }, 12,
     "c Random decisions:          25  (2.500%)"},
    {"random polarity decisions in percent of decisions",
     [](SearchStatistics& s) { s.decisions = 3; s.randomPolarityDecisions = 1; }, 13,
     "c Random polarity decisions: 1  (33.333%)"},
    {"eliminated clauses may exceed the original ones",
     [](SearchStatistics& s) { s.eliminatedClauseCount = 8; s.originalClauses = 4; }, 25,
     "c Eliminated clauses:        8 (200.00%) [can be >100%]"},
    {"eliminated variables in percent of variables",
     [](SearchStatistics& s) { s.eliminatedVariables = 1; s.variables = 8; }, 24,
     "c Eliminated variables:      1 (12.50%)"},
    {"literals assigned in percent of variables",
     [](SearchStatistics& s) { s.maxLiteralsAssigned = 3; s.variables = 7; }, 9,
     "c Max. literals assigned:    3  (42.86%)"},
    {"implications per call are truncated",
     [](SearchStatistics& s) { s.bcPropagations = 10; s.bcpCalls = 3; }, 15,
     "c BCP calls:                 3  (3 implications/call)"},
    {"implications per call with no call divide by one",
     [](SearchStatistics& s) { s.bcPropagations = 10; }, 15,
     "c BCP calls:                 0  (10 implications/call)"},
    {"levels per conflict",
     [](SearchStatistics& s) { s.backtrackLevels = 7; s.conflicts = 2; }, 17,
     "c Backtrack levels:          7  (3.50 levs/conflict)"},
    {"levels with no conflict divide by one",
     [](SearchStatistics& s) { s.backtrackLevels = 5; }, 17,
     "c Backtrack levels:          5  (5.00 levs/conflict)"},
    {"literals per original clause",
     [](SearchStatistics& s) { s.originalLiterals = 10; s.originalClauses = 3; }, 18,
     "c Literals in orig. clauses: 10  (3.33 lits/clause)"},
    {"learned literals count those removed by minimisation",
     [](SearchStatistics& s) {
       s.learnedLiterals = 6; s.redundantLearnedLiterals = 4; s.totalLearnedClauses = 4;
     }, 19,
     "c Literals in lear. clauses: 10  (2.50 lits/clause)"},
    {"redundant literals in percent of the literals before minimisation",
     [](SearchStatistics& s) { s.learnedLiterals = 6; s.redundantLearnedLiterals = 4; }, 20,
     "c Redundant learned lits:    4  (40.00%)"},
    {"the learned literal sum wraps at 32 bits",
     [](SearchStatistics& s) {
       s.learnedLiterals = 4294967295u; s.redundantLearnedLiterals = 2; s.totalLearnedClauses = 1;
     }, 19,
     "c Literals in lear. clauses: 1  (1.00 lits/clause)"},
    {"plain counters",
     [](SearchStatistics& s) { s.originalUnitClauses = 4294967295u; }, 21,
     "c Original unit lit. cls.:   4294967295"},
    {"resolution rounds",
     [](SearchStatistics& s) { s.resolutionRounds = 12; }, 27,
     "c Resolution rounds:         12"},
};

TEST(StatisticsReport, DerivedValues) {
  for (const ReportCase& c : kReportCases) {
    SearchStatistics s;
    c.fill(s);
    const std::vector<std::string> lines = reportLines(s);
    ASSERT_GE(lines.size(), c.line) << c.what;
    EXPECT_EQ(lines[c.line - 1], c.expected) << c.what;
  }
}

TEST(StatisticsReport, RatesWithinTheFirstCpuSecondAreTheRawCounts) {
  SearchStatistics s;
  s.decisions = 1234;
  s.bcPropagations = 56789;
  s.conflicts = 17;
  const std::clock_t before = std::clock();
  const std::vector<std::string> lines = reportLines(s);
  const std::clock_t after = std::clock();
  // The rates divide by whole CPU seconds, at least one; only a process
  // still inside its first second can expect the raw counts.
  if (before < 0 || after >= CLOCKS_PER_SEC) GTEST_SKIP() << "more than one CPU second used";
  ASSERT_EQ(lines.size(), kClearedReport.size() + 1);
  EXPECT_EQ(lines[10], "c Decisions:                 1234  (1234/sec)");
  EXPECT_EQ(lines[13], "c BC Propagations:           56789  (56789/sec)");
  EXPECT_EQ(lines[15], "c Conflicts:                 17  (17/sec)");
}

TEST(StatisticsReport, RestoresPrecisionAndLeavesFixedNotationOn) {
  // The precision the caller had, and how 0.3 prints after the report.
  const struct {
    std::streamsize precision;
    const char* after;
  } cases[] = {{6, "0.300000"}, {4, "0.3000"}, {0, "0"}};
  for (const auto& c : cases) {
    std::ostringstream os;
    os.precision(c.precision);
    os << SearchStatistics();
    EXPECT_EQ(os.precision(), c.precision);
    EXPECT_EQ(os.flags() & std::ios::floatfield, std::ios::fixed);
    os.str("");
    os << 0.3;
    EXPECT_EQ(os.str(), c.after) << "precision " << c.precision;
  }
}

TEST(StatisticsReport, ReturnsTheStream) {
  std::ostringstream os;
  std::ostream& back = (os << SearchStatistics());
  EXPECT_EQ(&back, &os);
}

// Which counters reset() zeroes (true) and which it keeps (false).
struct ResetCase {
  const char* name;
  std::uint32_t SearchStatistics::*field;
  bool zeroed;
};

const ResetCase kResetCases[] = {
    {"restarts", &SearchStatistics::restarts, true},
    {"decisions", &SearchStatistics::decisions, true},
    {"randomDecisions", &SearchStatistics::randomDecisions, true},
    {"randomPolarityDecisions", &SearchStatistics::randomPolarityDecisions, true},
    {"bcPropagations", &SearchStatistics::bcPropagations, true},
    {"bcpCalls", &SearchStatistics::bcpCalls, true},
    {"conflicts", &SearchStatistics::conflicts, true},
    {"originalClauses", &SearchStatistics::originalClauses, false},
    {"totalLearnedClauses", &SearchStatistics::totalLearnedClauses, false},
    {"originalLiterals", &SearchStatistics::originalLiterals, false},
    {"learnedLiterals", &SearchStatistics::learnedLiterals, false},
    {"redundantLearnedLiterals", &SearchStatistics::redundantLearnedLiterals, false},
    {"originalUnitClauses", &SearchStatistics::originalUnitClauses, false},
    {"learnedUnitClauses", &SearchStatistics::learnedUnitClauses, false},
    {"simplifyUnits", &SearchStatistics::simplifyUnits, true},
    {"simplificationRounds", &SearchStatistics::simplificationRounds, true},
    {"variables", &SearchStatistics::variables, true},
    {"backtrackLevels", &SearchStatistics::backtrackLevels, true},
    {"maxDecisionLevel", &SearchStatistics::maxDecisionLevel, true},
    {"maxLiteralsAssigned", &SearchStatistics::maxLiteralsAssigned, true},
    {"eliminatedVariables", &SearchStatistics::eliminatedVariables, false},
    {"eliminatedClauseCount", &SearchStatistics::eliminatedClauseCount, false},
    {"resolutionRounds", &SearchStatistics::resolutionRounds, true},
};

TEST(StatisticsReset, ZeroesSearchCountersAndKeepsDatabaseTotals) {
  SearchStatistics s;
  std::uint32_t value = 1;
  for (const ResetCase& c : kResetCases) s.*c.field = value++;
  s.simplifyBudget = -42;

  s.reset();

  value = 1;
  for (const ResetCase& c : kResetCases) {
    const std::uint32_t expected = c.zeroed ? 0 : value;
    EXPECT_EQ(s.*c.field, expected) << c.name;
    ++value;
  }
  EXPECT_EQ(s.simplifyBudget, -42);
}

TEST(StatisticsReset, ClearZeroesEverything) {
  SearchStatistics s;
  for (const ResetCase& c : kResetCases) s.*c.field = 9;
  s.simplifyBudget = 5;
  s.clear();
  for (const ResetCase& c : kResetCases) EXPECT_EQ(s.*c.field, 0u) << c.name;
  EXPECT_EQ(s.simplifyBudget, 0);
}

}  // namespace
}  // namespace quelt
