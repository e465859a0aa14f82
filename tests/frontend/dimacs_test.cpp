// The DIMACS reader and the Prover facade, driven in-process: every case
// feeds text through an istringstream, captures standard error, and looks at
// what ended up in the solver (stored clauses, level-0 literals, status,
// assumptions).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/Dimacs.hpp"
#include "frontend/Prover.hpp"
#include "solver/Solver.hpp"

namespace {

using quelt::Dimacs;
using quelt::Literal;
using quelt::Solver;

// Redirects std::cerr into a string for the lifetime of the object.
class CerrCapture {
 public:
  CerrCapture() : saved_(std::cerr.rdbuf(buffer_.rdbuf())) {}
  ~CerrCapture() { std::cerr.rdbuf(saved_); }
  CerrCapture(const CerrCapture&) = delete;
  CerrCapture& operator=(const CerrCapture&) = delete;
  std::string text() const { return buffer_.str(); }

 private:
  std::ostringstream buffer_;
  std::streambuf* saved_;
};

const std::string kPLineMsg =
    " Invalid DIMACS CNF p line, expected: p cnf #variables #clauses\n";
const std::string kBadCharMsg =
    " Invalid DIMACS CNF input. Press q for quit, or continue adding clauses...\n";
const std::string kInvalidNumberMsg = "Invalid input.\n";

std::string countMsg(int declared, int added) {
  return "c DIMACS p line requires " + std::to_string(declared) +
         " clauses, while the instance contains " + std::to_string(added) + " clauses.\n";
}

std::vector<int> toInts(const std::vector<Literal>& lits) {
  std::vector<int> v;
  for (Literal l : lits) v.push_back(static_cast<int>(l.toDimacs()));
  return v;
}

// A clause with its literals in a canonical order (by variable, negative
// first), so that the solver's own literal order inside a clause does not
// matter.
std::vector<int> canonical(std::vector<int> c) {
  std::sort(c.begin(), c.end(), [](int a, int b) {
    return std::abs(a) < std::abs(b) || (std::abs(a) == std::abs(b) && a < b);
  });
  return c;
}

std::vector<std::vector<int>> storedClauses(const Solver& s) {
  std::vector<std::vector<int>> out;
  for (const quelt::Clause* c : s.clauses) {
    std::vector<int> lits;
    for (unsigned i = 0; i < c->size; ++i) lits.push_back(static_cast<int>((*c)[i].toDimacs()));
    out.push_back(canonical(lits));
  }
  return out;
}

struct Loaded {
  std::string err;
  bool stoppedAtInvalidNumber;
};

Loaded load(Dimacs& reader, const std::string& text, bool asAssumptions = false) {
  std::istringstream in(text);
  CerrCapture cerr;
  reader.parse(in, asAssumptions);
  return {cerr.text(), reader.stoppedAtInvalidNumber()};
}

// ---------------------------------------------------------------------------
// The reader's table

using Clauses = std::vector<std::vector<int>>;

struct ReaderCase {
  const char* name;
  std::string input;
  std::string err;              // standard error, exactly
  Clauses stored;               // clauses of two or more literals, in input order
  std::vector<int> units;       // literals assigned at level 0, in order
  bool unsat;                   // an empty clause (or clashing units) was read
  unsigned originalClauses;     // the solver's count of original clauses
  unsigned numVars;             // variable records, dummy record 0 included
  bool invalidNumber;           // reading stopped at an unreadable number
};

const ReaderCase kReaderCases[] = {
    {"declared count matches", "p cnf 3 2\n1 -2 0\n2 3 0\n", "", {{1, -2}, {2, 3}}, {}, false, 2,
     4, false},
    {"one clause more than declared", "p cnf 3 2\n1 -2 0\n2 3 0\n-1 -3 0\n", countMsg(2, 3),
     {{1, -2}, {2, 3}, {-1, -3}}, {}, false, 3, 4, false},
    {"p dnf, count matches", "p dnf 3 2\n1 2 0\n-1 3 0\n", kPLineMsg, {{1, 2}, {-1, 3}}, {}, false,
     2, 4, false},
    {"p dnf, count differs", "p dnf 3 1\n1 2 0\n-1 3 0\n", kPLineMsg + countMsg(1, 2),
     {{1, 2}, {-1, 3}}, {}, false, 2, 4, false},
    {"p glued to cnf", "pcnf 2 1\n1 2 0\n", "", {{1, 2}}, {}, false, 1, 3, false},
    {"last clause without newline", "p cnf 2 2\n1 2 0\n-1 -2 0", "", {{1, 2}, {-1, -2}}, {},
     false, 2, 3, false},
    {"missing final 0 with p line", "p cnf 3 2\n1 2 0\n-1 -3", countMsg(2, 1), {{1, 2}}, {},
     false, 1, 4, false},
    {"missing final 0 without p line", "1 2 0\n-1 -3\n", "", {{1, 2}}, {}, false, 1, 4, false},
    {"stray x between literals", "1 x 2 0\n", kBadCharMsg, {{1, 2}}, {}, false, 1, 3, false},
    {"one message per stray character", "1 +2 0\n3 && 4 0\n", kBadCharMsg + kBadCharMsg + kBadCharMsg,
     {{1, 2}, {3, 4}}, {}, false, 2, 5, false},
    {"percent line then 0", "p cnf 1 1\n%\n0\n", kBadCharMsg, {}, {}, true, 0, 0, false},
    {"percent line then 0 after clauses", "1 2 0\n%\n0\n", kBadCharMsg, {{1, 2}}, {}, true, 1, 3,
     false},
    {"lone dashes are dropped", "- 1 - 2 0\n-\n3 4 0 -", "", {{1, 2}, {3, 4}}, {}, false, 2, 5,
     false},
    {"-0 ends a clause", "1 2 -0\n3 -0\n", "", {{1, 2}}, {3}, false, 2, 4, false},
    {"comments everywhere",
     "c first\np cnf 2 1\nc between\n1 c after a literal 5 6 0\n2 0\nc last line, no newline", "",
     {{1, 2}}, {}, false, 1, 3, false},
    {"comment right after the 0", "1 2 0c note 7 0\n-1 0 c\n", "", {{1, 2}}, {-1}, false, 2, 3,
     false},
    {"p line after clauses counts them all", "1 2 0\n3 4 0\np cnf 4 2\n", "", {{1, 2}, {3, 4}},
     {}, false, 2, 5, false},
    {"the last p line gives the count", "p cnf 9 5\n1 2 0\np cnf 4 3\n3 4 0\n-1 -4 0\n", "",
     {{1, 2}, {3, 4}, {-1, -4}}, {}, false, 3, 5, false},
    {"an earlier p line is forgotten", "p cnf 4 3\n1 2 0\n3 4 0\np cnf 4 5\n-1 -4 0\n",
     countMsg(5, 3), {{1, 2}, {3, 4}, {-1, -4}}, {}, false, 3, 5, false},
    {"negative declared count is not checked", "p cnf 2 -1\n1 2 0\n", "", {{1, 2}}, {}, false, 1,
     3, false},
    {"q ends the input", "1 2 0\nq\n3 4 0\n", "", {{1, 2}}, {}, false, 1, 3, false},
    {"q mid-clause drops the group", "p cnf 4 2\n1 2 0\n3 q 4 0\n", countMsg(2, 1), {{1, 2}}, {},
     false, 1, 4, false},
    {"quit spelled out", "1 -2 0 quit 3 4 0\n", "", {{1, -2}}, {}, false, 1, 3, false},
    {"number above 2147483647", "1 2 0\n2147483648 3 0\n4 5 0\n", kInvalidNumberMsg, {{1, 2}},
     {}, false, 1, 3, true},
    {"number above 2147483647 with p line", "p cnf 5 3\n1 2 0\n4 99999999999 0\n4 5 0\n",
     kInvalidNumberMsg + countMsg(3, 1), {{1, 2}}, {}, false, 1, 5, true},
    {"-2147483648", "1 2 0\n3 -2147483648 0\n4 5 0\n", kInvalidNumberMsg, {{1, 2}}, {}, false, 1,
     4, true},
    {"p line counts not numbers", "p cnf x 1\n1 2 0\n", kInvalidNumberMsg, {}, {}, false, 0, 0,
     true},
    {"p line count out of range", "1 2 0\np cnf 4294967296 1\n3 4 0\n", kInvalidNumberMsg,
     {{1, 2}}, {}, false, 1, 3, true},
    {"p at the end of the input", "1 2 0\np", kPLineMsg + kInvalidNumberMsg, {{1, 2}}, {}, false,
     1, 3, true},
    {"empty input", "", "", {}, {}, false, 0, 0, false},
    {"only a p line", "p cnf 0 0\n", "", {}, {}, false, 0, 0, false},
    {"only comments", "c one\nc two\n", "", {}, {}, false, 0, 0, false},
    {"carriage returns and tabs are blanks", "p cnf 2 1\r\n1\t-2 0\r\n", "", {{1, -2}}, {}, false,
     1, 3, false},
    {"units go to level 0", "1 0\n-2 0\n1 3 0\n", "", {}, {1, -2}, false, 2, 4, false},
    {"clashing units", "p cnf 1 2\n1 0\n-1 0\n", "", {}, {1}, true, 1, 2, false},
    {"tautology is counted but not stored", "p cnf 2 1\n1 -1 2 0\n", "", {}, {}, false, 0, 3,
     false},
    {"duplicate literals merge", "2 1 2 0\n", "", {{1, 2}}, {}, false, 1, 3, false},
    {"large variable index", "1000 -3 0\n", "", {{-3, 1000}}, {}, false, 1, 1001, false},
};

TEST(DimacsReader, Table) {
  for (const ReaderCase& c : kReaderCases) {
    SCOPED_TRACE(c.name);
    Dimacs reader;
    const Loaded r = load(reader, c.input);
    const Solver& s = reader.getSolver();
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.stoppedAtInvalidNumber, c.invalidNumber);
    EXPECT_EQ(storedClauses(s), c.stored);
    EXPECT_EQ(toInts(s.trail.lits), c.units);
    EXPECT_EQ(s.status == Solver::Unsatisfiable, c.unsat);
    EXPECT_EQ(s.stats.originalClauses, c.originalClauses);
    EXPECT_EQ(s.vars.size(), c.numVars);
    EXPECT_TRUE(s.assumptions.empty());
  }
}

