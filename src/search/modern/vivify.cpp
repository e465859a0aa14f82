// Vivification of learned clauses (see ModernPolicy.hpp).
//
// A clause C = (l1 | ... | ln) is vivified at level 0 by assuming its
// literals false one at a time and propagating after each (Piette, Hamadi
// and Saïs, ECAI 2008; for learned clauses Luo, Li, Xiao, Manyà and Lü,
// IJCAI 2017, as Kissat and CaDiCaL run it between searches):
//   - a conflict after l1..lk are assumed false: (l1 | ... | lk) follows;
//   - a literal found true: (l1 | ... | lk | l) follows;
//   - a literal found false: it leaves the clause.
// Each shorter clause follows from the clauses by unit propagation, C among
// them, so it is written to the proof as it stands, and it subsumes C,
// which goes. C is not kept out of the propagation: whatever it implies
// there it implies in the proof checker's propagation too.
//
// The candidates are the tier-1 and tier-2 learned clauses not tried yet,
// best glue first, then shortest; then, while the budget lasts, the
// irredundant clauses in turn, each round going on where the last stopped.
// A shortened irredundant clause stays irredundant. A round runs every so
// many conflicts (kVivifyInterval, growing with the square root of the
// rounds) and spends at most a tenth of the propagations the search made
// since the last one.
// The assignments of a round are not search assignments: the saved phases
// do not hear of them, and the search restarts from level 0 afterwards.
#include <algorithm>
#include <cmath>

#include "search/modern/ModernPolicy.hpp"

namespace quelt {

bool ModernPolicy::vivify() {
  Solver& S = s;
  SearchStatistics::Modern& m = S.stats.modern;
  m.vivifyRounds += 1;
  nextVivify = S.stats.conflicts + static_cast<std::uint64_t>(kVivifyInterval * std::sqrt(m.vivifyRounds + 1.0));
  // The propagation counter is 32 bits wide and wraps: differences only.
  const std::uint32_t start = S.stats.bcPropagations;
  const auto budget = static_cast<std::uint32_t>(kVivifyEffort * static_cast<double>(start - propagationsAfterVivify));
  S.backtrack(0);
  if (!S.mayDeleteClauses()) {
    propagationsAfterVivify = S.stats.bcPropagations;
    return true;
  }
  candidates.clear();
  for (Clause* c : S.learnedClauses)
    if (!c->removed() && c->size > 2 && glueOf(*c) <= kTier2 && !vivifiedOf(*c)) candidates.push_back(c);
  std::stable_sort(candidates.begin(), candidates.end(), [](const Clause* a, const Clause* b) {
    const unsigned ga = glueOf(*a), gb = glueOf(*b);
    return ga != gb ? ga < gb : a->size < b->size;
  });
  const bool hears = S.policyHearsBacktrack;
  S.policyHearsBacktrack = false;
  bool consistent = true;
  std::size_t doomed = 0;
  for (std::size_t i = 0; i < candidates.size() && consistent; ++i) {
    if (static_cast<std::uint32_t>(S.stats.bcPropagations - start) > budget) break;
    if ((i & 63u) == 63u && S.stopRequested()) break;
    Clause& c = *candidates[i];
    markVivified(c);
    m.vivifyTried += 1;
    consistent = vivifyClause(c);
    if ((c.flags & Clause::kCollect) != 0) doomed += 1;
  }
  // With what the budget leaves, the irredundant clauses, from where the
  // last round stopped.
  std::size_t irredundantDoomed = 0;
  const bool stopped = S.stopRequested();
  for (std::size_t tried = 0; consistent && !stopped && S.pendingClauses == 0 && tried < S.clauses.size(); ++tried) {
    if (static_cast<std::uint32_t>(S.stats.bcPropagations - start) > budget) break;
    if ((tried & 63u) == 63u && S.stopRequested()) break;
    if (irredundantCursor >= S.clauses.size()) irredundantCursor = 0;
    Clause& c = *S.clauses[irredundantCursor++];
    if (c.removed() || c.size <= 2 || (c.flags & Clause::kCollect) != 0) continue;
    m.vivifyTried += 1;
    consistent = vivifyClause(c);
    if ((c.flags & Clause::kCollect) != 0) irredundantDoomed += 1;
  }
  S.policyHearsBacktrack = hears;
  auto collect = [&S](std::vector<Clause*>& list, std::size_t* cursor) {
    std::size_t k = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (cursor != nullptr && i == *cursor) *cursor = k;
      if ((list[i]->flags & Clause::kCollect) != 0)
        S.freeClause(list[i]);
      else
        list[k++] = list[i];
    }
    if (cursor != nullptr && *cursor > k) *cursor = k;
    list.resize(k);
  };
  if (doomed != 0) collect(S.learnedClauses, nullptr);
  if (irredundantDoomed != 0) collect(S.clauses, &irredundantCursor);
  propagationsAfterVivify = S.stats.bcPropagations;
  return consistent;
}

