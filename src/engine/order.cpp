// Variable orderings and the decision queue: activities bumped in conflicts
// as in Chaff's VSIDS, kept in a binary heap as MiniSat does (Eén and
// Sörensson, SAT 2003).
//
// One family of twenty orderings, chosen by a mode number, serves three
// purposes: it orders the decision queue (varDecHeur), the unwatched literals
// of every stored clause (clauseSortHeur) and the candidates of variable
// elimination (resOrderHeur). Modes 0-7 rank by activity (2-7 break exact
// ties by occurrence counts), 8-13 by occurrence counts alone, 14-15 by
// decision level, 16-17 by index, 18 by the size of the reason, and 19 ranks
// everything equal.
//
// The decision queue is a binary heap keyed by one of these orderings. Only
// activity bumps reposition an entry (increase); the other keys change
// without telling the heap, which is why updateAll exists. Assigned
// variables may stay queued and are skipped when popped.
//
// A variable's reason is meaningful only while it is assigned: once it is
// unassigned the clause may have been deleted, so mode 18 treats unassigned
// variables as having no reason and never reads such a pointer.
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "engine/Solver.hpp"

namespace quelt {

namespace {

using util::VarInfo;

inline unsigned occurSum(const VarInfo& r) {
  return static_cast<unsigned>(r.occur[0]) + r.occur[1];
}
inline unsigned occurProduct(const VarInfo& r) {
  return static_cast<unsigned>(r.occur[0]) * r.occur[1];
}
inline unsigned asymmetry(const VarInfo& r) {
  return static_cast<unsigned>(std::abs(static_cast<int>(r.occur[0]) - static_cast<int>(r.occur[1])));
}
inline const Clause* liveReason(const VarInfo& r) { return r.level >= 0 ? r.reason : nullptr; }

// Activity first: +1 when a is more active, 0 on exactly equal activities
// (the mode's tie-break decides), -1 otherwise (NaN never ranks first).
inline int activityFirst(const VarInfo& a, const VarInfo& b) {
  if (a.activity > b.activity) return 1;
  return a.activity == b.activity ? 0 : -1;
}

// a before b, for variables with indices ia and ib.
inline bool ranksBefore(const VarInfo& a, const VarInfo& b, unsigned ia, unsigned ib, unsigned mode) {
  switch (mode) {
    case 0: return a.activity > b.activity;
    case 1: return a.activity < b.activity;
    case 2: { const int o = activityFirst(a, b); return o != 0 ? o > 0 : occurSum(a) > occurSum(b); }
    case 3: { const int o = activityFirst(a, b); return o != 0 ? o > 0 : occurSum(a) < occurSum(b); }
    case 4: { const int o = activityFirst(a, b); return o != 0 ? o > 0 : asymmetry(a) > asymmetry(b); }
    case 5: { const int o = activityFirst(a, b); return o != 0 ? o > 0 : asymmetry(a) < asymmetry(b); }
    case 6: { const int o = activityFirst(a, b); return o != 0 ? o > 0 : occurProduct(a) > occurProduct(b); }
    case 7: { const int o = activityFirst(a, b); return o != 0 ? o > 0 : occurProduct(a) < occurProduct(b); }
    case 8: return occurSum(a) > occurSum(b);
    case 9: return occurSum(a) < occurSum(b);
    case 10: return occurProduct(a) > occurProduct(b);
    case 11: return occurProduct(a) < occurProduct(b);
    case 12: return asymmetry(a) > asymmetry(b);
    case 13: return asymmetry(a) < asymmetry(b);
    case 14: return a.level > b.level;
    case 15: return a.level < b.level;
    case 16: return ia < ib;
    case 17: return ia > ib;
    case 18: {
      const Clause* rb = liveReason(b);
      if (rb == nullptr) return false;
      const Clause* ra = liveReason(a);
      const unsigned sa = ra ? ra->size : 0;
      return sa < rb->size;
    }
    default: return false;
  }
}

}  // namespace

namespace {
// The sort with the mode fixed at compile time, so that each comparison is
// inlined without a dispatch; the comparisons, and so the resulting order,
// are exactly those of LitComparator.
template <unsigned Mode>
void sortByMode(Literal* begin, Literal* end, const std::vector<VarInfo>& v) {
  std::sort(begin, end, [&v](Literal a, Literal b) {
    return ranksBefore(v[a.var()], v[b.var()], a.var(), b.var(), Mode);
  });
}

template <unsigned... Modes>
void sortDispatch(Literal* begin, Literal* end, const std::vector<VarInfo>& v, unsigned mode,
                  std::integer_sequence<unsigned, Modes...>) {
  using Sorter = void (*)(Literal*, Literal*, const std::vector<VarInfo>&);
  static constexpr Sorter kSorters[] = {&sortByMode<Modes>...};
  kSorters[mode < sizeof...(Modes) ? mode : sizeof...(Modes) - 1](begin, end, v);
}
}  // namespace

void Solver::sortLiterals(Literal* begin, Literal* end, unsigned mode) const {
  // Modes above 19 behave like 19.
  sortDispatch(begin, end, vars, mode, std::make_integer_sequence<unsigned, 20>());
}

bool Solver::VarComparator::operator()(unsigned a, unsigned b) const {
  const std::vector<VarInfo>& v = *vars;
  return ranksBefore(v[a], v[b], a, b, heuristic);
}

bool Solver::LitComparator::operator()(Literal a, Literal b) const {
  const std::vector<VarInfo>& v = *vars;
  return ranksBefore(v[a.var()], v[b.var()], a.var(), b.var(), heuristic);
}

namespace {
// Heap moves with the ordering fixed at compile time, like the sorts above:
// a comparison is a few inlined instructions instead of a dispatch on the
// mode, and the moves are exactly those of the comparator.
template <unsigned Mode>
struct FixedOrder {
  const VarInfo* v;
  bool operator()(unsigned a, unsigned b) const { return ranksBefore(v[a], v[b], a, b, Mode); }
};

template <unsigned Mode>
void siftUpFixed(unsigned* heap, int* heapIndex, const VarInfo* vars, unsigned i) {
  const FixedOrder<Mode> before{vars};
  const unsigned x = heap[i];
  while (i > 0) {
    const unsigned p = (i - 1) / 2;
    const unsigned y = heap[p];
    if (!before(x, y)) break;
    heap[i] = y;
    heapIndex[y] = static_cast<int>(i);
    i = p;
  }
  heap[i] = x;
  heapIndex[x] = static_cast<int>(i);
}

template <unsigned Mode>
void siftDownFixed(unsigned* heap, int* heapIndex, const VarInfo* vars, std::size_t n, unsigned i) {
  const FixedOrder<Mode> before{vars};
  const unsigned x = heap[i];
  for (;;) {
    std::size_t c = 2 * static_cast<std::size_t>(i) + 1;
    if (c >= n) break;
    if (c + 1 < n && before(heap[c + 1], heap[c])) ++c;
    const unsigned y = heap[c];
    if (!before(y, x)) break;
    heap[i] = y;
    heapIndex[y] = static_cast<int>(i);
    i = static_cast<unsigned>(c);
  }
  heap[i] = x;
  heapIndex[x] = static_cast<int>(i);
}

using SiftUp = void (*)(unsigned*, int*, const VarInfo*, unsigned);
using SiftDown = void (*)(unsigned*, int*, const VarInfo*, std::size_t, unsigned);

template <unsigned... Modes>
struct SiftTables {
  static constexpr SiftUp up[] = {&siftUpFixed<Modes>...};
  static constexpr SiftDown down[] = {&siftDownFixed<Modes>...};
};

template <unsigned... Modes>
constexpr SiftTables<Modes...> siftTablesOf(std::integer_sequence<unsigned, Modes...>) {
  return {};
}

using Sifts = decltype(siftTablesOf(std::make_integer_sequence<unsigned, 20>()));
constexpr unsigned kLastMode = 19;
}  // namespace

// Modes above 19 order nothing, like 19.
void Solver::DecisionQueue::siftUp(unsigned i) {
  const unsigned mode = cmp.heuristic < kLastMode ? cmp.heuristic : kLastMode;
  Sifts::up[mode](heap.data(), heapIndex.data(), cmp.vars->data(), i);
}

void Solver::DecisionQueue::siftDown(unsigned i) {
  const unsigned mode = cmp.heuristic < kLastMode ? cmp.heuristic : kLastMode;
  Sifts::down[mode](heap.data(), heapIndex.data(), cmp.vars->data(), heap.size(), i);
}

void Solver::DecisionQueue::insert(unsigned v) {
  if (heapIndex.size() <= v) heapIndex.resize(static_cast<std::size_t>(v) + 1, -1);
  heapIndex[v] = static_cast<int>(heap.size());
  heap.push_back(v);
  siftUp(static_cast<unsigned>(heap.size() - 1));
}

void Solver::DecisionQueue::remove(unsigned v) {
  if (!contains(v)) return;
  const unsigned i = static_cast<unsigned>(heapIndex[v]);
  const unsigned x = heap.back();
  heap[i] = x;
  heapIndex[x] = static_cast<int>(i);
  heapIndex[v] = -1;
  heap.pop_back();
  if (x != v && heap.size() >= 2) siftDown(i);
}

unsigned Solver::DecisionQueue::removeBest() {
  const unsigned t = heap[0];
  const unsigned x = heap.back();
  heap[0] = x;
  heapIndex[x] = 0;
  heapIndex[t] = -1;
  heap.pop_back();
  if (heap.size() >= 2) siftDown(0);
  return t;
}

void Solver::DecisionQueue::update(unsigned v) {
  if (!contains(v)) return;
  siftUp(static_cast<unsigned>(heapIndex[v]));
  siftDown(static_cast<unsigned>(heapIndex[v]));
}

void Solver::DecisionQueue::rebuild() {
  for (std::size_t i = heap.size() / 2; i-- > 0;) siftDown(static_cast<unsigned>(i));
}

void Solver::DecisionQueue::updateAll() {
  for (unsigned v = 1; v < cmp.vars->size(); ++v) update(v);
}

}  // namespace quelt
