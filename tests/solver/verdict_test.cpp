// Verdicts of the search engine against exhaustive enumeration.
//
// One fixed corpus of small formulas (random 2-, 3- and 4-SAT around their
// thresholds, pigeon-hole formulas, and irregular input with units, repeated
// literals, tautologies, empty clauses and unused variables) is solved under
// every value of each heuristic parameter, under each preset, and with
// restart and reduction schedules tight enough that both happen all the
// time. Each verdict must equal the brute-force verdict, each model must
// satisfy every clause as the user wrote it, and the solver's structures
// must be consistent afterwards. Each family also checks that the behaviour
// it is meant to exercise actually happened somewhere in the corpus.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "support/cnf_gen.hpp"
#include "support/solver_checks.hpp"

namespace quelt_test {
namespace {

constexpr unsigned kSeed = 1851696952u;

struct Case {
  Cnf formula;
  bool satisfiable;
};

std::vector<Case> withVerdicts(std::vector<Cnf> formulas) {
  std::vector<Case> out;
  for (Cnf& f : formulas) {
    const bool sat = bruteForce(f).has_value();
    out.push_back({std::move(f), sat});
  }
  return out;
}

// The corpus every configuration runs on.
const std::vector<Case>& corpus() {
  static const std::vector<Case> cases = [] {
    CnfGenerator g(20240611u);
    std::vector<Cnf> fs;
    for (int n = 5; n <= 14; ++n)
      for (int i = 0; i < 5; ++i) fs.push_back(g.threshold3Sat(n));
    for (int n = 5; n <= 14; ++n) fs.push_back(g.randomKSat(n, 2, n + g.uniform(0, n)));
    for (int n = 6; n <= 14; n += 2) fs.push_back(g.randomKSat(n, 4, static_cast<int>(9.9 * n)));
    for (int n = 8; n <= 14; n += 3) {
      fs.push_back(g.randomKSat(n, 3, 3 * n));  // mostly satisfiable
      fs.push_back(g.randomKSat(n, 3, 6 * n));  // mostly unsatisfiable
    }
    for (int holes = 2; holes <= 4; ++holes) fs.push_back(CnfGenerator::pigeonHole(holes));
    for (int i = 0; i < 30; ++i)
      fs.push_back(g.irregular(g.uniform(4, 12), g.uniform(0, 3), g.uniform(8, 50), i % 6 == 5));
    Cnf empty;  // no variables, no clauses
    empty.name = "empty";
    fs.push_back(empty);
    Cnf unusedOnly;  // variables but no clauses
    unusedOnly.name = "unused-only";
    unusedOnly.numVars = 4;
    fs.push_back(unusedOnly);
    return withVerdicts(std::move(fs));
  }();
  return cases;
}

// Formulas that need enough conflicts for restarts and reductions to
// matter: pigeon-hole 5 into 4, random 3-SAT with 16 to 20 variables, and
// pigeon-hole 6 into 5, whose 30 variables are too many to enumerate; it is
// unsatisfiable by the pigeon-hole principle.
const std::vector<Case>& harderCorpus() {
  static const std::vector<Case> cases = [] {
    CnfGenerator g(77031u);
    std::vector<Cnf> fs;
    fs.push_back(CnfGenerator::pigeonHole(4));
    for (int n = 16; n <= 20; ++n)
      for (int i = 0; i < 2; ++i) fs.push_back(g.threshold3Sat(n));
    std::vector<Case> out = withVerdicts(std::move(fs));
    out.push_back({CnfGenerator::pigeonHole(5), false});
    return out;
  }();
  return cases;
}

// What a family expects to have happened in at least one formula.
enum Expect : unsigned {
  kNothing = 0,
  kRestarts = 1,       // a solve with more than one search run
  kReductions = 2,     // learned clauses deleted (simplification held back)
  kElimination = 4,    // a variable eliminated by resolution
  kRandomChoices = 8,  // random variable or polarity decisions
};

struct Config {
  std::string name;
  std::function<void(quelt::SearchParams&)> tweak;
  unsigned expect = kNothing;
  bool harder = false;  // also run the harder corpus
  // Keep level-0 simplification from ever running (its budget never runs
  // out), so that learned clauses can only disappear through reduction.
  bool holdSimplification = false;
};

void PrintTo(const Config& c, std::ostream* os) { *os << c.name; }

// Whether the decision queue keeps its heap order at all times under this
// ordering: only when its keys change exclusively through the queue.
bool queueKeepsOrder(unsigned mode) { return mode == 0 || mode == 16 || mode == 17 || mode >= 19; }

struct Tally {
  int solved = 0;
  int multiRun = 0;
  int reduced = 0;
  int eliminated = 0;
  int random = 0;
};

void solveAll(const Config& cfg, const std::vector<Case>& cases, Tally& tally) {
  for (const Case& tc : cases) {
    SCOPED_TRACE(tc.formula.name + "\n" + tc.formula.dimacs());
    quelt::SearchParams p;
    cfg.tweak(p);
    quelt::Solver s(p);
    load(s, tc.formula);
    if (cfg.holdSimplification) s.stats.simplifyBudget = std::numeric_limits<std::int32_t>::max();
    std::srand(kSeed);
    const unsigned r = s.solve(false);
    ASSERT_EQ(r, tc.satisfiable ? quelt::Solver::Satisfiable : quelt::Solver::Unsatisfiable);
    EXPECT_EQ(s.status, r);
    if (r == quelt::Solver::Satisfiable) {
      const Assignment a = modelOf(s);
      ASSERT_EQ(a.size(), static_cast<std::size_t>(tc.formula.numVars) + 1) << "model incomplete or unsorted";
      EXPECT_EQ(firstFalsifiedClause(tc.formula, a), -1);
      for (int v = 1; v <= tc.formula.numVars; ++v) EXPECT_EQ(s.decode(v), a[v]);
    }
    EXPECT_TRUE(consistentAfterSolve(s, queueKeepsOrder(p.varDecHeur)));
    tally.solved += 1;
    if (s.stats.restarts > 1) tally.multiRun += 1;
    const long long deleted = static_cast<long long>(s.stats.totalLearnedClauses) - s.stats.learnedUnitClauses -
                              static_cast<long long>(s.learnedClauses.size());
    if (deleted > 0 && s.stats.simplificationRounds == 0) tally.reduced += 1;
    if (cfg.holdSimplification) {
      EXPECT_EQ(s.stats.simplificationRounds, 0u);
    }
    if (s.stats.eliminatedVariables > 0) tally.eliminated += 1;
    if (s.stats.randomDecisions + s.stats.randomPolarityDecisions > 0) tally.random += 1;
  }
}

class SolverVerdicts : public ::testing::TestWithParam<Config> {};

TEST_P(SolverVerdicts, MatchExhaustiveEnumeration) {
  const Config& cfg = GetParam();
  Tally tally;
  solveAll(cfg, corpus(), tally);
  if (cfg.harder) solveAll(cfg, harderCorpus(), tally);
  if (HasFatalFailure()) return;
  if (cfg.expect & kRestarts) {
    EXPECT_GT(tally.multiRun, 0) << "no solve ever restarted";
  }
  if (cfg.expect & kReductions) {
    EXPECT_GT(tally.reduced, 0) << "no learned clause was ever deleted by reduction";
  }
  if (cfg.expect & kElimination) {
    EXPECT_GT(tally.eliminated, 0) << "no variable was ever eliminated";
  }
  if (cfg.expect & kRandomChoices) {
    EXPECT_GT(tally.random, 0) << "no random decision was ever made";
  }
}

std::string configName(const ::testing::TestParamInfo<Config>& info) { return info.param.name; }

std::vector<Config> modeFamily(const std::string& prefix, unsigned count,
                               void (*set)(quelt::SearchParams&, unsigned)) {
  std::vector<Config> out;
  for (unsigned m = 0; m < count; ++m)
    out.push_back({prefix + std::to_string(m), [set, m](quelt::SearchParams& p) { set(p, m); }});
  return out;
}

INSTANTIATE_TEST_SUITE_P(VarDecHeur, SolverVerdicts,
                         ::testing::ValuesIn(modeFamily("mode", 20,
                                                        [](quelt::SearchParams& p, unsigned m) {
                                                          p.varDecHeur = m;
                                                        })),
                         configName);

INSTANTIATE_TEST_SUITE_P(ClauseSortHeur, SolverVerdicts,
                         ::testing::ValuesIn(modeFamily("mode", 20,
                                                        [](quelt::SearchParams& p, unsigned m) {
                                                          p.clauseSortHeur = m;
                                                        })),
                         configName);

INSTANTIATE_TEST_SUITE_P(PhaseDecHeur, SolverVerdicts,
                         ::testing::ValuesIn(modeFamily("mode", 7,
                                                        [](quelt::SearchParams& p, unsigned m) {
                                                          p.phaseDecHeur = m;
                                                        })),
                         configName);

// Tight budgets so that reduction runs often, in each deletion order; once
// with simplification held back, so that deletions can be attributed to
// reduction, and once as usual.
std::vector<Config> deletionFamily() {
  std::vector<Config> out;
  for (unsigned m = 0; m <= 2; ++m)
    for (bool hold : {true, false})
      out.push_back({"mode" + std::to_string(m) + (hold ? "_reductionOnly" : ""),
                     [m](quelt::SearchParams& p) {
                       p.clauseDelHeur = m;
                       p.learnedSizeFactor = 0.1;
                     },
                     hold ? kReductions : kNothing, true, hold});
  return out;
}
INSTANTIATE_TEST_SUITE_P(ClauseDelHeur, SolverVerdicts, ::testing::ValuesIn(deletionFamily()), configName);

std::vector<Config> resolutionFamily() {
  std::vector<Config> out;
  for (unsigned mode = 0; mode <= 2; ++mode)
    for (bool pure : {false, true})
      for (bool manyRounds : {false, true}) {
        if (mode == 0 && manyRounds) continue;
        out.push_back({"res" + std::to_string(mode) + (pure ? "_pure" : "_nopure") + (manyRounds ? "_rounds5" : ""),
                       [mode, pure, manyRounds](quelt::SearchParams& p) {
                         p.resolution = mode;
                         p.usePureLiteralRule = pure;
                         if (manyRounds) {
                           p.maxResRuns = 5;
                           p.resCutoffCls = 20;
                         }
                       },
                       mode == 0 ? kNothing : kElimination, true});
      }
  return out;
}
INSTANTIATE_TEST_SUITE_P(Resolution, SolverVerdicts, ::testing::ValuesIn(resolutionFamily()), configName);

std::vector<Config> presetFamily() {
  return {
      {"default", [](quelt::SearchParams& p) { p.setDefault(); }, kNothing, true},
      {"defaultInc", [](quelt::SearchParams& p) { p.setDefaultInc(); }, kNothing, true},
      {"autotuned_1_0", [](quelt::SearchParams& p) { p.setAutotunedKz_1_0(); }, kNothing, true},
      {"autotuned_1_1", [](quelt::SearchParams& p) { p.setAutotunedKz_1_1(); }, kNothing, true},
      {"swVerification", [](quelt::SearchParams& p) { p.setSwVerification(); }, kNothing, true},
  };
}
INSTANTIATE_TEST_SUITE_P(Presets, SolverVerdicts, ::testing::ValuesIn(presetFamily()), configName);

// Restarts after very few conflicts, and a small learned-clause budget.
std::vector<Config> restartFamily() {
  std::vector<Config> out;
  // A limit of 1 only grows with a factor of at least 2: 1 * 1.5 truncates
  // back to 1, and every search run would end at its first conflict.
  out.push_back({"first1_inc2",
                 [](quelt::SearchParams& p) {
                   p.firstRestart = 1;
                   p.restartInc = 2.0;
                   p.learnedSizeFactor = 0.1;
                 },
                 kRestarts, true});
  for (unsigned first : {2u, 3u, 5u, 10u})
    out.push_back({"first" + std::to_string(first),
                   [first](quelt::SearchParams& p) {
                     p.firstRestart = first;
                     p.learnedSizeFactor = 0.1;
                   },
                   kRestarts, true});
  out.push_back({"first2_reductionOnly",
                 [](quelt::SearchParams& p) {
                   p.firstRestart = 2;
                   p.learnedSizeFactor = 0.1;
                 },
                 kRestarts | kReductions, true, true});
  out.push_back({"first2_updateQueue",
                 [](quelt::SearchParams& p) {
                   p.firstRestart = 2;
                   p.updateDecQueue = true;
                 },
                 kRestarts, true});
  return out;
}
INSTANTIATE_TEST_SUITE_P(Restarts, SolverVerdicts, ::testing::ValuesIn(restartFamily()), configName);

std::vector<Config> randomFamily() {
  return {
      {"randomVariables",
       [](quelt::SearchParams& p) {
         p.randVarDecFreq = 1.0;
         p.randVarDecScaling = 1.0;
       },
       kRandomChoices},
      {"randomPhases",
       [](quelt::SearchParams& p) {
         p.randPhaseDecFreq = 1.0;
         p.randPhaseScaling = 1.0;
       },
       kRandomChoices},
      {"halfRandomRestarting",
       [](quelt::SearchParams& p) {
         p.randVarDecFreq = 0.5;
         p.randPhaseDecFreq = 0.5;
         p.randVarDecScaling = 1.0;
         p.randPhaseScaling = 1.0;
         p.firstRestart = 3;
       },
       kRandomChoices | kRestarts, true},
  };
}
INSTANTIATE_TEST_SUITE_P(Randomness, SolverVerdicts, ::testing::ValuesIn(randomFamily()), configName);

// The corpus itself: both verdicts occur, so agreement means something.
TEST(SolverVerdictCorpus, HoldsBothVerdicts) {
  int sat = 0, unsat = 0;
  for (const Case& c : corpus()) (c.satisfiable ? sat : unsat) += 1;
  EXPECT_GE(sat, 20);
  EXPECT_GE(unsat, 20);
}

}  // namespace
}  // namespace quelt_test
