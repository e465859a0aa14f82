// Watching and stopping long runs through the program: an interrupt ends
// the search with a result, the figures and a proof that checks as far as it
// goes; a second interrupt ends the process at once; the progress table
// leaves the search alone; the memory limit stops a growing search. With
// several threads, every stop reaches all of them.
//
// Nothing here waits for a length of time: a signal is sent once the
// process shows (in /proc) that its handler is installed, or has run, and
// once the progress table shows that the search has begun.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <sstream>

#include "support/cnf.hpp"
#include "support/drat_checker.hpp"
#include "support/run.hpp"

namespace {

using quelt_test::CnfGenerator;
using quelt_test::ScratchDir;

// The program running in the background, its standard input an open pipe.
class Child {
 public:
  Child(const ScratchDir& dir, std::vector<std::string> argv) : out(dir.file("out")) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    pid = fork();
    if (pid == 0) {
      dup2(fds[0], 0);
      close(fds[1]);
      dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
      dup2(open("/dev/null", O_WRONLY), 2);
      execv(args[0], args.data());
      _exit(127);
    }
    close(fds[0]);
    input = fds[1];
  }
  ~Child() {
    if (pid > 0) kill(pid, SIGKILL), finish();
  }

  // Whether the process has a handler for signal now.
  bool catches(int signal) const {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    return false;
  }
  void waitUntilCatches(int signal, bool yes) const {
    while (catches(signal) != yes) usleep(1000);
  }
  void waitForOutput(const std::string& text) const {
    while (quelt_test::readFile(out).find(text) == std::string::npos) usleep(1000);
  }
  void signal(int s) const { kill(pid, s); }
  // The raw wait status.
  int finish() {
    close(input);
    int raw = 0;
    waitpid(pid, &raw, 0);
    pid = -1;
    return raw;
  }
  std::string output() const { return quelt_test::readFile(out); }

 private:
  std::string out;
  pid_t pid = -1;
  int input = -1;
};

// Pigeons into too few holes: far more search than any test waits for.
std::string hard() { return CnfGenerator::pigeonHole(11).dimacs(); }

TEST(RunControl, AnInterruptEndsTheSearchWithAResultAndAProofPrefix) {
  const ScratchDir dir;
  const std::string cnf = dir.write("f.cnf", hard()), proof = dir.file("proof");
  for (int signal : {SIGINT, SIGTERM}) {
    Child child(dir, {QUELT_BINARY, "--nosplash", "--dimacs", cnf, "--proof", proof, "--progress", "--time"});
    child.waitUntilCatches(signal, true);
    child.waitForOutput("red-limit");  // the first restart is behind
    child.signal(signal);
    const int raw = child.finish();
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 0);
    const std::string name = signal == SIGINT ? "SIGINT" : "SIGTERM";
    EXPECT_TRUE(std::regex_search(child.output(), std::regex("\nc INTERRUPTED by " + name +
                                                             "\ns UNKNOWN\nc runtime [0-9.]+ \\[s\\]\n$")))
        << child.output();
    quelt_test::DratChecker checker;
    EXPECT_EQ(checker.checkFiles(cnf, proof), quelt_test::DratChecker::Result::NoEmptyClause);
    // At least the lemmas of the search up to the first restart, at 100
    // conflicts (99 lemmas when the signal lands at once, as it can in a
    // slow sanitizer build; a fast build gets far more in before it).
    EXPECT_GE(checker.lemmaCount(), 90u);
  }
}

TEST(RunControl, ASecondInterruptEndsTheProcessAtOnce) {
  const ScratchDir dir;
  // Blocked on its input, which never comes.
  Child child(dir, {QUELT_BINARY, "--nosplash", "--dimacs-stdin"});
  child.waitUntilCatches(SIGINT, true);
  child.signal(SIGINT);
  child.waitUntilCatches(SIGINT, false);  // the first one was taken
  child.signal(SIGINT);
  const int raw = child.finish();
  ASSERT_TRUE(WIFSIGNALED(raw));
  EXPECT_EQ(WTERMSIG(raw), SIGINT);
}

