// Preprocessing in the situations the sweep meets only by chance: chains of
// equivalent literals, with and without frozen or assumed variables among
// them; a
// solver that searched before the switch was set (its learned clauses and
// the reasons of its search go, clauses subsumed); and a pebbling formula,
// refuted before any search. Verdicts and counts of models come from
// enumeration, models are checked against the clauses as written, and
// proofs go through the checker.
#include <gtest/gtest.h>

#include "support/cnf.hpp"
#include "support/drat_checker.hpp"
#include "support/run.hpp"

namespace {

using quelt::Solver;
using quelt_test::Cnf;

// 1 -> 2 -> 3 -> 1 and 4 == -1 in binary clauses, the rest around them.
const Cnf kEquivalences{"equivalences", 8, {{-1, 2}, {-2, 3}, {-3, 1}, {1, 4}, {-1, -4}, {2, 5}, {-3, -5, 6},
                                            {4, 6, 7}, {-6, -7, 8}, {5, -8}, {-2, 7, -8}}};

// Frozen and assumed variables stay; the representative is one of them
// when the component has one, else the smallest variable.
struct Scenario {
  const char* name;
  std::vector<unsigned> frozen;
  std::vector<int> assumed;
  std::vector<unsigned> substituted;  // ascending
};

const Scenario kScenarios[] = {
    {"nothing kept", {}, {}, {2, 3, 4}},
    {"representative frozen", {3}, {}, {1, 2, 4}},
    {"two frozen", {2, 3}, {}, {1, 4}},
    {"representative assumed", {}, {-4}, {1, 2, 3}},
};

TEST(Preprocessing, EquivalentLiteralsAreSubstitutedAndModelsReconstructed) {
  for (const Scenario& sc : kScenarios) {
    SCOPED_TRACE(sc.name);
    quelt::SearchParams p;
    p.preprocess = true;
    Solver s(p);
    for (unsigned v : sc.frozen) s.freeze(v);
    quelt_test::load(s, kEquivalences);
    ASSERT_EQ(s.solve(quelt_test::lits(sc.assumed), false), Solver::Satisfiable);
    ASSERT_EQ(s.stats.preprocessing.substitutedVariables, sc.substituted.size());
    std::vector<unsigned> gone(s.eliminatedVars.begin(), s.eliminatedVars.begin() + sc.substituted.size());
    std::sort(gone.begin(), gone.end());
    EXPECT_EQ(gone, sc.substituted);
    for (unsigned v : sc.frozen) EXPECT_FALSE(s.vars[v].eliminated()) << v;
    for (int a : sc.assumed) EXPECT_EQ(quelt_test::modelOf(s)[std::abs(a)], a > 0);
    // Blocking each model in turn brings the substituted variables back
    // (reopen) and must still find every model once.
    s.clearAssumed();
    s.solve(false);
    long long found = 0;
    while (s.status == Solver::Satisfiable && found <= 256) {
      ++found;
      const quelt_test::Assignment m = quelt_test::modelOf(s);
      ASSERT_TRUE(quelt_test::satisfies(m, kEquivalences.clauses));
      std::vector<int> block;
      for (int v = 1; v <= kEquivalences.numVars; ++v) block.push_back(m[v] ? -v : v);
      std::vector<quelt::Literal> ls = quelt_test::lits(block);
      s.addClause(ls, false);
      s.solve(false);
    }
    EXPECT_EQ(found, quelt_test::countModels(kEquivalences));
  }
}

// The proof of a run that searched first (learning clauses, using clauses
// as reasons), then preprocessed, then searched to the end.
TEST(Preprocessing, ASolverThatSearchedBeforeKeepsAValidProof) {
  Cnf f = quelt_test::CnfGenerator::pigeonHole(6);
  for (std::size_t i = 0, n = f.clauses.size(); i < n; ++i) {  // subsumed copies, often reasons
    f.clauses.push_back(f.clauses[i]);
    f.clauses.back().push_back(static_cast<int>(i % 42) + 1);
  }
  const quelt_test::ScratchDir dir;
  Solver s;
  {
    quelt::ProofWriter proof(dir.file("proof"), false);
    s.proof = &proof;
    quelt_test::load(s, f);
    ASSERT_EQ(s.solve(true), Solver::LimitsExceeded);
    ASSERT_FALSE(s.learnedClauses.empty());
    s.params.preprocess = true;
    s.clearAssumed();
    ASSERT_EQ(s.solve(false), Solver::Unsatisfiable);
    s.proof = nullptr;
  }
  EXPECT_GE(s.stats.preprocessing.subsumedClauses, 42u);
  quelt_test::DratChecker checker;
  for (const auto& c : f.clauses) checker.addOriginal(c);
  EXPECT_EQ(checker.checkProof(quelt_test::readFile(dir.file("proof"))), quelt_test::DratChecker::Result::Verified);
}

// A later clause or assumption that names a removed variable brings back
// that variable and what depends on it, not the rest: on two copies of the
// equivalence formula over disjoint variables, what the first copy loses
// comes back without the second's, and the other way round. Every verdict
// is checked by enumeration and every model against the clauses as given.
TEST(Preprocessing, ARemovedVariableComesBackWithWhatDependsOnIt) {
  Cnf f = kEquivalences;
  for (const auto& c : kEquivalences.clauses) {
    f.clauses.emplace_back();
    for (int l : c) f.clauses.back().push_back(l > 0 ? l + 8 : l - 8);
  }
  f.numVars = 16;
  quelt::SearchParams p;
  p.preprocess = true;
  Solver s(p);
  quelt_test::load(s, f);
  ASSERT_EQ(s.solve(false), Solver::Satisfiable);
  auto removedIn = [&s](int first) {
    std::vector<unsigned> gone;
    for (unsigned v = first; v < static_cast<unsigned>(first) + 8; ++v)
      if (s.vars[v].eliminated()) gone.push_back(v);
    return gone;
  };
  const std::vector<unsigned> first = removedIn(1), second = removedIn(9);
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  // What comes back brings back what it names: no clause of the search
  // names a variable that is still removed.
  auto expectClosed = [&s] {
    for (const quelt::Clause* c : s.clauses) {
      if (c->removed()) continue;
      for (quelt::Literal l : *c) EXPECT_FALSE(s.vars[l.var()].eliminated()) << l;
    }
  };
  auto expectVerdict = [&](const Cnf& g, const std::vector<int>& assumed) {
    expectClosed();
    const bool sat = quelt_test::countModels(g, assumed, 1) > 0;
    ASSERT_EQ(s.status, sat ? Solver::Satisfiable : Solver::Unsatisfiable);
    if (!sat) return;
    const quelt_test::Assignment m = quelt_test::modelOf(s);
    EXPECT_TRUE(quelt_test::satisfies(m, g.clauses));
    for (int a : assumed) EXPECT_EQ(m[std::abs(a)], a > 0);
  };

  // A clause: the first copy's variable returns, the second copy stays out.
  Cnf g = f;
  const int v = static_cast<int>(first[0]);
  g.clauses.push_back({-v, 9});
  std::vector<quelt::Literal> added = quelt_test::lits(g.clauses.back());
  s.addClause(added, false);
  expectClosed();
  EXPECT_FALSE(s.vars[v].eliminated());
  EXPECT_EQ(removedIn(9), second);
  s.solve(false);
  expectVerdict(g, {});

  // An assumption: the second copy's variable returns, and the first copy
  // keeps what the clause above left removed.
  const std::vector<unsigned> firstLeft = removedIn(1);
  const int u = static_cast<int>(second.back());
  s.solve(quelt_test::lits({u}), false);
  expectVerdict(g, {u});
  EXPECT_FALSE(s.vars[u].eliminated());
  EXPECT_EQ(removedIn(1), firstLeft);
  s.clearAssumed();

  // Then every variable in turn, in clauses across both copies, until the
  // formula is refuted.
  for (int w = 1; w <= 16 && s.status != Solver::Unsatisfiable; ++w) {
    g.clauses.push_back({w % 2 == 0 ? w : -w, 17 - w});
    added = quelt_test::lits(g.clauses.back());
    s.addClause(added, false);
    s.solve(quelt_test::lits({-w}), false);
    expectVerdict(g, {-w});
    s.clearAssumed();
    s.solve(false);
    expectVerdict(g, {});
  }
}

TEST(Preprocessing, RefutesPebblingWithoutAConflict) {
  for (int colours : {2, 3}) {
    const Cnf f = quelt_test::CnfGenerator::pebbling(12, colours);
    const quelt_test::ScratchDir dir;
    quelt::SearchParams p;
    p.preprocess = true;
    Solver s(p);
    {
      quelt::ProofWriter proof(dir.file("proof"), colours == 2);
      s.proof = &proof;
      quelt_test::load(s, f);
      ASSERT_EQ(s.solve(false), Solver::Unsatisfiable);
      s.proof = nullptr;
    }
    EXPECT_EQ(s.stats.conflicts, 0u);
    quelt_test::DratChecker checker;
    for (const auto& c : f.clauses) checker.addOriginal(c);
    EXPECT_EQ(checker.checkProof(quelt_test::readFile(dir.file("proof"))), quelt_test::DratChecker::Result::Verified);
  }
}

}  // namespace
