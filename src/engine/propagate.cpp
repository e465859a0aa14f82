// Boolean constraint propagation over two watched literals, the scheme of
// Chaff (Moskewicz, Madigan, Zhao, Zhang and Malik, DAC 2001).
//
// Every stored clause is watched by its first two literals. When a literal
// becomes false, only the clauses watching it are visited: each either keeps
// the watch (its other watched literal is true), moves it to a literal that
// is not false, becomes unit (the other watched literal is implied, with the
// clause as its reason above level 0), or is the conflict. Each watch list is
// walked once and compacted in place, so nothing is erased in the middle and
// the relative order of the watchers that stay is preserved.
//
// Implied literals are appended in the order their clauses are met, and an
// implied literal always sits in position 0 of its reason with every other
// literal false: conflict analysis relies on both.
//
// Cost: one pass over each visited list; a watcher whose other watched
// literal is true is kept after reading two words of the clause. No
// allocation except the growth of a watch list or of the trail.
#include "engine/Solver.hpp"

namespace quelt {

Clause* Solver::bcp() {
  util::AsgnStack& t = trail;
  const std::uint32_t head0 = t.propagationHead;
  const std::int32_t level = static_cast<std::int32_t>(decisionLevel());
  // The loop works on local copies of the table pointers: a byte store into
  // the value table may alias any memory, and through the members every
  // implied literal would force the compiler to reload them.
  util::VarInfo* const V = vars.data();
  std::int8_t* const value = litValues.data();
  util::WatchVector* const lists = watches.lists;
  std::uint32_t head = head0;
  Clause* conflict = nullptr;

  // One visit of clause c from the list of falseLit: whether its watcher
  // stays in that list (the other watch is true, or c is unit and implies
  // it), moves to another literal, or c is the conflict.
  enum Outcome { kStays, kMoves, kConflict };
  auto visit = [&](Clause* const c, const Literal falseLit) __attribute__((always_inline)) {
    Literal* const cl = c->lits();
    // One of the two watched literals is falseLit: the other is the xor of
    // both with it. Writing both back unconditionally puts falseLit in
    // position 1 without a branch that would go either way at random.
    const Literal w(cl[0].x ^ cl[1].x ^ falseLit.x);
    cl[0] = w;
    cl[1] = falseLit;
    if (value[valueIndex(w)] > 0) return kStays;
    Literal* p = cl + 2;
    Literal* const clEnd = cl + c->size;
    while (p != clEnd && value[valueIndex(*p)] < 0) ++p;
    if (p != clEnd) {
      const Literal lk = *p;
      watches.push(lists[lk.watchIndex()], c);
      cl[1] = lk;
      *p = falseLit;
      return kMoves;
    }
    if (value[valueIndex(w)] != 0) return kConflict;
    util::VarInfo& wr = V[w.var()];
    wr.lit = w;
    wr.level = level;
    wr.reason = level > 0 ? c : nullptr;
    value[valueIndex(w)] = 1;
    value[valueIndex(w) ^ 1u] = -1;
    const Literal implied = w;  // push_back takes a reference: w itself stays in a register
    t.lits.push_back(implied);
    return kStays;
  };

  while (head < t.lits.size() && conflict == nullptr) {
    const Literal falseLit = ~t.lits[head];
    util::WatchVector& ws = lists[falseLit.watchIndex()];
    if (head + 2 < t.lits.size()) __builtin_prefetch(&lists[(~t.lits[head + 2]).watchIndex()]);
    // Moved watches go to lists of literals that are not false, never to
    // this one, so its array stays where it is during the walk.
    Clause** i = ws.data;
    Clause** const end = i + ws.size;
    Outcome o = kStays;
    // Until a watch moves away, every watcher stays where it is: nothing to
    // copy.
    while (i != end && (o = visit(*i, falseLit)) == kStays) ++i;
    Clause** j = end;
    if (o == kConflict) {
      conflict = *i;
    } else if (o == kMoves) {
      // From here on the watchers that stay close up behind those that left.
      for (j = i++; i != end; ++i) {
        Clause* const c = *i;
        o = visit(c, falseLit);
        if (o == kMoves) continue;
        *j++ = c;
        if (o == kConflict) {
          // Keep every remaining watcher in place.
          conflict = c;
          for (++i; i != end; ++i) *j++ = *i;
          break;
        }
      }
    }
    ws.size = static_cast<std::uint32_t>(j - ws.data);
    ++head;
  }
  t.propagationHead = head;
  countPropagation(head - head0);
  return conflict;
}

}  // namespace quelt
