// Clause sharing (see Sharing.hpp).
#include "lib/parallel/Sharing.hpp"

#include <algorithm>

namespace quelt {

namespace {

// Sebastiano Vigna's splitmix64 finaliser: every input bit reaches every
// output bit.
std::uint64_t mix(std::uint64_t x) {
  x += 0x9e3779b97f4a7c15ull;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

std::size_t tableSize(std::size_t window) {
  std::size_t n = 16;
  while (n < 2 * window) n *= 2;  // at most half full
  return n;
}

// The length of the clause starting at lits[k] (the literals up to the 0),
// or none when no 0 ends it.
constexpr std::size_t kUnterminated = static_cast<std::size_t>(-1);
std::size_t clauseLength(const std::vector<std::int32_t>& v, std::size_t k) {
  for (std::size_t j = k; j < v.size(); ++j)
    if (v[j] == 0) return j - k;
  return kUnterminated;
}

}  // namespace

// ---- The filter -------------------------------------------------------------

ClauseFilter::ClauseFilter(std::size_t window) : window(window < 1 ? 1 : window) {
  current.slots.assign(tableSize(this->window), 0);
  previous.slots.assign(tableSize(this->window), 0);
}

// A sum of mixed literals does not depend on their order.
std::uint64_t ClauseFilter::fingerprint(const std::int32_t* lits, std::size_t size) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < size; ++i) sum += mix(static_cast<std::uint64_t>(static_cast<std::int64_t>(lits[i])));
  const std::uint64_t h = mix(sum ^ (static_cast<std::uint64_t>(size) << 56));
  return h == 0 ? 1 : h;
}

bool ClauseFilter::Table::contains(std::uint64_t h) const {
  const std::size_t mask = slots.size() - 1;
  for (std::size_t i = static_cast<std::size_t>(h) & mask;; i = (i + 1) & mask) {
    if (slots[i] == h) return true;
    if (slots[i] == 0) return false;
  }
}

void ClauseFilter::Table::insert(std::uint64_t h) {
  const std::size_t mask = slots.size() - 1;
  std::size_t i = static_cast<std::size_t>(h) & mask;
  while (slots[i] != 0) i = (i + 1) & mask;
  slots[i] = h;
  count += 1;
}

void ClauseFilter::Table::clear() {
  std::fill(slots.begin(), slots.end(), 0);
  count = 0;
}

bool ClauseFilter::seen(const std::int32_t* lits, std::size_t size) {
  const std::uint64_t h = fingerprint(lits, size);
  if (current.contains(h) || previous.contains(h)) return true;
  if (current.count >= window) {
    std::swap(current, previous);
    current.clear();
  }
  current.insert(h);
  return false;
}

// ---- The bounded buffer -----------------------------------------------------

ClauseBuffer::ClauseBuffer(std::size_t clauses, std::size_t maxSize)
    : capacity(clauses), maxSize(maxSize), pool(clauses * maxSize), sizes(clauses), glues(clauses), order(clauses) {
  heap.reserve(clauses);
  sorted.reserve(clauses);
  free.reserve(clauses);
  for (std::size_t s = clauses; s-- > 0;) free.push_back(static_cast<std::uint32_t>(s));
}

std::uint64_t ClauseBuffer::rank(std::uint32_t slot) const {
  const std::uint64_t glue = sizes[slot] == 1 ? 0 : glues[slot];
  return (glue << 32) | sizes[slot];
}

// On equal rank the later arrival is the worse.
bool ClauseBuffer::worse(std::uint32_t a, std::uint32_t b) const {
  const std::uint64_t ra = rank(a), rb = rank(b);
  return ra != rb ? ra > rb : static_cast<std::int32_t>(order[a] - order[b]) > 0;
}

void ClauseBuffer::siftUp(std::size_t i) {
  while (i > 0) {
    const std::size_t parent = (i - 1) / 2;
    if (!worse(heap[i], heap[parent])) return;
    std::swap(heap[i], heap[parent]);
    i = parent;
  }
}

