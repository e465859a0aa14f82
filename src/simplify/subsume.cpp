// Backward subsumption and self-subsuming strengthening, as SatElite does
// them (Eén and Biere, SAT 2005).
//
// A clause C subsumes D when every literal of C is in D: D adds nothing and
// is deleted. When all of C is in D but for one literal l, which D holds
// negated, resolving the two on l gives D without not-l, which subsumes D:
// D loses not-l ("self-subsuming strengthening"). Both keep the formula
// equivalent, and both make elimination cheaper and more likely, since a
// variable's clauses, and so its resolvents, become fewer and shorter.
//
// The check is backward: each queued clause C (all clauses at first, then
// every new or shortened one, shortest first) looks for the clauses it
// subsumes or strengthens. Any such D contains the variable of every
// literal of C, so only the lists of one variable of C are scanned, the
// shortest pair. C's literals are marked, and each candidate D, no shorter
// than C, is walked once: a literal of D is C's, or C's negated (at most
// once), or neither. The signatures in the lists rule out most candidates
// unread.
//
// A new clause (a resolvent, or one just shortened) is also checked the
// other way, against the clauses already there that are no longer than it:
// a resolvent is often subsumed or shortened by one of them, and a shorter
// resolvent is what lets the next elimination through. Those clauses are
// listed under C's own literals, so this walks all of C's lists; a clause
// whose lists hold more than kMaxForwardEntries entries altogether skips
// it. Every entry and literal walked costs a tick; the queue is left once
// the budget is spent.
//
// With a proof, a strengthened clause is logged before the old one is
// deleted; a subsumed clause is just deleted. Units found on the way are
// applied before the next clause of the queue is taken.
#include <algorithm>
#include <cstdint>

#include "simplify/preprocess.hpp"

namespace quelt {

namespace {
// Longer clauses rarely subsume anything and cost the most to try.
constexpr std::uint32_t kMaxSubsumerSize = 100;
constexpr std::size_t kMaxForwardEntries = 4000;

int popcount(std::uint64_t x) { return __builtin_popcountll(x); }
}  // namespace

// How many literals of d are marked, or marked negated (at most one, which
// goes to flip); stops at a second negated one.
std::uint32_t Preprocessor::overlap(const Clause& d, bool& negated, Literal& flip) {
  ticks += d.size;
  std::uint32_t found = 0;
  negated = false;
  for (Literal l : d) {
    if (marked(l)) {
      ++found;
    } else if (marked(~l)) {
      if (negated) break;
      negated = true;
      flip = l;
      ++found;
    }
  }
  return found;
}

// Whether c, marked, survives the clauses no longer than itself: one of
// them may subsume it or strip a literal off it. Such a clause has two
// literals or more, at most one of them negated from c's, so it is listed
// under one of c's own literals.
bool Preprocessor::subsumedForward(Clause* c, std::uint64_t signature) {
  bool negated;
  Literal flip;
  std::size_t entries = 0;
  for (Literal l : *c) entries += occurrences(l).size();
  if (entries > kMaxForwardEntries) return true;
  for (std::uint32_t i = 0; i < c->size; ++i) {
    const std::vector<Occurrence>& os = occurrences((*c)[i]);
    ticks += os.size();
    for (const Occurrence& o : os) {
      Clause* d = o.clause;
      if (d == c || popcount(o.signature & ~signature) > 1 || d->removed() || d->size > c->size ||
          overlap(*d, negated, flip) != d->size)
        continue;
      if (!negated) {
        stats.subsumedClauses += 1;
        deleteClause(c);
      } else {
        stats.strengthenedClauses += 1;
        strengthen(c, ~flip, true);  // requeues c
      }
      return false;
    }
  }
  return true;
}

void Preprocessor::subsume(bool forward) {
  std::stable_sort(queue.begin(), queue.end(), [](const Clause* a, const Clause* b) { return a->size < b->size; });
  std::vector<Occurrence> candidates;
  bool negated;
  Literal flip;
  for (std::size_t q = 0; q < queue.size() && !refuted() && !overBudget(); ++q) {
    Clause* c = queue[q];
    if (c->removed() || c->size > kMaxSubsumerSize) continue;
    newMarks();
    for (Literal l : *c) setMark(l);
    ticks += c->size;
    const std::uint64_t signature = signatureOf(*c);
    if (forward && !subsumedForward(c, signature)) {
      propagateUnits();
      continue;
    }
    Literal pivot = (*c)[0];
    std::size_t fewest = SIZE_MAX;
    for (Literal l : *c) {
      const std::size_t k = occurrences(l).size() + occurrences(~l).size();
      if (k < fewest) fewest = k, pivot = l;
    }
    candidates.assign(occurrences(pivot).begin(), occurrences(pivot).end());
    candidates.insert(candidates.end(), occurrences(~pivot).begin(), occurrences(~pivot).end());
    ticks += candidates.size();
    for (const Occurrence& o : candidates) {
      Clause* d = o.clause;
      if (d == c || popcount(signature & ~o.signature) > 1 || d->removed() || d->size < c->size ||
          overlap(*d, negated, flip) != c->size)
        continue;
      if (!negated) {
        stats.subsumedClauses += 1;
        deleteClause(d);
      } else {
        stats.strengthenedClauses += 1;
        strengthen(d, flip, true);
        if (refuted()) break;
      }
    }
    propagateUnits();
  }
  queue.clear();
}

}  // namespace quelt