// A clause count that cannot be read is no declared count, so there is
// nothing to compare at the end: only "Invalid input." is expected, never a
// requirement the input did not state (such as the 0 or 2147483647 that a
// failed extraction leaves behind).
TEST(DimacsReader, UnreadableClauseCountIsNotCompared) {
  for (const char* input : {"1 2 0\np cnf 2 x\n", "1 2 0\np cnf 2 4294967296\n3 4 0\n",
                            "1 2 0\np cnf 2 -x\n"}) {
    SCOPED_TRACE(input);
    Dimacs reader;
    const Loaded r = load(reader, input);
    EXPECT_EQ(r.err, kInvalidNumberMsg);
    EXPECT_TRUE(r.stoppedAtInvalidNumber);
    EXPECT_EQ(storedClauses(reader.getSolver()), (Clauses{{1, 2}}));
  }
}

TEST(DimacsReader, AssumptionModeHandsGroupsToTheSolver) {
  Dimacs reader;
  const Loaded r = load(reader, "p cnf 3 2\n3 -1 0\n1 0\n", /*asAssumptions=*/true);
  const Solver& s = reader.getSolver();
  // Nothing is counted as a clause in this mode.
  EXPECT_EQ(r.err, countMsg(2, 0));
  EXPECT_EQ(toInts(s.assumptions), (std::vector<int>{-1, 1, 3}));
  EXPECT_TRUE(s.clauses.empty());
  EXPECT_TRUE(s.trail.lits.empty());
  EXPECT_EQ(s.stats.originalClauses, 0u);
  EXPECT_EQ(s.status, Solver::Unknown);
  EXPECT_EQ(s.vars.size(), 4u);
}

