// Helpers for tests of level-0 simplification (variable elimination and the
// pure literal rule) that drive quelt::Solver directly: a solver loaded with
// hand-made clauses, one simplification round on demand, occurrence lists
// filed for a direct elimination attempt, a model checked against the
// clauses as written, the occurrence counters checked against the clauses
// that are left, and generated formulas that make the search learn a unit
// clause at once (the event that lets a simplification round run).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "solver/Solver.hpp"
#include "support/cnf_gen.hpp"
#include "support/solver_checks.hpp"

namespace quelt_test {

using Clauses = std::vector<std::vector<int>>;

inline Cnf makeCnf(int numVars, Clauses clauses, const std::string& name = "hand-made") {
  Cnf f;
  f.name = name;
  f.numVars = numVars;
  f.clauses = std::move(clauses);
  return f;
}

inline int largestVariable(const Clauses& cs) {
  int m = 0;
  for (const auto& c : cs)
    for (int l : c) m = std::max(m, std::abs(l));
  return m;
}

// Parameters for scenarios: elimination of original clauses, candidates in
// increasing variable order, no pure literal rule and no randomness, so
// every step is predictable.
inline quelt::SearchParams scenarioParams() {
  quelt::SearchParams p;
  p.resolution = 1;
  p.resOrderHeur = 16;
  p.usePureLiteralRule = false;
  p.randPhaseDecFreq = 0.0;
  p.randVarDecFreq = 0.0;
  return p;
}

// A solver with the parameters p, the variables and clauses of f, and the
// given clauses added as learned clauses (stored as written, watched on
// their first two literals).
inline std::unique_ptr<quelt::Solver> loaded(const Cnf& f, const quelt::SearchParams& p, const Clauses& learned = {}) {
  auto s = std::make_unique<quelt::Solver>(p);
  load(*s, f);
  for (const auto& c : learned) {
    std::vector<quelt::Literal> copy = lits(c);
    s->addClause(copy, true);
  }
  return s;
}

inline void addUnits(quelt::Solver& s, const std::vector<int>& units) {
  for (int u : units) {
    std::vector<quelt::Literal> unit = lits({u});
    s.addClause(unit, false);
  }
}

// Level-0 facts as the search would learn them, after a simplification
// round. (Adding original clauses at that point would change the formula,
// and the solver would undo its elimination and pure literals first.)
inline void learnUnits(quelt::Solver& s, const std::vector<int>& units) {
  for (int u : units) {
    std::vector<quelt::Literal> unit = lits({u});
    s.addClause(unit, true);
  }
}

// One simplification round at level 0, as the search runs it once a unit
// clause has been learned and the propagation budget is used up.
inline bool simplificationRound(quelt::Solver& s) {
  s.newUnitsMask = 1;
  s.stats.simplifyBudget = 0;
  return s.simplify();
}

// Files every stored clause in the occurrence lists, as the cleanup of a
// round does, for a direct elimination attempt in the given mode.
inline void fileOccurrences(quelt::Solver& s, unsigned mode) {
  s.params.resolution = mode;
  for (quelt::Clause* c : s.clauses) s.MarkOccurrences(*c);
  for (quelt::Clause* c : s.learnedClauses) s.MarkOccurrences(*c);
}

// The model of s checked against every clause of f as written and against
// the given assumption literals.
inline ::testing::AssertionResult modelSatisfies(const quelt::Solver& s, const Cnf& f,
                                                 const std::vector<int>& assumed = {}) {
  const Assignment a = modelOf(s);
  if (a.size() != static_cast<std::size_t>(f.numVars) + 1)
    return ::testing::AssertionFailure() << "model has " << s.model.size() << " entries for " << f.numVars
                                         << " variables, or is not in variable order";
  const int bad = firstFalsifiedClause(f, a);
  if (bad >= 0)
    return ::testing::AssertionFailure() << "model falsifies original clause "
                                         << ::testing::PrintToString(f.clauses[static_cast<std::size_t>(bad)]);
  for (int l : assumed)
    if (!literalTrue(l, a)) return ::testing::AssertionFailure() << "model falsifies assumption " << l;
  return ::testing::AssertionSuccess();
}

// Right after a simplification round, the occurrence counters of every
// variable equal the number of clauses left in the database (original and
// learned, not removed) that contain each of its literals. Counters that hit
// their ceiling are exempt.
inline ::testing::AssertionResult occurrenceCountsMatch(const quelt::Solver& s) {
  std::vector<std::pair<unsigned, unsigned>> counted(s.vars.size());
  for (const auto* list : {&s.clauses, &s.learnedClauses})
    for (const quelt::Clause* c : *list) {
      if (c->removed()) continue;
      for (quelt::Literal l : *c) (l.positive() ? counted[l.var()].second : counted[l.var()].first) += 1;
    }
  for (unsigned v = 1; v < s.vars.size(); ++v) {
    const auto& r = s.vars[v];
    const unsigned want[2] = {counted[v].first, counted[v].second};
    for (unsigned phase = 0; phase < 2; ++phase)
      if (want[phase] < 0xFFFF && r.occur[phase] != want[phase])
        return ::testing::AssertionFailure() << "variable " << v << (phase ? " positive" : " negative") << " counter "
                                             << r.occur[phase] << ", clauses left: " << want[phase];
  }
  return ::testing::AssertionSuccess();
}

// ---- Formulas that learn a unit clause at once ----------------------------------

// Control variables at the top of a formula of n variables: x = n is implied
// by (x y) (x -y) with y = n - 1, and x' = n - 2 is implied false by
// (-x' y') (-x' -y') with y' = n - 3. The implied literal is the minority
// polarity of its variable: -x occurs in (-x z) and x' in (x' z) for the
// three z = n - 6 .. n - 4. Before the first round the decision queue offers
// the highest variables first, and whatever the phase rule (a fixed
// polarity, occurrence counts, watch-list lengths), x or x' is decided
// against its core; the conflict teaches its value as a unit clause, and
// that starts the first simplification round.
constexpr int kControlVars = 7;

inline void addControlCore(Cnf& f) {
  const int n = f.numVars;
  const int x = n, y = n - 1, x2 = n - 2, y2 = n - 3;
  f.clauses.insert(f.clauses.end(), {{x, y}, {x, -y}, {-x2, y2}, {-x2, -y2}});
  for (int z = n - 6; z <= n - 4; ++z) f.clauses.insert(f.clauses.end(), {{-x, z}, {x2, z}});
}

// A random clause of len distinct variables from 1 .. free; with bias > 0
// a variable's polarity is its fixed preferred one (odd variables positive,
// even ones negative) except with probability 1 / (bias + 1).
inline std::vector<int> randomClause(CnfGenerator& g, int free, int len, int bias = 0) {
  std::vector<int> clause;
  while (static_cast<int>(clause.size()) < len) {
    const int v = g.uniform(1, free);
    if (std::any_of(clause.begin(), clause.end(), [v](int l) { return std::abs(l) == v; })) continue;
    bool positive = g.coin();
    if (bias > 0) positive = (v % 2 == 1) == (g.uniform(0, bias) != 0);
    clause.push_back(positive ? v : -v);
  }
  return clause;
}

// The control core and randomClauses random clauses of length minLen ..
// maxLen over the free variables 1 .. numVars - kControlVars.
inline Cnf withControlCore(CnfGenerator& g, int numVars, int randomClauses, int minLen, int maxLen,
                           const std::string& name, int bias = 0) {
  Cnf f;
  f.name = name;
  f.numVars = numVars;
  const int free = numVars - kControlVars;
  for (int i = 0; i < randomClauses; ++i) f.clauses.push_back(randomClause(g, free, g.uniform(minLen, maxLen), bias));
  addControlCore(f);
  return f;
}

// Implication chains among the free variables, closed by a few random
// clauses, with the control core: most chain variables occur only two or
// three times, so they are easy to eliminate.
inline Cnf chainsWithCore(CnfGenerator& g, int numVars, const std::string& name) {
  Cnf f = withControlCore(g, numVars, 0, 2, 2, name);
  const int free = numVars - kControlVars;
  for (int v = 1; v < free; ++v) f.clauses.push_back({g.coin() ? -v : v, g.coin() ? v + 1 : -(v + 1)});
  for (int i = 0; i < free / 2; ++i) f.clauses.push_back(randomClause(g, free, 3));
  return f;
}

}  // namespace quelt_test
