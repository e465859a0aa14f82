// Clauses: a two-word header followed inline by the literals.
//
// The first word holds the literal count (28 bits) and four flags, the
// second the activity; a binary clause takes four words in all.
//
// A clause is a single heap block, so propagation visiting a clause touches
// one contiguous region, and its two watched literals are the first two
// words after the header. The literal array never grows after construction;
// erase only lowers size. Clauses are created with
//     new (n) Clause(literals, learned)
// where n is the number of literals (the class-specific operator new sizes
// the block), and destroyed with plain delete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iosfwd>
#include <vector>

#include "core/Literal.hpp"

namespace quelt {

class Clause {
 public:
  static constexpr std::uint32_t kLearned = 0x1;
  static constexpr std::uint32_t kRemoved = 0x2;
  // Transient mark of a clause about to be deleted while its watchers are
  // swept out; never set outside that sweep.
  static constexpr std::uint32_t kCollect = 0x4;
  // An original clause set aside because a pure literal satisfies it; it
  // returns to the database if the formula changes (see Solver::reopen).
  static constexpr std::uint32_t kParked = 0x8;

  // The longest clause the header can describe.
  static constexpr std::uint32_t kMaxSize = (std::uint32_t{1} << 28) - 1;

  std::uint32_t size : 28;
  std::uint32_t flags : 4;
  float activity;

  Clause(const std::vector<Literal>& literals, bool learned);
  Clause(const Clause&) = delete;
  Clause& operator=(const Clause&) = delete;

  static void* operator new(std::size_t header, std::size_t numLits);
  static void operator delete(void* p, std::size_t numLits);
  static void operator delete(void* p);

  Literal* lits() { return reinterpret_cast<Literal*>(this + 1); }
  const Literal* lits() const { return reinterpret_cast<const Literal*>(this + 1); }
  Literal& operator[](std::size_t i) { return lits()[i]; }
  Literal operator[](std::size_t i) const { return lits()[i]; }

  using iterator = Literal*;
  using const_iterator = const Literal*;
  iterator begin() { return lits(); }
  iterator end() { return lits() + size; }
  const_iterator begin() const { return lits(); }
  const_iterator end() const { return lits() + size; }

  bool learned() const { return (flags & kLearned) != 0; }
  bool removed() const { return (flags & kRemoved) != 0; }
  void setRemoved() { flags |= kRemoved; }

  // Removes the literals at the given ascending positions, keeping the order
  // of the others; positions at or beyond size are ignored.
  void erase(const std::vector<unsigned>& positions);
  // activity * factor, rounded once to single precision.
  void scaleActivity(double factor) {
    activity = static_cast<float>(static_cast<double>(activity) * factor);
  }

  // A search that ranks learned clauses by quality rather than activity
  // keeps its own 32-bit word in place of the activity (the other never
  // reads it as one).
  std::uint32_t quality() const {
    std::uint32_t q;
    std::memcpy(&q, &activity, sizeof q);
    return q;
  }
  void setQuality(std::uint32_t q) { std::memcpy(&activity, &q, sizeof q); }

  void dump() const;                  // text form to standard error
  void dumpTo(std::ostream* os) const;
};

static_assert(sizeof(Clause) == 8, "clause header is two words");

// Each literal followed by a blank, then "0" and a flushing end of line.
std::ostream& operator<<(std::ostream& os, const Clause& c);

}  // namespace quelt
