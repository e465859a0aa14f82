// The trail: every true literal in assignment order, split into decision
// levels by levelStarts, with the position up to which propagation has
// processed it. Level d begins at lits[levelStarts[d]]; the current level is
// levelStarts.size() - 1.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "core/Literal.hpp"

namespace quelt::util {

struct AsgnStack {
  std::vector<Literal> lits;
  std::vector<unsigned> levelStarts{0};
  std::uint32_t propagationHead = 0;

  unsigned level() const { return static_cast<unsigned>(levelStarts.size() - 1); }
  void clear();
  // Orders lits by variable (negative first); levels and head are untouched.
  void sort();
  // One DIMACS unit line per literal, "\n" without flushing.
  void dump(std::ostream& os) const;
};

}  // namespace quelt::util
