// The quelt program as a user meets it: each case runs the built binary and
// checks standard output, standard error and the exit status separately.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Outcome {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or -1 when the process did not exit
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A scratch directory for the whole test program.
const std::string& scratchDir() {
  static const std::string dir = [] {
    std::string tmpl = ::testing::TempDir() + "quelt-cli-XXXXXX";
    if (!mkdtemp(tmpl.data())) std::abort();
    return tmpl;
  }();
  return dir;
}

std::string writeFile(const std::string& name, const std::string& text) {
  const std::string path = scratchDir() + "/" + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// Runs the binary with args; standard input is empty.
Outcome run(const std::vector<std::string>& args) {
  static int serial = 0;
  const std::string tag = scratchDir() + "/run" + std::to_string(serial++);
  const std::string outPath = tag + ".out", errPath = tag + ".err";

  std::vector<std::string> words = {QUELT_BINARY};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  Outcome o;
  int raw = 0;
  if (pid > 0 && waitpid(pid, &raw, 0) == pid && WIFEXITED(raw)) o.status = WEXITSTATUS(raw);
  o.out = slurp(outPath);
  o.err = slurp(errPath);
  return o;
}

std::string joinLines(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

const std::string kBanner = joinLines({
    "c (*)(*)(*)(*)(*)(*)(*)(*)(*)(*)(*)(*)(*)(*)(*)(*)(*) ",
    "c (*)                                             (*) ",
    "c (*)          Quelt theorem prover               (*) ",
    "c (*)             Copyright (c) 2026              (*) ",
    "c (*)            The Quelt developers             (*) ",
    "c (*)                                             (*) ",
    "c (*)     There is NO warranty, not even for      (*) ",
    "c (*) merchantability or fitness for a particular (*) ",
    "c (*)  purpose. Please run with --license to see  (*) ",
    "c (*)              license details.               (*) ",
    "c (*)                                             (*) ",
    "c (*)(*)(*)(*)(*)(*)(*)(*)(*)(*)(*)(*)(*)(*)(*)(*)(*) ",
    "c ",
});

const std::string kHelp = joinLines({
    "",
    "General options:",
    "  --help                     Produce help message.",
    "  --hidden                   Show hidden options.",
    "  --license                  Prints license.",
    "  --model-stdout             If instance is satisfiable, dumps the model to ",
    "                             stdout.",
    "  --model-file arg           If instance is satisfiable, dumps the model to ",
    "                             file.",
    "  --tmout arg (=-1)          Timeout in seconds, negative values mean no ",
    "                             timeout, and zero value means parse only.",
    "  --stats                    Dump complete statistics at the end.",
    "  --time                     Print run time.",
    "  --version                  Print version.",
    "",
    "Supported formats:",
    "  --dimacs arg               Input file in DIMACS CNF format. ",
    "  --dimacs-stdin             Read input file from stdin in DIMACS CNF format.",
    "",
    "Predefined sets of search parameters:",
    "  --spset-default            Set default parameters.",
    "  --spset-default-inc        Default params with disabled pure literal rule.",
    "  --spset-autotuned-kz_1_0   Parameters found by an automatic ",
    "                             parameter-optimisation tool that runs an iterated ",
    "                             local search in the space of solver ",
    "                             configurations; see the paper \"Automatic algorithm",
    "                             configuration based on local search\".",
    "  --spset-autotuned-kz_1_1   Similar to the previous one, but with resolution ",
    "                             enabled.",
    "  --spset-sw-verification    Parameters optimized for software verification.",
    "",
    "Proofs of unsatisfiability:",
    "  --proof arg                Write a DRAT proof of the run to this file (binary",
    "                             DRAT unless --proof-text is given).",
    "  --proof-text               Write the proof in the text form of DRAT.",
    "",
});

const std::string kSorry = "c Sorry, hidden options are really hidden in competition release.\n";

const std::string kVersion = joinLines({
    "c Quelt $Name: quelt-1-0 $ compiled on $Date: 2007-02-09 22:14:34 $",
    "c Copyright (c) 2026 The Quelt developers",
});

// ---------------------------------------------------------------------------
// Informational output and command-line errors

struct CliCase {
  std::vector<std::string> args;
  std::string out;
  std::string err;
  int status;
};

std::string describe(const std::vector<std::string>& args) {
  std::string s = "quelt";
  for (const std::string& a : args) s += " " + a;
  return s;
}

TEST(CommandLine, InformationalOutputAndErrors) {
  const std::vector<CliCase> cases = {
      {{}, kBanner + kHelp, "", 0},
      {{"--nosplash"}, kHelp, "", 0},
      {{"--help"}, kHelp, "", 0},
      {{"--help", "--version", "--license"}, kHelp, "", 0},
      {{"--help", "--hidden"}, kSorry, "", 0},
      {{"--hidden"}, kBanner + kSorry, "", 0},
      {{"--hid", "--nosplash"}, kSorry, "", 0},
      {{"--version"}, kVersion, "", 0},
      {{"--version", "--nosplash"}, kVersion + "c \n" + kHelp, "", 0},
      {{"--stats", "--time", "--tmout", "3"}, kBanner + kHelp, "", 0},
      // Errors: the help on standard output, one line on standard error.
      {{"--bogus"}, kHelp, "Error: unrecognised option '--bogus'\n", 1},
      {{"--nosplash", "-x"}, kHelp, "Error: unrecognised option '-x'\n", 1},
      {{"--dimacs"}, kHelp, "Error: the required argument for option '--dimacs' is missing\n",
       1},
      {{"--tmout", "abc"}, kHelp,
       "Error: the argument ('abc') for option '--tmout' is invalid\n", 1},
      {{"--sp-first-restart", "1e3"}, kHelp,
       "Error: the argument ('1e3') for option '--sp-first-restart' is invalid\n", 1},
      {{"examples/demo.cnf"}, kHelp,
       "Error: too many positional options have been specified on the command line\n", 1},
      {{"--h"}, kHelp, "Error: option '--h' is ambiguous and matches '--help', and '--hidden'\n",
       1},
      {{"--version", "--bogus"}, kHelp, "Error: unrecognised option '--bogus'\n", 1},
      {{"--hidden", "--bogus"}, kSorry, "Error: unrecognised option '--bogus'\n", 1},
      {{"--help", "--hidden", "--tmout"}, kSorry,
       "Error: the required argument for option '--tmout' is missing\n", 1},
  };
  for (const CliCase& c : cases) {
    const Outcome o = run(c.args);
    EXPECT_EQ(o.out, c.out) << describe(c.args);
    EXPECT_EQ(o.err, c.err) << describe(c.args);
    EXPECT_EQ(o.status, c.status) << describe(c.args);
  }
}

TEST(CommandLine, LicenseIsFramedByAsterisks) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--license"}, {"--license", "--nosplash", "--dimacs", "x"}}) {
    const Outcome o = run(args);
    const std::string frame(80, '*');
    EXPECT_EQ(o.out.rfind(frame + "\n", 0), 0u) << describe(args);
    ASSERT_GE(o.out.size(), frame.size() + 1);
    EXPECT_EQ(o.out.substr(o.out.size() - frame.size() - 1), frame + "\n");
    EXPECT_NE(o.out.find("\nCopyright (c) 2026 The Quelt developers\n"), std::string::npos);
    EXPECT_NE(o.out.find("\nPermission is hereby granted, free of charge"), std::string::npos);
    EXPECT_NE(o.out.find("WITHOUT WARRANTY OF ANY KIND"), std::string::npos);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, 0);
  }
}

