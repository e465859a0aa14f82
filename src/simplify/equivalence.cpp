// Equivalent literal substitution on the binary implication graph, whose
// strongly connected components (Tarjan, 1972) Aspvall, Plass and Tarjan
// (1979) used for 2-SAT and Brafman (2001) and Van Gelder for
// preprocessing.
//
// Every binary clause (a or b) is two implications, not-a -> b and
// not-b -> a. Literals on a cycle of implications are equivalent, so each
// strongly connected component of this graph can be replaced by one of its
// literals, its representative: the mirror component (the negations) by
// the representative's negation. A component holding a literal and its
// negation refutes the formula. Components come from one iterative Tarjan
// walk over the graph, linear in the binary clauses.
//
// The representative is a variable that must stay (frozen or assumed) when
// the component has one, else the smallest variable; other variables that
// must stay keep their own literal, and their binary clauses, rewritten,
// keep them equivalent. A substituted variable x with representative r
// leaves the formula: on the reconstruction stack go the two clauses
// (x or not-r) and (not-x or r), x first, which give x its value from r's
// when a model is extended, and which reopen() brings back with x.
//
// rewriteClauses applies the substitution and the level-0 facts in one
// pass over the clauses: satisfied clauses go, false literals go, literals
// are replaced, and clauses that became tautologies go. With a proof, all
// rewritten clauses are logged first (each follows by propagation over the
// old binary clauses, which are all still there) and the old ones deleted
// afterwards; units are assigned after the pass, so both halves see the
// same values.
#include <algorithm>

#include "simplify/preprocess.hpp"

