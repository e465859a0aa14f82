// One run of the quelt program from input to exit status: the built binary
// is started on formulas written by the tests, and standard output, standard
// error, the exit status and any model file are compared exactly. Every
// model the program prints is checked against the formula it was given.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/cnf_check.hpp"
#include "support/quelt_run.hpp"

namespace {

using quelt_test::RunOptions;
using quelt_test::RunResult;
using quelt_test::StdinMode;

const quelt_test::ScratchDir& scratch() {
  static const quelt_test::ScratchDir dir("quelt-run-test");
  return dir;
}

// Formulas with a known outcome.
// One model only: x2 from the first two clauses, then x3, then not x1.
const std::string kSat = "c one model\np cnf 3 4\n1 2 0\n-1 2 0\n-2 3 0\n-3 -1 0\n";
const std::string kSatModel = "v -1 2 3 0\n";
const std::string kUnsat = "p cnf 2 4\n1 2 0\n-1 2 0\n1 -2 0\n-1 -2 0\n";
// Refuted while loading: the unit -1 meets the unit 1.
const std::string kUnsatAtLoad = "p cnf 2 3\n1 2 0\n1 0\n-1 0\n";

const std::string kBadCharMsg =
    " Invalid DIMACS CNF input. Press q for quit, or continue adding clauses...\n";
const std::string kPLineMsg =
    " Invalid DIMACS CNF p line, expected: p cnf #variables #clauses\n";
const std::string kStatsLine = "c Sorry, stats are not supported in competition release.\n";
const std::string kVersion =
    "c Quelt $Name: quelt-1-0 $ compiled on $Date: 2007-02-09 22:14:34 $\n"
    "c Copyright (c) 2026 The Quelt developers\n";

std::string countMsg(int declared, int added) {
  return "c DIMACS p line requires " + std::to_string(declared) +
         " clauses, while the instance contains " + std::to_string(added) + " clauses.\n";
}

std::string file(const std::string& name, const std::string& text) {
  return scratch().write(name, text);
}

RunResult run(std::vector<std::string> args, const std::string& stdinText = "",
              StdinMode mode = StdinMode::File) {
  RunOptions o;
  o.stdinText = stdinText;
  o.stdinMode = mode;
  return quelt_test::runQuelt(args, o);
}

// Checks that out carries exactly one model line and that it satisfies the
// formula text.
::testing::AssertionResult modelSatisfies(const std::string& formula, const std::string& out) {
  const auto model = quelt_test::modelFromOutput(out);
  if (!model) return ::testing::AssertionFailure() << "no well-formed model line in:\n" << out;
  const std::string problem = quelt_test::checkModel(quelt_test::parseDimacsText(formula), *model);
  if (!problem.empty()) return ::testing::AssertionFailure() << problem;
  return ::testing::AssertionSuccess();
}

bool exists(const std::string& path) { return std::filesystem::exists(path); }

// ---------------------------------------------------------------------------
// Result lines, model output and exit status

struct RunCase {
  std::string what;
  std::vector<std::string> args;  // after --nosplash
  std::string stdinText;
  std::string out;
  std::string err;
  int status;
};

TEST(RunSequence, ResultLinesAndExitStatus) {
  const std::string sat = file("sat.cnf", kSat);
  const std::string unsat = file("unsat.cnf", kUnsat);
  const std::string loadUnsat = file("load-unsat.cnf", kUnsatAtLoad);
  const std::string solving = "c solving ";
  const std::vector<RunCase> cases = {
      {"sat", {"--dimacs", sat}, "", solving + sat + "\ns SATISFIABLE\n", "", 10},
      {"sat with model", {"--dimacs", sat, "--model-stdout"}, "",
       solving + sat + "\ns SATISFIABLE\n" + kSatModel, "", 10},
      {"unsat", {"--dimacs", unsat}, "", solving + unsat + "\ns UNSATISFIABLE\n", "", 20},
      {"unsat with model", {"--dimacs", unsat, "--model-stdout"}, "",
       solving + unsat + "\ns UNSATISFIABLE\n", "", 20},
      {"sat from stdin", {"--dimacs-stdin", "--model-stdout"}, kSat, "s SATISFIABLE\n" + kSatModel,
       "", 10},
      {"unsat from stdin", {"--dimacs-stdin", "--model-stdout"}, kUnsat, "s UNSATISFIABLE\n", "",
       20},
      {"stats", {"--dimacs", unsat, "--stats"}, "",
       solving + unsat + "\ns UNSATISFIABLE\n" + kStatsLine, "", 20},
      {"stats after the model", {"--stats", "--model-stdout", "--dimacs", sat}, "",
       solving + sat + "\ns SATISFIABLE\n" + kSatModel + kStatsLine, "", 10},
      {"tmout 0", {"--dimacs", sat, "--tmout", "0", "--model-stdout"}, "",
       solving + sat + "\nc TIMEOUT\ns UNKNOWN\n", "", 0},
      {"tmout 0 from stdin", {"--dimacs-stdin", "--tmout", "0"}, kUnsat,
       "c TIMEOUT\ns UNKNOWN\n", "", 0},
      {"tmout 0, refuted while loading", {"--dimacs", loadUnsat, "--tmout", "0"}, "",
       solving + loadUnsat + "\ns UNSATISFIABLE\n", "", 20},
      {"tmout -1", {"--dimacs", sat, "--tmout", "-1", "--model-stdout"}, "",
       solving + sat + "\ns SATISFIABLE\n" + kSatModel, "", 10},
      {"tmout -5", {"--dimacs", sat, "--tmout", "-5", "--model-stdout"}, "",
       solving + sat + "\ns SATISFIABLE\n" + kSatModel, "", 10},
      {"tmout most negative", {"--dimacs", unsat, "--tmout=-2147483648"}, "",
       solving + unsat + "\ns UNSATISFIABLE\n", "", 20},
      {"tmout generous", {"--dimacs", unsat, "--tmout", "60"}, "",
       solving + unsat + "\ns UNSATISFIABLE\n", "", 20},
      {"tmout largest", {"--dimacs", unsat, "--tmout", "2147483647"}, "",
       solving + unsat + "\ns UNSATISFIABLE\n", "", 20},
      {"file wins over stdin", {"--dimacs-stdin", "--dimacs", sat, "--model-stdout"}, kUnsat,
       solving + sat + "\ns SATISFIABLE\n" + kSatModel, "", 10},
      {"missing file", {"--dimacs", scratch().file("no-such.cnf")}, "", "",
       "Can't open the input file. Exiting...\n", 1},
      // A directory opens, but reading it fails.
      {"directory as input", {"--dimacs", scratch().path()}, "", solving + scratch().path() + "\n",
       "Can't open the input file. Exiting...\n", 1},
  };
  for (const RunCase& c : cases) {
    std::vector<std::string> args = {"--nosplash"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult r = run(args, c.stdinText);
    SCOPED_TRACE(c.what + ": " + quelt_test::describeCommand(args));
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, c.status);
  }
}

TEST(RunSequence, SolvingLineNamesTheFileAsGiven) {
  std::filesystem::create_directories(scratch().file("named/sub"));
  scratch().write("named/f.cnf", kSat);
  RunOptions o;
  o.workDir = scratch().file("named");
  for (const std::string& name : std::vector<std::string>{"f.cnf", "./f.cnf", "sub/../f.cnf",
                                                          scratch().file("named/f.cnf")}) {
    const RunResult r = quelt_test::runQuelt({"--nosplash", "--dimacs", name}, o);
    EXPECT_EQ(r.out, "c solving " + name + "\ns SATISFIABLE\n");
    EXPECT_EQ(r.status, 10);
  }
}

TEST(RunSequence, RuntimeLineComesLast) {
  const std::string sat = file("time.cnf", kSat);
  const std::regex runtime("c runtime [0-9]+\\.[0-9]{2} \\[s\\]\n");
  struct TimeCase {
    std::vector<std::string> args;
    std::string before;
    int status;
  };
  const std::vector<TimeCase> cases = {
      {{"--nosplash", "--dimacs", sat, "--time"}, "c solving " + sat + "\ns SATISFIABLE\n", 10},
      {{"--nosplash", "--time", "--stats", "--model-stdout", "--dimacs", sat},
       "c solving " + sat + "\ns SATISFIABLE\n" + kSatModel + kStatsLine, 10},
      {{"--nosplash", "--time", "--dimacs-stdin", "--tmout", "0"}, "c TIMEOUT\ns UNKNOWN\n", 0},
  };
  for (const TimeCase& c : cases) {
    const RunResult r = run(c.args, kSat);
    SCOPED_TRACE(quelt_test::describeCommand(c.args));
    ASSERT_EQ(r.out.rfind(c.before, 0), 0u) << r.out;
    EXPECT_TRUE(std::regex_match(r.out.substr(c.before.size()), runtime))
        << r.out.substr(c.before.size());
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, c.status);
  }
}

