// Several solvers at once (--threads) through the program, over random
// formulas with 2, 3 and 5 threads: the verdict of a small one is the one
// enumeration gives, the model satisfies every clause, the proof left at the requested path
// checks (whichever thread won) and nothing else is left beside it, and the
// output is a single run's plus one line naming the winner; so with the
// solvers sharing clauses (every third run, which writes no proof) or
// not. The thread count is range-checked like any option value.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "lib/parallel/Portfolio.hpp"
#include "support/cnf.hpp"
#include "support/drat_checker.hpp"
#include "support/run.hpp"

namespace {

using quelt_test::CnfGenerator;

TEST(Threads, VerdictsModelsAndProofsOverRandomFormulas) {
  const quelt_test::ScratchDir dir;
  CnfGenerator gen(2024);
  int wonByOthers = 0;
  for (int round = 0; round < 60; ++round) {
    // Small formulas, whose verdict enumeration gives, irregular ones
    // bringing units (so clauses are shortened while loading); and larger
    // ones where thread 0 is slowed down by random decisions, so that the
    // others win most of them.
    const bool small = round % 3 != 0;
    const int n = small ? gen.uniform(4, 18) : 60;
    const quelt_test::Cnf f =
        !small || round % 2 ? gen.threshold3Sat(n) : gen.irregular(n, 1, gen.uniform(n, 5 * n), false);
    const std::string cnf = dir.write("f.cnf", f.dimacs()), proof = dir.file("proof");
    const unsigned threads = round % 4 == 3 ? 5 : 2 + round % 2;
    std::vector<std::string> argv = {QUELT_BINARY, "--nosplash", "--model-stdout", "--dimacs", cnf,
                                     "--threads", std::to_string(threads)};
    const bool proving = round % 3 != 1;  // a small formula otherwise, shared or, now and then, not
    if (proving) argv.insert(argv.end(), {"--proof", proof});
    if (!proving && round % 5 == 1) argv.push_back("--no-share");
    if (proving && round % 4 >= 2) argv.push_back("--proof-text");
    std::filesystem::remove(proof);  // the last run's
    const bool preprocess = round % 5 == 0;  // then thread 2 does not
    if (preprocess) argv.push_back("--preprocess");
    if (!small) argv.insert(argv.end(), {"--sp-rand-var-dec-freq", "1", "--sp-rand-var-dec-scaling", "1"});
    const auto r = quelt_test::runProgram(argv);
    const std::string trace = f.name + " with " + std::to_string(threads) + " threads:\n" + r.out;
    EXPECT_EQ(r.err, "") << trace;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("")), {}), proving ? 2 : 1) << trace;

    std::smatch m;
    const std::regex shape("c solving [^\n]*\nc winner: thread ([0-9]+) \\(([^)\n]*)\\)\n(s [A-Z]+)\n(v [^\n]*\n)?");
    ASSERT_TRUE(std::regex_match(r.out, m, shape)) << trace;
    const unsigned winner = static_cast<unsigned>(std::stoul(m[1]));
    EXPECT_LT(winner, threads);
    EXPECT_EQ(m[2].str(), quelt::Portfolio::configurationName(winner, preprocess));
    wonByOthers += winner != 0;

    if (small) {
      EXPECT_EQ(m[3].str(), quelt_test::countModels(f, {}, 1) > 0 ? "s SATISFIABLE" : "s UNSATISFIABLE");
    }
    if (m[3].str() == "s SATISFIABLE") {
      EXPECT_EQ(r.status, 10);
      quelt_test::Assignment a(static_cast<std::size_t>(n) + 2);
      std::istringstream values(m[4].str().substr(2));
      for (int lit; values >> lit && lit != 0;) a[static_cast<std::size_t>(std::abs(lit))] = lit > 0;
      EXPECT_TRUE(quelt_test::satisfies(a, f.clauses)) << trace;
    } else {
      ASSERT_EQ(m[3].str(), "s UNSATISFIABLE") << trace;
      EXPECT_EQ(r.status, 20);
      quelt_test::DratChecker checker;
      if (proving) {
        EXPECT_EQ(checker.checkFiles(cnf, proof), quelt_test::DratChecker::Result::Verified) << trace;
      }
    }
  }
  RecordProperty("won_by_threads_other_than_0", wonByOthers);
}

TEST(Threads, TheCountIsRangeChecked) {
  for (const char* bad : {"0", "65", "-2"}) {
    const auto r = quelt_test::runProgram({QUELT_BINARY, "--nosplash", "--dimacs-stdin", "--threads", bad}, "1 0\n");
    EXPECT_EQ(r.err, std::string("Error: the argument ('") + bad + "') for option '--threads' is invalid\n");
    EXPECT_EQ(r.status, 1);
  }
  const auto r = quelt_test::runProgram({QUELT_BINARY, "--nosplash", "--dimacs-stdin", "--threads", "64"}, "1 0\n");
  EXPECT_EQ(r.status, 10);
}

}  // namespace
