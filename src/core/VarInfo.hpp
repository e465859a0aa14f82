// The per-variable record: value, decision level, reason, activity, two
// saturating occurrence counters and a small flag word.
//
// `lit` holds the variable's literal that is (or was last) true: the
// variable's index with the sign bit set when the variable is true; its
// value bit means something only while level >= 0.
// `reason` likewise: an unassigned variable may still name a clause that has
// been deleted since, so nothing may follow it while level is -1.
#pragma once

#include <cstdint>

#include "core/Literal.hpp"

namespace quelt {

class Clause;

namespace dpinterface {
// Kind of a variable given at creation. Every caller passes ProblemVar; the
// record stores the value and the solver never interprets it.
enum VarFlagTy : std::uint16_t { ProblemVar = 1 };
}  // namespace dpinterface

namespace util {

struct VarInfo {
  static constexpr std::uint16_t kMarked = 0x08;      // conflict-analysis scratch mark
  static constexpr std::uint16_t kEliminated = 0x10;  // removed by resolution
  // Set when occur[0] / occur[1] reached its ceiling since the last recount:
  // such a counter may later read 0 through decrements while occurrences
  // remain, so a literal with this bit must never be taken as absent.
  static constexpr std::uint16_t kSaturatedNeg = 0x20;
  static constexpr std::uint16_t kSaturatedPos = 0x40;
  // Assigned at level 0 by the pure literal rule: a choice that keeps the
  // formula satisfiable, not a consequence of it.
  static constexpr std::uint16_t kPure = 0x80;

  Literal lit;
  std::int32_t level = -1;
  double activity = 0.0;
  Clause* reason = nullptr;
  std::uint16_t occur[2] = {0, 0};
  std::uint16_t flags = 1;
  std::uint8_t userByteA = 0;
  std::uint8_t userByteB = 0;

  VarInfo() = default;
  VarInfo(const VarInfo&) = default;
  VarInfo& operator=(const VarInfo&) = default;

  void reset() {
    level = -1;
    activity = 0.0;
    reason = nullptr;
    occur[0] = occur[1] = 0;
    flags = 1;
  }
  void reset(dpinterface::VarFlagTy kind, unsigned char a, unsigned char b) {
    flags = static_cast<std::uint16_t>(kind);
    userByteA = a;
    userByteB = b;
  }
  void incOccur(unsigned phase) {
    if (occur[phase] != 0xFFFF) ++occur[phase];
    if (occur[phase] == 0xFFFF) flags = static_cast<std::uint16_t>(flags | (kSaturatedNeg << phase));
  }
  void decOccur(unsigned phase) {
    if (occur[phase] != 0) --occur[phase];
  }
  unsigned getOccur(unsigned phase) const { return occur[phase]; }
  void resetNumOccurrences() {
    occur[0] = occur[1] = 0;
    flags = static_cast<std::uint16_t>(flags & ~(kSaturatedNeg | kSaturatedPos));
  }
  // True when the literal of the given phase may occur in some clause.
  bool mayOccur(unsigned phase) const {
    return occur[phase] != 0 || (flags & (kSaturatedNeg << phase)) != 0;
  }
  void scaleActivity(double factor) { activity *= factor; }
  void clearEliminated() { flags = static_cast<std::uint16_t>(flags & ~kEliminated); }

  bool marked() const { return (flags & kMarked) != 0; }
  void mark() { flags = static_cast<std::uint16_t>(flags | kMarked); }
  void unmark() { flags = static_cast<std::uint16_t>(flags & ~kMarked); }
  bool eliminated() const { return (flags & kEliminated) != 0; }
  void setEliminated() { flags = static_cast<std::uint16_t>(flags | kEliminated); }
  bool pure() const { return (flags & kPure) != 0; }
  void setPure() { flags = static_cast<std::uint16_t>(flags | kPure); }
  void clearPure() { flags = static_cast<std::uint16_t>(flags & ~kPure); }

  bool assigned() const { return level >= 0; }
  // Value of literal l of this variable: +1 true, -1 false, 0 unassigned.
  bool isTrue(Literal l) const { return level >= 0 && ((lit.x ^ l.x) & Literal::kSignBit) == 0; }
  bool isFalse(Literal l) const { return level >= 0 && ((lit.x ^ l.x) & Literal::kSignBit) != 0; }
};

static_assert(sizeof(VarInfo) == 32, "variable records stay compact");

}  // namespace util
}  // namespace quelt
