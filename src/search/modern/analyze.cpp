// Conflict analysis of the modern search (see ModernPolicy.hpp).
//
// First-UIP learning as in the engine (engine/analyze.cpp), and the same
// recursive minimisation (Solver::isLitRedundant); then the clause is cut
// further with the binary implication graph: a literal whose negation is
// implied by the asserting literal's negation through one binary clause
// goes, as Glucose does it (Audemard and Simon). The glue of the clause is
// the number of decision levels among its literals. With the shrink
// parameter, each lower level's literals may then give way to that level's
// first UIP (shrink below).
//
// Every variable the analysis meets is bumped, after the clause is found,
// and with it those of the reasons of the clause's literals, as Kissat and
// CaDiCaL bump them (the "reason side" of Maple's learning-rate branching,
// Liang, Ganesh, Poupart and Czarnecki, SAT 2016):
// in focused mode moved to the front of the queue in the order of its last
// bump (so that the queue keeps their relative order), in stable mode by
// the growing score increment. A learned clause that analysis resolves
// with is marked used and its glue recomputed: a clause whose glue drops
// may move up a tier.
#include <algorithm>

#include "search/modern/ModernPolicy.hpp"

namespace quelt {

std::uint32_t ModernPolicy::newMark() {
  if (++markClock == 0) {  // wrapped: old marks could match again
    std::fill(levelMarks.begin(), levelMarks.end(), 0);
    std::fill(litMarks.begin(), litMarks.end(), 0);
    std::fill(varMarks.begin(), varMarks.end(), 0);
    markClock = 1;
  }
  return markClock;
}

unsigned ModernPolicy::countGlue(const Literal* begin, const Literal* end) {
  const std::uint32_t mark = newMark();
  unsigned glue = 0;
  for (const Literal* p = begin; p != end; ++p) {
    const std::int32_t level = s.vars[p->var()].level;
    if (level < 0) continue;
    const std::size_t l = static_cast<std::size_t>(level);
    if (l >= levelMarks.size()) levelMarks.resize(2 * l + 2, 0);
    if (levelMarks[l] == mark) continue;
    levelMarks[l] = mark;
    glue += 1;
  }
  return glue;
}

void ModernPolicy::noteUse(Clause& c) {
  unsigned glue = glueOf(c);
  if (glue > kTier1) {
    const unsigned now = countGlue(c.begin(), c.end());
    if (now < glue) glue = now;
  }
  setQuality(c, glue, glue <= kTier2 ? 2 : 1);
}

unsigned ModernPolicy::analyze(Clause* conflict, unsigned& glue) {
  Solver& S = s;
  const std::int32_t d = static_cast<std::int32_t>(S.decisionLevel());
  learned.clear();
  learned.push_back(Literal());  // the asserting literal goes here
  seen.clear();
  unsigned pending = 0;
  unsigned long long levels = 0;
  std::size_t walk = S.trail.lits.size();
  Clause* c = conflict;
  std::uint32_t from = 0;  // literal 0 of a reason is the implied literal itself
  Literal uip;
  for (;;) {
    if (c->learned()) noteUse(*c);
    for (std::uint32_t k = from; k < c->size; ++k) {
      const Literal p = (*c)[k];
      util::VarInfo& r = S.vars[p.var()];
      if (r.marked() || r.level < 1) continue;
      r.mark();
      seen.push_back(p.var());
      if (r.level == d) {
        ++pending;
      } else {
        learned.push_back(p);
        levels |= 1ull << (static_cast<unsigned>(r.level) & 63u);
      }
    }
    do {
      --walk;
    } while (!S.vars[S.trail.lits[walk].var()].marked());
    uip = S.trail.lits[walk];
    c = S.vars[uip.var()].reason;
    from = 1;
    if (--pending == 0) break;
  }
  learned[0] = ~uip;
  const std::size_t analysed = seen.size();

  std::size_t w = 1;
  for (std::size_t i = 1; i < learned.size(); ++i) {
    const unsigned v = learned[i].var();
    if (S.vars[v].reason == nullptr || !S.isLitRedundant(v, seen, levels))
      learned[w++] = learned[i];
    else
      S.stats.redundantLearnedLiterals += 1;
  }
  learned.resize(w);
  if (learned.size() > 2) minimiseWithBinaries();

  // The variables that analysis met, then those in the reasons of the
  // learned clause's literals (one step back, within a limit).
  bumped.assign(seen.begin(), seen.begin() + static_cast<std::ptrdiff_t>(analysed));
  if (learned.size() <= kReasonBumpMaxSize && decisionRate.value < kReasonBumpMaxRate) {
    const std::size_t limit = bumped.size() + kReasonBumpFactor * learned.size();
    // Marked apart from the analysis marks, which shrinking reads as
    // "implied by the clause".
    const std::uint32_t mark = newMark();
    for (std::size_t i = 0; i < learned.size() && bumped.size() < limit; ++i) {
      const Clause* r = S.vars[learned[i].var()].reason;
      if (r == nullptr) continue;
      for (std::uint32_t k = 1; k < r->size; ++k) {
        const unsigned y = (*r)[k].var();
        const util::VarInfo& x = S.vars[y];
        if (x.marked() || x.level < 1 || varMarks[y] == mark) continue;
        varMarks[y] = mark;
        bumped.push_back(y);
      }
    }
  }
  bump();
  if (s.params.shrink && learned.size() > 2) shrink(levels);
  for (unsigned v : seen) S.vars[v].unmark();

  glue = countGlue(learned.data(), learned.data() + learned.size());
  if (learned.size() == 1) {
    const std::int32_t bit = static_cast<std::int32_t>(1u << (learned[0].var() % 32));
    S.newUnitsMask |= static_cast<std::uint64_t>(static_cast<std::int64_t>(bit));
    return 0;
  }
  std::size_t best = 1;
  std::int32_t bestLevel = S.vars[learned[1].var()].level;
  for (std::size_t i = 2; i < learned.size(); ++i) {
    const std::int32_t lv = S.vars[learned[i].var()].level;
    if (lv > bestLevel) {
      best = i;
      bestLevel = lv;
    }
  }
  std::swap(learned[1], learned[best]);
  return static_cast<unsigned>(bestLevel);
}

// Shrinking (Fleury and Biere, "Efficient all-UIP learned clause
// minimization", SAT 2021): the literals of one lower decision level are
// replaced by the first UIP of that level, when the implication graph from
// that UIP to them needs, at lower levels, only literals that the clause
// already implies. The glue stays; the clause gets shorter. Levels go from
// the highest down, since a level's graph never reaches above it.
void ModernPolicy::shrink(unsigned long long levels) {
  Solver& S = s;
  std::sort(learned.begin() + 1, learned.end(), [&S](Literal a, Literal b) {
    const std::int32_t la = S.vars[a.var()].level, lb = S.vars[b.var()].level;
    return la != lb ? la > lb : a.x < b.x;
  });
  std::size_t out = 1;
  std::size_t i = 1;
  while (i < learned.size()) {
    const std::int32_t level = S.vars[learned[i].var()].level;
    std::size_t j = i + 1;
    while (j < learned.size() && S.vars[learned[j].var()].level == level) ++j;
    Literal uip;
    if (j - i >= 2 && shrinkBlock(level, i, j, levels, uip)) {
      learned[out++] = ~uip;
      util::VarInfo& u = S.vars[uip.var()];
      if (!u.marked()) {
        u.mark();
        seen.push_back(uip.var());
      }
      S.stats.modern.shrunkLiterals += j - i - 1;
    } else {
      for (std::size_t k = i; k < j; ++k) learned[out++] = learned[k];
    }
    i = j;
  }
  learned.resize(out);
}

// Walks level `level` of the trail down from its top, resolving the marked
// assignments until one remains: that one is the level's UIP. Fails when a
// reason brings in a lower-level literal that the clause does not imply.
bool ModernPolicy::shrinkBlock(std::int32_t level, std::size_t from, std::size_t to, unsigned long long levels,
                               Literal& uip) {
  Solver& S = s;
  const std::uint32_t mark = newMark();
  for (std::size_t k = from; k < to; ++k) varMarks[learned[k].var()] = mark;
  std::size_t pending = to - from;
  const std::size_t l = static_cast<std::size_t>(level);
  std::size_t walk = l + 1 < S.trail.levelStarts.size() ? S.trail.levelStarts[l + 1] : S.trail.lits.size();
  const std::size_t bottom = S.trail.levelStarts[l];
  while (walk > bottom) {
    const Literal t = S.trail.lits[--walk];
    if (varMarks[t.var()] != mark) continue;
    if (pending == 1) {
      uip = t;
      return true;
    }
    pending -= 1;
    const Clause* r = S.vars[t.var()].reason;
    if (r == nullptr) return false;  // cannot happen with others pending
    for (std::uint32_t k = 1; k < r->size; ++k) {
      const unsigned y = (*r)[k].var();
      util::VarInfo& ry = S.vars[y];
      if (ry.level == level) {
        if (varMarks[y] != mark) {
          varMarks[y] = mark;
          pending += 1;
        }
      } else if (ry.level > 0 && !ry.marked()) {
        if (ry.reason == nullptr || !S.isLitRedundant(y, seen, levels)) return false;
        ry.mark();  // implied by the clause from now on
        seen.push_back(y);
      }
    }
  }
  return false;
}

// A binary clause (a | b) with a the asserting literal implies b once a is
// false; so a literal -b of the clause resolves away with it.
void ModernPolicy::minimiseWithBinaries() {
  const std::uint32_t mark = newMark();
  for (std::size_t i = 1; i < learned.size(); ++i) litMarks[learned[i].x] = mark;
  const util::WatcherList& ws = s.watchers[learned[0].watchIndex()];
  std::size_t removed = 0;
  for (const util::Watcher& w : ws) {
    if (!w.binary) continue;
    const Literal implied = w.blocker;
    if (litMarks[(~implied).x] == mark && s.isTrue(implied)) {
      litMarks[(~implied).x] = 0;
      removed += 1;
    }
  }
  if (removed == 0) return;
  std::size_t k = 1;
  for (std::size_t i = 1; i < learned.size(); ++i)
    if (litMarks[learned[i].x] == mark) learned[k++] = learned[i];
  learned.resize(k);
  s.stats.modern.binaryMinimised += removed;
}

void ModernPolicy::bump() {
  if (stable) {
    for (unsigned v : bumped) bumpScore(v);
    return;
  }
  // In the order of the last bumps, so the queue keeps their order.
  std::sort(bumped.begin(), bumped.end(), [this](unsigned a, unsigned b) { return stamp[a] < stamp[b]; });
  for (unsigned v : bumped) {
    moveToFront(v);
    if (s.vars[v].level < 0) searchFrom = v;
  }
}

}  // namespace quelt
