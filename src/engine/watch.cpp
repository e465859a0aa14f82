// Watching and unwatching stored clauses, one at a time or in batches, in
// either watch scheme.
//
// Every stored clause of two or more literals is watched by its first two
// literals (engine/propagate.cpp, engine/propagate_watchers.cpp). Outside a
// batch, detach and attach act at once. Inside a batch (a cleanup pass of
// simplification, a reduction), detaching is deferred: a clause to detach
// is marked and its two lists noted, and each noted list is compacted once
// at the end of the pass; clauses attached again are appended after that,
// in order. Every list ends exactly as one stable removal per clause would
// leave it, without a scan of two long lists for every clause.
#include "engine/Solver.hpp"

namespace quelt {

namespace {
void removeWatcher(util::WatcherList& ws, const Clause* c) {
  std::size_t j = 0;
  for (std::size_t i = 0; i < ws.size(); ++i)
    if (ws[i].clause != c) ws[j++] = ws[i];
  ws.resize(j);
}
}  // namespace

void Solver::unwatchClause(const Clause& c) {
  if (!blockerWatches) {
    watches.dewatch(c);
    return;
  }
  removeWatcher(watchers[c[0].watchIndex()], &c);
  removeWatcher(watchers[c[1].watchIndex()], &c);
}

void Solver::useBlockerWatches(bool on) {
  if (on == blockerWatches) return;
  if (on) {
    watchers.assign(watches.numLists, util::WatcherList());
    for (std::uint32_t i = 0; i < watches.numLists; ++i) {
      util::WatchVector& ws = watches[i];
      watchers[i].reserve(ws.size);
      const Literal own = Literal(i ^ Literal::kSignBit);  // the literal of list i
      for (std::uint32_t k = 0; k < ws.size; ++k) watchers[i].push_back(util::watcherOf(*ws.data[k], own));
      ws.size = 0;
      watches.trim(ws);
    }
  } else {
    for (std::uint32_t i = 0; i < watchers.size(); ++i) {
      util::WatchVector& ws = watches[i];
      watches.reserve(ws, static_cast<std::uint32_t>(watchers[i].size()));
      for (const util::Watcher& w : watchers[i]) watches.push(ws, w.clause);
    }
    watchers.clear();
    watchers.shrink_to_fit();
  }
  blockerWatches = on;
}

void Solver::detach(Clause& c) {
  if (!batchingDetach) {
    unwatchClause(c);
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
    watchClause(c);
    return;
  }
  pendingWatches.push_back({c[0].watchIndex(), &c});
  pendingWatches.push_back({c[1].watchIndex(), &c});
}

void Solver::sweepDetached() {
  for (std::uint32_t idx : reduceLists) {
    listMarks[idx] = 0;
    if (blockerWatches) {
      util::WatcherList& ws = watchers[idx];
      std::size_t j = 0;
      for (std::size_t i = 0; i < ws.size(); ++i)
        if ((ws[i].clause->flags & Clause::kCollect) == 0) ws[j++] = ws[i];
      ws.resize(j);
      continue;
    }
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
    Clause* const c = p.second;
    c->flags &= ~Clause::kCollect;
    if (blockerWatches) {
      watchers[p.first].push_back(util::watcherOf(*c, Literal(p.first ^ Literal::kSignBit)));
    } else {
      watches.push(watches[p.first], c);
    }
  }
  pendingWatches.clear();
}

}  // namespace quelt
