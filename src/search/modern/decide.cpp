// Decisions and phases of the modern search (see ModernPolicy.hpp).
//
// The focused mode decides by a variable-move-to-front queue: analysis
// moves the variables it meets to the end of a linked list, in the order of
// their previous bumps, and stamps them with a growing clock; the decision
// is the unassigned variable latest in the list. A search pointer spares
// the walk over the assigned tail: every variable after it is assigned, and
// backtracking moves it back to any variable it unassigns that lies later.
// The stable mode decides by the engine's heap of exponentially bumped
// activities (VSIDS as MiniSat decays it).
//
// The phase of a decision is the saved phase, the value the variable had
// when backtracking last unassigned it; in stable mode the target phase
// comes first, the assignment of the longest trail without a conflict
// since the last restart. Rephasing now and then replaces the saved phases
// by the original (all true), inverted (all false), best (the longest
// conflict-free trail since the last rephasing), random or target phases.
#include <algorithm>

#include "search/modern/ModernPolicy.hpp"

namespace quelt {

void ModernPolicy::enqueue(unsigned v) {
  prev[v] = last;
  next[v] = 0;
  if (last != 0)
    next[last] = v;
  else
    first = v;
  last = v;
  stamp[v] = ++stampClock;
  searchFrom = v;  // a new variable is free
}

void ModernPolicy::moveToFront(unsigned v) {
  if (v == last) {
    stamp[v] = ++stampClock;
    return;
  }
  const unsigned p = prev[v], n = next[v];
  if (p != 0)
    next[p] = n;
  else
    first = n;
  prev[n] = p;  // n != 0: v is not last
  prev[v] = last;
  next[v] = 0;
  next[last] = v;
  last = v;
  stamp[v] = ++stampClock;
}

unsigned ModernPolicy::nextFocused() {
  unsigned v = searchFrom;
  while (v != 0 && (s.vars[v].level >= 0 || s.vars[v].eliminated())) v = prev[v];
  searchFrom = v;
  return v;
}

unsigned ModernPolicy::nextStable() {
  Solver::DecisionQueue& q = s.decisionQueue;
  while (!q.empty()) {
    const unsigned v = q.heap[0];
    if (s.vars[v].level < 0 && !s.vars[v].eliminated()) return v;
    q.removeBest();
  }
  return 0;
}

bool ModernPolicy::ranksBefore(unsigned v, unsigned w) const {
  if (stable) return s.vars[v].activity > s.vars[w].activity;
  return stamp[v] > stamp[w];
}

void ModernPolicy::bumpScore(unsigned v) {
  util::VarInfo& r = s.vars[v];
  r.activity += scoreIncrement;
  if (r.activity > 1e150) {
    for (util::VarInfo& x : s.vars) x.scaleActivity(1e-150);
    scoreIncrement *= 1e-150;
  }
  s.decisionQueue.increase(v);
}

bool ModernPolicy::decide(Literal& decision) {
  grow();
  const unsigned v = stable ? nextStable() : nextFocused();
  if (v == 0) return false;
  if (stable) s.decisionQueue.removeBest();
  s.stats.decisions += 1;
  decision = phase(v);
  return true;
}

Literal ModernPolicy::phase(unsigned v) {
  // A caller's preference comes first (Solver::preferredPhase).
  if (v < s.preferredPhase.size() && s.preferredPhase[v] != 0) return Literal::make(v, s.preferredPhase[v] > 0);
  if (v >= saved.size()) return Literal::make(v, true);
  const std::int8_t p = stable && target[v] != 0 ? target[v] : saved[v];
  return Literal::make(v, p > 0);
}

void ModernPolicy::unassigning(const Literal* from, const Literal* to) {
  grow();  // the preprocessor backtracks before the first search run
  std::int8_t* const ph = saved.data();
  if (stable) {
    for (const Literal* p = from; p != to; ++p) ph[p->var()] = p->positive() ? 1 : -1;
    return;
  }
  unsigned search = searchFrom;
  std::uint64_t searchStamp = search != 0 ? stamp[search] : 0;
  for (const Literal* p = from; p != to; ++p) {
    const unsigned v = p->var();
    ph[v] = p->positive() ? 1 : -1;
    if (stamp[v] > searchStamp) {
      search = v;
      searchStamp = stamp[v];
    }
  }
  searchFrom = search;
}

// At a conflict, the levels below the conflict's are free of conflicts: a
// longer such trail than seen before becomes the target (and the best).
void ModernPolicy::updateTargetAndBest() {
  const std::size_t consistent = s.trail.levelStarts[s.decisionLevel()];
  auto record = [&](std::vector<std::int8_t>& phases, std::size_t& assigned) {
    if (consistent <= assigned) return;
    for (std::size_t i = 0; i < consistent; ++i) {
      const Literal l = s.trail.lits[i];
      phases[l.var()] = l.positive() ? 1 : -1;
    }
    assigned = consistent;
  };
  record(target, targetAssigned);
  record(best, bestAssigned);
}

// The cycle of rephasings: best, walk, original, best, inverted, best,
// walk, random, best, target; the interval grows by kRephaseInterval
// conflicts each time. A walk (walk.cpp) starts from the phases saved.
void ModernPolicy::rephase() {
  static const char kCycle[] = {'B', 'W', 'O', 'B', 'I', 'B', 'W', 'R', 'B', 'T'};
  const char kind = kCycle[rephases % sizeof kCycle];
  rephases += 1;
  s.stats.modern.rephases += 1;
  const std::size_t n = saved.size();
  if (kind == 'W') {
    // Levels kept from before would overrule the walk's assignment at once.
    s.backtrack(0);
    walk();
  }
  for (std::size_t v = 1; v < n && kind != 'W'; ++v) {
    switch (kind) {
      case 'O': saved[v] = 1; break;
      case 'I': saved[v] = -1; break;
      case 'R': saved[v] = (s.random.next() & 1) != 0 ? 1 : -1; break;
      case 'B':
        if (best[v] != 0) saved[v] = best[v];
        break;
      default:
        if (target[v] != 0) saved[v] = target[v];
        break;
    }
  }
  std::fill(target.begin(), target.end(), 0);
  targetAssigned = 0;
  bestAssigned = 0;
  nextRephase = s.stats.conflicts + static_cast<std::uint64_t>(rephases + 1) * kRephaseInterval;
}

unsigned ModernPolicy::reuseLevel() {
  const unsigned d = s.decisionLevel();
  const unsigned assumed = static_cast<unsigned>(std::min<std::size_t>(s.assumptions.size(), d));
  const unsigned nextVar = stable ? nextStable() : nextFocused();
  if (nextVar == 0) return assumed;
  unsigned level = assumed;
  const std::vector<unsigned>& starts = s.trail.levelStarts;
  while (level < d) {
    const std::size_t at = starts[level + 1];
    if (at >= s.trail.lits.size() || (level + 2 < starts.size() && starts[level + 2] == at)) break;
    const unsigned dv = s.trail.lits[at].var();
    if (!ranksBefore(dv, nextVar)) break;
    level += 1;
  }
  if (level > assumed) s.stats.modern.reusedLevels += level - assumed;
  return level;
}

}  // namespace quelt