TEST(RunSequence, ModelFile) {
  const std::string sat = file("mf-sat.cnf", kSat);
  const std::string unsat = file("mf-unsat.cnf", kUnsat);

  // Satisfiable: the model goes to the file only.
  const std::string m1 = scratch().file("model1.txt");
  RunResult r = run({"--nosplash", "--dimacs", sat, "--model-file", m1});
  EXPECT_EQ(r.out, "c solving " + sat + "\ns SATISFIABLE\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 10);
  EXPECT_EQ(quelt_test::readWholeFile(m1), kSatModel);

  // An existing file is truncated.
  const std::string m2 = scratch().write("model2.txt", std::string(500, 'x') + "\n");
  r = run({"--nosplash", "--dimacs-stdin", "--model-file", m2}, kSat);
  EXPECT_EQ(r.out, "s SATISFIABLE\n");
  EXPECT_EQ(r.status, 10);
  EXPECT_EQ(quelt_test::readWholeFile(m2), kSatModel);

  // Unsatisfiable, or no verdict: no file is created.
  const std::string m3 = scratch().file("model3.txt");
  r = run({"--nosplash", "--dimacs", unsat, "--model-file", m3});
  EXPECT_EQ(r.out, "c solving " + unsat + "\ns UNSATISFIABLE\n");
  EXPECT_EQ(r.status, 20);
  EXPECT_FALSE(exists(m3));
  r = run({"--nosplash", "--dimacs", sat, "--model-file", m3, "--tmout", "0"});
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(exists(m3));

  // --model-stdout wins: the model on standard output, no file.
  const std::string m4 = scratch().file("model4.txt");
  r = run({"--nosplash", "--model-file", m4, "--dimacs", sat, "--model-stdout"});
  EXPECT_EQ(r.out, "c solving " + sat + "\ns SATISFIABLE\n" + kSatModel);
  EXPECT_EQ(r.status, 10);
  EXPECT_FALSE(exists(m4));

  // A file that cannot be opened: one line naming it, verdict unchanged.
  for (const std::string& bad :
       {scratch().file("no-such-dir/model.txt"), scratch().path()}) {
    r = run({"--nosplash", "--dimacs", sat, "--model-file", bad, "--stats"});
    EXPECT_EQ(r.out, "c solving " + sat + "\ns SATISFIABLE\n" + kStatsLine);
    EXPECT_EQ(r.err, "Can't open the model file " + bad + ".\n");
    EXPECT_EQ(r.status, 10);
  }
  // ... which is not even tried when there is no model.
  r = run({"--nosplash", "--dimacs", unsat, "--model-file", scratch().file("no-such-dir/m")});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 20);
}