// With --preprocess, one line before the table says what preprocessing did;
// with --modern, a column gives the mode and a line tells each simplification
// round's work.
TEST(RunControl, TheProgressTableLeavesTheSearchAlone) {
  const ScratchDir dir;
  // The modern search needs a harder one to reach its first round: 9
  // pigeons in 8 holes.
  const std::string small = dir.write("f.cnf", CnfGenerator(5).threshold3Sat(120).dimacs());
  const std::string large = dir.write("g.cnf", CnfGenerator::pigeonHole(8).dimacs());
  for (int run = 0; run < 3; ++run) {
    const bool preprocess = run == 1, modern = run == 2;
    const std::string& cnf = modern ? large : small;
    std::vector<std::string> argv = {QUELT_BINARY, "--nosplash", "--model-stdout", "--dimacs", cnf};
    if (preprocess) argv.push_back("--preprocess");
    if (modern) argv.push_back("--modern");
    const auto plain = quelt_test::runProgram(argv);
    argv.push_back("--progress");
    const auto watched = quelt_test::runProgram(argv);
    EXPECT_EQ(watched.status, plain.status);
    // Header, rows of nine right-aligned columns, and the rest as without.
    const std::string header = std::string("c   seconds conflicts decisions   props/s   learned     fixed      elim ") +
                               "rst-limit red-limit" + (modern ? "      mode" : "") + "\n";
    const std::regex row(std::string("c {0,9}[0-9]+\\.[0-9]( {0,9}[0-9.]+[kMG]?| +-| +off){8}") +
                         (modern ? "( +focused| +stable)" : "") + "\n");
    const std::regex round(
        "c simplification round [0-9]+: [0-9]+ failed literals, [0-9]+ clauses vivified \\([0-9]+ literals removed\\), "
        "[0-9]+ variables eliminated, [0-9]+ substituted\n");
    const std::regex summary(
        "c preprocessing: [0-9]+ rounds? in [0-9]+\\.[0-9]{2} s, [0-9]+ variables eliminated, [0-9]+ substituted, "
        "[0-9]+ failed literals, [0-9]+ fixed; [0-9]+ clauses subsumed, [0-9]+ strengthened; [0-9]+ -> [0-9]+ "
        "clauses\n");
    std::istringstream lines(watched.out);
    std::string rest, line;
    int rows = 0, summaries = 0, rounds = 0;
    bool headerSeen = false;
    while (std::getline(lines, line)) {
      line += '\n';
      if (line == header) headerSeen = true;
      else if (std::regex_match(line, row) && line.size() == header.size()) ++rows;
      else if (std::regex_match(line, summary)) ++summaries;
      else if (std::regex_match(line, round)) ++rounds;
      else rest += line;
    }
    EXPECT_TRUE(headerSeen);
    EXPECT_GE(rows, 2) << watched.out;  // the first restart and the end
    EXPECT_EQ(summaries, preprocess ? 1 : 0) << watched.out;
    if (modern) EXPECT_GE(rounds, 1) << watched.out;
    else EXPECT_EQ(rounds, 0) << watched.out;
    EXPECT_EQ(rest, plain.out);
  }
}

TEST(RunControl, TheMemoryLimitStopsAGrowingSearch) {
  const ScratchDir dir;
  // About 0.9 MB of clauses: the learned ones soon pass 1 MB.
  const std::string cnf = dir.write("f.cnf", CnfGenerator(3).threshold3Sat(9000).dimacs());
  const auto r = quelt_test::runProgram({QUELT_BINARY, "--nosplash", "--dimacs", cnf, "--mem-limit", "1"});
  EXPECT_EQ(r.out, "c solving " + cnf + "\ns UNKNOWN\n");
  EXPECT_EQ(r.err, "The clauses would take more than the memory limit of 1 MB. Stopping.\n");
  EXPECT_EQ(r.status, 0);
}

TEST(RunControl, EveryStopReachesEveryThread) {
  const ScratchDir dir;
  const std::string cnf = dir.write("f.cnf", hard()), proof = dir.file("proof");
  // A limit reached at once, CPU or wall-clock: no thread searches on.
  for (const char* limit : {"--tmout", "--wall-tmout"}) {
    const auto r = quelt_test::runProgram(
        {QUELT_BINARY, "--nosplash", "--dimacs", cnf, "--threads", "3", limit, "0", "--proof", proof});
    EXPECT_EQ(r.out, "c solving " + cnf + "\nc TIMEOUT\ns UNKNOWN\n") << limit;
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("")), {}), 2) << "only f.cnf and proof";
  }
  // An interrupt, once thread 0 (the one the table follows) has searched.
  Child child(dir, {QUELT_BINARY, "--nosplash", "--dimacs", cnf, "--threads", "3", "--proof", proof, "--progress"});
  child.waitUntilCatches(SIGINT, true);
  child.waitForOutput("red-limit");
  child.signal(SIGINT);
  const int raw = child.finish();
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 0);
  EXPECT_TRUE(std::regex_search(child.output(), std::regex("\nc INTERRUPTED by SIGINT\ns UNKNOWN\n$")))
      << child.output();
  quelt_test::DratChecker checker;
  EXPECT_EQ(checker.checkFiles(cnf, proof), quelt_test::DratChecker::Result::NoEmptyClause);
  // Each thread's clauses get a share of the memory limit; when all of them
  // have reached it, the run stops as a single one does.
  const std::string big = dir.write("big.cnf", CnfGenerator(3).threshold3Sat(9000).dimacs());
  const auto r =
      quelt_test::runProgram({QUELT_BINARY, "--nosplash", "--dimacs", big, "--mem-limit", "2", "--threads", "2"});
  EXPECT_EQ(r.out, "c solving " + big + "\ns UNKNOWN\n");
  EXPECT_EQ(r.err, "The clauses would take more than the memory limit of 2 MB. Stopping.\n");
  EXPECT_EQ(r.status, 0);
}

}  // namespace
