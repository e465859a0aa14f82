// Resolution on one variable: the kernel of both variable eliminations,
// the search's (eliminate.cpp) and the preprocessor's (bve.cpp), as Davis
// and Putnam's rule (1960) and the bounded elimination of Eén and Biere
// (SatElite, SAT 2005) use it.
//
// The resolvent of p, which holds the pivot literal x, and q, which holds
// not-x, is every other literal of both, each once; it is useless, a
// tautology, when it holds a literal and its negation. A Resolver marks the
// literals of p once, then measures or builds the resolvent with any
// number of clauses q at one pass over q each. Its marks are stamps, so
// that a new p costs nothing but its own literals.
//
// What is removed with the variable goes on the solver's reconstruction
// stack (Solver::pushRemovedVariable, keepRemovedClause), from which the
// model is extended (engine/model.cpp).
#pragma once

#include <cstdint>
#include <vector>

#include "core/Clause.hpp"

namespace quelt {

class Resolver {
 public:
  // Room for the literals of variables below numVars.
  void resize(std::size_t numVars) { stamp.assign(2 * numVars, 0); }

  // p is the clause with the pivot: mark its literals.
  void setFirst(const Clause& p) {
    if (++mark == 0) {  // wrapped: old stamps could match again
      std::fill(stamp.begin(), stamp.end(), 0);
      mark = 1;
    }
    for (Literal l : p) stamp[l.occurIndex()] = mark;
    first = &p;
  }

  // Whether the resolvent of the marked clause with q (qPivot its pivot
  // literal) is a tautology; if not, length is its number of literals.
  bool tautologyWith(const Clause& q, Literal qPivot, std::uint32_t& length) const {
    length = first->size - 1;
    for (Literal l : q) {
      if (l == qPivot) continue;
      if (marked(~l)) return true;
      if (!marked(l)) ++length;
    }
    return false;
  }

  // The resolvent of the marked clause (pPivot its pivot literal) with q:
  // q's literals that p lacks, then p's; false, with out unspecified, for a
  // tautology.
  bool resolveWith(Literal pPivot, const Clause& q, Literal qPivot, std::vector<Literal>& out) const {
    out.clear();
    for (Literal l : q) {
      if (l == qPivot) continue;
      if (marked(~l)) return false;
      if (!marked(l)) out.push_back(l);
    }
    for (Literal l : *first)
      if (l != pPivot) out.push_back(l);
    return true;
  }

 private:
  bool marked(Literal l) const { return stamp[l.occurIndex()] == mark; }

  std::vector<std::uint32_t> stamp;
  std::uint32_t mark = 0;
  const Clause* first = nullptr;
};

}  // namespace quelt
