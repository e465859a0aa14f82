// Literals: one 32-bit word per literal, 2v + sign as in MiniSat.
//
// The word is 2v + 1 for the positive literal of variable v (the DIMACS
// number of the variable, below 2^31) and 2v for the negated one. The same
// word form stores a variable's value in its record and in the model, so
// "is this literal true" is a comparison of bit 0 with the value bit of the
// variable's record. Negation flips bit 0, and the word itself is the index
// of the literal's entry in the per-literal value table: propagation reads
// a literal's value with a single indexed load.
//
// Two per-literal index rules exist and must not be mixed:
//   watchIndex  2v + 0 for a positive, 2v + 1 for a negative literal
//               (the word of the negated literal);
//   occurIndex  2v + 1 for a positive, 2v + 0 for a negative literal
//               (the word itself; the occurrence counters of a variable
//               record use the sign bit as index as well).
#pragma once

#include <cstdint>
#include <iosfwd>

namespace quelt {

struct Literal {
  std::uint32_t x = 0;

  static constexpr std::uint32_t kSignBit = 0x1u;
  static constexpr std::uint32_t kVarMask = 0x7FFFFFFFu;

  constexpr Literal() = default;
  constexpr explicit Literal(std::uint32_t word) : x(word) {}
  // Positive literal of v when positive is true, negated literal otherwise.
  static constexpr Literal make(std::uint32_t var, bool positive) {
    return Literal(((var & kVarMask) << 1) | (positive ? kSignBit : 0u));
  }
  // From a non-zero DIMACS integer in -2147483647 .. 2147483647.
  static constexpr Literal fromDimacs(std::int32_t d) {
    return d > 0 ? Literal((static_cast<std::uint32_t>(d) << 1) | kSignBit)
                 : Literal(static_cast<std::uint32_t>(-d) << 1);
  }

  constexpr std::uint32_t var() const { return x >> 1; }
  constexpr bool positive() const { return (x & kSignBit) != 0; }
  constexpr std::uint32_t sign() const { return x & kSignBit; }
  constexpr Literal operator~() const { return Literal(x ^ kSignBit); }
  constexpr std::uint32_t watchIndex() const { return x ^ kSignBit; }
  constexpr std::uint32_t occurIndex() const { return x; }
  // Signed DIMACS form of the literal.
  constexpr std::int64_t toDimacs() const {
    return positive() ? static_cast<std::int64_t>(var()) : -static_cast<std::int64_t>(var());
  }

  constexpr bool operator==(Literal o) const { return x == o.x; }
  constexpr bool operator!=(Literal o) const { return x != o.x; }
  // By variable first; for the same variable the negative literal first:
  // the order of the words.
  constexpr bool operator<(Literal o) const { return x < o.x; }

  // Writes the text form to standard error, no separator.
  void dump() const;
};

constexpr bool varEqual(Literal a, Literal b) { return a.var() == b.var(); }

// Text form: "-v" for a negative literal, "v" for a positive one.
std::ostream& operator<<(std::ostream& os, Literal l);

}  // namespace quelt
