// Watching and unwatching stored clauses, one at a time or in batches.
//
// Every stored clause of two or more literals is watched by its first two
// literals (engine/propagate.cpp). Outside a batch, detach and attach act
// at once. Inside a batch (a cleanup pass of simplification, a reduction),
// detaching is deferred: a clause to detach is marked and its two lists
// noted, and each noted list is compacted once at the end of the pass;
// clauses attached again are appended after that, in order. Every list
// ends exactly as one stable removal per clause would leave it, without a
// scan of two long lists for every clause.
#include "engine/Solver.hpp"

namespace quelt {

void Solver::detach(Clause& c) {
  if (!batchingDetach) {
    watches.dewatch(c);
    return;
  }
  c.flags |= Clause::kCollect;
  for (int w = 0; w < 2; ++w) {
    const std::uint32_t idx = c[w].watchIndex();
    if (!listMarks[idx]) {
      listMarks[idx] = 1;
      reduceLists.push_back(idx);
    }
  }
}

void Solver::attach(Clause& c) {
  if (!batchingDetach) {
    watches.push(c[0], &c);
    watches.push(c[1], &c);
    return;
  }
  pendingWatches.push_back({c[0].watchIndex(), &c});
  pendingWatches.push_back({c[1].watchIndex(), &c});
}

void Solver::sweepDetached() {
  for (std::uint32_t idx : reduceLists) {
    listMarks[idx] = 0;
    util::WatchVector& ws = watches[idx];
    std::uint32_t j = 0;
    for (std::uint32_t i = 0; i < ws.size; ++i)
      if ((ws.data[i]->flags & Clause::kCollect) == 0) ws.data[j++] = ws.data[i];
    ws.size = j;
    watches.trim(ws);
  }
  reduceLists.clear();
  for (Clause* c : garbage) freeClause(c);
  garbage.clear();
  for (const auto& p : pendingWatches) {
    p.second->flags &= ~Clause::kCollect;
    watches.push(watches[p.first], p.second);
  }
  pendingWatches.clear();
}

}  // namespace quelt
