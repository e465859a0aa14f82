// DRAT proofs: every unsatisfiable verdict comes with a proof that our own
// checker accepts, under every configuration family that changes what the
// engine logs (reduction, simplification, elimination, pure literals), and
// the checker itself rejects proofs that were tampered with.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "solver/Solver.hpp"
#include "support/cnf_gen.hpp"
#include "support/drat_checker.hpp"
#include "support/quelt_run.hpp"
#include "support/solver_checks.hpp"

namespace {

using quelt::SearchParams;
using quelt::Solver;
using quelt_test::Cnf;
using quelt_test::CnfGenerator;
using quelt_test::DratChecker;

std::string tempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("quelt-proof-" + std::to_string(::getpid()) + "-" + name))
      .string();
}

std::string readFile(const std::string& path) { return quelt_test::readWholeFile(path); }

// Solves f with a proof written to a temporary file; returns the verdict
// and leaves the proof text in proof.
unsigned solveWithProof(const Cnf& f, const SearchParams& params, bool binary, std::string& proof) {
  const std::string path = tempPath(binary ? "bin" : "txt");
  unsigned result;
  {
    quelt::ProofWriter writer(path, binary);
    Solver s(params);
    s.proof = &writer;
    std::srand(1851696952);
    quelt_test::load(s, f);
    s.resetSearchLimits();
    result = s.solve(false);
    EXPECT_TRUE(writer.flush());
  }
  proof = readFile(path);
  std::remove(path.c_str());
  return result;
}

DratChecker::Result check(const Cnf& f, const std::string& proof) {
  DratChecker checker;
  for (const auto& c : f.clauses) checker.addOriginal(c);
  return checker.checkProof(proof);
}

// Parameter sets that change what the engine logs.
struct Config {
  const char* name;
  void (*apply)(SearchParams&);
};

const Config kConfigs[] = {
    {"default", [](SearchParams&) {}},
    {"frequent-reduction",
     [](SearchParams& p) {
       p.firstRestart = 10;
       p.learnedSizeFactor = 0.1;
     }},
    {"elimination-original",
     [](SearchParams& p) {
       p.resolution = 1;
       p.maxResRuns = 5;
     }},
    {"elimination-all",
     [](SearchParams& p) {
       p.resolution = 2;
       p.maxResRuns = 3;
       p.resCutoffCls = 20;
     }},
    {"no-pure-literals", [](SearchParams& p) { p.usePureLiteralRule = false; }},
    {"default-inc", [](SearchParams& p) { p.setDefaultInc(); }},
    {"autotuned-1.0", [](SearchParams& p) { p.setAutotunedKz_1_0(); }},
    {"autotuned-1.1", [](SearchParams& p) { p.setAutotunedKz_1_1(); }},
    {"sw-verification", [](SearchParams& p) { p.setSwVerification(); }},
    {"clause-del-2",
     [](SearchParams& p) {
       p.clauseDelHeur = 2;
       p.learnedSizeFactor = 0.1;
       p.firstRestart = 10;
     }},
};

// Unsatisfiable formulas of the kinds the engine meets: random 3-SAT above
// the threshold, pigeon-hole, and formulas with units and an empty clause.
std::vector<Cnf> unsatisfiableCorpus() {
  std::vector<Cnf> out;
  CnfGenerator gen(20261206);
  for (int holes = 2; holes <= 4; ++holes) out.push_back(CnfGenerator::pigeonHole(holes));
  while (out.size() < 40) {
    const int n = gen.uniform(8, 16);
    Cnf f = gen.randomKSat(n, 3, static_cast<int>(n * 5.5));
    if (gen.coin()) f.clauses.push_back({gen.randomLiteral(n)});  // a unit to simplify with
    if (!quelt_test::bruteForce(f)) out.push_back(f);
  }
  Cnf units;
  units.numVars = 3;
  units.clauses = {{1}, {-1, 2}, {-2, 3}, {-3, -1}};
  out.push_back(units);
  return out;
}

TEST(Proof, EveryUnsatisfiableVerdictIsCheckedUnderEveryConfiguration) {
  const std::vector<Cnf> corpus = unsatisfiableCorpus();
  for (const Config& config : kConfigs) {
    SearchParams params;
    config.apply(params);
    int checked = 0;
    for (const Cnf& f : corpus) {
      for (bool binary : {true, false}) {
        std::string proof;
        ASSERT_EQ(solveWithProof(f, params, binary, proof), Solver::Unsatisfiable)
            << config.name << "\n" << f.dimacs();
        EXPECT_EQ(check(f, proof), DratChecker::Result::Verified)
            << config.name << (binary ? " binary" : " text") << "\n" << f.dimacs();
        ++checked;
      }
    }
    EXPECT_EQ(checked, static_cast<int>(2 * corpus.size()));
  }
}

