// Exchange rounds between ranks (see Exchange.hpp).
#include "lib/parallel/Exchange.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace quelt::exchange {

// ---- The clause format ------------------------------------------------------

void appendClause(std::vector<std::int32_t>& buffer, std::int32_t glue, const std::vector<std::int32_t>& lits) {
  buffer.push_back(glue);
  buffer.insert(buffer.end(), lits.begin(), lits.end());
  buffer.push_back(0);
}

std::vector<ClauseView> clausesOf(const std::int32_t* begin, const std::int32_t* end) {
  std::vector<ClauseView> clauses;
  const std::int32_t* p = begin;
  while (p != end) {
    const std::int32_t glue = *p++;
    if (glue < 0) throw std::invalid_argument("clause buffer: negative glue");
    const std::int32_t* lits = p;
    while (p != end && *p != 0) {
      if (*p == std::numeric_limits<std::int32_t>::min()) throw std::invalid_argument("clause buffer: bad literal");
      ++p;
    }
    if (p == end) throw std::invalid_argument("clause buffer: a clause without its 0");
    if (p == lits) throw std::invalid_argument("clause buffer: an empty clause");
    clauses.push_back({glue, lits, static_cast<std::size_t>(p - lits)});
    ++p;
  }
  return clauses;
}

std::size_t wholePrefix(const std::vector<std::int32_t>& buffer, std::size_t maxInts) {
  std::size_t whole = 0, k = 0;
  const std::size_t limit = std::min(maxInts, buffer.size());
  while (k < limit) {
    ++k;  // the glue
    while (k < limit && buffer[k] != 0) ++k;
    if (k == limit) break;  // the clause does not end within the limit
    whole = ++k;
  }
  return whole;
}

// ---- Caps ------------------------------------------------------------------

std::size_t shareOf(unsigned ranks) {
  const double r = ranks == 0 ? 1.0 : static_cast<double>(ranks);
  const auto share = static_cast<std::size_t>(std::ceil(static_cast<double>(kRoundBudget) / std::sqrt(r)));
  return std::max(kMinShare, share);
}

// ---- Decisions ----------------------------------------------------------------

Outcome decide(const std::vector<Report>& reports) {
  Outcome outcome;
  for (unsigned r = 0; r < reports.size(); ++r) {
    const State s = reports[r].state;
    if (s == State::Satisfiable || s == State::Unsatisfiable || s == State::Failed)
      return {Outcome::Verdict, r, reports[r]};
  }
  bool allFinished = !reports.empty();
  for (unsigned r = 0; r < reports.size(); ++r) {
    if (reports[r].state == State::Stopped) return {Outcome::Stop, r, reports[r]};
    allFinished = allFinished && reports[r].state == State::Finished;
  }
  if (allFinished) outcome.kind = Outcome::Exhausted;
  return outcome;
}

// ---- The duplicate filter ----------------------------------------------------

namespace {

// A 64-bit finaliser (the one of MurmurHash3's fmix64): every input bit
// moves about half the output bits.
std::uint64_t mix(std::uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb93fe53e94a3ULL;
  x ^= x >> 33;
  return x;
}

}  // namespace

bool ClauseFilter::admit(const std::int32_t* lits, std::size_t size) {
  sorted.assign(lits, lits + size);
  std::sort(sorted.begin(), sorted.end());
  std::uint64_t h = mix(size);
  for (std::int32_t l : sorted) h = mix(h ^ static_cast<std::uint32_t>(l));
  if (older.count(h) != 0 || recent.count(h) != 0) return false;
  recent.insert(h);
  return true;
}

void ClauseFilter::endRound() {
  if (++rounds < horizon) return;
  rounds = 0;
  older.swap(recent);
  recent.clear();
}

// ---- The in-process transport ---------------------------------------------------

class InProcessHub::Endpoint : public Transport {
 public:
  Endpoint(InProcessHub& hub, unsigned rank) : hub(hub), me(rank) {}
  unsigned rank() const override { return me; }
  unsigned size() const override { return hub.ranks; }
  void allGather(const std::vector<std::int32_t>& mine, std::vector<std::int32_t>& all) override {
    hub.gather(me, mine, all);
  }

