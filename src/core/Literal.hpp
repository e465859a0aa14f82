// Literals: one 32-bit word per literal.
//
// Bits 0-30 hold the variable index (the DIMACS number of the variable) and
// bit 31 the polarity: set for the positive literal, clear for the negated
// one. The same word form stores a variable's value in its record and in the
// model, so "is this literal true" is a comparison of bit 31 with the value
// bit of the variable's record.
//
// Two per-literal index rules exist and must not be mixed:
//   watchIndex  2v + 0 for a positive, 2v + 1 for a negative literal;
//   occurIndex  2v + 1 for a positive, 2v + 0 for a negative literal
//               (that is 2v + bit 31; the occurrence counters of a variable
//               record use bit 31 as index as well).
#pragma once

#include <cstdint>
#include <iosfwd>

namespace quelt {

struct Literal {
  std::uint32_t x = 0;

  static constexpr std::uint32_t kSignBit = 0x80000000u;
  static constexpr std::uint32_t kVarMask = 0x7FFFFFFFu;

  constexpr Literal() = default;
  constexpr explicit Literal(std::uint32_t word) : x(word) {}
  // Positive literal of v when positive is true, negated literal otherwise.
  static constexpr Literal make(std::uint32_t var, bool positive) {
    return Literal(positive ? (var | kSignBit) : (var & kVarMask));
  }
  // From a non-zero DIMACS integer in -2147483647 .. 2147483647.
  static constexpr Literal fromDimacs(std::int32_t d) {
    return d > 0 ? Literal(static_cast<std::uint32_t>(d) | kSignBit)
                 : Literal(static_cast<std::uint32_t>(-d));
  }

  constexpr std::uint32_t var() const { return x & kVarMask; }
  constexpr bool positive() const { return (x & kSignBit) != 0; }
  constexpr std::uint32_t sign() const { return x >> 31; }
  constexpr Literal operator~() const { return Literal(x ^ kSignBit); }
  constexpr std::uint32_t watchIndex() const { return (x << 1) + ((x >> 31) ^ 1u); }
  constexpr std::uint32_t occurIndex() const { return (x << 1) + (x >> 31); }
  // Signed DIMACS form of the literal.
  constexpr std::int64_t toDimacs() const {
    return positive() ? static_cast<std::int64_t>(var()) : -static_cast<std::int64_t>(var());
  }

  constexpr bool operator==(Literal o) const { return x == o.x; }
  constexpr bool operator!=(Literal o) const { return x != o.x; }
  // By variable first; for the same variable the negative literal first.
  constexpr bool operator<(Literal o) const {
    return var() < o.var() || (var() == o.var() && sign() < o.sign());
  }

  // Writes the text form to standard error, no separator.
  void dump() const;
};

constexpr bool varEqual(Literal a, Literal b) { return a.var() == b.var(); }

// Text form: "-v" for a negative literal, "v" for a positive one.
std::ostream& operator<<(std::ostream& os, Literal l);

}  // namespace quelt