TEST(DimacsReader, AssumptionsConstrainTheSolve) {
  Dimacs reader;
  load(reader, "p cnf 2 2\n1 2 0\n-1 -2 0\n");
  load(reader, "-2 0\n", /*asAssumptions=*/true);
  ASSERT_EQ(reader.solve(), static_cast<unsigned>(Solver::Satisfiable));
  EXPECT_EQ(toInts(reader.getSolver().model), (std::vector<int>{1, -2}));
}

TEST(DimacsReader, ReadingContinuesAfterAnInvalidNumberOnlyWithANewParse) {
  Dimacs reader;
  EXPECT_TRUE(load(reader, "1 2 0\n99999999999 0\n").stoppedAtInvalidNumber);
  const Loaded again = load(reader, "-1 3 0\n");
  EXPECT_FALSE(again.stoppedAtInvalidNumber);
  EXPECT_EQ(storedClauses(reader.getSolver()), (Clauses{{1, 2}, {-1, 3}}));
}

TEST(DimacsReader, ClausesAreSolvedAsRead) {
  // Two readings of the same formula, one with noise the reader skips: both
  // solve to the same model, which satisfies the formula.
  const std::string plain = "p cnf 4 4\n1 2 0\n-1 3 0\n-3 -2 0\n4 -1 0\n";
  const std::string noisy =
      "c noise\np cnf 4 4\n1 - 2 0 c tail\n-1 x 3 0\n\t-3 -2 -0\n4 -1 0";
  Dimacs a, b;
  load(a, plain);
  const Loaded r = load(b, noisy);
  EXPECT_EQ(r.err, kBadCharMsg);
  ASSERT_EQ(a.solve(), static_cast<unsigned>(Solver::Satisfiable));
  ASSERT_EQ(b.solve(), static_cast<unsigned>(Solver::Satisfiable));
  EXPECT_EQ(toInts(a.getSolver().model), toInts(b.getSolver().model));
}