TEST(RunSequence, VersionBeforeARun) {
  const std::string sat = file("version.cnf", kSat);
  const RunResult plain = run({"--dimacs", sat});
  const RunResult versioned = run({"--version", "--dimacs", sat});
  // Without --nosplash the banner comes first: comment lines only.
  const std::string tail = "c solving " + sat + "\ns SATISFIABLE\n";
  ASSERT_GT(plain.out.size(), tail.size());
  EXPECT_EQ(plain.out.substr(plain.out.size() - tail.size()), tail);
  const std::string banner = plain.out.substr(0, plain.out.size() - tail.size());
  std::istringstream lines(banner);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    EXPECT_EQ(line.rfind("c ", 0), 0u) << line;
    ++count;
  }
  EXPECT_GE(count, 2);
  EXPECT_EQ(versioned.out, kVersion + "c \n" + plain.out);
  EXPECT_EQ(versioned.err, "");
  EXPECT_EQ(versioned.status, 10);
}

// ---------------------------------------------------------------------------
// Input that does not give a formula

TEST(RunSequence, FilesWithoutClauses) {
  const std::string noClauses = "No clauses successfully parsed. Exiting...\n";
  struct Case {
    std::string text;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"c only\nc comments\n", noClauses},
      {"", noClauses},
      {"p cnf 1 1\n0\n", noClauses},  // the empty clause is not counted
      {"p cnf 3 2\n1 -1 0\n2 -2 3 0\n", noClauses},  // tautologies only
      {"p cnf 2 2\n", countMsg(2, 0) + noClauses},
  };
  int i = 0;
  for (const Case& c : cases) {
    const std::string path = file("empty" + std::to_string(i++) + ".cnf", c.text);
    const RunResult r = run({"--nosplash", "--dimacs", path, "--model-stdout"});
    SCOPED_TRACE(c.text);
    EXPECT_EQ(r.out, "c solving " + path + "\n");
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, 1);
  }
}

