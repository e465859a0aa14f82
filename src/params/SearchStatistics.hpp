// The counters of one solver and their fixed-format report. The engine
// updates the fields in place; this record only clears, partly resets and
// prints them.
#pragma once

#include <cstdint>
#include <iosfwd>

namespace quelt {

struct SearchStatistics {
  std::uint32_t restarts = 0;
  std::uint32_t decisions = 0;
  std::uint32_t randomDecisions = 0;
  std::uint32_t randomPolarityDecisions = 0;
  std::uint32_t bcPropagations = 0;
  std::uint32_t bcpCalls = 0;
  std::uint32_t conflicts = 0;
  std::uint32_t originalClauses = 0;
  std::uint32_t totalLearnedClauses = 0;
  std::uint32_t originalLiterals = 0;
  std::uint32_t learnedLiterals = 0;
  std::uint32_t redundantLearnedLiterals = 0;
  std::uint32_t originalUnitClauses = 0;
  std::uint32_t learnedUnitClauses = 0;
  std::uint32_t simplifyUnits = 0;
  std::uint32_t simplificationRounds = 0;
  std::uint32_t variables = 0;
  std::uint32_t backtrackLevels = 0;
  std::uint32_t maxDecisionLevel = 0;
  std::uint32_t maxLiteralsAssigned = 0;
  std::uint32_t eliminatedVariables = 0;
  std::uint32_t eliminatedClauseCount = 0;
  std::uint32_t resolutionRounds = 0;
  std::int32_t simplifyBudget = 0;

  // What preprocessing removed (simplify/preprocess.cpp). Not part of the
  // report below; the progress table and the library's counters show it.
  struct Preprocessing {
    std::uint32_t rounds = 0;
    std::uint32_t eliminatedVariables = 0;   // by bounded elimination
    std::uint32_t substitutedVariables = 0;  // replaced by an equivalent literal
    std::uint32_t failedLiterals = 0;        // whose negation became a unit
    std::uint32_t subsumedClauses = 0;
    std::uint32_t strengthenedClauses = 0;   // a literal removed by self-subsumption
    std::uint32_t clausesBefore = 0;         // stored clauses when it began
    std::uint32_t clausesAfter = 0;          // and when it ended
    std::uint32_t fixedVariables = 0;        // assigned at level 0 when it ended
    double seconds = 0;                      // CPU time it took
  } preprocessing;

  // What the modern search did (search/modern/). Not part of the report
  // below, which is the classic search's; a modern run reports these
  // besides.
  struct Modern {
    std::uint64_t glueSum = 0;        // over the learned clauses
    std::uint64_t tier1 = 0;          // learned with glue <= 2
    std::uint64_t tier2 = 0;          // with glue <= 6
    std::uint64_t tier3 = 0;          // the rest
    std::uint64_t modeSwitches = 0;
    std::uint64_t stableConflicts = 0;
    std::uint64_t rephases = 0;
    std::uint64_t reductions = 0;
    std::uint64_t reducedClauses = 0;
    std::uint64_t reusedLevels = 0;     // kept by restarts
    std::uint64_t binaryMinimised = 0;  // literals removed with binary clauses
    std::uint64_t shrunkLiterals = 0;   // removed by shrinking
    std::uint64_t failedLiterals = 0;  // found by probing during search
    std::uint64_t vivifyRounds = 0;
    std::uint64_t vivifyTried = 0;       // clauses
    std::uint64_t vivifiedClauses = 0;   // shortened or found satisfied
    std::uint64_t vivifiedLiterals = 0;  // removed from them
    std::uint64_t walks = 0;
    std::uint64_t walkFlips = 0;
    std::uint64_t walkModels = 0;  // walks that satisfied every clause
    // Elimination rounds during the search: rounds, then what they removed.
    Preprocessing inprocessing;
  } modern;

  // Clauses traded with other solvers (engine/Exchange.hpp). Not part of
  // the report below; reportSharing prints them where sharing ran.
  struct Sharing {
    std::uint64_t exported = 0;    // sent to the others
    std::uint64_t imported = 0;    // received and kept (units included)
    std::uint64_t units = 0;       // of those, assigned at level 0
    std::uint64_t duplicates = 0;  // received, but seen lately
    std::uint64_t satisfied = 0;   // received, but true at level 0
    std::uint64_t removed = 0;     // received, but naming a variable this solver removed
  } sharing;

  // Zeroes every counter.
  void clear() { *this = SearchStatistics(); }
  // Zeroes the search counters, keeping the database sizes, the unit counts,
  // the elimination totals and the simplification budget.
  void reset();
};

// The "c "-prefixed report; restores the stream's precision afterwards.
std::ostream& operator<<(std::ostream& os, const SearchStatistics& s);
// The modern search's counters, in the same style, after that report.
void reportModern(std::ostream& os, const SearchStatistics& s);
// One line of sharing counters, labelled with who they are of ("solver 2",
// "all solvers").
void reportSharing(std::ostream& os, const char* who, const SearchStatistics::Sharing& s);

}  // namespace quelt