// ---------------------------------------------------------------------------
// The Prover facade

// A random 3-CNF formula near the satisfiability threshold, from a fixed
// generator of its own (not the one the solver draws from).
std::vector<std::vector<int>> random3Cnf(unsigned vars, unsigned clauses, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> var(1, static_cast<int>(vars));
  std::vector<std::vector<int>> f;
  for (unsigned i = 0; i < clauses; ++i) {
    std::vector<int> c;
    while (c.size() < 3) {
      const int v = var(gen);
      if (std::find(c.begin(), c.end(), v) != c.end() ||
          std::find(c.begin(), c.end(), -v) != c.end())
        continue;
      c.push_back(gen() & 1 ? v : -v);
    }
    f.push_back(c);
  }
  return f;
}

struct SearchTrace {
  unsigned result;
  std::uint32_t decisions, randomDecisions, randomPolarityDecisions, conflicts, bcPropagations,
      restarts, learned;
  std::vector<int> model;
  bool operator==(const SearchTrace& o) const {
    return result == o.result && decisions == o.decisions &&
           randomDecisions == o.randomDecisions &&
           randomPolarityDecisions == o.randomPolarityDecisions && conflicts == o.conflicts &&
           bcPropagations == o.bcPropagations && restarts == o.restarts && learned == o.learned &&
           model == o.model;
  }
};

// Loads the formula into prover, with frequent random choices, and solves.
// reseed, when non-zero, replaces the generator's seed just before solving.
SearchTrace solveWithRandomChoices(quelt::Prover& prover, const std::vector<std::vector<int>>& f,
                                   unsigned reseed = 0) {
  for (const std::vector<int>& c : f) {
    std::vector<Literal> lits;
    for (int d : c) {
      prover.createVar(static_cast<unsigned>(std::abs(d)));
      lits.push_back(Literal::fromDimacs(d));
    }
    prover.addClause(lits);
  }
  Solver& s = prover.getSolver();
  s.params.randVarDecFreq = 0.3;
  s.params.randPhaseDecFreq = 0.3;
  if (reseed) std::srand(reseed);
  const unsigned result = prover.solve();
  return {result,
          s.stats.decisions,
          s.stats.randomDecisions,
          s.stats.randomPolarityDecisions,
          s.stats.conflicts,
          s.stats.bcPropagations,
          s.stats.restarts,
          s.stats.totalLearnedClauses,
          toInts(s.model)};
}