TEST(RunSequence, StandardInputWithoutClausesIsSatisfiable) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"p cnf 0 0\n", ""},
      {"p cnf 3 0\n", ""},
      {"c nothing\nc at all", ""},
      {"p cnf 3 2\n", countMsg(2, 0)},
  };
  for (const auto& [text, err] : cases) {
    for (StdinMode mode : {StdinMode::File, StdinMode::Pipe}) {
      const RunResult r = run({"--nosplash", "--dimacs-stdin", "--model-stdout"}, text, mode);
      SCOPED_TRACE(text);
      EXPECT_EQ(r.out, "s SATISFIABLE\nv 0\n");
      EXPECT_EQ(r.err, err);
      EXPECT_EQ(r.status, 10);
    }
  }
}

TEST(RunSequence, NoVerdictAfterAnUnreadableNumber) {
  struct Case {
    std::string text;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"1 2 0\n-2147483648 0\n", "Invalid input.\n"},
      {"1 2 0\n3 -2147483648 0\n-1 0\n", "Invalid input.\n"},
      {"1 2 0\n2147483648 0\n", "Invalid input.\n"},
      {"p cnf 5 3\n1 2 0\n4 99999999999 0\n4 5 0\n", "Invalid input.\n" + countMsg(3, 1)},
      // Unsatisfiable as far as it was read: still no verdict.
      {"1 0\n-1 0\n2147483648 0\n", "Invalid input.\n"},
      {"p cnf x y\n1 2 0\n", "Invalid input.\n"},
      {"p cnf -x 2\n1 2 0\n", "Invalid input.\n"},
      {"p dnf many 3\n1 2 0\n", kPLineMsg + "Invalid input.\n"},
      {"1 2 0\n-", ""},  // a trailing dash is dropped: this one solves
  };
  int i = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string path = file("invalid" + std::to_string(i++) + ".cnf", c.text);
    const bool solves = c.err.empty();
    const RunResult f = run({"--nosplash", "--dimacs", path, "--model-stdout"});
    EXPECT_EQ(f.err, c.err);
    if (solves) {
      EXPECT_EQ(f.status, 10);
      EXPECT_TRUE(modelSatisfies(c.text, f.out));
    } else {
      EXPECT_EQ(f.out, "c solving " + path + "\n");
      EXPECT_EQ(f.status, 1);
    }
    for (StdinMode mode : {StdinMode::File, StdinMode::Pipe}) {
      const RunResult s = run({"--nosplash", "--dimacs-stdin", "--model-stdout"}, c.text, mode);
      EXPECT_EQ(s.err, c.err);
      if (solves) {
        EXPECT_EQ(s.status, 10);
      } else {
        EXPECT_EQ(s.out, "");
        EXPECT_EQ(s.status, 1);
      }
    }
  }
}

