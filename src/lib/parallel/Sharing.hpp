// Clause sharing between the solvers of a portfolio, and through it with
// solvers in other processes: the exchange of short and low-glue clauses
// of the parallel solvers in the literature (ManySAT, Plingeling), with
// limits that adapt to the traffic and a filter of clauses seen before,
// as in HordeSat.
//
// What goes out: units, binary clauses, and learned clauses of at most
// kMaxSize literals whose glue is at most the exporting solver's limit.
// The limit starts at kFirstGlue and adapts within kMinGlue..kMaxGlue: it
// falls by one when the solver's clauses overflow a buffer (its own, or a
// receiver's inbox) and rises by one when, over kAdjustPeriod offered
// clauses, the others took in fewer than one in kLowShare of them.
//
// The way of a clause (every name below is in this file):
//   - the solver's thread offers it (Channel::offer, through the engine's
//     seam, engine/Exchange.hpp); a clause the solver sent or received
//     lately is not offered again (its ClauseFilter), and the others wait
//     in its staging ClauseBuffer, which keeps the best when full. No
//     lock is taken.
//   - at a restart or level 0, or when kSendBatch clauses are staged, the
//     solver sends them (Channel::send): best first into every other
//     solver's inbox, each under that inbox's lock, and into the
//     portfolio's outbox for solvers elsewhere when that is open.
//   - at level 0 the receiver takes its inbox (Channel::receive) under the
//     lock, drops what its filter has seen lately, and the engine stores
//     the rest (engine/share.cpp).
//
// Every clause in flight is a run of DIMACS integers: its glue, its
// literals, a 0; in an inbox the sender's index comes first. A ClauseFilter
// knows a clause by a 64-bit fingerprint of its literal set, in two
// generations: the current one fills up to its window, then becomes the
// previous one and the one before is forgotten, so a clause is forgotten
// between one and two windows after it was last recorded. A clause the
// filter mistakes for another (a fingerprint collision) is only dropped,
// which is always sound.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/Exchange.hpp"

namespace quelt {

class ClauseFilter {
 public:
  static constexpr std::size_t kDefaultWindow = 1u << 14;  // 512 KiB of tables
  explicit ClauseFilter(std::size_t window = kDefaultWindow);

  // Whether the clause (its literals in any order) was recorded within the
  // window; records it when not. A clause seen again is not recorded anew:
  // it passes once more when its record is forgotten.
  bool seen(const std::int32_t* lits, std::size_t size);
  static std::uint64_t fingerprint(const std::int32_t* lits, std::size_t size);

 private:
  // Open addressing with linear probing; 0 marks a free slot.
  struct Table {
    std::vector<std::uint64_t> slots;
    std::size_t count = 0;
    bool contains(std::uint64_t h) const;
    void insert(std::uint64_t h);
    void clear();
  };
  std::size_t window;
  Table current, previous;
};

// At most a fixed number of clauses of at most maxSize literals, the worst
// dropped when a better one comes and there is no room: units first, then
// by glue, then by length.
class ClauseBuffer {
 public:
  ClauseBuffer(std::size_t clauses, std::size_t maxSize);

  // Keeps the clause, unless the buffer is full of better ones; false when
  // a clause was dropped (this one or the worst).
  bool add(const std::int32_t* lits, std::size_t size, unsigned glue);
  std::size_t size() const { return heap.size(); }
  bool empty() const { return heap.empty(); }
  // Appends the clauses, best first, as [glue, lits..., 0], as many whole
  // ones as fit in maxInts integers; the others stay. Returns how many
  // went out.
  std::size_t drain(std::vector<std::int32_t>& out, std::size_t maxInts = static_cast<std::size_t>(-1));