TEST(ProverFacade, EachProverRestartsTheRandomSequence) {
  const auto f = random3Cnf(150, 600, 20240611);
  Dimacs first;
  const SearchTrace a = solveWithRandomChoices(first, f);
  ASSERT_GT(a.randomDecisions, 0u);
  ASSERT_GT(a.randomPolarityDecisions, 0u);
  ASSERT_GT(a.conflicts, 0u);
  // Draw from the generator in between: the next Prover must not care.
  for (int i = 0; i < 1000; ++i) std::rand();
  Dimacs second;
  const SearchTrace b = solveWithRandomChoices(second, f);
  EXPECT_TRUE(a == b) << "decisions " << a.decisions << " vs " << b.decisions << ", conflicts "
                      << a.conflicts << " vs " << b.conflicts;
  // The comparison is sensitive to the seed: another one changes the search.
  Dimacs third;
  const SearchTrace c = solveWithRandomChoices(third, f, 12345);
  EXPECT_FALSE(a == c);
}

TEST(ProverFacade, SolveAfterARefutationWhileLoadingReturnsUnsatisfiable) {
  Dimacs prover;
  prover.createVar(2);
  std::vector<Literal> c1 = {Literal::fromDimacs(1), Literal::fromDimacs(-2)};
  std::vector<Literal> c2 = {Literal::fromDimacs(1)};
  std::vector<Literal> c3 = {Literal::fromDimacs(-1)};
  prover.addClause(c1);
  prover.addClause(c2);
  prover.addClause(c3);
  EXPECT_EQ(prover.getSolver().status, Solver::Unsatisfiable);
  EXPECT_EQ(prover.solve(), static_cast<unsigned>(Solver::Unsatisfiable));
  EXPECT_EQ(prover.getSolver().stats.decisions, 0u);
  EXPECT_EQ(prover.getSolver().stats.conflicts, 0u);
  std::ostringstream model;
  prover.dumpSolution(model);
  EXPECT_EQ(model.str(), "");
}

TEST(ProverFacade, SolveAndDumpSolution) {
  Dimacs prover;
  load(prover, "p cnf 3 3\n1 2 0\n-1 0\n-2 3 0\n");
  ASSERT_EQ(prover.solve(), static_cast<unsigned>(Solver::Satisfiable));
  std::ostringstream model;
  prover.dumpSolution(model);
  EXPECT_EQ(model.str(), "v -1 2 3 0\n");
}

TEST(ProverFacade, DumpStatsOfAFreshProverIsAllZero) {
  Dimacs prover;
  std::ostringstream os;
  prover.dumpStats(os);
  const std::string expected =
      "c \n"
      "c ---------------------------------\n"
      "c Solving statistics:        \n"
      "c ---------------------------------\n"
      "c Variables:                 0\n"
      "c Original clauses:          0\n"
      "c Total learned clauses:     0\n"
      "c Max. dec. level reached:   0\n"
      "c Max. literals assigned:    0  (0.00%)\n"
      "c Restarts:                  0\n"
      "c Decisions:                 0  (0/sec)\n"
      "c Random decisions:          0  (0.000%)\n"
      "c Random polarity decisions: 0  (0.000%)\n"
      "c BC Propagations:           0  (0/sec)\n"
      "c BCP calls:                 0  (0 implications/call)\n"
      "c Conflicts:                 0  (0/sec)\n"
      "c Backtrack levels:          0  (0.00 levs/conflict)\n"
      "c Literals in orig. clauses: 0  (0.00 lits/clause)\n"
      "c Literals in lear. clauses: 0  (0.00 lits/clause)\n"
      "c Redundant learned lits:    0  (0.00%)\n"
      "c Original unit lit. cls.:   0\n"
      "c Learned unit lit. cls.:    0\n"
      "c Unit lits. from simplify:  0\n"
      "c Eliminated variables:      0 (0.00%)\n"
      "c Eliminated clauses:        0 (0.00%) [can be >100%]\n"
      "c Simplification rounds:     0\n"
      "c Resolution rounds:         0\n";
  const std::string text = os.str();
  ASSERT_GE(text.size(), expected.size());
  EXPECT_EQ(text.substr(0, expected.size()), expected);
  EXPECT_TRUE(std::regex_match(text.substr(expected.size()),
                               std::regex("c Total runtime:             [0-9]+\\.[0-9]{2}\n")))
      << text.substr(expected.size());
}

}  // namespace