TEST(RunSequence, ReaderWarningsDoNotStopTheRun) {
  struct Case {
    std::string text;
    std::string err;
    std::string verdict;
    int status;
  };
  const std::vector<Case> cases = {
      {"p dnf 3 4\n1 2 0\n-1 2 0\n-2 3 0\n-3 -1 0\n", kPLineMsg, "s SATISFIABLE\n", 10},
      {"p cnf 3 4\n1 x 2 0\n-1 2 0\n-2 3 0\n-3 -1 0\n", kBadCharMsg, "s SATISFIABLE\n", 10},
      {"p cnf 3 9\n1 2 0\n-1 2 0\n-2 3 0\n-3 -1 0\n", countMsg(9, 4), "s SATISFIABLE\n", 10},
      {"p cnf 3 2\n1 2 0\n-1 2 0\n-2 3 0\n-3 -1 0\n", countMsg(2, 4), "s SATISFIABLE\n", 10},
      {"p cnf 3 5\n1 2 0\n-1 2 0\n-2 3 0\n-3 -1 0\n-2 -3", countMsg(5, 4), "s SATISFIABLE\n", 10},
      {"p cnf 2 4\n1 2 0\n-1 2 0\n1 -2 0\n%\n0\n", kBadCharMsg, "s UNSATISFIABLE\n", 20},
      {"1 2 0\n-1 2 0\n1 -2 0\n-1 -2 0\nq\n", "", "s UNSATISFIABLE\n", 20},
      {"1 2 0\n-1 2 0\nq\n1 -2 0\n-1 -2 0\n", "", "s SATISFIABLE\n", 10},
  };
  int i = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string path = file("warn" + std::to_string(i++) + ".cnf", c.text);
    const RunResult f = run({"--nosplash", "--dimacs", path, "--model-stdout"});
    EXPECT_EQ(f.err, c.err);
    EXPECT_EQ(f.status, c.status);
    EXPECT_EQ(f.out.rfind("c solving " + path + "\n" + c.verdict, 0), 0u) << f.out;
    // Through a pipe the program may stop reading at the q before the rest
    // is written.
    const RunResult s = run({"--nosplash", "--dimacs-stdin", "--model-stdout"}, c.text,
                            StdinMode::Pipe);
    EXPECT_EQ(s.err, c.err);
    EXPECT_EQ(s.status, c.status);
    EXPECT_EQ(s.out.rfind(c.verdict, 0), 0u) << s.out;
    if (c.status == 10) {
      // What was read before a q is what the model must satisfy.
      const std::string read = c.text.substr(0, c.text.find('q'));
      EXPECT_TRUE(modelSatisfies(read, f.out));
      EXPECT_TRUE(modelSatisfies(read, s.out));
      EXPECT_EQ(quelt_test::modelFromOutput(f.out), quelt_test::modelFromOutput(s.out));
    }
  }
}