 private:
  InProcessHub& hub;
  const unsigned me;
};

InProcessHub::InProcessHub(unsigned ranks) : ranks(ranks), pending(ranks) {
  for (unsigned r = 0; r < ranks; ++r) endpoints.push_back(std::make_unique<Endpoint>(*this, r));
}

InProcessHub::~InProcessHub() = default;

Transport& InProcessHub::endpoint(unsigned rank) { return *endpoints.at(rank); }

// The last rank to arrive joins the slots and opens the round. A rank can
// only overwrite result in the next round once every rank has arrived
// there, that is, after each has copied this one.
void InProcessHub::gather(unsigned rank, const std::vector<std::int32_t>& mine, std::vector<std::int32_t>& all) {
  std::unique_lock<std::mutex> lock(mutex);
  pending[rank] = mine;
  const std::uint64_t round = generation;
  if (++arrived == ranks) {
    result.clear();
    for (const std::vector<std::int32_t>& slot : pending) result.insert(result.end(), slot.begin(), slot.end());
    arrived = 0;
    ++generation;
    done.notify_all();
  } else {
    done.wait(lock, [&] { return generation != round; });
  }
  all = result;
}

// ---- A rank's side of the rounds --------------------------------------------

Exchange::Exchange(Transport& transport, unsigned horizon)
    : transport(transport), shareInts(shareOf(transport.size())), filter(horizon) {}

void Exchange::round(const Report& mine, const std::vector<std::int32_t>& exports, std::vector<Report>& reports,
                     std::vector<std::int32_t>& imports) {
  const unsigned ranks = transport.size(), me = transport.rank();
  const std::size_t slotSize = kHeaderInts + shareInts;
  const std::size_t used = wholePrefix(exports, shareInts);

  // Our own clauses are remembered, so that they are not taken back when
  // another rank has learned or passed on the same.
  for (const ClauseView& c : clausesOf(exports.data(), exports.data() + used)) {
    filter.admit(c.lits, c.size);
    ++stats.clausesSent;
  }
  slot.assign(slotSize, 0);
  slot[0] = static_cast<std::int32_t>(mine.state);
  slot[1] = mine.detail;
  slot[2] = static_cast<std::int32_t>(used);
  std::copy(exports.begin(), exports.begin() + static_cast<std::ptrdiff_t>(used), slot.begin() + kHeaderInts);

  const auto start = std::chrono::steady_clock::now();
  transport.allGather(slot, all);
  stats.transportTime += std::chrono::steady_clock::now() - start;
  ++stats.rounds;
  if (all.size() != slotSize * ranks) throw std::invalid_argument("exchange: the round has slots of another size");
  stats.bytesGathered += all.size() * sizeof(std::int32_t);

  reports.assign(ranks, Report{});
  std::vector<std::vector<ClauseView>> received(ranks);
  for (unsigned r = 0; r < ranks; ++r) {
    const std::int32_t* s = all.data() + r * slotSize;
    if (s[0] < static_cast<std::int32_t>(State::Running) || s[0] > static_cast<std::int32_t>(State::Finished) ||
        s[2] < 0 || static_cast<std::size_t>(s[2]) > shareInts)
      throw std::invalid_argument("exchange: malformed slot of rank " + std::to_string(r));
    reports[r] = {static_cast<State>(s[0]), s[1]};
    if (r != me) received[r] = clausesOf(s + kHeaderInts, s + kHeaderInts + s[2]);
  }

  imports.clear();
  for (std::size_t k = 0;; ++k) {
    bool more = false;
    for (unsigned r = 0; r < ranks; ++r) {
      if (k >= received[r].size()) continue;
      more = true;
      const ClauseView& c = received[r][k];
      ++stats.clausesReceived;
      if (!filter.admit(c.lits, c.size)) {
        ++stats.seenBefore;
        continue;
      }
      ++stats.clausesImported;
      imports.push_back(c.glue);
      imports.insert(imports.end(), c.lits, c.lits + c.size);
      imports.push_back(0);
    }
    if (!more) break;
  }
  filter.endRound();
}

}  // namespace quelt::exchange
