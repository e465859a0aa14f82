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
