// Occurrence lists: for every literal, the clauses it occurs in. Filled by
// simplification and variable elimination; indexed by l.occurIndex()
// (2v + 1 positive, 2v negative), the reverse of the watch-list rule.
// They exist only while a simplification round with variable elimination
// runs: an empty list still costs three words per literal, which on a
// formula of millions of variables is hundreds of megabytes.
#pragma once

#include <vector>

#include "core/Clause.hpp"

namespace quelt::util {

struct ClauseSets {
  std::vector<std::vector<Clause*>> lists;

  std::vector<Clause*>& of(Literal l) { return lists[l.occurIndex()]; }
  void addVar(unsigned v) {
    const std::size_t want = 2 * (static_cast<std::size_t>(v) + 1);
    if (lists.size() < want) lists.resize(want);
  }
  // Frees every list: a round that needs them sizes them again (addVar).
  void release() { std::vector<std::vector<Clause*>>().swap(lists); }
  // Sum of the sizes of the clauses in both lists of var.
  unsigned getTotLiterals(unsigned var) const {
    unsigned total = 0;
    for (const Clause* c : lists[2 * var]) total += c->size;
    for (const Clause* c : lists[2 * var + 1]) total += c->size;
    return total;
  }
};

}  // namespace quelt::util
