// Boolean constraint propagation over two watched literals.
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
#include "solver/Solver.hpp"

namespace quelt {

Clause* Solver::bcp() {
  util::AsgnStack& t = trail;
  const std::uint32_t head0 = t.propagationHead;
  const std::int32_t level = static_cast<std::int32_t>(decisionLevel());
  util::VarInfo* const V = vars.data();
  const std::int8_t* const value = litValues.data();
  Clause* conflict = nullptr;

  while (t.propagationHead < t.lits.size() && conflict == nullptr) {
    const Literal falseLit = ~t.lits[t.propagationHead];
    util::WatchVector& ws = watches.of(falseLit);
    if (t.propagationHead + 2 < t.lits.size())
      __builtin_prefetch(&watches.of(~t.lits[t.propagationHead + 2]));
    Clause** const data = ws.data;
    const std::uint32_t n = ws.size;
    std::uint32_t i = 0, j = 0;
    while (i < n) {
      Clause* const c = data[i++];
      Literal* const cl = c->lits();
      if (cl[0] == falseLit) {
        cl[0] = cl[1];
        cl[1] = falseLit;
      }
      const Literal w = cl[0];
      const std::int8_t wValue = value[valueIndex(w)];
      if (wValue > 0) {
        data[j++] = c;
        continue;
      }
      bool moved = false;
      for (Literal *p = cl + 2, *const end = cl + c->size; p < end; ++p) {
        const Literal lk = *p;
        if (value[valueIndex(lk)] >= 0) {
          watches.of(lk).push(c);
          cl[1] = lk;
          *p = falseLit;
          moved = true;
          break;
        }
      }
      if (moved) continue;
      data[j++] = c;
      if (wValue != 0) {
        // Conflict: keep every remaining watcher in place.
        conflict = c;
        while (i < n) data[j++] = data[i++];
        break;
      }
      util::VarInfo& wr = V[w.var()];
      wr.lit = w;
      wr.level = level;
      wr.reason = level > 0 ? c : nullptr;
      setLitValues(w);
      t.lits.push_back(w);
    }
    ws.size = j;
    ++t.propagationHead;
  }

  const std::uint32_t processed = t.propagationHead - head0;
  stats.bcpCalls += 1;
  stats.bcPropagations += processed;
  stats.simplifyBudget = static_cast<std::int32_t>(static_cast<std::uint32_t>(stats.simplifyBudget) - processed);
  return conflict;
}

}  // namespace quelt
