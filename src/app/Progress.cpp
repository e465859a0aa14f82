// The progress table (see Progress.hpp).
#include "app/Progress.hpp"

#include <cstdio>
#include <iomanip>
#include <ostream>

#include "core/Clock.hpp"
#include "engine/Solver.hpp"
#include "lib/Facade.hpp"

namespace quelt {

namespace {

constexpr int kWidth = 10;
const char* const kColumns[] = {"seconds", "conflicts", "decisions", "props/s", "learned",
                                "fixed",   "elim",      "rst-limit", "red-limit"};

std::string limit(std::int32_t value) { return value <= 0 ? "off" : ProgressTable::compact(value); }

}  // namespace

std::string ProgressTable::compact(double n) {
  char text[32];
  if (n < 1e4)
    std::snprintf(text, sizeof text, "%.0f", n);
  else if (n < 1e7)
    std::snprintf(text, sizeof text, "%.1fk", n / 1e3);
  else if (n < 1e10)
    std::snprintf(text, sizeof text, "%.1fM", n / 1e6);
  else
    std::snprintf(text, sizeof text, "%.1fG", n / 1e9);
  return text;
}

void ProgressTable::attach(Facade& facade) {
  facade.setProgress([this](const Solver& s, bool final) { report(s, final); });
}

void ProgressTable::report(const Solver& s, bool final) {
  const SearchStatistics::Preprocessing& p = s.stats.preprocessing;
  if (p.rounds != preprocessRounds) {  // preprocessing has just run
    preprocessRounds = p.rounds;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", p.seconds);
    out << "c preprocessing: " << p.rounds << (p.rounds == 1 ? " round" : " rounds") << " in " << seconds << " s, "
        << p.eliminatedVariables << " variables eliminated, " << p.substitutedVariables << " substituted, "
        << p.failedLiterals << " failed literals, " << p.fixedVariables << " fixed; " << p.subsumedClauses
        << " clauses subsumed, " << p.strengthenedClauses << " strengthened; " << p.clausesBefore << " -> "
        << p.clausesAfter << " clauses" << std::endl;
  }
  const SearchStatistics::Modern& m = s.stats.modern;
  if (m.vivifyRounds != inprocessRounds) {  // one or more rounds since the last line
    out << "c simplification round " << m.vivifyRounds << ": " << m.failedLiterals - failedLiterals
        << " failed literals, " << m.vivifiedClauses - vivifiedClauses << " clauses vivified ("
        << m.vivifiedLiterals - vivifiedLiterals << " literals removed), "
        << m.inprocessing.eliminatedVariables - eliminatedVariables << " variables eliminated, "
        << m.inprocessing.substitutedVariables - substitutedVariables << " substituted" << std::endl;
    eliminatedVariables = m.inprocessing.eliminatedVariables;
    substitutedVariables = m.inprocessing.substitutedVariables;
    inprocessRounds = m.vivifyRounds;
    failedLiterals = m.failedLiterals;
    vivifiedClauses = m.vivifiedClauses;
    vivifiedLiterals = m.vivifiedLiterals;
  }
  const double now = cpuTime();
  if (started && !final && now - lastSeconds < 1.0) return;
  if (!started) {
    out << 'c';
    for (const char* column : kColumns) out << std::setw(kWidth) << column;
    if (s.policy->shownMode() != 0) out << std::setw(kWidth) << "mode";
    if (s.exchange != nullptr) out << std::setw(kWidth) << "exported" << std::setw(kWidth) << "imported";
    out << '\n';
    started = true;
  }
  const double elapsed = now - lastSeconds;
  const std::uint32_t propagations = s.stats.bcPropagations;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", now);
  const std::string cells[] = {
      seconds,
      compact(s.stats.conflicts),
      compact(s.stats.decisions),
      elapsed > 0 ? compact(static_cast<double>(static_cast<std::uint32_t>(propagations - lastPropagations)) / elapsed)
                  : "-",
      compact(static_cast<double>(s.learnedClauses.size())),
      compact(static_cast<double>(s.trail.levelStarts.size() > 1 ? s.trail.levelStarts[1] : s.trail.lits.size())),
      compact(s.stats.eliminatedVariables),
      limit(s.policy->shownRestartLimit()),
      limit(s.policy->shownReductionLimit()),
  };
  out << 'c';
  for (const std::string& cell : cells) out << std::setw(kWidth) << cell;
  if (const char mode = s.policy->shownMode()) out << std::setw(kWidth) << (mode == 'S' ? "stable" : "focused");
  if (s.exchange != nullptr)
    out << std::setw(kWidth) << compact(static_cast<double>(s.stats.sharing.exported)) << std::setw(kWidth)
        << compact(static_cast<double>(s.stats.sharing.imported));
  out << std::endl;
  lastSeconds = now;
  lastPropagations = propagations;
}

}  // namespace quelt
