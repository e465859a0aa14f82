// Helpers for tests that drive quelt::Solver directly: loading a Cnf,
// reading the model back, comparing counters, and checks of the structural
// invariants of the engine (watch lists, decision queue, trail). Each check
// returns a testing::AssertionResult that names the first violation, so a
// test writes EXPECT_TRUE(watchesConsistent(solver)).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "solver/Solver.hpp"
#include "support/cnf_gen.hpp"

namespace quelt_test {

inline quelt::Literal lit(int dimacs) { return quelt::Literal::fromDimacs(dimacs); }

inline std::vector<quelt::Literal> lits(std::initializer_list<int> dimacs) {
  std::vector<quelt::Literal> out;
  for (int d : dimacs) out.push_back(lit(d));
  return out;
}

inline std::vector<quelt::Literal> lits(const std::vector<int>& dimacs) {
  std::vector<quelt::Literal> out;
  for (int d : dimacs) out.push_back(lit(d));
  return out;
}

// The literals of a clause as signed integers, in stored order.
inline std::vector<int> dimacsOf(const quelt::Clause& c) {
  std::vector<int> out;
  for (quelt::Literal l : c) out.push_back(static_cast<int>(l.toDimacs()));
  return out;
}

inline std::vector<int> dimacsOf(const std::vector<quelt::Literal>& ls) {
  std::vector<int> out;
  for (quelt::Literal l : ls) out.push_back(static_cast<int>(l.toDimacs()));
  return out;
}

// Creates the variables of f and adds copies of its clauses, as the reader
// does, then derives the search limits from the loaded clause count.
inline void load(quelt::Solver& s, const Cnf& f) {
  if (f.numVars > 0) s.createVar(static_cast<unsigned>(f.numVars), quelt::dpinterface::ProblemVar, 0, 0);
  for (const auto& c : f.clauses) {
    std::vector<quelt::Literal> copy = lits(c);
    s.addClause(copy, false);
  }
  s.resetSearchLimits();
}

// The solver's model as an Assignment; empty when the model does not have
// one entry per variable in variable order.
inline Assignment modelOf(const quelt::Solver& s) {
  Assignment a(s.numVars == 0 ? 1 : s.numVars, false);
  if (s.model.size() + 1 != a.size()) return {};
  for (std::size_t i = 0; i < s.model.size(); ++i) {
    if (s.model[i].var() != i + 1) return {};
    a[i + 1] = s.model[i].positive();
  }
  return a;
}

// Every field of the counters, with its name, for exact comparisons.
inline std::vector<std::pair<const char*, long long>> counterFields(const quelt::SearchStatistics& s) {
  return {
      {"restarts", s.restarts},
      {"decisions", s.decisions},
      {"randomDecisions", s.randomDecisions},
      {"randomPolarityDecisions", s.randomPolarityDecisions},
      {"bcPropagations", s.bcPropagations},
      {"bcpCalls", s.bcpCalls},
      {"conflicts", s.conflicts},
      {"originalClauses", s.originalClauses},
      {"totalLearnedClauses", s.totalLearnedClauses},
      {"originalLiterals", s.originalLiterals},
      {"learnedLiterals", s.learnedLiterals},
      {"redundantLearnedLiterals", s.redundantLearnedLiterals},
      {"originalUnitClauses", s.originalUnitClauses},
      {"learnedUnitClauses", s.learnedUnitClauses},
      {"simplifyUnits", s.simplifyUnits},
      {"simplificationRounds", s.simplificationRounds},
      {"variables", s.variables},
      {"backtrackLevels", s.backtrackLevels},
      {"maxDecisionLevel", s.maxDecisionLevel},
      {"maxLiteralsAssigned", s.maxLiteralsAssigned},
      {"eliminatedVariables", s.eliminatedVariables},
      {"eliminatedClauseCount", s.eliminatedClauseCount},
      {"resolutionRounds", s.resolutionRounds},
      {"simplifyBudget", s.simplifyBudget},
  };
}

inline ::testing::AssertionResult sameCounters(const quelt::SearchStatistics& a,
                                               const quelt::SearchStatistics& b) {
  const auto fa = counterFields(a), fb = counterFields(b);
  for (std::size_t i = 0; i < fa.size(); ++i)
    if (fa[i].second != fb[i].second)
      return ::testing::AssertionFailure()
             << "counter " << fa[i].first << " differs: " << fa[i].second << " vs " << fb[i].second;
  return ::testing::AssertionSuccess();
}

// The literal a watch list index stands for (2v positive, 2v + 1 negative).
inline quelt::Literal literalOfWatchIndex(std::uint32_t index) {
  return quelt::Literal::make(index / 2, index % 2 == 0);
}

// Every stored clause that is not marked removed has at least two literals,
// sits in the vector matching its learned flag, and is listed exactly once
// in the watch list of each of its first two literals; no watch list holds
// anything else (no removed clause, no clause the solver does not own, no
// clause under a literal other than its first two).
inline ::testing::AssertionResult watchesConsistent(const quelt::Solver& s) {
  std::map<const quelt::Clause*, int> live;  // clause -> watch entries seen
  for (int pass = 0; pass < 2; ++pass) {
    const auto& list = pass == 0 ? s.clauses : s.learnedClauses;
    for (const quelt::Clause* c : list) {
      if (c->learned() != (pass == 1))
        return ::testing::AssertionFailure() << "clause in the wrong vector (learned flag " << c->learned() << ")";
      if (c->removed()) continue;
      if (c->size < 2) return ::testing::AssertionFailure() << "stored clause with " << c->size << " literals";
      if ((*c)[0] == (*c)[1]) return ::testing::AssertionFailure() << "clause watched twice on one literal";
      if (!live.emplace(c, 0).second) return ::testing::AssertionFailure() << "clause stored twice";
    }
  }
  if (s.numVars > 0 && s.watches.numLists != 2 * s.numVars)
    return ::testing::AssertionFailure() << s.watches.numLists << " watch lists for " << s.numVars << " records";
  for (std::uint32_t i = 0; i < s.watches.numLists; ++i) {
    const quelt::util::WatchVector& wl = s.watches.lists[i];
    if (wl.size > wl.capacity) return ::testing::AssertionFailure() << "watch list " << i << " over capacity";
    const quelt::Literal l = literalOfWatchIndex(i);
    for (std::uint32_t k = 0; k < wl.size; ++k) {
      const quelt::Clause* c = wl.data[k];
      auto it = live.find(c);
      if (it == live.end())
        return ::testing::AssertionFailure() << "watch list of literal " << l
                                             << " holds a clause that is not a live stored clause";
      if ((*c)[0] != l && (*c)[1] != l)
        return ::testing::AssertionFailure() << "clause " << ::testing::PrintToString(dimacsOf(*c))
                                             << " listed under literal " << l << " which it does not watch";
      it->second += 1;
    }
  }
  for (const auto& [c, n] : live)
    if (n != 2)
      return ::testing::AssertionFailure() << "clause " << ::testing::PrintToString(dimacsOf(*c)) << " has " << n
                                           << " watch entries instead of 2";
  return ::testing::AssertionSuccess();
}

// heap and heapIndex agree, nothing is queued twice and record 0 never is.
// With orderedBy set, also no entry ranks before its parent (only orderings
// whose keys never change behind the queue's back keep this at all times).
inline ::testing::AssertionResult queueConsistent(const quelt::Solver& s, bool checkOrder) {
  const auto& q = s.decisionQueue;
  std::set<unsigned> seen;
  for (std::size_t i = 0; i < q.heap.size(); ++i) {
    const unsigned v = q.heap[i];
    if (v == 0 || v >= s.numVars) return ::testing::AssertionFailure() << "heap holds variable " << v;
    if (!seen.insert(v).second) return ::testing::AssertionFailure() << "variable " << v << " queued twice";
    if (v >= q.heapIndex.size() || q.heapIndex[v] != static_cast<int>(i))
      return ::testing::AssertionFailure() << "heapIndex of " << v << " does not point at position " << i;
    if (checkOrder && i > 0 && q.cmp(v, q.heap[(i - 1) / 2]))
      return ::testing::AssertionFailure() << "variable " << v << " ranks before its parent " << q.heap[(i - 1) / 2];
  }
  for (std::size_t v = 0; v < q.heapIndex.size(); ++v)
    if (!seen.count(static_cast<unsigned>(v)) && q.heapIndex[v] != -1)
      return ::testing::AssertionFailure() << "variable " << v << " not queued but heapIndex " << q.heapIndex[v];
  return ::testing::AssertionSuccess();
}

// At decision level 0 every unassigned variable that is not eliminated is in
// the decision queue (backtracking puts every unassigned variable back).
inline ::testing::AssertionResult unassignedAreQueued(const quelt::Solver& s) {
  for (unsigned v = 1; v < s.numVars; ++v) {
    const auto& r = s.vars[v];
    if (r.level < 0 && !r.eliminated() && !s.decisionQueue.contains(v))
      return ::testing::AssertionFailure() << "unassigned variable " << v << " is not queued";
  }
  return ::testing::AssertionSuccess();
}

// The trail and the variable records agree: each trail literal is the value
// of an assigned variable, no variable is on the trail twice, every assigned
// variable is on it, levels match the level marks, level-0 assignments have
// no reason, a reason has the implied literal first and every other literal
// false, and no analysis mark or redundancy scratch is left behind.
inline ::testing::AssertionResult trailConsistent(const quelt::Solver& s) {
  const auto& t = s.trail;
  if (t.levelStarts.empty() || t.levelStarts[0] != 0)
    return ::testing::AssertionFailure() << "level 0 does not start at 0";
  for (std::size_t d = 1; d < t.levelStarts.size(); ++d)
    if (t.levelStarts[d] < t.levelStarts[d - 1] || t.levelStarts[d] > t.lits.size())
      return ::testing::AssertionFailure() << "level mark " << d << " out of order";
  if (t.propagationHead > t.lits.size()) return ::testing::AssertionFailure() << "propagation head past the trail";
  std::set<unsigned> onTrail;
  for (std::size_t i = 0; i < t.lits.size(); ++i) {
    const quelt::Literal l = t.lits[i];
    const unsigned v = l.var();
    if (v == 0 || v >= s.numVars) return ::testing::AssertionFailure() << "trail holds variable " << v;
    if (!onTrail.insert(v).second) return ::testing::AssertionFailure() << "variable " << v << " on the trail twice";
    const auto& r = s.vars[v];
    if (!r.isTrue(l)) return ::testing::AssertionFailure() << "trail literal " << l << " is not true";
    std::size_t level = 0;
    for (std::size_t d = 1; d < t.levelStarts.size(); ++d)
      if (t.levelStarts[d] <= i) level = d;
    if (static_cast<std::size_t>(r.level) != level)
      return ::testing::AssertionFailure() << "literal " << l << " has level " << r.level << ", trail says " << level;
    if (r.level == 0 && r.reason != nullptr)
      return ::testing::AssertionFailure() << "level-0 literal " << l << " has a reason";
    if (r.reason != nullptr) {
      const quelt::Clause& c = *r.reason;
      if (c[0] != l) return ::testing::AssertionFailure() << "reason of " << l << " does not start with it";
      for (std::uint32_t k = 1; k < c.size; ++k)
        if (!s.isFalse(c[k])) return ::testing::AssertionFailure() << "reason of " << l << " has a non-false literal";
    }
  }
  for (unsigned v = 1; v < s.numVars; ++v) {
    const auto& r = s.vars[v];
    if (r.level >= 0 && !onTrail.count(v))
      return ::testing::AssertionFailure() << "assigned variable " << v << " missing from the trail";
    if (r.marked()) return ::testing::AssertionFailure() << "variable " << v << " still carries the analysis mark";
  }
  if (!s.redundancyStack.empty()) return ::testing::AssertionFailure() << "redundancy stack not empty";
  return ::testing::AssertionSuccess();
}

// All structural checks that hold after solve() returned.
inline ::testing::AssertionResult consistentAfterSolve(const quelt::Solver& s, bool checkQueueOrder) {
  if (s.trail.levelStarts.size() != 1)
    return ::testing::AssertionFailure() << "solve left decision level " << s.trail.levelStarts.size() - 1;
  for (auto check : {watchesConsistent(s), trailConsistent(s), queueConsistent(s, checkQueueOrder),
                     unassignedAreQueued(s)})
    if (!check) return check;
  return ::testing::AssertionSuccess();
}

}  // namespace quelt_test
