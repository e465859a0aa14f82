// Boolean constraint propagation over watchers with blocking literals
// (core/Watcher.hpp), the propagation of the modern search: the layout of
// Chu, Harwood and Stuckey (JSAT 2009), with binary clauses propagated from
// their watchers as in the solvers since MiniSat 2.2 and Glucose.
//
// The rules are those of engine/propagate.cpp, with two shortcuts: a
// watcher whose blocker is true is kept without reading its clause, and a
// binary clause is decided from its watcher. A clause is read only when
// its blocker is not true; then the other watched literal becomes the new
// blocker when it is true, and otherwise a new watch is looked for.
//
// The invariant conflict analysis relies on holds here too: an implied
// literal sits in position 0 of its reason, every other literal false (a
// binary reason has its two literals swapped when needed, the one write a
// binary implication makes to its clause).
#include "engine/Solver.hpp"

namespace quelt {

Clause* Solver::propagateWatchers() {
  util::AsgnStack& t = trail;
  const std::uint32_t head0 = t.propagationHead;
  const std::int32_t level = static_cast<std::int32_t>(decisionLevel());
  util::VarInfo* const V = vars.data();
  std::int8_t* const value = litValues.data();
  util::WatcherList* const lists = watchers.data();
  std::uint32_t head = head0;
  Clause* conflict = nullptr;

  auto imply = [&](Literal l, Clause* reason) __attribute__((always_inline)) {
    util::VarInfo& r = V[l.var()];
    r.lit = l;
    r.level = level;
    r.reason = level > 0 ? reason : nullptr;
    value[valueIndex(l)] = 1;
    value[valueIndex(l) ^ 1u] = -1;
    t.lits.push_back(l);
  };

  while (head < t.lits.size() && conflict == nullptr) {
    const Literal falseLit = ~t.lits[head++];
    util::WatcherList& ws = lists[falseLit.watchIndex()];
    if (head + 1 < t.lits.size()) __builtin_prefetch(lists[(~t.lits[head + 1]).watchIndex()].data());
    util::Watcher* i = ws.data();
    util::Watcher* j = i;
    util::Watcher* const end = i + ws.size();
    while (i != end) {
      const util::Watcher w = *i++;
      const std::int8_t bv = value[valueIndex(w.blocker)];
      if (bv > 0) {
        *j++ = w;
        continue;
      }
      if (w.binary) {
        *j++ = w;
        if (bv == 0) {
          Literal* const cl = w.clause->lits();
          cl[0] = w.blocker;
          cl[1] = falseLit;
          imply(w.blocker, w.clause);
          continue;
        }
        conflict = w.clause;
        break;
      }
      Clause* const c = w.clause;
      Literal* const cl = c->lits();
      const Literal other(cl[0].x ^ cl[1].x ^ falseLit.x);
      cl[0] = other;
      cl[1] = falseLit;
      const std::int8_t ov = other == w.blocker ? bv : value[valueIndex(other)];
      if (ov > 0) {
        *j++ = {c, other, 0};
        continue;
      }
      Literal* p = cl + 2;
      Literal* const clEnd = cl + c->size;
      while (p != clEnd && value[valueIndex(*p)] < 0) ++p;
      if (p != clEnd) {
        const Literal lk = *p;
        cl[1] = lk;
        *p = falseLit;
        lists[lk.watchIndex()].push_back({c, other, 0});
        continue;
      }
      *j++ = {c, other, 0};
      if (ov == 0) {
        imply(other, c);
        continue;
      }
      conflict = c;
      break;
    }
    // Keep every watcher after a conflict in place.
    while (i != end) *j++ = *i++;
    ws.resize(static_cast<std::size_t>(j - ws.data()));
  }
  t.propagationHead = head;
  countPropagation(head - head0);
  return conflict;
}

}  // namespace quelt