TEST(CommandLine, VersionBeforeARunAddsASeparatorAndTheBanner) {
  const std::string cnf = writeFile("version.cnf", "p cnf 2 2\n1 2 0\n-1 0\n");
  const Outcome o = run({"--version", "--dimacs", cnf});
  EXPECT_EQ(o.out.rfind(kVersion + "c \n" + kBanner, 0), 0u) << o.out;
  EXPECT_NE(o.status, 1);
}

TEST(CommandLine, BannerLinesAreFiftyFourCharactersWide) {
  std::istringstream in(run({}).out);
  std::string line;
  for (int i = 0; i < 12 && std::getline(in, line); ++i) EXPECT_EQ(line.size(), 54u) << line;
}

// ---------------------------------------------------------------------------
// Range checks of the search parameters
//
// The parameters are applied once the formula has been read, so these cases
// need a run that actually loads its input. Until the run sequence is wired
// to the engine the program stops before that point; the cases are skipped
// while it stays silent on a formula.

bool runSequenceWired() {
  return !run({"--nosplash", "--dimacs", std::string(QUELT_SOURCE_DIR) + "/examples/demo.cnf"})
              .out.empty();
}

struct BoundsCase {
  const char* option;
  const char* value;
  const char* range;  // nullptr: accepted
};

