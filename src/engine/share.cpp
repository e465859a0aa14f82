// Clause sharing, the engine's side (see engine/Exchange.hpp).
//
// A received clause is taken in at level 0 only, where every assigned
// literal is a fact: a true one satisfies the clause and it is dropped, a
// false one is left out. What remains is unassigned, so that a clause of
// two or more literals can be watched on any two of them; one literal is
// a new fact, assigned for the search loop to propagate; none refutes the
// formula, which is sound because every clause that crosses the exchange
// is implied by the formula and every level-0 fact a received clause can
// meet is too (a pure literal's choice is never met: a clause naming a
// removed variable is dropped first).
//
// No proof step could justify a clause found by another solver, so the
// exchange is never attached while a proof is written; received clauses
// are ignored then, to be safe.
#include <algorithm>

#include "engine/Solver.hpp"

namespace quelt {

unsigned Solver::countLevels(const std::vector<Literal>& lits) {
  const std::size_t levels = trail.levelStarts.size();
  if (levelStamps.size() < levels) levelStamps.resize(levels, 0);
  if (++levelStamp == 0) {  // the stamps wrapped: start again from clean marks
    std::fill(levelStamps.begin(), levelStamps.end(), 0);
    levelStamp = 1;
  }
  unsigned glue = 0;
  for (Literal l : lits) {
    const std::int32_t level = vars[l.var()].level;
    if (level < 0) continue;
    std::uint32_t& mark = levelStamps[static_cast<std::size_t>(level)];
    if (mark == levelStamp) continue;
    mark = levelStamp;
    glue += 1;
  }
  return glue == 0 ? 1 : glue;
}

bool Solver::tradeShared() {
  if (exchange == nullptr) return true;
  stats.sharing.exported += exchange->send();
  if (decisionLevel() != 0 || !exchange->waiting()) return true;
  std::vector<std::int32_t>& in = sharedScratch;
  in.clear();
  stats.sharing.duplicates += exchange->receive(in);
  if (proof != nullptr) return true;
  std::vector<Literal>& clause = sharedClause;
  std::size_t k = 0;
  while (k < in.size()) {
    const unsigned glue = static_cast<unsigned>(in[k++]);
    clause.clear();
    bool satisfied = false, unusable = false;
    for (; in[k] != 0; ++k) {
      const std::int32_t x = in[k];
      const std::uint32_t v = static_cast<std::uint32_t>(x < 0 ? -static_cast<std::int64_t>(x) : x);
      if (v >= vars.size() || vars[v].eliminated() || vars[v].pure()) {
        unusable = true;
        continue;
      }
      const Literal l = Literal::fromDimacs(x);
      if (isTrue(l))
        satisfied = true;
      else if (!isFalse(l))
        clause.push_back(l);
    }
    ++k;  // the 0
    if (unusable) {
      stats.sharing.removed += 1;
      continue;
    }
    if (satisfied) {
      stats.sharing.satisfied += 1;
      continue;
    }
    // Clauses from this process come without repeated or opposite literals;
    // those from elsewhere are checked as any clause from outside is.
    std::sort(clause.begin(), clause.end());
    clause.erase(std::unique(clause.begin(), clause.end()), clause.end());
    bool tautology = false;
    for (std::size_t i = 1; i < clause.size() && !tautology; ++i) tautology = varEqual(clause[i - 1], clause[i]);
    if (tautology) {
      stats.sharing.satisfied += 1;
      continue;
    }
    if (clause.empty()) {
      refuted = true;
      return false;
    }
    stats.sharing.imported += 1;
    if (clause.size() == 1) {
      stats.sharing.units += 1;
      assign(clause[0], nullptr);
      newUnitsMask |= 1;  // the level-0 cleanup removes what it satisfies
      continue;
    }
    const std::pair<Clause*, bool> stored = addClause(clause, true);
    if (stored.first == nullptr) continue;
    // Counted as one of this solver's learned clauses by addClause; it is not.
    stats.totalLearnedClauses -= 1;
    stats.learnedLiterals -= stored.first->size;
    policy->adoptShared(*stored.first, glue);
  }
  return true;
}

}  // namespace quelt
