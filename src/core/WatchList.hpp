// Per-literal watch lists of the two-watched-literal scheme (Chaff, DAC
// 2001).
//
// Every stored clause of two or more literals is listed under its first two
// literals. A list is a raw array of clause pointers with a capacity and a
// count; it grows to 2 * size + 1 slots when full, moving its entries
// bitwise. Removal is a stable forward compaction; after a batch of
// removals a list may be trimmed. The list of literal l sits at
// l.watchIndex().
//
// Most lists are short: a formula of millions of variables has millions of
// lists of a few watchers each, and a general-purpose allocator would spend
// a size word and its rounding on every one of them. Arrays of up to
// kMaxPooledSlots slots therefore come from a pool of the WatchList: blocks
// of exactly the capacity, packed in large chunks, with a free list per
// capacity for the blocks that lists have grown out of. Longer arrays come
// from the general heap. Either way the array of a list moves only when the
// list grows or is trimmed.
//
// In a build with AddressSanitizer, free pool blocks and the unused end of
// each chunk are poisoned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/Clause.hpp"

namespace quelt::util {

struct WatchVector {
  Clause** data = nullptr;
  std::uint32_t capacity = 0;
  std::uint32_t size = 0;

  // Stable removal of every entry equal to c.
  void remove(const Clause* c);
  bool contains(const Clause* c) const;
};

// Where the arrays of the lists come from (see the top of the file).
class WatchPool {
 public:
  static constexpr std::uint32_t kMaxPooledSlots = 63;

  WatchPool() = default;
  WatchPool(const WatchPool&) = delete;
  WatchPool& operator=(const WatchPool&) = delete;
  ~WatchPool() { clear(); }

  // Gives ws an array of exactly capacity slots (at least ws.size), keeping
  // its entries; capacity 0 frees the array of an empty list. Throws
  // std::bad_alloc when memory cannot be had; ws is unchanged then.
  void resize(WatchVector& ws, std::uint32_t capacity);
  // Frees every chunk at once; arrays from the general heap are the
  // caller's to free.
  void clear();

  static constexpr std::size_t kFirstChunkBytes = std::size_t{1} << 12;
  static constexpr std::size_t kMaxChunkBytes = std::size_t{1} << 23;

 private:
  Clause** allocate(std::uint32_t slots);
  void release(Clause** block, std::uint32_t slots);

  struct Chunk {
    char* begin;
    std::size_t bytes;
  };
  std::vector<Chunk> chunks;
  std::vector<Clause**> freeHeads = std::vector<Clause**>(kMaxPooledSlots + 1, nullptr);
  char* bump = nullptr;  // next free byte of the newest chunk
  char* bumpEnd = nullptr;
  std::size_t nextChunkBytes = kFirstChunkBytes;
};

struct WatchList {
  WatchVector* lists = nullptr;
  std::uint32_t numLists = 0;
  // Slots allocated for lists; grows geometrically so that creating
  // variables one by one costs amortised constant time.
  std::size_t allocatedLists = 0;
  WatchPool pool;

  WatchList() = default;
  WatchList(const WatchList&) = delete;
  WatchList& operator=(const WatchList&) = delete;
  ~WatchList() { release(); }

  WatchVector& operator[](std::uint32_t index) { return lists[index]; }
  WatchVector& of(Literal l) { return lists[l.watchIndex()]; }
  WatchVector& of(unsigned var, bool negative) { return lists[2 * var + (negative ? 1 : 0)]; }

  // Appends c to ws (a list of this table), growing its array to
  // 2 * size + 1 slots when it is full.
  void push(WatchVector& ws, Clause* c) {
    if (ws.size == ws.capacity) pool.resize(ws, 2 * ws.size + 1);
    ws.data[ws.size++] = c;
  }
  void push(Literal l, Clause* c) { push(of(l), c); }
  // Makes room for extra more entries in ws at once, to exactly
  // size + extra slots when it has less.
  void reserve(WatchVector& ws, std::uint32_t extra) {
    if (ws.capacity - ws.size < extra) pool.resize(ws, ws.size + extra);
  }
  // Gives back most of the spare room of a list that has shrunk to under a
  // quarter of its capacity, leaving 2 * size + 1 slots: a list only grows
  // on its own, and the room each list once needed adds up to many times
  // the watches there are.
  void trim(WatchVector& ws);

  void addVar(unsigned v);
  std::uint32_t size(unsigned var, bool negative) const {
    return lists[2 * var + (negative ? 1 : 0)].size;
  }
  void clear(unsigned var) {
    lists[2 * var].size = 0;
    lists[2 * var + 1].size = 0;
  }
  void dewatch(const Clause& c);
  void dewatch(unsigned var, bool negative, const Clause* c) { of(var, negative).remove(c); }
  bool isEnwatched(unsigned var, bool negative, Clause* c) const;
  bool isEnwatched(Clause* c) const;
  // Frees every list and the table; numLists becomes 0.
  void release();
};

}  // namespace quelt::util