const BoundsCase kBoundsCases[] = {
    {"sp-var-dec-heur", "0", nullptr},
    {"sp-var-dec-heur", "19", nullptr},
    {"sp-var-dec-heur", "20", "Allowed range [0,19] (inclusive)"},
    {"sp-clause-del-heur", "3", "Allowed range [0,2] (inclusive)"},
    {"sp-phase-dec-heur", "-1", "Allowed range [0,6] (inclusive)"},
    {"sp-resolution", "1", nullptr},
    {"sp-variable-decay", "0", nullptr},
    {"sp-variable-decay", "10.5", "Allowed range [0,10] (inclusive)"},
    {"sp-learned-size-factor", "0.05", "Allowed range [0.1,10] (inclusive)"},
    {"sp-learned-clauses-inc", "1.1", nullptr},
    {"sp-learned-clauses-inc", "2", nullptr},
    {"sp-learned-clauses-inc", "1.05", "Allowed range [1.1,2] (inclusive)"},
    {"sp-clause-activity-inc", "-10", nullptr},
    {"sp-var-activity-inc", "-11", "Allowed range [-10,10] (inclusive)"},
    {"sp-rand-var-dec-freq", "1.01", "Allowed range [0,1] (inclusive)"},
    {"sp-first-restart", "10", nullptr},
    {"sp-first-restart", "10000", nullptr},
    {"sp-first-restart", "5", "Allowed range [10,10000] (inclusive)"},
    {"sp-first-restart", "10001", "Allowed range [10,10000] (inclusive)"},
    {"sp-res-cutoff-cls", "0", "Allowed range [1,20] (inclusive)"},
    {"sp-max-res-runs", "0", nullptr},
    {"sp-max-res-runs", "1001", "Allowed range [0,1000] (inclusive)"},
};

TEST(SearchParameters, RangeChecksOnARealRun) {
  if (!runSequenceWired()) GTEST_SKIP() << "the run sequence does not load its input yet";
  const std::string cnf = writeFile("bounds.cnf", "p cnf 3 3\n1 2 0\n-1 3 0\n-2 -3 0\n");
  for (const BoundsCase& c : kBoundsCases) {
    const std::vector<std::string> args = {"--nosplash", "--dimacs", cnf,
                                           std::string("--") + c.option, c.value};
    const Outcome o = run(args);
    if (c.range) {
      EXPECT_EQ(o.err, std::string("Parameter ") + c.option + " out of range.\n" + c.range + "\n")
          << describe(args);
      EXPECT_EQ(o.status, 1) << describe(args);
    } else {
      EXPECT_EQ(o.err, "") << describe(args);
      EXPECT_NE(o.status, 1) << describe(args);
    }
  }
}

TEST(SearchParameters, PresetsWithParametersOnARealRun) {
  if (!runSequenceWired()) GTEST_SKIP() << "the run sequence does not load its input yet";
  const std::string cnf = writeFile("presets.cnf", "p cnf 3 3\n1 2 0\n-1 3 0\n-2 -3 0\n");
  const std::vector<std::vector<std::string>> accepted = {
      {"--spset-default-inc", "--sp-use-pure-literal-rule", "true"},
      {"--spset-autotuned-kz_1_0", "--spset-sw-verification"},
      {"--spset-autotuned-kz_1_1", "--sp-update-dec-queue", "off"},
  };
  for (std::vector<std::string> args : accepted) {
    args.insert(args.begin(), {"--nosplash", "--dimacs", cnf});
    const Outcome o = run(args);
    EXPECT_EQ(o.err, "") << describe(args);
    EXPECT_NE(o.status, 1) << describe(args);
  }
}

}  // namespace
