// The rounds in which portfolios in several processes (ranks) tell each other
// how they stand and hand each other learned clauses, apart from how the
// bytes travel (a Transport: MPI in src/mpi, or memory in one process).
//
// A round is one collective call: every rank puts in a slot of the same
// size and gets every rank's slot back, in rank order. A slot is
//   [state, detail, used, clauses...]
// with `used` entries of clauses after the three of the header and the
// rest unused. The clauses are [glue, literals..., 0] in DIMACS numbers,
// best first, the format Portfolio::takeExports gives and
// Portfolio::importRemote takes.
//
// The clauses of a slot, a rank's share of a round, take at most
//   cap(R) = max(kMinShare, ceil(kRoundBudget / sqrt(R)))
// ints for R ranks, so what every rank receives in a round, R * cap(R),
// grows as kRoundBudget * sqrt(R): 2000 ints (8 KB) from each of 1 rank,
// 1415 each from 2 (11 KB in all), 500 each from 16 (32 KB), 177 each from
// 128 (88 KB), 63 each from 1024 (252 KB). Sending each rank's whole
// export would grow linearly and swamp both the network and the solvers
// that must take it in; a share that shrinks keeps the best clauses of
// every rank and the import per round sub-linear.
//
// Imports are filtered: a clause (its literals in any order; the glue does
// not count) that this rank exported or imported recently is dropped, as
// is everything in the rank's own slot. The filter remembers a clause
// for between `horizon` and 2 * horizon rounds and then forgets it: by
// then the solvers may well have deleted it, and it is worth taking again.
// The filter keeps 64-bit hashes; a collision drops a clause that was new,
// which costs a clause, never a wrong answer.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

namespace quelt::exchange {

// ---- The clause format ------------------------------------------------------

// Appends [glue, lits..., 0].
void appendClause(std::vector<std::int32_t>& buffer, std::int32_t glue, const std::vector<std::int32_t>& lits);

// One clause of a buffer.
struct ClauseView {
  std::int32_t glue;
  const std::int32_t* lits;
  std::size_t size;
};

// The clauses of [begin, end) in order. Throws std::invalid_argument when
// the range is not whole clauses: a negative glue, no literal, a literal
// INT32_MIN, or a last clause without its 0.
std::vector<ClauseView> clausesOf(const std::int32_t* begin, const std::int32_t* end);

// The length of the longest run of whole clauses at the front of buffer
// that fits in maxInts entries.
std::size_t wholePrefix(const std::vector<std::int32_t>& buffer, std::size_t maxInts);

// ---- Caps ------------------------------------------------------------------

constexpr std::size_t kRoundBudget = 2000;  // ints a rank receives per round from 1 rank
constexpr std::size_t kMinShare = 32;       // ints, so that a share holds a few clauses
constexpr std::size_t kHeaderInts = 3;

// A rank's share of a round for ranks ranks (see the top of the file).
std::size_t shareOf(unsigned ranks);
// The size of a slot: the header and the share.
inline std::size_t slotInts(unsigned ranks) { return kHeaderInts + shareOf(ranks); }

// ---- How a rank stands, and what the ranks decide --------------------------

enum class State : std::int32_t {
  Running = 0,
  Satisfiable = 1,
  Unsatisfiable = 2,
  Failed = 3,    // the winner's model failed its check; the diagnosis follows the run
  Stopped = 4,   // a signal or a limit; detail: the signal, 0 for a limit
  Finished = 5,  // ended without a verdict and without a stop: every solver dropped out
};

struct Report {
  State state = State::Running;
  std::int32_t detail = 0;  // the winning thread of a verdict; the signal of a stop
};

// What a round's reports mean for the run. The first round with a verdict
// ends it (Satisfiable, Unsatisfiable or Failed; the lowest rank with one
// wins); otherwise any stop ends it (the lowest rank's), and so does every
// rank having finished. Every rank gets the same reports, so all decide
// the same.
struct Outcome {
  enum Kind { Continue, Verdict, Stop, Exhausted } kind = Continue;
  unsigned rank = 0;  // the winner of a verdict, the stopped rank of a stop
  Report report;      // that rank's
};
Outcome decide(const std::vector<Report>& reports);

// ---- The duplicate filter ----------------------------------------------------

class ClauseFilter {
 public:
  explicit ClauseFilter(unsigned horizon) : horizon(horizon == 0 ? 1 : horizon) {}
  // True the first time lits (in any order) is seen within the memory of
  // the filter; it is remembered from then on.
  bool admit(const std::int32_t* lits, std::size_t size);
  // Ends a round; every horizon rounds the older half of the memory goes.
  void endRound();

 private:
  const unsigned horizon;
  unsigned rounds = 0;
  std::unordered_set<std::uint64_t> recent, older;
  std::vector<std::int32_t> sorted;  // scratch
};

// ---- Transports ----------------------------------------------------------------

class Transport {
 public:
  virtual ~Transport() = default;
  virtual unsigned rank() const = 0;
  virtual unsigned size() const = 0;
  // The collective of a round: every rank calls it with a slot of the same
  // length, and all receives the size() slots one after the other in rank
  // order. Blocks until every rank has called it.
  virtual void allGather(const std::vector<std::int32_t>& mine, std::vector<std::int32_t>& all) = 0;
};

// Ranks that are threads of one process, for tests: endpoint(r) is rank r,
// and each endpoint's allGather must be called from a thread of its own.
class InProcessHub {
 public:
  explicit InProcessHub(unsigned ranks);
  ~InProcessHub();
  Transport& endpoint(unsigned rank);

 private:
  class Endpoint;
  void gather(unsigned rank, const std::vector<std::int32_t>& mine, std::vector<std::int32_t>& all);

  const unsigned ranks;
  std::vector<std::unique_ptr<Endpoint>> endpoints;
  std::mutex mutex;
  std::condition_variable done;
  std::vector<std::vector<std::int32_t>> pending;
  unsigned arrived = 0;
  std::uint64_t generation = 0;
  std::vector<std::int32_t> result;  // the last complete round
};

// ---- A rank's side of the rounds --------------------------------------------

struct ExchangeStatistics {
  std::uint64_t rounds = 0;
  std::uint64_t clausesSent = 0;      // put in this rank's slot
  std::uint64_t clausesReceived = 0;  // in other ranks' slots
  std::uint64_t clausesImported = 0;  // received and passed by the filter
  std::uint64_t seenBefore = 0;       // received and dropped by the filter
  std::uint64_t bytesGathered = 0;    // the slots received, all ranks' together
  std::chrono::nanoseconds transportTime{0};  // in allGather
};

class Exchange {
 public:
  static constexpr unsigned kDefaultHorizon = 20;

  explicit Exchange(Transport& transport, unsigned horizon = kDefaultHorizon);

  // The ints of clauses a round takes from this rank.
  std::size_t share() const { return shareInts; }
  unsigned rank() const { return transport.rank(); }
  unsigned size() const { return transport.size(); }

  // One round: sends mine and the whole clauses at the front of exports
  // that fit the share; reports gets every rank's report, imports the
  // other ranks' clauses that passed the filter, taken in turns from each
  // rank so that every rank's best come first. Throws
  // std::invalid_argument when a slot is malformed.
  void round(const Report& mine, const std::vector<std::int32_t>& exports, std::vector<Report>& reports,
             std::vector<std::int32_t>& imports);

  const ExchangeStatistics& statistics() const { return stats; }

 private:
  Transport& transport;
  const std::size_t shareInts;
  ClauseFilter filter;
  ExchangeStatistics stats;
  std::vector<std::int32_t> slot, all;
};

}  // namespace quelt::exchange
