// The statistics report. Every counter label is 29 characters wide so the
// numbers line up in a terminal. Rates and percentages are derived on the
// fly; none of them is stored. Percentages are computed in single precision
// and the per-second rates in whole CPU seconds, which keeps the report cheap
// and its digits stable from one platform to the next.
#include "params/SearchStatistics.hpp"

#include <ostream>
#include <string>

#include "core/Clock.hpp"

namespace quelt {

namespace {

// A denominator that is never zero: an empty record prints zero rates.
std::uint32_t nz(std::uint32_t x) { return x == 0 ? 1 : x; }

// a as a percentage of b, in single precision.
float percent(std::uint32_t a, std::uint32_t b) {
  const float p = static_cast<float>(a) * 100.0f / static_cast<float>(nz(b));
  return p;
}

// Whole CPU seconds so far, at least 1, so that a rate taken within the first
// second equals the raw count.
std::uint32_t wholeSeconds() {
  const std::uint32_t s = cpuSeconds();
  return s < 1 ? 1 : s;
}

}  // namespace

void SearchStatistics::reset() {
  restarts = 0;
  decisions = 0;
  randomDecisions = 0;
  randomPolarityDecisions = 0;
  bcPropagations = 0;
  bcpCalls = 0;
  conflicts = 0;
  simplifyUnits = 0;
  simplificationRounds = 0;
  variables = 0;
  backtrackLevels = 0;
  maxDecisionLevel = 0;
  maxLiteralsAssigned = 0;
  resolutionRounds = 0;
}

std::ostream& operator<<(std::ostream& os, const SearchStatistics& s) {
  const std::streamsize savedPrecision = os.precision();
  os << std::fixed;

  // Literals of the learned clauses before minimisation.
  const std::uint32_t learnedBefore = s.learnedLiterals + s.redundantLearnedLiterals;

  os << "c " << std::endl;
  os << "c ---------------------------------" << std::endl;
  os << "c Solving statistics:        " << std::endl;
  os << "c ---------------------------------" << std::endl;
  os << "c Variables:                 " << s.variables << std::endl;
  os << "c Original clauses:          " << s.originalClauses << std::endl;
  os << "c Total learned clauses:     " << s.totalLearnedClauses << std::endl;
  os << "c Max. dec. level reached:   " << s.maxDecisionLevel << std::endl;
  os.precision(2);
  os << "c Max. literals assigned:    " << s.maxLiteralsAssigned << "  ("
     << percent(s.maxLiteralsAssigned, s.variables) << "%)" << std::endl;
  os << "c Restarts:                  " << s.restarts << std::endl;
  os << "c Decisions:                 " << s.decisions << "  ("
     << s.decisions / wholeSeconds() << "/sec)" << std::endl;
  os.precision(3);
  os << "c Random decisions:          " << s.randomDecisions << "  ("
     << percent(s.randomDecisions, s.decisions) << "%)" << std::endl;
  os << "c Random polarity decisions: " << s.randomPolarityDecisions << "  ("
     << percent(s.randomPolarityDecisions, s.decisions) << "%)" << std::endl;
  os << "c BC Propagations:           " << s.bcPropagations << "  ("
     << s.bcPropagations / wholeSeconds() << "/sec)" << std::endl;
  os << "c BCP calls:                 " << s.bcpCalls << "  ("
     << s.bcPropagations / nz(s.bcpCalls) << " implications/call)" << std::endl;
  os << "c Conflicts:                 " << s.conflicts << "  ("
     << s.conflicts / wholeSeconds() << "/sec)" << std::endl;
  os.precision(2);
  os << "c Backtrack levels:          " << s.backtrackLevels << "  ("
     << static_cast<double>(s.backtrackLevels) / static_cast<double>(nz(s.conflicts))
     << " levs/conflict)" << std::endl;
  os << "c Literals in orig. clauses: " << s.originalLiterals << "  ("
     << static_cast<float>(s.originalLiterals) / static_cast<float>(nz(s.originalClauses))
     << " lits/clause)" << std::endl;
  os << "c Literals in lear. clauses: " << learnedBefore << "  ("
     << static_cast<float>(learnedBefore) / static_cast<float>(nz(s.totalLearnedClauses))
     << " lits/clause)" << std::endl;
  os << "c Redundant learned lits:    " << s.redundantLearnedLiterals << "  ("
     << percent(s.redundantLearnedLiterals, learnedBefore) << "%)" << std::endl;
  os << "c Original unit lit. cls.:   " << s.originalUnitClauses << std::endl;
  os << "c Learned unit lit. cls.:    " << s.learnedUnitClauses << std::endl;
  os << "c Unit lits. from simplify:  " << s.simplifyUnits << std::endl;
  os << "c Eliminated variables:      " << s.eliminatedVariables << " ("
     << percent(s.eliminatedVariables, s.variables) << "%)" << std::endl;
  os << "c Eliminated clauses:        " << s.eliminatedClauseCount << " ("
     << percent(s.eliminatedClauseCount, s.originalClauses) << "%) [can be >100%]"
     << std::endl;
  os << "c Simplification rounds:     " << s.simplificationRounds << std::endl;
  os << "c Resolution rounds:         " << s.resolutionRounds << std::endl;
  os << "c Total runtime:             " << cpuTime() << std::endl;

  // The caller keeps fixed notation; only the precision is given back.
  os.precision(savedPrecision);
  return os;
}

void reportModern(std::ostream& os, const SearchStatistics& s) {
  const SearchStatistics::Modern& m = s.modern;
  const std::uint64_t learned = m.tier1 + m.tier2 + m.tier3;
  const std::streamsize savedPrecision = os.precision();
  os.precision(2);
  os << "c Modern search:             " << std::endl;
  os << "c Mean glue:                 "
     << static_cast<double>(m.glueSum) / static_cast<double>(learned == 0 ? 1 : learned) << std::endl;
  os << "c Learned by tier (1/2/3):   " << m.tier1 << " / " << m.tier2 << " / " << m.tier3 << std::endl;
  os << "c Reductions:                " << m.reductions << "  (" << m.reducedClauses << " clauses)" << std::endl;
  os << "c Mode switches:             " << m.modeSwitches << "  (" << m.stableConflicts
     << " stable conflicts)" << std::endl;
  os << "c Rephases:                  " << m.rephases << std::endl;
  os << "c Levels reused at restarts: " << m.reusedLevels << std::endl;
  os << "c Binary-minimised literals: " << m.binaryMinimised << std::endl;
  os << "c Shrunk literals:           " << m.shrunkLiterals << std::endl;
  os << "c Failed literals in search: " << m.failedLiterals << std::endl;
  os << "c Vivification rounds:       " << m.vivifyRounds << "  (" << m.vivifiedClauses << " of " << m.vivifyTried
     << " clauses, " << m.vivifiedLiterals << " literals)" << std::endl;
  const SearchStatistics::Preprocessing& e = m.inprocessing;
  os << "c Elimination rounds:        " << e.rounds << "  (" << e.eliminatedVariables << " eliminated, "
     << e.substitutedVariables << " substituted, " << e.subsumedClauses << " subsumed, " << e.strengthenedClauses
     << " strengthened)" << std::endl;
  os << "c Local-search walks:        " << m.walks << "  (" << m.walkFlips << " flips, " << m.walkModels
     << " models)" << std::endl;
  os.precision(savedPrecision);
}

void reportSharing(std::ostream& os, const char* who, const SearchStatistics::Sharing& s) {
  // The label is padded to the report's width; a long one runs on.
  std::string label = std::string("c Shared clauses, ") + who + ":";
  if (label.size() < 29) label.resize(29, ' ');
  os << label << s.exported << " out, " << s.imported << " in (" << s.units << " units; filtered: "
     << s.duplicates << " seen, " << s.satisfied << " satisfied, " << s.removed << " on removed variables)"
     << std::endl;
}

}  // namespace quelt
