// The pure literal rule at the end of a simplification round.
//
// A table of small rounds fixes what the rule assigns (a variable seen in
// one polarity gets the value that satisfies it, a variable seen nowhere is
// set true), what it leaves alone (both polarities, eliminated variables,
// everything when the rule is off or assumptions are set) and how it counts.
// A large round drives one counter past its ceiling and back to zero by
// elimination while the literal still occurs: the rule must not take it as
// absent. Sweeps on formulas full of pure literals compare verdicts with
// exhaustive enumeration, also under assumptions that contradict pure
// literals, which the rule must then leave alone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "support/cnf_gen.hpp"
#include "support/simplify_scenarios.hpp"
#include "support/solver_checks.hpp"

namespace quelt_test {
namespace {

using quelt::SearchParams;
using quelt::Solver;

SearchParams pureParams() {
  SearchParams p = scenarioParams();
  p.resolution = 0;
  p.usePureLiteralRule = true;
  return p;
}

struct PureCase {
  std::string name;
  int numVars;
  Clauses clauses;
  Clauses learned;
  std::vector<int> unitsBefore;  // level-0 facts before the round
  std::vector<int> assumptions;
  std::function<void(SearchParams&)> tweak;
  std::string values;  // after the round, per variable 1..n: 'T', 'F' or '-' (unassigned)
  unsigned simplifyUnits;
};

void PrintTo(const PureCase& c, std::ostream* os) { *os << c.name; }

std::vector<PureCase> pureCases() {
  auto none = [](SearchParams&) {};
  return {
      // 1 occurs positively three times; 2 in both polarities; 3 positively.
      {"PositiveOnlySetTrue", 3, {{1, 2}, {1, -2}, {1, 3}}, {}, {}, {}, none, "T-T", 3},
      {"NegativeOnlySetFalse", 3, {{-1, 2}, {-1, -2}, {-1, 3}}, {}, {}, {}, none, "F-T", 3},
      // 3 and 4 occur nowhere.
      {"NoOccurrenceSetTrue", 4, {{1, 2}, {-1, -2}}, {}, {}, {}, none, "--TT", 4},
      {"BothPolaritiesLeftAloneButCounted", 2, {{1, 2}, {-1, -2}}, {}, {}, {}, none, "--", 2},
      // -1 occurs in a learned clause only: that is an occurrence too.
      {"LearnedOccurrencesCount", 3, {{1, 2}}, {{-1, 2, 3}}, {}, {}, none, "-TT", 3},
      // (3 -1) is satisfied by the fact 3 and deleted, so 1 occurs only
      // positively in what is left.
      {"SatisfiedClausesDoNotCount", 3, {{3, -1}, {1, 2}}, {}, {3}, {}, none, "TTT", 2},
      {"RuleSwitchedOff",
       3,
       {{1, 2}, {1, -2}, {1, 3}},
       {},
       {},
       {},
       [](SearchParams& p) { p.usePureLiteralRule = false; },
       "---",
       0},
      // The assumption -3 contradicts the pure literal 3.
      {"AssumptionsSwitchTheRuleOff", 3, {{1, 2}, {1, -2}, {1, 3}}, {}, {}, {-3}, none, "---", 0},
      // 3 is eliminated (resolvent (1 2)); its counters are 0, yet it stays
      // unassigned and uncounted, while 1 and 2 are pure.
      {"EliminatedVariableLeftAlone",
       3,
       {{3, 1}, {-3, 2}},
       {},
       {},
       {},
       [](SearchParams& p) { p.resolution = 1; },
       "TT-",
       2},
  };
}

class PureLiteralRound : public ::testing::TestWithParam<PureCase> {};

TEST_P(PureLiteralRound, AssignsWhatOccursInOnePolarityOnly) {
  const PureCase& tc = GetParam();
  SearchParams p = pureParams();
  tc.tweak(p);
  const Cnf f = makeCnf(tc.numVars, tc.clauses);
  auto s = loaded(f, p, tc.learned);
  addUnits(*s, tc.unitsBefore);
  if (!tc.assumptions.empty()) s->assume(lits(tc.assumptions));
  const unsigned unitsBefore = s->stats.simplifyUnits;
  ASSERT_TRUE(simplificationRound(*s));
  EXPECT_EQ(s->stats.simplifyUnits - unitsBefore, tc.simplifyUnits);
  ASSERT_EQ(tc.values.size(), static_cast<std::size_t>(tc.numVars));
  std::string values;
  for (int v = 1; v <= tc.numVars; ++v) {
    const auto& r = s->vars[static_cast<unsigned>(v)];
    values += r.level < 0 ? '-' : r.lit.positive() ? 'T' : 'F';
    if (r.level >= 0) {
      EXPECT_EQ(r.level, 0) << v;
      EXPECT_EQ(r.reason, nullptr) << v;
    }
  }
  EXPECT_EQ(values, tc.values);
  EXPECT_TRUE(trailConsistent(*s));
  EXPECT_TRUE(occurrenceCountsMatch(*s));

  // Whatever the rule fixed, the formula's verdict and a model survive it.
  std::srand(1);
  ASSERT_EQ(s->solve(false), Solver::Satisfiable);
  EXPECT_TRUE(modelSatisfies(*s, f, tc.assumptions));
}

INSTANTIATE_TEST_SUITE_P(Scenarios, PureLiteralRound, ::testing::ValuesIn(pureCases()),
                         [](const ::testing::TestParamInfo<PureCase>& i) { return i.param.name; });

// Calling the rule directly: with assumptions it stays off at every level up
// to their number, and runs above it.
TEST(PureLiteralRule, AssumptionsKeepItOffUpToTheirLevel) {
  // 1 and 3 are pure. A round with the rule off counts the occurrences.
  const Cnf f = makeCnf(4, {{1, 2}, {1, -2}, {3, 4}, {3, -4}});
  auto t = loaded(f, pureParams());
  t->params.usePureLiteralRule = false;
  ASSERT_TRUE(simplificationRound(*t));
  t->params.usePureLiteralRule = true;
  t->assume(lits({2, -4}));
  const unsigned before = t->stats.simplifyUnits;
  for (unsigned level = 0; level <= 2; ++level) {
    if (level > 0) t->trail.levelStarts.push_back(static_cast<unsigned>(t->trail.lits.size()));
    t->runPurelitRule();
    EXPECT_EQ(t->stats.simplifyUnits, before) << "rule ran at level " << level;
    EXPECT_FALSE(t->isAssigned(lit(1)));
  }
  t->trail.levelStarts.push_back(static_cast<unsigned>(t->trail.lits.size()));  // level 3
  t->runPurelitRule();
  EXPECT_EQ(t->stats.simplifyUnits, before + 4);
  EXPECT_TRUE(t->isTrue(lit(1)));
  EXPECT_TRUE(t->isTrue(lit(3)));
  EXPECT_EQ(t->vars[1].level, 3);
  t->backtrack(0);
}

// Variable v (the highest) occurs in one polarity once and in the other,
// the saturated one, in 65537 clauses, so that literal's counter stops at
// its ceiling 65535. Elimination then removes 65535 of those clauses, each
// (w u -l) together with (-w -u) (a tautological pair, no resolvent), which
// brings the counter down to 0 while (-l p) and (-l -p) remain. Taking -l
// as absent would set l true and make the satisfiable formula fail at once
// on p and -p. The parameter is the polarity of l.
class SaturatedCounter : public ::testing::TestWithParam<bool> {};

TEST_P(SaturatedCounter, IsNeverTakenAsAbsent) {
  constexpr int kPairs = 65535;
  const int base = 2 * kPairs;  // variables 1 .. base: the pairs w, u
  const int q = base + 1, pv = base + 2, v = base + 7;
  const int l = GetParam() ? v : -v;
  Clauses cs = {{l, q}, {-l, pv}, {-l, -pv}, {pv, base + 3}, {pv, base + 4}, {-pv, base + 5}, {-pv, base + 6}};
  for (int i = 0; i < kPairs; ++i) {
    const int w = 2 * i + 1, u = 2 * i + 2;
    cs.push_back({w, u, -l});  // -l is not watched here
    cs.push_back({-w, -u});
  }
  const Cnf f = makeCnf(v, std::move(cs), "saturation");
  SearchParams p = pureParams();
  p.resolution = 1;
  p.resOrderHeur = 17;  // v first: rejected, its clauses hold too many literals
  p.resCutoffCls = 1;   // p occurs three times in each polarity: kept
  auto s = loaded(f, p);
  const unsigned uv = static_cast<unsigned>(v);
  const unsigned saturated = l > 0 ? 0 : 1;  // counter index of -l

  ASSERT_TRUE(simplificationRound(*s)) << "the rule took " << -l << " as absent";
  ASSERT_EQ(s->stats.eliminatedVariables, static_cast<unsigned>(kPairs));
  ASSERT_EQ(s->vars[uv].occur[saturated], 0u) << "the counter did not come back to 0: the scenario tests nothing";
  EXPECT_EQ(s->vars[uv].occur[1 - saturated], 1u);
  EXPECT_LT(s->vars[uv].level, 0) << v << " was assigned although both polarities occur";
  EXPECT_TRUE(s->isTrue(lit(q)));  // pure, and set

  ASSERT_EQ(s->solve(false), Solver::Satisfiable);
  EXPECT_TRUE(modelSatisfies(*s, f));
  EXPECT_EQ(s->decode(uv), l < 0) << "l must be false in every model";
}

INSTANTIATE_TEST_SUITE_P(PureLiteralRule, SaturatedCounter, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& i) {
                           return i.param ? "NegativeSaturated" : "PositiveSaturated";
                         });

// ---- Sweeps ----------------------------------------------------------------------------

struct Case {
  Cnf formula;
  bool satisfiable;
};

// Formulas with the control core (a unit is learned at once, so rounds run)
// whose random part prefers one polarity per variable: many variables end up
// pure, in the formula or after the first facts.
const std::vector<Case>& pureCorpus() {
  static const std::vector<Case> cases = [] {
    CnfGenerator g(70117u);
    std::vector<Case> out;
    for (int free = 6; free <= 12; ++free)
      for (int bias : {3, 6, 12}) {
        Cnf f = withControlCore(g, free + kControlVars, g.uniform(2 * free, 7 * free), 2, 3,
                                "core+biased" + std::to_string(bias), bias);
        f.name += "-n" + std::to_string(f.numVars) + "-m" + std::to_string(f.clauses.size());
        const bool sat = bruteForce(f).has_value();
        out.push_back({std::move(f), sat});
      }
    return out;
  }();
  return cases;
}

TEST(PureLiteralSweep, CorpusHasBothVerdicts) {
  int sat = 0, unsat = 0;
  for (const Case& c : pureCorpus()) (c.satisfiable ? sat : unsat) += 1;
  EXPECT_GE(sat, 8);
  EXPECT_GE(unsat, 3);
}

// Solved with the rule on, under several phase rules (which change what is
// decided before the first round) and elimination modes: each verdict
// against enumeration, each model against every clause, and the rule must
// have examined variables in at least half of the solves.
TEST(PureLiteralSweep, VerdictsMatchEnumeration) {
  int runs = 0, rounds = 0;
  for (unsigned resolution : {0u, 1u, 2u})
    for (unsigned phase : {0u, 1u, 3u, 5u}) {
      SCOPED_TRACE("resolution " + std::to_string(resolution) + ", phase rule " + std::to_string(phase));
      for (const Case& tc : pureCorpus()) {
        SCOPED_TRACE(tc.formula.name + "\n" + tc.formula.dimacs());
        SearchParams p;
        p.resolution = resolution;
        p.maxResRuns = 2;
        p.phaseDecHeur = phase;
        p.usePureLiteralRule = true;
        auto s = loaded(tc.formula, p);
        std::srand(1851696952u);
        const unsigned r = s->solve(false);
        ASSERT_EQ(r, tc.satisfiable ? Solver::Satisfiable : Solver::Unsatisfiable);
        if (r == Solver::Satisfiable) {
          EXPECT_TRUE(modelSatisfies(*s, tc.formula));
        }
        EXPECT_TRUE(consistentAfterSolve(*s, false));
        ++runs;
        if (s->stats.simplificationRounds > 0 && s->stats.simplifyUnits > 0) ++rounds;
      }
    }
  EXPECT_GE(rounds * 2, runs) << "the rule ran in " << rounds << " of " << runs << " solves";
}

// Assumptions that contradict a pure literal: the formula with the assumed
// literals as units decides the verdict. The rule must stay off, or it would
// fix the pure literal against the assumption.
TEST(PureLiteralSweep, AssumptionsAgainstPureLiteralsMatchEnumeration) {
  int runs = 0, against = 0, satisfiable = 0;
  for (const Case& tc : pureCorpus()) {
    // The polarities each variable occurs in; each free variable that occurs
    // in one polarity only is assumed the other way, one at a time.
    std::vector<int> seen(static_cast<std::size_t>(tc.formula.numVars) + 1, 0);
    for (const auto& c : tc.formula.clauses)
      for (int l : c) seen[static_cast<std::size_t>(std::abs(l))] |= l > 0 ? 1 : 2;
    for (int v = 1; v <= tc.formula.numVars - kControlVars; ++v) {
      const int polarities = seen[static_cast<std::size_t>(v)];
      if (polarities != 1 && polarities != 2) continue;
      const std::vector<int> assumed{polarities == 1 ? -v : v};
      ++against;
      const bool sat = bruteForce(tc.formula, assumed).has_value();
      for (unsigned resolution : {0u, 1u}) {
        SCOPED_TRACE(tc.formula.name + " assuming " + ::testing::PrintToString(assumed) + "\n" + tc.formula.dimacs());
        SearchParams p;
        p.resolution = resolution;
        p.usePureLiteralRule = true;
        auto s = loaded(tc.formula, p);
        std::srand(1851696952u);
        const unsigned r = s->solve(lits(assumed), false);
        ASSERT_EQ(r, sat ? Solver::Satisfiable : Solver::Unsatisfiable);
        if (sat) {
          EXPECT_TRUE(modelSatisfies(*s, tc.formula, assumed));
          ++satisfiable;
        }
        ++runs;
      }
    }
  }
  EXPECT_GE(against, 10);
  EXPECT_GE(satisfiable, 10);
}

}  // namespace
}  // namespace quelt_test
