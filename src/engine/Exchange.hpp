// The seam through which a solver trades learned clauses with other
// solvers on the same formula (the portfolio's threads, or solvers
// elsewhere through them).
//
// The engine knows nothing of who is on the other side: it offers each
// clause it learns, and at level 0 (the classic search at every visit of
// it, the modern one at restarts, backtracking to 0 when clauses wait)
// it sends what it offered and receives what others sent. Everything
// behind the seam lives in lib/parallel/Sharing.hpp; offer, send and
// receive are called from the solver's own thread only, waiting from
// that thread too but about clauses any thread may have queued.
//
// Only clauses implied by the formula itself may cross: the learned ones
// are (pure literals never take part in a derivation, and elimination
// and substitution add only implied clauses). Units assigned by the pure
// literal rule are not learned and never offered, and a received clause
// that names a variable this solver has removed (eliminated, substituted
// or assigned as pure) is dropped, so that nothing it derives later rests
// on another solver's choices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/Literal.hpp"

namespace quelt {

class ClauseExchange {
 public:
  virtual ~ClauseExchange() = default;

  // Whether a learned clause of this many literals may be offered at all;
  // asked first, so that the glue is only counted for those.
  virtual bool takesSize(std::size_t size) const = 0;
  // A clause the solver has just learned, literal 0 asserting, with its
  // glue (the number of decision levels among its literals).
  virtual void offer(const std::vector<Literal>& clause, unsigned glue) = 0;
  // Passes on what was offered since the last call; returns how many
  // clauses went out.
  virtual std::size_t send() = 0;
  // Whether clauses wait for this solver.
  virtual bool waiting() const = 0;
  // Appends the waiting clauses to incoming, each as its glue, its DIMACS
  // literals and a 0, leaving out those seen lately; returns how many were
  // left out.
  virtual std::size_t receive(std::vector<std::int32_t>& incoming) = 0;
};

}  // namespace quelt