 private:
  // Smaller is better.
  std::uint64_t rank(std::uint32_t slot) const;
  bool worse(std::uint32_t a, std::uint32_t b) const;
  void siftDown(std::size_t i);
  void siftUp(std::size_t i);
  std::size_t capacity, maxSize;
  std::vector<std::int32_t> pool;     // capacity slots of maxSize literals
  std::vector<std::uint32_t> sizes, glues, order;  // per slot; order: the slot's place in arrival
  std::vector<std::uint32_t> heap;    // slots held, the worst on top
  std::vector<std::uint32_t> free;    // slots not held
  std::uint32_t arrivals = 0;
  std::vector<std::uint32_t> sorted;  // drain's scratch
};

class SharingHub;

// One solver's end of the exchange; all but the inbox is its thread's own.
class Channel final : public ClauseExchange {
 public:
  static constexpr std::size_t kMaxSize = 30;
  static constexpr unsigned kFirstGlue = 4, kMinGlue = 2, kMaxGlue = 8;
  static constexpr std::size_t kStagedClauses = 512;
  static constexpr std::size_t kSendBatch = 128;
  static constexpr std::uint64_t kAdjustPeriod = 2000;
  static constexpr std::uint64_t kLowShare = 20;
  static constexpr std::size_t kInboxInts = 1u << 18;

  Channel(SharingHub& hub, unsigned index);

  bool takesSize(std::size_t size) const override { return size > 0 && size <= kMaxSize; }
  void offer(const std::vector<Literal>& clause, unsigned glue) override;
  std::size_t send() override;
  bool waiting() const override { return pending.load(std::memory_order_acquire); }
  std::size_t receive(std::vector<std::int32_t>& incoming) override;

  unsigned glueLimit() const { return limit; }

 private:
  friend class SharingHub;
  // Queues clauses ([origin, glue, lits..., 0] each) from another thread;
  // false when the inbox had no room for one of them.
  bool deliver(unsigned origin, const std::vector<std::int32_t>& clauses);
  // Sends the staged clauses; how many.
  std::size_t flush();
  void adapt();

  SharingHub& hub;
  const unsigned index;
  unsigned limit = kFirstGlue;
  ClauseFilter filter;
  ClauseBuffer staged{kStagedClauses, kMaxSize};
  std::vector<std::int32_t> scratch, outgoing, taken;
  bool overflowed = false;
  std::uint64_t offered = 0, creditAtAdjust = 0;
  std::size_t unreported = 0;  // sent by offer(), for the next send() to count

  std::mutex inboxLock;
  std::vector<std::int32_t> inbox;
  std::atomic<bool> pending{false};
};

// The solvers' channels, the outbox for solvers elsewhere and the count of
// each solver's clauses that others took in.
class SharingHub {
 public:
  // The most clauses the outbox holds between two takeExports.
  static constexpr std::size_t kOutboxClauses = 1u << 14;

  explicit SharingHub(unsigned solvers);
  SharingHub(const SharingHub&) = delete;
  SharingHub& operator=(const SharingHub&) = delete;

  unsigned size() const { return static_cast<unsigned>(channels.size()); }
  Channel& channel(unsigned i) { return *channels[i]; }
  unsigned remoteIndex() const { return size(); }

  // Whether the solvers' clauses are also kept for solvers elsewhere;
  // once opened the outbox stays open.
  void openOutbox() { outboxOpen.store(true, std::memory_order_release); }
  bool outboxIsOpen() const { return outboxOpen.load(std::memory_order_acquire); }
  // The outbox's clauses, best first, as [glue, lits..., 0], at most
  // maxInts integers; those that do not fit stay for the next call.
  void takeExports(std::vector<std::int32_t>& out, std::size_t maxInts);
  // Clauses from elsewhere, [glue, lits..., 0] each, for every solver's
  // inbox. An empty clause or one with INT32_MIN is skipped (a verdict
  // travels otherwise), a glue below 1 taken as 1, and input after the
  // last 0 ignored.
  void importRemote(const std::vector<std::int32_t>& in);

  // Called by a channel in its solver's thread: clauses ([glue, lits...,
  // 0] each) from solver `from` for everyone else. False when one of
  // them found no room somewhere.
  bool distribute(unsigned from, const std::vector<std::int32_t>& clauses);
  void credit(unsigned origin) {
    if (origin < credits.size()) credits[origin].fetch_add(1, std::memory_order_relaxed);
  }
  std::uint64_t credited(unsigned origin) const { return credits[origin].load(std::memory_order_relaxed); }

 private:
  std::vector<std::unique_ptr<Channel>> channels;
  std::vector<std::atomic<std::uint64_t>> credits;
  std::atomic<bool> outboxOpen{false};
  std::mutex outboxLock;
  std::unique_ptr<ClauseBuffer> outbox;  // made when first used
  ClauseFilter outboxFilter;
};

}  // namespace quelt
