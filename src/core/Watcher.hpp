// Watchers with blocking literals, for the propagation of the modern search
// (engine/propagate_watchers.cpp).
//
// Each watcher of a clause names, beside the clause, one other literal of
// it, the blocker: when the blocker is true the clause is satisfied and the
// watcher is kept without reading the clause (Chu, Harwood and Stuckey,
// "Cache conscious data structures for Boolean satisfiability solvers",
// JSAT 2009). The watcher of a binary clause says so, and its blocker is the
// clause's other literal: such a clause is propagated from the watcher
// alone. A watcher takes 16 bytes; the lists are plain vectors indexed by
// the literal's watch index, as the classic lists are.
#pragma once

#include <cstdint>
#include <vector>

#include "core/Clause.hpp"
#include "core/Literal.hpp"

namespace quelt::util {

struct Watcher {
  Clause* clause;
  Literal blocker;
  std::uint32_t binary;  // 1 for a clause of two literals, 0 otherwise
};

static_assert(sizeof(Watcher) == 16, "a watcher is two words");

using WatcherList = std::vector<Watcher>;

// The watcher of c in the list of its watched literal own.
inline Watcher watcherOf(Clause& c, Literal own) {
  return {&c, c[0] == own ? c[1] : c[0], c.size == 2 ? 1u : 0u};
}

}  // namespace quelt::util
