// The progress table of --progress: "c" lines on standard output while the
// search runs, so that a user can watch a long run.
//
// The solver calls back after preprocessing, at each restart, every 1024
// conflicts and once when the solve ends. Preprocessing gets a line of its
// own, before the table's next row. A row is written at the first call,
// then only when at least a CPU second has passed since the last row, and
// always at the end. Reading the counters changes nothing: the search is
// the same with or without the table. A solver that shares clauses with
// others has two more columns: the clauses it sent and those it took in.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace quelt {

class Facade;
class Solver;

class ProgressTable {
 public:
  explicit ProgressTable(std::ostream& out) : out(out) {}
  // Makes the facade's solver report to this table.
  void attach(Facade& facade);
  // A row now, when due (or when final); the header before the first.
  void report(const Solver& solver, bool final);

  // n in at most 7 characters: as it is below 10,000, then with a k, M or G
  // suffix and one decimal.
  static std::string compact(double n);

 private:
  std::ostream& out;
  bool started = false;
  double lastSeconds = 0;
  std::uint32_t lastPropagations = 0;  // the counter is 32 bits wide and wraps
  std::uint32_t preprocessRounds = 0;  // of the last preprocessing reported
  // The modern search's simplification rounds, as of the last line on them.
  std::uint64_t inprocessRounds = 0, failedLiterals = 0, vivifiedClauses = 0, vivifiedLiterals = 0;
  std::uint64_t eliminatedVariables = 0, substitutedVariables = 0;
};

}  // namespace quelt
