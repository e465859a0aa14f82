// Per-literal watch lists of the two-watched-literal scheme.
//
// Every stored clause of two or more literals is listed under its first two
// literals. Lists are raw arrays of clause pointers grown with realloc
// (capacity 2 * size + 1 when full), so growing moves entries bitwise and a
// list is nothing but a pointer, a capacity and a count. Removal is a stable
// forward compaction; after a batch of removals a list may be trimmed. The list of literal l sits at l.watchIndex().
#pragma once

#include <cstdint>

#include "core/Clause.hpp"

namespace quelt::util {

struct WatchVector {
  Clause** data = nullptr;
  std::uint32_t capacity = 0;
  std::uint32_t size = 0;

  WatchVector() = default;
  WatchVector(const WatchVector&) = delete;
  WatchVector& operator=(const WatchVector&) = delete;
  ~WatchVector();

  // Appends c, growing the array to 2 * size + 1 slots when it is full.
  void push(Clause* c) {
    if (size == capacity) grow();
    data[size++] = c;
  }
  void grow();
  // Gives back most of the spare room of a list that has shrunk to under a
  // quarter of its capacity, leaving 2 * size + 1 slots: a list only grows
  // on its own, and the room each list once needed adds up to many times
  // the watches there are.
  void trim();
  // Stable removal of every entry equal to c.
  void remove(const Clause* c);
  bool contains(const Clause* c) const;
};

struct WatchList {
  WatchVector* lists = nullptr;
  std::uint32_t numLists = 0;
  // Slots allocated for lists; grows geometrically so that creating
  // variables one by one costs amortised constant time.
  std::size_t allocatedLists = 0;

  WatchList() = default;
  WatchList(const WatchList&) = delete;
  WatchList& operator=(const WatchList&) = delete;

  WatchVector& operator[](std::uint32_t index) { return lists[index]; }
  WatchVector& of(Literal l) { return lists[l.watchIndex()]; }
  WatchVector& of(unsigned var, bool negative) { return lists[2 * var + (negative ? 1 : 0)]; }

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