// Vivifies c, which is watched, at level 0 with propagation done. Returns
// false when the formula is refuted on the way.
bool ModernPolicy::vivifyClause(Clause& c) {
  Solver& S = s;
  // Propagation reorders the clause's literals as it watches them: the
  // walk goes over a copy.
  std::vector<Literal>& lits = vivifyLits;
  lits.assign(c.begin(), c.end());
  std::vector<Literal>& kept = vivifyScratch;
  kept.clear();
  for (std::size_t k = 0; k < lits.size(); ++k) {
    const Literal l = lits[k];
    const util::VarInfo& r = S.vars[l.var()];
    if (r.level == 0) {
      if (r.isTrue(l)) {  // satisfied for good
        S.backtrack(0);
        // Unless only by a pure literal's choice, which a later clause can
        // undo: such an irredundant clause stays, as the cleanup keeps it.
        if (!r.pure() || c.learned()) dropVivified(c);
        return true;
      }
      continue;  // false for good
    }
    if (r.level > 0) {
      if (r.isTrue(l)) {
        keepDecisionsBehind(nullptr, l);
        break;
      }
      continue;  // false: implied by the literals before it
    }
    kept.push_back(l);
    if (k + 1 == lits.size()) break;  // the last one: nothing left to learn
    S.trail.levelStarts.push_back(static_cast<unsigned>(S.trail.lits.size()));
    S.assign(~l, nullptr);
    if (Clause* const conflict = S.propagateWatchers()) {
      keepDecisionsBehind(conflict, Literal());
      break;
    }
  }
  S.backtrack(0);
  if (kept.size() >= c.size) return true;

  SearchStatistics::Modern& m = S.stats.modern;
  m.vivifiedClauses += 1;
  m.vivifiedLiterals += c.size - kept.size();
  if (S.proof != nullptr) {
    S.proof->add(kept);
    S.proof->del(c);
  }
  if (kept.size() == 1) {
    if (c.learned()) S.stats.learnedUnitClauses += 1;
    S.unwatchClause(c);
    c.flags |= Clause::kCollect;
    const Literal unit = kept[0];
    const std::int32_t bit = static_cast<std::int32_t>(1u << (unit.var() % 32));
    S.newUnitsMask |= static_cast<std::uint64_t>(static_cast<std::int64_t>(bit));
    S.assign(unit, nullptr);
    return S.propagateWatchers() == nullptr;
  }
  S.unwatchClause(c);
  const std::uint32_t oldSize = c.size;
  for (std::size_t k = 0; k < kept.size(); ++k) c[k] = kept[k];
  c.size = static_cast<std::uint32_t>(kept.size());
  S.clauseArena.shrink(&c, oldSize);
  if (c.learned()) setQuality(c, std::min<unsigned>(glueOf(c), c.size), usedOf(c));
  S.watchClause(c);
  return true;
}

// Keeps, of the literals assumed false, those whose assumptions the
// conflict (or the implication of the true literal l) rests on: the
// decisions in its implication graph.
void ModernPolicy::keepDecisionsBehind(const Clause* conflict, Literal l) {
  Solver& S = s;
  std::vector<Literal>& kept = vivifyScratch;
  kept.clear();
  seen.clear();
  auto markVar = [&](unsigned v) {
    util::VarInfo& r = S.vars[v];
    if (r.level <= 0 || r.marked()) return;
    r.mark();
    seen.push_back(v);
  };
  if (conflict != nullptr) {
    for (Literal q : *conflict) markVar(q.var());
  } else {
    kept.push_back(l);
    markVar(l.var());
  }
  for (std::size_t i = S.trail.lits.size(); i-- > S.trail.levelStarts[1];) {
    const Literal t = S.trail.lits[i];
    const util::VarInfo& r = S.vars[t.var()];
    if (!r.marked()) continue;
    if (r.reason == nullptr) {
      kept.push_back(~t);  // the decision that assumed ~t's clause literal false
      continue;
    }
    for (std::uint32_t k = 1; k < r.reason->size; ++k) markVar((*r.reason)[k].var());
  }
  for (unsigned v : seen) S.vars[v].unmark();
}

void ModernPolicy::dropVivified(Clause& c) {
  if (s.proof != nullptr) s.proof->del(c);
  s.unwatchClause(c);
  c.flags |= Clause::kCollect;
  s.stats.modern.vivifiedClauses += 1;
}

}  // namespace quelt