namespace quelt {

std::vector<Literal> Preprocessor::findEquivalences() {
  const std::size_t nv = s.vars.size();
  std::vector<Literal> repr(nv);
  for (unsigned v = 0; v < nv; ++v) repr[v] = Literal::make(v, true);

  // The graph in compressed rows: the successors of node i (a literal's
  // occurIndex) are edges[first[i] .. first[i + 1]).
  const std::size_t n = 2 * nv;
  std::vector<std::uint32_t> first(n + 1, 0), edges;
  auto forEachBinary = [this](auto&& f) {
    for (const Clause* c : s.clauses)
      if (!c->removed() && c->size == 2 && !s.isAssigned((*c)[0]) && !s.isAssigned((*c)[1])) f((*c)[0], (*c)[1]);
  };
  forEachBinary([&](Literal a, Literal b) { first[(~a).occurIndex() + 1] += 1, first[(~b).occurIndex() + 1] += 1; });
  for (std::size_t i = 0; i < n; ++i) first[i + 1] += first[i];
  if (first[n] == 0) return repr;
  edges.resize(first[n]);
  std::vector<std::uint32_t> fill(first.begin(), first.end() - 1);
  forEachBinary([&](Literal a, Literal b) {
    edges[fill[(~a).occurIndex()]++] = b.occurIndex();
    edges[fill[(~b).occurIndex()]++] = a.occurIndex();
  });
  ticks += 2 * first[n];

  constexpr std::uint32_t kUnvisited = 0xFFFFFFFFu;
  std::vector<std::uint32_t> index(n, kUnvisited), low(n, 0), component(n, kUnvisited);
  std::vector<std::uint32_t> stack, members;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> calls;  // node, next edge
  std::vector<char> settled(nv, 0);                            // variable of a component handled
  std::uint32_t counter = 0, components = 0;
  auto toLit = [](std::uint32_t i) { return Literal::make(i >> 1, (i & 1) != 0); };

  auto visit = [&](std::uint32_t i) {
    index[i] = low[i] = counter++;
    stack.push_back(i);
    calls.push_back({i, first[i]});
  };
  for (std::uint32_t root = 0; root < n && !refuted(); ++root) {
    if (index[root] != kUnvisited || first[root] == first[root + 1]) continue;
    visit(root);
    while (!calls.empty() && !refuted()) {
      const std::uint32_t i = calls.back().first;
      if (calls.back().second < first[i + 1]) {
        const std::uint32_t j = edges[calls.back().second++];
        if (index[j] == kUnvisited) visit(j);
        else if (component[j] == kUnvisited) low[i] = std::min(low[i], index[j]);
        continue;
      }
      calls.pop_back();
      if (!calls.empty()) low[calls.back().first] = std::min(low[calls.back().first], low[i]);
      if (low[i] != index[i]) continue;
      members.clear();
      std::uint32_t j;
      do {
        j = stack.back();
        stack.pop_back();
        component[j] = components;
        members.push_back(j);
      } while (j != i);
      ++components;
      if (members.size() < 2) continue;
      for (std::uint32_t m : members)
        if (component[m ^ 1u] == component[m]) {  // l and not-l equivalent
          const Literal unit = ~toLit(m);          // l implies not-l
          if (s.proof != nullptr) s.proof->add(&unit, 1);
          refute();
          break;
        }
      if (refuted() || settled[members[0] >> 1]) continue;  // the mirror came first
      std::uint32_t best = members[0];
      for (std::uint32_t m : members) {
        const bool stays = keep[m >> 1], bestStays = keep[best >> 1];
        if ((stays && !bestStays) || (stays == bestStays && m < best)) best = m;
      }
      const Literal r = toLit(best);
      for (std::uint32_t m : members) {
        settled[m >> 1] = 1;
        const unsigned x = m >> 1;
        if (m == best || keep[x]) continue;
        const Literal lit = toLit(m);  // lit == r, so x == (lit positive ? r : not-r)
        const Literal image = lit.positive() ? r : ~r;
        repr[x] = image;
        const Literal px = Literal::make(x, true);
        s.pushRemovedVariable(x);
        for (const std::vector<Literal>& lits : {std::vector<Literal>{px, ~image}, std::vector<Literal>{~px, image}}) {
          Clause* c = s.allocateClause(lits, false);
          c->setRemoved();
          s.keepRemovedClause(c, lits[0]);
        }
        s.vars[x].setEliminated();
        s.decisionQueue.remove(x);
        stats.substitutedVariables += 1;
      }
    }
  }
  return repr;
}

void Preprocessor::rewriteClauses(const std::vector<Literal>& repr) {
  enum Outcome { Same, Gone, Changed };
  // scratch becomes the new form of c.
  auto rewrite = [&](const Clause& c) {
    scratch.clear();
    bool changed = false;
    for (Literal l : c) {
      if (s.isTrue(l)) return Gone;
      if (s.isFalse(l)) {
        changed = true;
        continue;
      }
      const Literal image = l.positive() ? repr[l.var()] : ~repr[l.var()];
      changed |= image != l;
      scratch.push_back(image);
    }
    if (!changed) return Same;
    std::sort(scratch.begin(), scratch.end());
    scratch.erase(std::unique(scratch.begin(), scratch.end()), scratch.end());
    for (std::size_t i = 1; i < scratch.size(); ++i)
      if (varEqual(scratch[i - 1], scratch[i])) return Gone;
    return Changed;
  };
  const std::size_t n = s.clauses.size();
  if (s.proof != nullptr)
    for (std::size_t i = 0; i < n; ++i)
      if (!s.clauses[i]->removed() && rewrite(*s.clauses[i]) == Changed) s.proof->add(scratch);
  std::vector<Literal> units;
  bool empty = false;
  for (std::size_t i = 0; i < n; ++i) {
    Clause* c = s.clauses[i];
    if (c->removed()) continue;
    ticks += c->size;
    const Outcome o = rewrite(*c);
    if (o == Same) continue;
    if (o == Gone) {
      deleteClause(c);
      continue;
    }
    if (s.proof != nullptr) s.proof->del(*c);
    if (scratch.size() <= 1) {
      if (scratch.empty()) empty = true;
      else units.push_back(scratch[0]);
      c->setRemoved();
      garbage.push_back(c);
      continue;
    }
    const std::uint32_t oldSize = c->size;
    std::copy(scratch.begin(), scratch.end(), c->lits());
    c->size = static_cast<std::uint32_t>(scratch.size());
    s.clauseArena.shrink(c, oldSize);
  }
  if (empty) refute();
  for (Literal u : units)
    if (!refuted()) addUnit(u);
}

}  // namespace quelt
