// Several solvers on one formula at once (--threads N): each in a thread of
// its own, each with a different configuration, and the first verdict wins.
//
// Solver 0 is the one the formula was read into, configured as the command
// line asks; it runs on the calling thread. Solvers 1 .. N-1 are built here:
// each loads the formula from the reader's record of it (the same calls in
// the same order, so it starts from the same database, and logs the same
// shortened clauses to its own proof) and takes its configuration: solver 1
// the command line's with the preprocessor switched, the others the next of
// a fixed list (configurationName). Nothing is shared between them but the
// record, which only is read, and the atomic flags below.
//
// The solver that first ends with a verdict claims the win and raises the
// shared flag every solver has as its stop flag; the others end at their
// next limit check. A stop from outside (a signal, the wall-clock limit) is
// read through each solver's terminate hook, so it stops them all.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "solver/Solver.hpp"

namespace quelt {

class Portfolio {
 public:
  static constexpr unsigned kMaxThreads = 64;

  // The configuration of solver i: "command line" for 0, the same with the
  // preprocessor switched the other way for 1 (firstPreprocesses: whether 0
  // preprocesses), then the fixed list, and past its end the list again
  // with other random seeds.
  static std::string configurationName(unsigned i, bool firstPreprocesses);

  // first holds the formula, whose record is formula, and is configured;
  // its time limit (absolute) is given to all. Each further solver's clauses
  // may take clauseMemoryLimit bytes (0: no limit). outsideStop is raised
  // from outside to stop everything. The formula must outlive the portfolio.
  Portfolio(Solver& first, const std::vector<std::int32_t>& formula, unsigned threads,
            std::size_t clauseMemoryLimit, const std::atomic<bool>& outsideStop);
  ~Portfolio();
  Portfolio(const Portfolio&) = delete;
  Portfolio& operator=(const Portfolio&) = delete;

  // Gives each further solver a proof file of its own beside path; throws
  // std::runtime_error naming a file that cannot be opened, after closing
  // and removing the ones opened before it.
  void openProofs(const std::string& path, bool binary);
  // Runs every solver and returns when all have ended.
  void run();

  unsigned size() const { return static_cast<unsigned>(entrants.size()); }
  Solver& solver(unsigned i) { return *entrants[i].solver; }
  // The solver that ended first with a verdict (or a failed model check);
  // -1 when none did.
  int winner() const { return winnerIndex.load(); }
  // configurationName of solver i in this portfolio.
  std::string nameOf(unsigned i) const { return configurationName(i, firstParams.preprocess); }
  // What solver i ran into instead of a result, if anything.
  bool reachedMemoryLimit(unsigned i) const { return entrants[i].overLimit; }
  bool ranOutOfResources(unsigned i) const { return entrants[i].outOfResources; }
  // The self-check diagnosis of solver i's model; empty when it passed.
  const std::string& modelCheckFailure(unsigned i) const { return entrants[i].failure; }

  // Checks the winner's model against every clause of the record: empty when
  // it satisfies them all, otherwise the diagnosis (whole lines).
  std::string checkModel() const;

  // Closes the proof files of solvers 1 .. N-1 and puts the winner's at path
  // (solver 0 writes there itself), removing the others. The proof of solver
  // 0 is left as it is when no solver won. False when the proof kept could
  // not be written.
  bool settleProofs(const std::string& path, ProofWriter& firstProof);

 private:
  struct Entrant {
    std::unique_ptr<Solver> own;  // null for solver 0
    Solver* solver = nullptr;
    std::unique_ptr<ProofWriter> proof;
    std::string proofPath;
    bool overLimit = false;
    bool outOfResources = false;
    std::string failure;
  };

  void runOne(unsigned i);
  // Closes and removes the proof files of solvers 1 .. N-1 still open.
  void discardProofs();
  void load(Solver& s) const;
  void claim(unsigned i);

  const std::vector<std::int32_t>& formula;
  const std::atomic<bool>& outsideStop;
  // Solver 0's configuration, taken before it starts: solver 1 derives its
  // own from it.
  const SearchParams firstParams;
  std::vector<Entrant> entrants;
  std::atomic<bool> decided{false};
  std::atomic<int> winnerIndex{-1};
};

}  // namespace quelt