TEST(RunSequence, ExceptionWhileReading) {
  if (quelt_test::kSanitizedBuild)
    GTEST_SKIP() << "allocation failures end the process under AddressSanitizer";
  // A literal with the largest index asks for two billion variable records;
  // with the address space capped, creating them fails with an exception.
  const std::string text = "p cnf 2 2\n1 0\n-2147483647 1 0\n";
  RunOptions o;
  o.addressSpaceLimit = std::size_t{1} << 30;
  o.stdinText = text;
  const RunResult s = quelt_test::runQuelt({"--nosplash", "--dimacs-stdin"}, o);
  EXPECT_EQ(s.out, "");
  EXPECT_NE(s.err.find("standard input"), std::string::npos) << s.err;
  EXPECT_EQ(s.err.back(), '\n');
  EXPECT_EQ(s.status, 1);

  const std::string path = file("huge-index.cnf", text);
  const RunResult f = quelt_test::runQuelt({"--nosplash", "--dimacs", path}, o);
  EXPECT_EQ(f.out, "c solving " + path + "\n");
  EXPECT_EQ(f.err, "Can't open the input file. Exiting...\n");
  EXPECT_EQ(f.status, 1);
}

// ---------------------------------------------------------------------------
// Search parameters reach the search

TEST(RunSequence, DecisionOrderFollowsTheOptions) {
  // One clause over two variables, no randomness, phase always false: the
  // first decision sets one variable false and propagation makes the other
  // true, so the model shows which variable the queue offered first.
  const std::string path = file("order.cnf", "p cnf 2 1\n1 2 0\n");
  const std::vector<std::string> fixed = {
      "--nosplash",         "--dimacs", path, "--model-stdout", "--sp-phase-dec-heur", "0",
      "--sp-rand-var-dec-freq", "0", "--sp-rand-phase-dec-freq", "0",
      "--sp-use-pure-literal-rule", "false"};
  struct Case {
    std::vector<std::string> extra;
    std::string model;
  };
  const std::vector<Case> cases = {
      {{"--sp-var-dec-heur", "16"}, "v -1 2 0\n"},  // smaller variables first
      {{"--sp-var-dec-heur", "17"}, "v 1 -2 0\n"},  // larger variables first
      {{"--spset-sw-verification", "--sp-var-dec-heur", "17"}, "v 1 -2 0\n"},
      {{"--sp-var-dec-heur", "16", "--spset-autotuned-kz_1_0"}, "v -1 2 0\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = fixed;
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const RunResult r = run(args);
    SCOPED_TRACE(quelt_test::describeCommand(args));
    EXPECT_EQ(r.out, "c solving " + path + "\ns SATISFIABLE\n" + c.model);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 10);
  }
}

TEST(RunSequence, PresetsSolveCorrectly) {
  // Every preset, and some parameter choices that change the derived limits,
  // on one satisfiable and one unsatisfiable formula that need search.
  std::mt19937 gen(77);
  std::string satText, unsatText;
  {
    // Pigeons: 6 into 5 holes.
    const int holes = 5;
    std::ostringstream u;
    auto var = [](int p, int h) { return p * holes + h + 1; };
    for (int p = 0; p <= holes; ++p) {
      for (int h = 0; h < holes; ++h) u << var(p, h) << ' ';
      u << "0\n";
    }
    for (int h = 0; h < holes; ++h)
      for (int p = 0; p <= holes; ++p)
        for (int q = p + 1; q <= holes; ++q) u << -var(p, h) << ' ' << -var(q, h) << " 0\n";
    unsatText = u.str();
    // A planted model: random 3-clauses over 80 variables, each satisfied by
    // the hidden assignment.
    std::vector<bool> hidden(81);
    for (int v = 1; v <= 80; ++v) hidden[v] = gen() & 1;
    std::ostringstream s;
    std::uniform_int_distribution<int> pick(1, 80);
    for (int c = 0; c < 330; ++c) {
      int lits[3];
      bool ok = false;
      while (!ok) {
        for (int& l : lits) l = (gen() & 1) ? pick(gen) : -pick(gen);
        for (int l : lits) ok = ok || (hidden[std::abs(l)] == (l > 0));
      }
      s << lits[0] << ' ' << lits[1] << ' ' << lits[2] << " 0\n";
    }
    satText = s.str();
  }
  const std::string sat = file("preset-sat.cnf", satText);
  const std::string unsat = file("preset-unsat.cnf", unsatText);
  const std::vector<std::vector<std::string>> settings = {
      {},
      {"--spset-default"},
      {"--spset-default-inc"},
      {"--spset-autotuned-kz_1_0"},
      {"--spset-autotuned-kz_1_1"},
      {"--spset-sw-verification"},
      {"--sp-first-restart", "10", "--sp-learned-size-factor", "0.1"},
      {"--sp-var-dec-heur", "19", "--sp-resolution", "2"},
      {"--sp-var-dec-heur", "8", "--sp-clause-del-heur", "2", "--sp-update-dec-queue", "true"},
  };
  for (const auto& extra : settings) {
    for (const auto& [path, text, status] :
         {std::tuple{sat, satText, 10}, std::tuple{unsat, unsatText, 20}}) {
      std::vector<std::string> args = {"--nosplash", "--dimacs", path, "--model-stdout"};
      args.insert(args.end(), extra.begin(), extra.end());
      const RunResult r = run(args);
      SCOPED_TRACE(quelt_test::describeCommand(args));
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(r.status, status);
      if (status == 10) {
        EXPECT_TRUE(modelSatisfies(text, r.out));
      } else {
        EXPECT_EQ(r.out, "c solving " + path + "\ns UNSATISFIABLE\n");
      }
    }
  }
}

