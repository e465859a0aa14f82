// Variable elimination by resolution, and the model extension after it.
//
// The scenario tests run single elimination attempts and whole
// simplification rounds on hand-made formulas and look at what the model
// extension will need later: one entry per eliminated variable holding the
// removed original clauses with the variable's literal first, the variable
// recorded beside its entry, the resolvents that replace the clauses, and
// the counters. Every scenario that reaches a model checks it against the
// clauses as written.
//
// The sweeps solve many small formulas built so that unit clauses are
// learned early (a unit learned since the last round is what lets a
// simplification round, and with it elimination, run at all) under every
// elimination setting and each preset, compare each verdict with exhaustive
// enumeration and each model with every original clause, and check that
// elimination and the pure literal rule really happened in a good share of
// the runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "support/cnf_gen.hpp"
#include "support/quelt_run.hpp"
#include "support/simplify_scenarios.hpp"
#include "support/solver_checks.hpp"

namespace quelt_test {
namespace {

using quelt::SearchParams;
using quelt::Solver;

std::vector<int> sortedLits(std::vector<int> c) {
  std::sort(c.begin(), c.end(),
            [](int a, int b) { return std::abs(a) < std::abs(b) || (std::abs(a) == std::abs(b) && a < b); });
  return c;
}

// The original clauses still in the database, each with sorted literals.
std::multiset<std::vector<int>> liveOriginals(const Solver& s) {
  std::multiset<std::vector<int>> out;
  for (const quelt::Clause* c : s.clauses)
    if (!c->removed()) out.insert(sortedLits(dimacsOf(*c)));
  return out;
}

std::multiset<std::vector<int>> asSet(const Clauses& cs) {
  std::multiset<std::vector<int>> out;
  for (const auto& c : cs) out.insert(sortedLits(c));
  return out;
}

std::vector<Clauses> entriesOf(const Solver& s) {
  std::vector<Clauses> out;
  for (const auto& entry : s.eliminatedClauses) {
    Clauses e;
    for (const quelt::Clause* c : entry) e.push_back(dimacsOf(*c));
    out.push_back(e);
  }
  return out;
}

// What must hold between elimination and the end of the next solve: every
// entry has its variable recorded, holds original clauses only, each marked
// removed and containing that variable, and no clause left in the database
// (original or learned) mentions an eliminated variable.
::testing::AssertionResult eliminationBookkeeping(const Solver& s) {
  if (s.eliminatedVars.size() != s.eliminatedClauses.size())
    return ::testing::AssertionFailure() << s.eliminatedClauses.size() << " entries but " << s.eliminatedVars.size()
                                         << " recorded variables";
  std::set<unsigned> gone;
  for (std::size_t i = 0; i < s.eliminatedVars.size(); ++i) {
    const unsigned v = s.eliminatedVars[i];
    if (v == 0 || v >= s.numVars) return ::testing::AssertionFailure() << "entry " << i << " records variable " << v;
    if (!gone.insert(v).second) return ::testing::AssertionFailure() << "variable " << v << " eliminated twice";
    for (const quelt::Clause* c : s.eliminatedClauses[i]) {
      if (c->learned() || !c->removed())
        return ::testing::AssertionFailure() << "entry " << i << " holds a learned or unremoved clause";
      if (std::none_of(c->begin(), c->end(), [v](quelt::Literal l) { return l.var() == v; }))
        return ::testing::AssertionFailure() << "entry of " << v << " holds " << ::testing::PrintToString(dimacsOf(*c));
    }
  }
  for (const auto* list : {&s.clauses, &s.learnedClauses})
    for (const quelt::Clause* c : *list) {
      if (c->removed()) continue;
      for (quelt::Literal l : *c)
        if (gone.count(l.var()))
          return ::testing::AssertionFailure() << "live clause " << ::testing::PrintToString(dimacsOf(*c))
                                               << " mentions eliminated variable " << l.var();
    }
  return ::testing::AssertionSuccess();
}

// ---- Single elimination attempts ----------------------------------------------

// n positive clauses (1 x a_i) and m negative clauses (-1 -x b_j): every
// resolvent on 1 contains x and -x, so the count of resolvents never limits
// these and only the clause cutoff decides.
Clauses tautologicalFan(int pos, int neg) {
  Clauses cs;
  int next = 3;
  for (int i = 0; i < pos; ++i) cs.push_back({1, 2, next++});
  for (int j = 0; j < neg; ++j) cs.push_back({-1, -2, next++});
  return cs;
}

// pos clauses (1 a_i) and neg clauses (-1 b_j) over distinct variables:
// pos * neg resolvents, none tautological. With diagonal set, clause i of
// both sides also shares a variable in opposite phases, which makes the
// pairs (i, i) tautological.
Clauses productFan(int pos, int neg, bool diagonal) {
  Clauses cs;
  int next = 2;
  const int shared = std::min(pos, neg);
  const int firstShared = next;
  if (diagonal) next += shared;
  for (int i = 0; i < pos; ++i) {
    std::vector<int> c{1, next++};
    if (diagonal && i < shared) c.push_back(firstShared + i);
    cs.push_back(c);
  }
  for (int j = 0; j < neg; ++j) {
    std::vector<int> c{-1, next++};
    if (diagonal && j < shared) c.push_back(-(firstShared + j));
    cs.push_back(c);
  }
  return cs;
}

struct AttemptCase {
  std::string name;
  Clauses clauses;
  Clauses learned;
  std::vector<int> unitsAfterLoading;  // assigned at level 0 before the attempt
  unsigned mode;
  std::function<void(SearchParams&)> tweak;
  unsigned var;
  bool eliminated;
};

void PrintTo(const AttemptCase& c, std::ostream* os) { *os << c.name; }

std::vector<AttemptCase> attemptCases() {
  auto none = [](SearchParams&) {};
  auto cutoff = [](unsigned cls) { return [cls](SearchParams& p) { p.resCutoffCls = cls; }; };
  auto litCutoff = [](unsigned lits) { return [lits](SearchParams& p) { p.resCutoffLits = lits; }; };
  auto litInc = [](double f) { return [f](SearchParams& p) { p.maxResLitInc = f; }; };
  // Variable 1 in (1 2 3) and (-1 4 5): six literals, one resolvent of four
  // literals, and the trial counts six (both literals of 1 included).
  const Clauses sixLiterals = {{1, 2, 3}, {-1, 4, 5}};
  // (1 2 5) with (-1 3 -5) is tautological on 5 but only recognised at the
  // last of its six literals; (1 2 5) with (-1 4) is a resolvent with five
  // literals. Eight literals in all, eleven counted.
  const Clauses tautologyCounted = {{1, 2, 5}, {-1, 3, -5}, {-1, 4}};
  return {
      {"NineAndNineOverCutoffEight", tautologicalFan(9, 9), {}, {}, 1, cutoff(8), 1, false},
      {"NineAndEightAtCutoffEight", tautologicalFan(9, 8), {}, {}, 1, cutoff(8), 1, true},
      {"EightAndNineAtCutoffEight", tautologicalFan(8, 9), {}, {}, 1, cutoff(8), 1, true},
      {"NineAndNineAtCutoffNine", tautologicalFan(9, 9), {}, {}, 1, cutoff(9), 1, true},
      {"TwentyAndOneAtCutoffOne", tautologicalFan(20, 1), {}, {}, 1, cutoff(1), 1, true},
      {"TwoAndTwoOverCutoffOne", tautologicalFan(2, 2), {}, {}, 1, cutoff(1), 1, false},
      {"PositiveOnlyOnceLearnedAreFiltered", {{1, 2}, {2, 3}}, {{-1, 2, 3}}, {}, 1, none, 1, false},
      {"NegativeOnlyOnceLearnedAreFiltered", {{-1, 2}, {2, 3}}, {{1, 2, 3}}, {}, 1, none, 1, false},
      {"LearnedClausesCountInMode2", {{1, 2}, {2, 3}}, {{-1, 2, 3}}, {}, 2, none, 1, true},
      {"UnknownModeResolvesNothing", {{1, 2}, {-1, 3}}, {}, {}, 3, none, 1, false},
      {"OnePhaseOnly", {{-1, 2}, {-1, 3}, {2, 3}}, {}, {}, 1, none, 1, false},
      {"NoOccurrences", {{2, 3}, {-2, 3}}, {}, {}, 1, none, 1, false},
      {"AssignedAtLevelZero", {{1, 2}, {-1, 3}}, {}, {1}, 1, none, 1, false},
      {"NineResolventsFromSixClauses", productFan(3, 3, false), {}, {}, 1, litInc(10.0), 1, false},
      {"SixResolventsFromSixClauses", productFan(3, 3, true), {}, {}, 1, litInc(10.0), 1, true},
      {"SixResolventsFromFiveClauses", productFan(2, 3, false), {}, {}, 1, litInc(10.0), 1, false},
      {"FourResolventsFromFourClauses", productFan(2, 2, false), {}, {}, 1, litInc(10.0), 1, true},
      {"LiteralsAtTheirCutoff", sixLiterals, {}, {}, 1, litCutoff(6), 1, true},
      {"LiteralsOverTheirCutoff", sixLiterals, {}, {}, 1, litCutoff(5), 1, false},
      {"CountWithinLiteralIncrease", sixLiterals, {}, {}, 1, litInc(1.0), 1, true},
      {"CountOverLiteralIncrease", sixLiterals, {}, {}, 1, litInc(0.99), 1, false},
      {"TautologicalPairsCountToo", tautologyCounted, {}, {}, 1, litInc(1.375), 1, true},
      {"TautologicalPairsCountTooOver", tautologyCounted, {}, {}, 1, litInc(1.37), 1, false},
  };
}

class EliminationAttempt : public ::testing::TestWithParam<AttemptCase> {};

TEST_P(EliminationAttempt, AcceptsOrRejectsWithoutTrace) {
  const AttemptCase& tc = GetParam();
  SearchParams p = scenarioParams();
  tc.tweak(p);
  const int numVars = std::max(largestVariable(tc.clauses), largestVariable(tc.learned));
  const Cnf f = makeCnf(numVars, tc.clauses);
  auto s = loaded(f, p, tc.learned);
  addUnits(*s, tc.unitsAfterLoading);
  fileOccurrences(*s, tc.mode);
  const std::size_t storedBefore = s->clauses.size();
  const std::multiset<std::vector<int>> liveBefore = liveOriginals(*s);
  std::size_t originalsOfVar = 0;
  for (const quelt::Clause* c : s->clauses)
    if (std::any_of(c->begin(), c->end(), [&](quelt::Literal l) { return l.var() == tc.var; })) ++originalsOfVar;

  ASSERT_EQ(s->tryEliminate(tc.var), tc.eliminated);
  EXPECT_TRUE(watchesConsistent(*s));
  if (!tc.eliminated) {
    EXPECT_EQ(s->clauses.size(), storedBefore) << "a rejected variable added a resolvent";
    EXPECT_EQ(liveOriginals(*s), liveBefore);
    for (const quelt::Clause* c : s->learnedClauses) EXPECT_FALSE(c->removed());
    EXPECT_TRUE(s->eliminatedClauses.empty());
    EXPECT_TRUE(s->eliminatedVars.empty());
    EXPECT_TRUE(s->decisionQueue.contains(tc.var) || s->vars[tc.var].level >= 0);
    return;
  }
  ASSERT_EQ(s->eliminatedVars, std::vector<unsigned>{tc.var});
  ASSERT_EQ(s->eliminatedClauses.size(), 1u);
  EXPECT_EQ(s->eliminatedClauses[0].size(), originalsOfVar);
  std::vector<int> phases;  // 0 for a clause of the negative literal, 1 for the positive
  for (const quelt::Clause* c : s->eliminatedClauses[0]) {
    ASSERT_EQ((*c)[0].var(), tc.var) << "the eliminated variable's literal is not first";
    phases.push_back((*c)[0].positive() ? 1 : 0);
  }
  EXPECT_TRUE(std::is_sorted(phases.begin(), phases.end())) << "negative-phase clauses must come first";
  EXPECT_FALSE(s->decisionQueue.contains(tc.var));
  for (const auto* list : {&s->clauses, &s->learnedClauses})
    for (const quelt::Clause* c : *list) {
      const bool mentions = std::any_of(c->begin(), c->end(), [&](quelt::Literal l) { return l.var() == tc.var; });
      EXPECT_EQ(c->removed(), mentions) << ::testing::PrintToString(dimacsOf(*c));
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, EliminationAttempt, ::testing::ValuesIn(attemptCases()),
                         [](const ::testing::TestParamInfo<AttemptCase>& i) { return i.param.name; });

// ---- Whole rounds, and the model extension that follows ---------------------

struct RoundCase {
  std::string name;
  int numVars;
  Clauses clauses;
  Clauses learned;
  std::function<void(SearchParams&)> tweak;
  std::vector<unsigned> eliminatedVars;
  std::vector<Clauses> entries;  // exact literal order
  Clauses live;                  // original clauses left, in any order
  unsigned eliminatedClauseCount;
  std::vector<int> unitsAfterRound;  // facts added before solving
  std::vector<int> expectedModel;    // literals the model must contain
};

void PrintTo(const RoundCase& c, std::ostream* os) { *os << c.name; }

std::vector<RoundCase> roundCases() {
  auto none = [](SearchParams&) {};
  auto phase = [](unsigned h) { return [h](SearchParams& p) { p.phaseDecHeur = h; }; };
  // 3 occurs in (3 1) and (-3 2) only.
  const Clauses pair = {{3, 1}, {-3, 2}};
  const std::vector<Clauses> pairEntry = {{{-3, 2}, {3, 1}}};
  // x = 1 is eliminated before y = 2, and a clause of x's entry contains y;
  // with a = 3 false and b = 4 true, only settling y first gives x a value
  // that satisfies (-1 -2).
  const Clauses chain = {{1, 3}, {-1, -2}, {2, 4}};
  return {
      {"PairGivesOneResolvent", 3, pair, {}, none, {3}, pairEntry, {{1, 2}}, 1, {}, {}},
      // Candidates from the highest index down, so 3 goes before 1.
      {"TautologicalPairGivesNone",
       3,
       {{3, 1}, {-3, -1}},
       {},
       [](SearchParams& p) { p.resOrderHeur = 17; },
       {3},
       {{{-3, -1}, {3, 1}}},
       {},
       2,
       {},
       {}},
      // Entry (-3 2), (3 1) with 1 false and 2 true: only (3 1) needs 3.
      {"ExtensionForcedBySecondClause", 3, pair, {}, none, {3}, pairEntry, {{1, 2}}, 1, {-1, 2}, {-1, 2, 3}},
      // With 1 and 2 true no clause needs 3: its value comes from the phase rule.
      {"ExtensionFreeTakesPhaseFalse", 3, pair, {}, phase(0), {3}, pairEntry, {{1, 2}}, 1, {1, 2}, {1, 2, -3}},
      {"ExtensionFreeTakesPhaseTrue", 3, pair, {}, phase(1), {3}, pairEntry, {{1, 2}}, 1, {1, 2}, {1, 2, 3}},
      {"LaterEliminationSettledFirst",
       4,
       chain,
       {},
       none,
       {1, 2},
       {{{-1, -2}, {1, 3}}, {{-2, 3}, {2, 4}}},
       {{3, 4}},
       3,
       {-3, 4},
       {1, -2, -3, 4}},
      // Mode 2, candidates from the highest index down: 3 occurs in learned
      // clauses only, so its entry is empty; 2 then goes with the originals
      // (and the resolvent of 3), all pairs tautological.
      {"LearnedOnlyVariableHasEmptyEntry",
       3,
       {{1, 2}, {-1, -2}},
       {{3, 1, 2}, {-3, 1, 2}},
       [](SearchParams& p) {
         p.resolution = 2;
         p.resOrderHeur = 17;
       },
       {3, 2},
       {{}, {{-2, -1}, {2, 1}, {2, 1}}},
       {},
       6,
       {},
       {}},
  };
}

class EliminationRound : public ::testing::TestWithParam<RoundCase> {};

TEST_P(EliminationRound, RecordsEntriesThenExtendsTheModel) {
  const RoundCase& tc = GetParam();
  SearchParams p = scenarioParams();
  tc.tweak(p);
  const Cnf f = makeCnf(tc.numVars, tc.clauses);
  auto s = loaded(f, p, tc.learned);
  ASSERT_TRUE(simplificationRound(*s));
  EXPECT_EQ(s->stats.resolutionRounds, 1u);
  EXPECT_EQ(s->stats.eliminatedVariables, tc.eliminatedVars.size());
  EXPECT_EQ(s->stats.eliminatedClauseCount, tc.eliminatedClauseCount);
  EXPECT_EQ(s->eliminatedVars, tc.eliminatedVars);
  EXPECT_EQ(entriesOf(*s), tc.entries);
  EXPECT_EQ(liveOriginals(*s), asSet(tc.live));
  for (unsigned v : tc.eliminatedVars) {
    EXPECT_TRUE(s->vars[v].eliminated()) << v;
    EXPECT_LT(s->vars[v].level, 0) << v;
    EXPECT_FALSE(s->decisionQueue.contains(v)) << v;
  }
  if (!tc.learned.empty()) {
    for (const quelt::Clause* c : s->learnedClauses) EXPECT_TRUE(c->removed());
  }
  EXPECT_TRUE(eliminationBookkeeping(*s));
  EXPECT_TRUE(occurrenceCountsMatch(*s));
  EXPECT_TRUE(watchesConsistent(*s));

  learnUnits(*s, tc.unitsAfterRound);
  Cnf withUnits = f;
  for (int u : tc.unitsAfterRound) withUnits.clauses.push_back({u});
  std::srand(1);
  ASSERT_EQ(s->solve(false), Solver::Satisfiable);
  EXPECT_TRUE(modelSatisfies(*s, withUnits));
  const Assignment a = modelOf(*s);
  for (int l : tc.expectedModel) EXPECT_TRUE(literalTrue(l, a)) << "literal " << l;
  // Eliminated variables stay out of the decision queue, so that a later
  // solve cannot decide them against their removed clauses.
  for (unsigned v : tc.eliminatedVars) EXPECT_FALSE(s->decisionQueue.contains(v)) << v;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, EliminationRound, ::testing::ValuesIn(roundCases()),
                         [](const ::testing::TestParamInfo<RoundCase>& i) { return i.param.name; });

// The clause (-3 2) of the entry is satisfied by 2, which the extension moves
// to the front; (3 1) is the one that assigns 3.
TEST(ModelExtension, MovesTheSatisfyingLiteralFirst) {
  const Cnf f = makeCnf(3, {{3, 1}, {-3, 2}});
  auto s = loaded(f, scenarioParams());
  ASSERT_TRUE(simplificationRound(*s));
  learnUnits(*s, {-1, 2});
  ASSERT_EQ(s->solve(false), Solver::Satisfiable);
  EXPECT_EQ(entriesOf(*s), (std::vector<Clauses>{{{2, -3}, {3, 1}}}));
}

// Variable 1 occurs three times in each polarity, one more than the clause
// cutoff of 2, so the first round keeps it. The facts 2 and 5 then satisfy
// one clause of each polarity, and a second round may eliminate it, but
// only while the rounds allowed by maxResRuns are not used up; once they
// are, elimination stays off even when more rounds are allowed later.
TEST(EliminationRounds, MaxResRunsLimitsTheRounds) {
  const Cnf f = makeCnf(7, {{1, 2}, {1, 3}, {1, 4}, {-1, 5}, {-1, 6}, {-1, 7}});
  Cnf withFacts = f;
  withFacts.clauses.insert(withFacts.clauses.end(), {{2}, {5}});
  for (unsigned runs : {1u, 2u}) {
    SCOPED_TRACE("maxResRuns " + std::to_string(runs));
    SearchParams p = scenarioParams();
    p.resCutoffCls = 2;
    p.maxResRuns = runs;
    auto s = loaded(f, p);
    ASSERT_TRUE(simplificationRound(*s));
    EXPECT_EQ(s->stats.resolutionRounds, 1u);
    EXPECT_TRUE(s->eliminatedVars.empty());

    learnUnits(*s, {2, 5});
    ASSERT_TRUE(simplificationRound(*s));
    EXPECT_EQ(s->stats.resolutionRounds, runs);
    EXPECT_EQ(s->params.resolution, runs == 2 ? 1u : 0u);
    EXPECT_EQ(s->eliminatedVars, runs == 2 ? std::vector<unsigned>{1} : std::vector<unsigned>{});
    EXPECT_TRUE(eliminationBookkeeping(*s));
    EXPECT_TRUE(occurrenceCountsMatch(*s));

    if (runs == 1) {
      s->params.maxResRuns = 5;
      ASSERT_TRUE(simplificationRound(*s));
      EXPECT_EQ(s->stats.resolutionRounds, 1u);
      EXPECT_TRUE(s->eliminatedVars.empty());
    }
    ASSERT_EQ(s->solve(false), Solver::Satisfiable);
    EXPECT_TRUE(modelSatisfies(*s, withFacts));
  }
}

// ---- Generated formulas ---------------------------------------------------------

struct Case {
  Cnf formula;
  bool satisfiable;
};

const std::vector<Case>& sweepCorpus() {
  static const std::vector<Case> cases = [] {
    CnfGenerator g(4021u);
    std::vector<Cnf> fs;
    for (int n = 8; n <= 14; ++n) {
      const int withCore = n + kControlVars - 2;  // free variables: n - 2
      fs.push_back(g.threshold3Sat(n));
      fs.push_back(withControlCore(g, withCore, static_cast<int>(4.26 * (n - 2)), 3, 3, "core+threshold3sat"));
      fs.push_back(withControlCore(g, withCore, n, 2, 4, "core+sparse"));
      fs.push_back(withControlCore(g, withCore, 2 * n, 2, 3, "core+medium"));
      fs.push_back(chainsWithCore(g, withCore, "core+chains"));
      if (n % 3 == 2) fs.push_back(withControlCore(g, withCore, 6 * (n - 2), 3, 3, "core+dense3sat"));
    }
    std::vector<Case> out;
    for (Cnf& f : fs) {
      f.name += "-n" + std::to_string(f.numVars) + "-m" + std::to_string(f.clauses.size());
      const bool sat = bruteForce(f).has_value();
      out.push_back({std::move(f), sat});
    }
    return out;
  }();
  return cases;
}

struct Tally {
  int runs = 0;
  int eliminating = 0;  // runs that eliminated a variable
  int simplifying = 0;  // runs with simplifyUnits above 0
};

// Solves tc under p and the assumptions (search limits derived from the
// loaded clauses), checks verdict, model and bookkeeping, and counts what
// happened.
void solveChecked(const Case& tc, const SearchParams& p, Tally& tally, const std::vector<int>& assumed,
                  bool expectSat) {
  SCOPED_TRACE(tc.formula.name + "\n" + tc.formula.dimacs());
  auto s = loaded(tc.formula, p);
  std::srand(1851696952u);
  std::vector<quelt::Literal> as = lits(assumed);
  const unsigned r = assumed.empty() ? s->solve(false) : s->solve(as, false);
  ASSERT_EQ(r, expectSat ? Solver::Satisfiable : Solver::Unsatisfiable);
  if (r == Solver::Satisfiable) {
    EXPECT_TRUE(modelSatisfies(*s, tc.formula, assumed));
  }
  EXPECT_TRUE(eliminationBookkeeping(*s));
  for (int l : assumed)
    EXPECT_EQ(std::count(s->eliminatedVars.begin(), s->eliminatedVars.end(), static_cast<unsigned>(std::abs(l))), 0)
        << "assumed variable " << std::abs(l) << " was eliminated";
  EXPECT_TRUE(consistentAfterSolve(*s, false));
  tally.runs += 1;
  if (s->stats.eliminatedVariables > 0) tally.eliminating += 1;
  if (s->stats.simplifyUnits > 0) tally.simplifying += 1;
}

struct SweepConfig {
  std::string name;
  std::function<void(SearchParams&)> set;
};

std::vector<SweepConfig> resolutionConfigs() {
  std::vector<SweepConfig> out;
  struct Limits {
    const char* name;
    unsigned cls, lits;
    double inc;
  };
  const Limits limits[] = {{"tight", 2, 10, 0.5}, {"default", 8, 300, 2.0}, {"loose", 20, 10000, 10.0}};
  for (unsigned mode : {1u, 2u})
    for (unsigned runs : {1u, 2u, 5u})
      for (const Limits& lim : limits)
        for (bool pure : {true, false}) {
          const std::string name = "mode" + std::to_string(mode) + "-runs" + std::to_string(runs) + "-" + lim.name +
                                   (pure ? "-pure" : "-nopure");
          out.push_back({name, [=](SearchParams& p) {
                           p.resolution = mode;
                           p.maxResRuns = runs;
                           p.resCutoffCls = lim.cls;
                           p.resCutoffLits = lim.lits;
                           p.maxResLitInc = lim.inc;
                           p.usePureLiteralRule = pure;
                           p.resOrderHeur = (mode * 7 + runs * 3) % 20;
                           // Frequent restarts and a small learned-clause
                           // budget: more units, more rounds, more reductions.
                           if (runs > 1) {
                             p.firstRestart = 10;
                             p.learnedSizeFactor = 0.1;
                           }
                         }});
        }
  return out;
}

TEST(EliminationSweep, CorpusHasBothVerdictsAndNoTrivialFormulas) {
  int sat = 0, unsat = 0;
  for (const Case& c : sweepCorpus()) (c.satisfiable ? sat : unsat) += 1;
  EXPECT_GE(sat, 12);
  EXPECT_GE(unsat, 6);
}

TEST(EliminationSweep, ResolutionSettingsMatchEnumeration) {
  Tally tally;
  for (const SweepConfig& cfg : resolutionConfigs()) {
    SCOPED_TRACE(cfg.name);
    SearchParams p;
    cfg.set(p);
    for (const Case& tc : sweepCorpus()) {
      solveChecked(tc, p, tally, {}, tc.satisfiable);
      if (HasFatalFailure()) return;
    }
  }
  EXPECT_GE(tally.eliminating * 5, tally.runs) << tally.eliminating << " of " << tally.runs << " runs eliminated";
  EXPECT_GE(tally.simplifying * 5, tally.runs) << tally.simplifying << " of " << tally.runs << " runs simplified";
}

TEST(EliminationSweep, PresetsMatchEnumeration) {
  using Preset = void (SearchParams::*)();
  const std::pair<const char*, Preset> presets[] = {
      {"default", &SearchParams::setDefault},
      {"defaultInc", &SearchParams::setDefaultInc},
      {"autotuned_1_0", &SearchParams::setAutotunedKz_1_0},
      {"autotuned_1_1", &SearchParams::setAutotunedKz_1_1},
      {"swVerification", &SearchParams::setSwVerification},
  };
  for (const auto& [name, preset] : presets)
    for (bool forceElimination : {false, true}) {
      SCOPED_TRACE(std::string(name) + (forceElimination ? " with resolution 2, 3 runs" : ""));
      SearchParams p;
      (p.*preset)();
      if (forceElimination) {
        p.resolution = 2;
        p.maxResRuns = 3;
      }
      Tally tally;
      for (const Case& tc : sweepCorpus()) {
        solveChecked(tc, p, tally, {}, tc.satisfiable);
        if (HasFatalFailure()) return;
      }
      if (p.resolution != 0) {
        EXPECT_GE(tally.eliminating * 5, tally.runs) << tally.eliminating << " of " << tally.runs << " eliminated";
      } else {
        EXPECT_EQ(tally.eliminating, 0);
      }
    }
}

// Assumptions on random literals: the verdict is that of the formula with the
// assumptions as units, and an assumed variable is never eliminated.
TEST(EliminationSweep, AssumptionsMatchEnumeration) {
  CnfGenerator g(99173u);
  Tally tally;
  for (const Case& tc : sweepCorpus())
    for (int k = 1; k <= 2; ++k) {
      std::vector<int> assumed;
      while (static_cast<int>(assumed.size()) < k) {
        const int l = g.randomLiteral(tc.formula.numVars);
        if (std::none_of(assumed.begin(), assumed.end(), [l](int a) { return std::abs(a) == std::abs(l); }))
          assumed.push_back(l);
      }
      const bool sat = bruteForce(tc.formula, assumed).has_value();
      for (unsigned mode : {1u, 2u}) {
        SearchParams p;
        p.resolution = mode;
        p.maxResRuns = 3;
        solveChecked(tc, p, tally, assumed, sat);
        if (HasFatalFailure()) return;
      }
    }
  EXPECT_GE(tally.eliminating * 5, tally.runs) << tally.eliminating << " of " << tally.runs << " eliminated";
}

// ---- Assumed variables through the library ---------------------------------------

// Variable 5 occurs only in (5 2) and (-5 3); without assumptions the first
// round eliminates it. Assumed either way, it must stay: the search places
// the assumption as a decision, which would ignore the clauses removed with
// an eliminated variable, and the model must satisfy every clause as
// written together with the assumption.
TEST(EliminationAssumptions, AssumedVariableIsNeverEliminated) {
  // g = 1 and c, d, e = 8, 7, 6 form the control core that teaches the unit 1.
  const Cnf f = makeCnf(8, {{1, 8, 7}, {1, 8, -7}, {1, -8, 6}, {1, -8, -6}, {5, 2}, {-5, 3}, {-2, 4}, {-3, -4, 2}});
  SearchParams p = scenarioParams();
  p.usePureLiteralRule = true;

  {
    auto free = loaded(f, p);
    ASSERT_EQ(free->solve(false), Solver::Satisfiable);
    ASSERT_TRUE(modelSatisfies(*free, f));
    ASSERT_GE(free->stats.resolutionRounds, 1u) << "no simplification round: the formula does not test anything";
    ASSERT_NE(std::count(free->eliminatedVars.begin(), free->eliminatedVars.end(), 5u), 0)
        << "5 is not eliminated even without assumptions: the formula does not test anything";
  }
  for (int assumed : {-5, 5}) {
    SCOPED_TRACE("assuming " + std::to_string(assumed));
    auto s = loaded(f, p);
    std::vector<quelt::Literal> as = lits({assumed});
    ASSERT_EQ(s->solve(as, false), Solver::Satisfiable);
    EXPECT_GE(s->stats.resolutionRounds, 1u);
    EXPECT_EQ(std::count(s->eliminatedVars.begin(), s->eliminatedVars.end(), 5u), 0);
    EXPECT_TRUE(modelSatisfies(*s, f, {assumed}));
  }
}

// ---- Repeated solves ------------------------------------------------------------------
//
// A second solve of the same solver (its status set back by clearAssumed)
// must again give every eliminated variable a value that satisfies the
// clauses removed with it. The self-check ends the process when a model is
// wrong, so the second solve runs in a child process that reports through
// its exit status: 0 for a valid model, 2 for a wrong verdict, 3 for a model
// that falsifies an original clause.

int secondSolveStatus(Solver& s, const Cnf& f) {
  s.clearAssumed();
  if (s.solve(false) != Solver::Satisfiable) return 2;
  return modelSatisfies(s, f) ? 0 : 3;
}

// Eliminated variables stay out of the search in later solves, and the
// extension gives them values again even though an earlier extension moved
// another literal to the front of their clauses.
TEST(ModelExtension, RepeatedSolveKeepsModelValid) {
  const Cnf f = makeCnf(3, {{3, 2}, {-3, 1}});
  auto s = loaded(f, scenarioParams());
  ASSERT_TRUE(simplificationRound(*s));
  ASSERT_EQ(s->eliminatedVars, std::vector<unsigned>{3});
  ASSERT_EQ(s->solve(false), Solver::Satisfiable);
  ASSERT_TRUE(modelSatisfies(*s, f));
  EXPECT_EXIT(std::exit(secondSolveStatus(*s, f)), ::testing::ExitedWithCode(0), "");
}

// The same over the sweep corpus (default parameters, resolution 1, two
// rounds).
TEST(ModelExtension, RepeatedSolveKeepsModelsValidOnCorpus) {
  int eliminatedRuns = 0;
  for (const Case& tc : sweepCorpus()) {
    if (!tc.satisfiable) continue;
    SCOPED_TRACE(tc.formula.name + "\n" + tc.formula.dimacs());
    SearchParams p;
    p.resolution = 1;
    p.maxResRuns = 2;
    auto s = loaded(tc.formula, p);
    std::srand(7);
    ASSERT_EQ(s->solve(false), Solver::Satisfiable);
    ASSERT_TRUE(modelSatisfies(*s, tc.formula));
    if (s->stats.eliminatedVariables == 0) continue;
    ++eliminatedRuns;
    EXPECT_EXIT(std::exit(secondSolveStatus(*s, tc.formula)), ::testing::ExitedWithCode(0), "");
  }
  EXPECT_GT(eliminatedRuns, 5);
}

// ---- Learned-clause reduction during elimination ----------------------------------

// Variable 1 occurs in (1 a1 .. a10) and (-1 b1 .. b10): its one resolvent has
// twenty literals, a length no other clause of the round has, so a failure
// armed for that length hits the resolvent. Six learned clauses of three literals on other
// variables sit in the occurrence lists (mode 2).
struct ReductionSetup {
  static constexpr std::size_t kResolventSize = 20;
  Cnf formula;
  Clauses learned;
  ReductionSetup() {
    std::vector<int> pos{1}, neg{-1};
    for (int i = 0; i < 10; ++i) {
      pos.push_back(2 + i);
      neg.push_back(12 + i);
    }
    Clauses cs = {pos, neg};
    for (int v = 22; v < 28; ++v) cs.push_back({v, v + 1});
    formula = makeCnf(28, cs);
    for (int v = 22; v < 28; ++v) learned.push_back({v, v + 1, v == 22 ? 28 : 22});
  }
};

TEST(EliminationMemory, ReductionWaitsWhileOccurrenceListsAreHeld) {
  ReductionSetup setup;
  SearchParams p = scenarioParams();
  p.resolution = 2;
  auto s = loaded(setup.formula, p, setup.learned);
  fileOccurrences(*s, 2);
  s->learnedLimit = 100;
  ASSERT_EQ(s->learnedClauses.size(), 6u);

  s->clauseArena.failNextAllocation(ReductionSetup::kResolventSize);
  s->runResolution();

  EXPECT_EQ(s->learnedLimit, 95) << "the allocation failure was not answered by the recovery";
  EXPECT_EQ(s->params.learnedClausesInc, 1.0);
  EXPECT_EQ(s->learnedClauses.size(), 6u) << "learned clauses were reduced while occurrence lists held them";
  ASSERT_EQ(s->eliminatedVars.size(), s->eliminatedClauses.size());
  ASSERT_FALSE(s->eliminatedVars.empty());
  EXPECT_EQ(s->eliminatedVars[0], 1u);
  EXPECT_TRUE(eliminationBookkeeping(*s));
  EXPECT_TRUE(watchesConsistent(*s));
  s->occurrences.clearOcc();
  ASSERT_EQ(s->solve(false), Solver::Satisfiable);
  EXPECT_TRUE(modelSatisfies(*s, setup.formula));
}

// The same failure outside an elimination round does reduce: the recovery
// itself is in working order, and the test above is not vacuous.
TEST(EliminationMemory, ReductionAnswersFailureOutsideElimination) {
  ReductionSetup setup;
  auto s = loaded(setup.formula, scenarioParams(), setup.learned);
  s->learnedLimit = 100;
  std::vector<int> big;
  for (int v = 2; v <= 21; ++v) big.push_back(-v);
  std::vector<quelt::Literal> clause = lits(big);
  s->clauseArena.failNextAllocation(ReductionSetup::kResolventSize);
  s->addClause(clause, false);
  EXPECT_EQ(s->learnedLimit, 95);
  EXPECT_LT(s->learnedClauses.size(), 6u);
  EXPECT_TRUE(watchesConsistent(*s));
}

// ---- The self-check covers the removed clauses --------------------------------------

// After solving the pair scenario (3 is forced true by (3 1) with 1 false),
// the removed clauses live only in the entry once a later cleanup has taken
// them out of the database; that is the state set up here.
std::unique_ptr<Solver> solvedPairWithRemovedClausesOnlyInEntry() {
  const Cnf f = makeCnf(3, {{3, 1}, {-3, 2}});
  auto s = loaded(f, scenarioParams());
  if (!simplificationRound(*s)) std::abort();
  learnUnits(*s, {-1, 2});
  if (s->solve(false) != Solver::Satisfiable) std::abort();
  s->clauses.erase(std::remove_if(s->clauses.begin(), s->clauses.end(), [](quelt::Clause* c) { return c->removed(); }),
                   s->clauses.end());
  return s;
}

TEST(ModelCheckDeathTest, UntouchedModelPasses) {
  auto s = solvedPairWithRemovedClausesOnlyInEntry();
  ASSERT_EQ(s->model.size(), 3u);
  EXPECT_TRUE(s->model[2].positive());
  s->verifyModel();  // returns normally
  SUCCEED();
}

TEST(ModelCheckDeathTest, WrongValueOfEliminatedVariableIsCaught) {
  auto s = solvedPairWithRemovedClausesOnlyInEntry();
  s->model[2] = ~s->model[2];  // 3 false: (3 1) is false, the resolvent (1 2) still holds
  EXPECT_EXIT(s->verifyModel(), ::testing::ExitedWithCode(1), "c \\*\\*\\* Error: Invalid solution detected \\*\\*\\*");
}

TEST(ModelCheckDeathTest, FalseClauseInEntryIsCaught) {
  auto s = solvedPairWithRemovedClausesOnlyInEntry();
  ASSERT_EQ(s->eliminatedClauses.size(), 1u);
  quelt::Clause* c = s->eliminatedClauses[0].back();
  for (quelt::Literal& l : *c) l = ~s->model[l.var() - 1];  // every literal false
  EXPECT_EXIT(s->verifyModel(), ::testing::ExitedWithCode(1), "c \\*\\*\\* Error: Invalid solution detected \\*\\*\\*");
}

// ---- Larger formulas against a peer solver -----------------------------------------

// Random 3-SAT at the threshold and formulas with the control core, 36 to 80
// variables, with up to five elimination rounds and frequent restarts.
TEST(EliminationPeer, VerdictsMatchMinisat) {
  const std::string peer = "/usr/bin/minisat";
  if (access(peer.c_str(), X_OK) != 0) GTEST_SKIP() << "no " << peer;
  const ScratchDir dir("quelt-elim");
  CnfGenerator g(5150u);
  int sat = 0, unsat = 0, runs = 0, eliminating = 0, severalRounds = 0;
  for (int i = 0; i < 12; ++i) {
    const int n = 36 + 4 * i;
    Cnf f = i % 2 == 0 ? g.threshold3Sat(n)
                       : withControlCore(g, n, static_cast<int>(4.2 * (n - kControlVars)), 3, 3, "core");
    f.name += "-" + std::to_string(i);
    const std::string path = dir.write("f" + std::to_string(i) + ".cnf", f.dimacs());
    const RunResult peerRun = runProgram(peer, {"-verb=0", path});
    ASSERT_TRUE(peerRun.status == 10 || peerRun.status == 20) << peerRun.out << peerRun.err;
    const bool peerSat = peerRun.status == 10;
    (peerSat ? sat : unsat) += 1;
    for (unsigned mode : {1u, 2u}) {
      SCOPED_TRACE(f.name + " mode " + std::to_string(mode) + "\n" + f.dimacs());
      SearchParams p;
      p.resolution = mode;
      p.maxResRuns = 5;
      p.firstRestart = 20;
      auto s = loaded(f, p);
      std::srand(1851696952u);
      const unsigned r = s->solve(false);
      ASSERT_EQ(r, peerSat ? Solver::Satisfiable : Solver::Unsatisfiable);
      if (peerSat) {
        EXPECT_TRUE(modelSatisfies(*s, f));
      }
      EXPECT_TRUE(eliminationBookkeeping(*s));
      EXPECT_TRUE(consistentAfterSolve(*s, false));
      runs += 1;
      if (s->stats.eliminatedVariables > 0) eliminating += 1;
      if (s->stats.resolutionRounds > 1) severalRounds += 1;
    }
  }
  EXPECT_GT(sat, 0);
  EXPECT_GT(unsat, 0);
  EXPECT_GE(eliminating * 5, runs) << eliminating << " of " << runs << " eliminated";
  EXPECT_GT(severalRounds, 0) << "no run had a second elimination round";
}

}  // namespace
}  // namespace quelt_test
