// Bounded variable elimination, as Eén and Biere describe it for SatElite
// ("Effective preprocessing in SAT through variable and clause
// elimination", SAT 2005).
//
// A variable v goes from the formula when its clauses are replaced by all
// their resolvents on v: every clause with v against every clause with
// not-v, tautologies left out. The result is satisfiable exactly when the
// formula was, and it is done only when it does not grow the formula: at
// most as many resolvents as the clauses they replace, none longer than
// kMaxResolventSize. On formulas built from implications (pebbling,
// planning, circuits) this removes most variables and can refute the
// formula outright, through the units and the empty clause it derives.
//
// Candidates are tried cheapest first, by the product of their two
// occurrence counts; a variable with more than kMaxPairs pairs to try is
// skipped, and so is any variable once the tick budget is spent. Counting
// first and resolving second costs two passes over the pairs but never
// allocates for an elimination that does not happen. After each
// elimination its resolvents go through subsumption (subsume.cpp) at once:
// on chains of implications a resolvent is often shortened by a clause
// already there, and the next variable is then cheap to eliminate. After a
// pass, the variables whose clauses changed are tried again, until a pass
// eliminates nothing.
//
// The replaced clauses go on the reconstruction stack with v's literal
// first (see Solver::extendModel); resolvents are logged before the
// clauses they replace are deleted. A variable that is frozen, assumed,
// assigned or already gone is never a candidate, and neither is one that
// occurs nowhere: the search gives it a value anyway.
#include <algorithm>

#include "simplify/preprocess.hpp"
#include "simplify/resolve.hpp"

namespace quelt {

namespace {
constexpr std::uint32_t kMaxResolventSize = 24;
constexpr std::uint64_t kMaxPairs = 1000000;
}  // namespace

void Preprocessor::eliminate() {
  std::vector<unsigned> candidates;
  for (unsigned v = 1; v < s.vars.size(); ++v)
    if (removable(v)) candidates.push_back(v);
  for (unsigned v : touchedList) touched[v] = 0;
  touchedList.clear();
  std::vector<std::uint64_t> cost(s.vars.size(), 0);
  while (!candidates.empty() && !refuted() && !overBudget()) {
    for (unsigned v : candidates) {
      compact(Literal::make(v, true));
      compact(Literal::make(v, false));
      cost[v] = static_cast<std::uint64_t>(occurrences(Literal::make(v, true)).size()) *
                occurrences(Literal::make(v, false)).size();
    }
    std::sort(candidates.begin(), candidates.end(),
              [&cost](unsigned a, unsigned b) { return cost[a] < cost[b] || (cost[a] == cost[b] && a < b); });
    for (unsigned v : candidates) {
      if (refuted() || overBudget()) break;
      touched[v] = 0;
      if (!removable(v) || !tryEliminate(v)) continue;
      propagateUnits();
      subsume(true);
    }
    candidates.clear();
    for (unsigned v : touchedList)
      if (touched[v]) {
        touched[v] = 0;
        if (removable(v)) candidates.push_back(v);
      }
    touchedList.clear();
  }
}

bool Preprocessor::tryEliminate(unsigned v) {
  const Literal pos = Literal::make(v, true), neg = Literal::make(v, false);
  compact(pos);
  compact(neg);
  // Clause lists, so that the two sides read alike below.
  std::vector<Clause*> P, N;
  for (const Occurrence& o : occurrences(pos)) P.push_back(o.clause);
  for (const Occurrence& o : occurrences(neg)) N.push_back(o.clause);
  const std::size_t replaced = P.size() + N.size();
  if (replaced == 0 || static_cast<std::uint64_t>(P.size()) * N.size() > kMaxPairs) return false;

  // Count the resolvents, and measure them, without making any.
  std::size_t resolvents = 0;
  for (const Clause* p : P) {
    resolver.setFirst(*p);
    for (const Clause* q : N) {
      ticks += q->size;
      std::uint32_t length;
      if (resolver.tautologyWith(*q, neg, length)) continue;
      if (++resolvents > replaced + clauseGrowth || length > kMaxResolventSize) return false;
    }
  }

  // Resolve: the resolvents first, then the clauses they replace.
  for (const Clause* p : P) {
    resolver.setFirst(*p);
    for (const Clause* q : N) {
      if (!resolver.resolveWith(pos, *q, neg, scratch)) continue;
      std::sort(scratch.begin(), scratch.end());
      if (s.proof != nullptr) s.proof->add(scratch);
      if (scratch.size() == 1) addUnit(scratch[0]);
      else storeClause(scratch);
    }
  }
  s.pushRemovedVariable(v);
  for (const std::vector<Clause*>* side : {&N, &P}) {
    const Literal own = side == &P ? pos : neg;
    for (Clause* c : *side) {
      if (s.proof != nullptr) s.proof->del(*c);
      c->setRemoved();
      s.keepRemovedClause(c, own);
      touch(*c);
    }
  }
  occurrences(pos).clear();
  occurrences(neg).clear();
  s.vars[v].setEliminated();
  s.decisionQueue.remove(v);
  stats.eliminatedVariables += 1;
  return true;
}

}  // namespace quelt