// ---------------------------------------------------------------------------
// The same formula from a file and from standard input

std::string random3Cnf(std::mt19937& gen, int vars, int clauses) {
  std::uniform_int_distribution<int> pick(1, vars);
  std::ostringstream s;
  s << "p cnf " << vars << ' ' << clauses << '\n';
  for (int c = 0; c < clauses; ++c) {
    int a = pick(gen), b, d;
    do b = pick(gen); while (b == a);
    do d = pick(gen); while (d == a || d == b);
    for (int v : {a, b, d}) s << ((gen() & 1) ? v : -v) << ' ';
    s << "0\n";
  }
  return s.str();
}

std::string resultLines(const std::string& out) {
  std::istringstream in(out);
  std::string line, kept;
  while (std::getline(in, line))
    if (line.rfind("c solving ", 0) != 0) kept += line + "\n";
  return kept;
}

TEST(RunSequence, FileAndStandardInputAgree) {
  std::mt19937 gen(4242);
  int satCount = 0, unsatCount = 0;
  for (int i = 0; i < 12; ++i) {
    const int vars = 16 + i % 5;
    const std::string text = random3Cnf(gen, vars, static_cast<int>(4.3 * vars));
    SCOPED_TRACE(text);
    const std::string path = file("agree" + std::to_string(i) + ".cnf", text);
    const RunResult f = run({"--nosplash", "--dimacs", path, "--model-stdout"});
    const RunResult s = run({"--nosplash", "--dimacs-stdin", "--model-stdout"}, text);
    const RunResult p =
        run({"--nosplash", "--dimacs-stdin", "--model-stdout"}, text, StdinMode::Pipe);
    const bool expected = quelt_test::bruteForceSatisfiable(quelt_test::parseDimacsText(text));
    (expected ? satCount : unsatCount)++;
    EXPECT_EQ(f.status, expected ? 10 : 20);
    EXPECT_EQ(f.err, "");
    EXPECT_EQ(f.out.rfind("c solving " + path + "\n", 0), 0u);
    EXPECT_EQ(resultLines(f.out), s.out);
    EXPECT_EQ(s.out, p.out);
    EXPECT_EQ(s.status, f.status);
    EXPECT_EQ(p.status, f.status);
    if (expected) {
      EXPECT_TRUE(modelSatisfies(text, f.out));
    } else {
      EXPECT_EQ(s.out, "s UNSATISFIABLE\n");
    }
  }
  // Both verdicts were exercised.
  EXPECT_GT(satCount, 0);
  EXPECT_GT(unsatCount, 0);
}

}  // namespace