void ClauseBuffer::siftDown(std::size_t i) {
  for (;;) {
    const std::size_t l = 2 * i + 1, r = l + 1;
    std::size_t top = i;
    if (l < heap.size() && worse(heap[l], heap[top])) top = l;
    if (r < heap.size() && worse(heap[r], heap[top])) top = r;
    if (top == i) return;
    std::swap(heap[i], heap[top]);
    i = top;
  }
}

bool ClauseBuffer::add(const std::int32_t* lits, std::size_t size, unsigned glue) {
  if (size == 0 || size > maxSize || capacity == 0) return false;
  std::uint32_t slot;
  bool kept = true;
  const std::uint64_t incoming = (static_cast<std::uint64_t>(size == 1 ? 0 : glue) << 32) | size;
  if (!free.empty()) {
    slot = free.back();
    free.pop_back();
    heap.push_back(slot);
  } else {
    if (incoming >= rank(heap[0])) return false;  // no better than the worst held
    slot = heap[0];  // the worst makes room
    kept = false;
  }
  std::copy(lits, lits + size, pool.begin() + static_cast<std::ptrdiff_t>(slot * maxSize));
  sizes[slot] = static_cast<std::uint32_t>(size);
  glues[slot] = glue;
  order[slot] = arrivals++;
  if (kept)
    siftUp(heap.size() - 1);
  else
    siftDown(0);
  return kept;
}

std::size_t ClauseBuffer::drain(std::vector<std::int32_t>& out, std::size_t maxInts) {
  sorted.assign(heap.begin(), heap.end());
  std::sort(sorted.begin(), sorted.end(), [this](std::uint32_t a, std::uint32_t b) { return worse(b, a); });
  std::size_t used = 0, taken = 0;
  for (; taken < sorted.size(); ++taken) {
    const std::uint32_t slot = sorted[taken];
    const std::size_t need = sizes[slot] + 2;
    if (used + need > maxInts) break;
    used += need;
    out.push_back(static_cast<std::int32_t>(glues[slot]));
    const auto first = pool.begin() + static_cast<std::ptrdiff_t>(slot * maxSize);
    out.insert(out.end(), first, first + sizes[slot]);
    out.push_back(0);
    free.push_back(slot);
  }
  heap.assign(sorted.begin() + static_cast<std::ptrdiff_t>(taken), sorted.end());
  for (std::size_t i = heap.size(); i-- > 0;) siftDown(i);
  return taken;
}

// ---- A solver's channel -----------------------------------------------------

Channel::Channel(SharingHub& hub, unsigned index) : hub(hub), index(index) {
  scratch.reserve(kMaxSize);
  outgoing.reserve(kStagedClauses * (kMaxSize + 2));
}

void Channel::offer(const std::vector<Literal>& clause, unsigned glue) {
  offered += 1;
  if (offered % kAdjustPeriod == 0) adapt();
  if (clause.size() > 2 && glue > limit) return;
  scratch.clear();
  for (Literal l : clause) scratch.push_back(static_cast<std::int32_t>(l.toDimacs()));
  if (filter.seen(scratch.data(), scratch.size())) return;  // sent or received lately
  if (!staged.add(scratch.data(), scratch.size(), glue)) overflowed = true;
  if (staged.size() >= kSendBatch) unreported += flush();
}

std::size_t Channel::send() {
  const std::size_t sent = unreported + flush();
  unreported = 0;
  return sent;
}

std::size_t Channel::flush() {
  if (staged.empty()) return 0;
  outgoing.clear();
  const std::size_t sent = staged.drain(outgoing);
  if (!hub.distribute(index, outgoing)) overflowed = true;
  return sent;
}

// Called every kAdjustPeriod offers.
void Channel::adapt() {
  const std::uint64_t credit = hub.credited(index);
  const std::uint64_t taken = credit - creditAtAdjust;
  creditAtAdjust = credit;
  const std::uint64_t receivers = hub.size() - 1 + (hub.outboxIsOpen() ? 1 : 0);
  if (receivers == 0) return;
  if (overflowed) {
    if (limit > kMinGlue) limit -= 1;
  } else if (taken * kLowShare < kAdjustPeriod * receivers) {
    if (limit < kMaxGlue) limit += 1;
  }
  overflowed = false;
}