TEST(Proof, SatisfiableRunsNeverClaimTheEmptyClause) {
  CnfGenerator gen(7);
  for (int i = 0; i < 20; ++i) {
    const Cnf f = gen.threshold3Sat(12);
    if (!quelt_test::bruteForce(f)) continue;
    std::string proof;
    ASSERT_EQ(solveWithProof(f, SearchParams(), false, proof), Solver::Satisfiable);
    // Every lemma must still be valid; only the empty clause is missing.
    EXPECT_EQ(check(f, proof), DratChecker::Result::NoEmptyClause) << f.dimacs();
  }
}

TEST(Proof, TextFormHasDimacsLinesAndDeletionsAndEndsWithTheEmptyClause) {
  std::string proof;
  SearchParams params;
  params.firstRestart = 10;
  params.learnedSizeFactor = 0.1;
  ASSERT_EQ(solveWithProof(CnfGenerator::pigeonHole(5), params, false, proof), Solver::Unsatisfiable);
  ASSERT_GE(proof.size(), 2u);
  EXPECT_EQ(proof.substr(proof.size() - 2), "0\n");
  EXPECT_NE(proof.find("\nd "), std::string::npos) << "reduction should have deleted clauses";
}

TEST(Proof, BinaryFormEncodesLiteralsInSevenBitGroups) {
  const std::string path = tempPath("encoding");
  {
    quelt::ProofWriter writer(path, true);
    const std::vector<quelt::Literal> lits = {quelt::Literal::fromDimacs(1), quelt::Literal::fromDimacs(-64),
                                              quelt::Literal::fromDimacs(100000)};
    writer.add(lits);
    writer.del(lits.data(), 1);
    writer.addEmpty();
  }
  const std::string bytes = readFile(path);
  std::remove(path.c_str());
  // 1 -> 2; -64 -> 129 = 0x81 0x01; 100000 -> 200000 = 0xC0 0x9A 0x0C.
  const std::string expected("a\x02\x81\x01\xc0\x9a\x0c\x00" "d\x02\x00" "a\x00", 13);
  EXPECT_EQ(bytes, expected);
}

TEST(Proof, AProofFileThatCannotBeOpenedThrows) {
  EXPECT_THROW(quelt::ProofWriter("/nonexistent-dir/proof", true), std::runtime_error);
}

// Tampering: the checker must not accept a proof that skips the work.
TEST(ProofChecker, RejectsTheEmptyClauseAlone) {
  const Cnf f = CnfGenerator::pigeonHole(4);
  EXPECT_EQ(check(f, "0\n"), DratChecker::Result::Failed);
}

TEST(ProofChecker, RejectsAProofWithADroppedOrFlippedLemma) {
  const Cnf f = CnfGenerator::pigeonHole(4);
  std::string proof;
  SearchParams params;
  params.usePureLiteralRule = false;
  ASSERT_EQ(solveWithProof(f, params, false, proof), Solver::Unsatisfiable);
  ASSERT_EQ(check(f, proof), DratChecker::Result::Verified);

  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < proof.size()) {
    const std::size_t end = proof.find('\n', start);
    lines.push_back(proof.substr(start, end - start));
    start = end + 1;
  }
  auto joined = [&lines](std::size_t skip, const std::string& replacement) {
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) out += (i == skip ? replacement : lines[i]) + "\n";
    return out;
  };
  // Some lemma is needed by a later one: dropping it must be caught.
  int droppedRejected = 0;
  int flippedRejected = 0;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i].rfind("d ", 0) == 0) continue;
    if (check(f, joined(i, "")) != DratChecker::Result::Verified) ++droppedRejected;
    // Flip the sign of the first literal.
    std::string flipped = lines[i];
    flipped = flipped[0] == '-' ? flipped.substr(1) : "-" + flipped;
    if (check(f, joined(i, flipped)) != DratChecker::Result::Verified) ++flippedRejected;
  }
  EXPECT_GT(droppedRejected, 0);
  EXPECT_GT(flippedRejected, 0);
}

TEST(ProofChecker, AcceptsRatLemmasAndIgnoresUnknownDeletions) {
  // x3 occurs nowhere: (3) is RAT on 3; then (-1 2), (1) etc.
  Cnf f;
  f.numVars = 3;
  f.clauses = {{1, 2}, {-1, 2}, {1, -2}, {-1, -2}};
  EXPECT_EQ(check(f, "3 0\nd 1 3 0\n2 0\n0\n"), DratChecker::Result::Verified);
  // -2 is not RAT: clauses with 2 exist whose resolvents are not implied.
  Cnf g;
  g.numVars = 2;
  g.clauses = {{1, 2}};
  EXPECT_EQ(check(g, "-2 0\n"), DratChecker::Result::Failed);
}

}  // namespace