bool Channel::deliver(unsigned origin, const std::vector<std::int32_t>& clauses) {
  const std::lock_guard<std::mutex> lock(inboxLock);
  const std::size_t before = inbox.size();
  bool room = true;
  for (std::size_t k = 0; k < clauses.size();) {
    const std::size_t n = clauseLength(clauses, k + 1);
    if (inbox.size() + n + 3 > kInboxInts) {
      room = false;  // the rest are no better
      break;
    }
    inbox.push_back(static_cast<std::int32_t>(origin));
    inbox.insert(inbox.end(), clauses.begin() + static_cast<std::ptrdiff_t>(k),
                 clauses.begin() + static_cast<std::ptrdiff_t>(k + n + 2));
    k += n + 2;
  }
  if (inbox.size() != before) pending.store(true, std::memory_order_release);
  return room;
}

std::size_t Channel::receive(std::vector<std::int32_t>& incoming) {
  taken.clear();
  {
    const std::lock_guard<std::mutex> lock(inboxLock);
    taken.swap(inbox);
    pending.store(false, std::memory_order_release);
  }
  std::size_t duplicates = 0;
  for (std::size_t k = 0; k < taken.size();) {
    const unsigned origin = static_cast<unsigned>(taken[k]);
    const std::size_t n = clauseLength(taken, k + 2);
    const std::int32_t* lits = taken.data() + k + 2;
    if (filter.seen(lits, n)) {
      duplicates += 1;
    } else {
      incoming.push_back(taken[k + 1]);
      incoming.insert(incoming.end(), lits, lits + n + 1);  // with the 0
      hub.credit(origin);
    }
    k += n + 3;
  }
  return duplicates;
}

// ---- The hub ------------------------------------------------------------------

SharingHub::SharingHub(unsigned solvers) : credits(solvers) {
  for (unsigned i = 0; i < solvers; ++i) channels.push_back(std::make_unique<Channel>(*this, i));
  for (auto& c : credits) c.store(0, std::memory_order_relaxed);
}

bool SharingHub::distribute(unsigned from, const std::vector<std::int32_t>& clauses) {
  bool room = true;
  for (unsigned j = 0; j < size(); ++j)
    if (j != from) room = channels[j]->deliver(from, clauses) && room;
  if (!outboxIsOpen()) return room;
  // What solvers elsewhere miss is theirs to take: a full outbox keeps its
  // best and does not count against the sender.
  const std::lock_guard<std::mutex> lock(outboxLock);
  if (!outbox) outbox = std::make_unique<ClauseBuffer>(kOutboxClauses, Channel::kMaxSize);
  for (std::size_t k = 0; k < clauses.size();) {
    const std::size_t n = clauseLength(clauses, k + 1);
    const std::int32_t* lits = clauses.data() + k + 1;
    if (!outboxFilter.seen(lits, n)) {
      outbox->add(lits, n, static_cast<unsigned>(clauses[k]));
      credit(from);
    }
    k += n + 2;
  }
  return room;
}

void SharingHub::takeExports(std::vector<std::int32_t>& out, std::size_t maxInts) {
  out.clear();
  const std::lock_guard<std::mutex> lock(outboxLock);
  if (outbox) outbox->drain(out, maxInts);
}

void SharingHub::importRemote(const std::vector<std::int32_t>& in) {
  std::vector<std::int32_t> clauses;
  clauses.reserve(in.size());
  for (std::size_t k = 0; k < in.size();) {
    const std::size_t n = clauseLength(in, k + 1);
    if (n == kUnterminated) break;
    const std::int32_t* lits = in.data() + k + 1;
    const bool wellFormed = n > 0 && std::none_of(lits, lits + n, [](std::int32_t x) { return x == INT32_MIN; });
    if (wellFormed) {
      clauses.push_back(in[k] < 1 ? 1 : in[k]);
      clauses.insert(clauses.end(), lits, lits + n + 1);
    }
    k += n + 2;
  }
  if (clauses.empty()) return;
  for (auto& c : channels) c->deliver(remoteIndex(), clauses);
}

}  // namespace quelt
