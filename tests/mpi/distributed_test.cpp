// quelt-mpi through the MPI launcher, three ranks on this machine: its
// output is quelt's for the same formula, with the winner named and the
// exchange's figures; a formula it cannot read is reported once; a signal,
// to the launcher or to one rank, stops every rank.
//
// Nothing waits for a length of time: signals are sent once every rank
// shows (in /proc) that its handler is installed. The launcher is run with
// Open MPI's options for a test machine (root, more ranks than cores), or
// as it is for MPICH's; the tests skip when it cannot start quelt-mpi's ranks.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "support/cnf.hpp"
#include "support/run.hpp"

namespace {

namespace fs = std::filesystem;
using quelt_test::RunResult;
using quelt_test::ScratchDir;

bool isOpenMpi() {
  static const std::string version = quelt_test::runProgram({QUELT_MPIEXEC, "--version"}).out;
  return version.find("Open MPI") != std::string::npos || version.find("OpenRTE") != std::string::npos;
}

// The launcher's command for ranks ranks of quelt-mpi with args, rounds
// every 20 ms unless args set them.
std::vector<std::string> command(int ranks, const std::vector<std::string>& args) {
  std::vector<std::string> c = {QUELT_MPIEXEC};
  if (isOpenMpi()) c.insert(c.end(), {"--oversubscribe", "--allow-run-as-root"});
  c.insert(c.end(), {"-np", std::to_string(ranks), QUELT_MPI_BINARY, "--nosplash"});
  if (std::find(args.begin(), args.end(), "--share-interval") == args.end())
    c.insert(c.end(), {"--share-interval", "20"});
  c.insert(c.end(), args.begin(), args.end());
  return c;
}

// Whether the launcher runs quelt-mpi as one job of several ranks (not as
// separate single processes, which a launcher of another MPI would do).
bool launcherWorks() {
  static const bool works =
      quelt_test::runProgram(command(2, {"--dimacs", QUELT_SOURCE_DIR "/examples/demo.cnf"})).out.find(
          "c mpi exchange: 2 ranks of 1 thread") != std::string::npos;
  return works;
}
#define REQUIRE_LAUNCHER() \
  if (!launcherWorks()) GTEST_SKIP() << QUELT_MPIEXEC " does not start quelt-mpi as one job"

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Whether the literals of the v line satisfy every clause of the DIMACS text.
bool modelSatisfies(const std::string& vLine, const std::string& dimacs) {
  std::set<int> model;
  std::istringstream v(vLine.substr(2));
  for (int l; v >> l && l != 0;) model.insert(l);
  std::istringstream in(dimacs);
  bool satisfied = false;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == 'c' || line[0] == 'p') continue;
    std::istringstream ls(line);
    for (int l; ls >> l;) {
      if (l != 0) satisfied = satisfied || model.count(l) != 0;
      else if (!satisfied) return false;
      else satisfied = false;
    }
  }
  return true;
}

TEST(Distributed, RankZeroPrintsWhatQueltPrintsAndNamesTheWinner) {
  REQUIRE_LAUNCHER();
  std::vector<std::string> files;
  for (const char* dir : {"/examples", "/tests/regressions"})
    for (const auto& e : fs::directory_iterator(QUELT_SOURCE_DIR + std::string(dir)))
      if (e.is_regular_file()) files.push_back(e.path().string());
  for (const char* small : {"/cnf/ais10.cnf.xz", "/cnf/AProVE09-11.cnf.xz"})
    if (fs::exists(QUELT_BENCH_DIR + std::string(small))) files.push_back(QUELT_BENCH_DIR + std::string(small));
  std::sort(files.begin(), files.end());
  const std::regex winner("c winner: rank [0-2] thread 0 \\(.+\\)");
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    const RunResult single = quelt_test::runProgram({QUELT_BINARY, "--nosplash", "--dimacs", f, "--model-stdout"});
    const RunResult run = quelt_test::runProgram(command(3, {"--dimacs", f, "--model-stdout"}));
    ASSERT_EQ(run.status, single.status);
    ASSERT_TRUE(single.status == 10 || single.status == 20);
    // Beside quelt's lines: the figures, then the winner just before the s line.
    std::vector<std::string> expected, got;
    std::string model;
    std::size_t figures = 0;
    const std::vector<std::string> out = lines(run.out);
    for (std::size_t i = 0; i < out.size(); ++i) {
      if (out[i].rfind("c mpi exchange: ", 0) == 0) ++figures;
      else if (out[i].rfind("c winner: ", 0) == 0) {
        EXPECT_TRUE(std::regex_match(out[i], winner)) << out[i];
        ASSERT_LT(i + 1, out.size());
        EXPECT_EQ(out[i + 1].rfind("s ", 0), 0u);
      } else if (out[i].rfind("v ", 0) == 0) model = out[i];
      else got.push_back(out[i]);
    }
    for (const std::string& l : lines(single.out))
      if (l.rfind("v ", 0) != 0) expected.push_back(l);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(figures, 5u);
    EXPECT_EQ(count(run.out, "c mpi exchange: 3 ranks of 1 thread, "), 1u);
    EXPECT_EQ(count(run.out, "c winner: "), 1u);
    if (single.status == 10 && f.find(".xz") == std::string::npos) {
      EXPECT_TRUE(modelSatisfies(model, quelt_test::readFile(f))) << model;
    }
  }
  // Several threads per rank: the winner is any thread of any rank.
  const std::string f = QUELT_SOURCE_DIR "/examples/queens-4.cnf";
  const RunResult run = quelt_test::runProgram(command(2, {"--threads", "2", "--dimacs", f, "--model-stdout"}));
  EXPECT_EQ(run.status, 10);
  EXPECT_TRUE(std::regex_search(run.out, std::regex("\nc winner: rank [01] thread [01] \\(.+\\)\ns SATISFIABLE\nv ")))
      << run.out;
  EXPECT_TRUE(modelSatisfies(run.out.substr(run.out.find("\nv ") + 1), quelt_test::readFile(f)));
}

TEST(Distributed, WhatCannotBeReadIsReportedOnceAndEndsEveryRank) {
  REQUIRE_LAUNCHER();
  const ScratchDir dir;
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"--dimacs", dir.file("missing.cnf")}, "Can't open the input file. Exiting...\n"},
      {{"--dimacs", dir.write("bad.cnf", "p cnf 2 2\n1 2 0\n-1 99999999999 0\n")}, "Invalid input.\n"},
      {{"--dimacs", dir.write("empty.cnf", "c nothing\n")}, "No clauses successfully parsed. Exiting...\n"},
      {{"--dimacs", QUELT_SOURCE_DIR "/examples/demo.cnf", "--proof", dir.file("proof")},
       "Error: --proof is not available in a distributed run: the ranks' lemmas cannot be put into one proof.\n"},
      {{"--dimacs", QUELT_SOURCE_DIR "/examples/demo.cnf", "--sp-first-restart", "3"},
       "Parameter sp-first-restart out of range.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const RunResult run = quelt_test::runProgram(command(3, c.args));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(count(run.err, c.message), 1u) << run.err;
    if (c.args.size() == 2) {  // quelt's run says the same
      std::vector<std::string> single = {QUELT_BINARY, "--nosplash"};
      single.insert(single.end(), c.args.begin(), c.args.end());
      EXPECT_EQ(run.out, quelt_test::runProgram(single).out);
      EXPECT_EQ(run.err.rfind(quelt_test::runProgram(single).err, 0), 0u) << run.err;
    }
  }
  // quelt-mpi's own option is checked as quelt checks its options.
  const RunResult bad = quelt_test::runProgram(command(2, {"--share-interval", "0", "--dimacs", "x"}));
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(count(bad.err, "Error: the argument ('0') for option '--share-interval' is invalid\n"), 1u) << bad.err;
  EXPECT_EQ(count(bad.out, "Distributed search (quelt-mpi):"), 1u);
}

// The launcher's processes below pid that run quelt-mpi, with their ranks.
std::map<pid_t, int> ranksBelow(pid_t launcher) {
  std::map<pid_t, pid_t> parent;
  std::map<pid_t, int> ranks;
  std::vector<pid_t> candidates;
  DIR* proc = opendir("/proc");
  for (dirent* e; (e = readdir(proc)) != nullptr;) {
    const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
    if (pid <= 0) continue;
    std::istringstream stat(quelt_test::readFile("/proc/" + std::to_string(pid) + "/stat"));
    std::string comm, state;
    pid_t ppid = 0;
    stat >> comm >> comm >> state >> ppid;
    parent[pid] = ppid;
    if (comm == "(quelt-mpi)") candidates.push_back(pid);
  }
  closedir(proc);
  for (const pid_t pid : candidates) {
    pid_t p = pid;
    while (p > 1 && p != launcher) p = parent.count(p) ? parent[p] : 0;
    if (p != launcher) continue;
    const std::string env = quelt_test::readFile("/proc/" + std::to_string(pid) + "/environ");
    std::smatch found;
    if (std::regex_search(env, found, std::regex("(OMPI_COMM_WORLD_RANK|PMI_RANK)=([0-9]+)")))
      ranks[pid] = std::stoi(found[2]);
  }
  return ranks;
}

// Whether pid is a process that has not ended (a zombie has).
bool running(pid_t pid) {
  std::istringstream stat(quelt_test::readFile("/proc/" + std::to_string(pid) + "/stat"));
  std::string id, comm, state;
  return static_cast<bool>(stat >> id >> comm >> state) && state != "Z";
}

bool catches(pid_t pid, int signal) {
  std::istringstream status(quelt_test::readFile("/proc/" + std::to_string(pid) + "/status"));
  for (std::string line; std::getline(status, line);)
    if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
  return false;
}

TEST(Distributed, AnInterruptStopsEveryRank) {
  REQUIRE_LAUNCHER();
  const ScratchDir dir;
  const std::string cnf = dir.write("hard.cnf", quelt_test::CnfGenerator::pigeonHole(11).dimacs());
  const std::string out = dir.file("out");
  // To one rank, the stop travels in the next round; the launcher forwards
  // its own signal (Open MPI's as SIGTERM, and it then exits with 1 itself;
  // it kills the ranks a second later, far more than a 20 ms round takes).
  for (const bool toLauncher : {false, true}) {
    SCOPED_TRACE(toLauncher ? "to the launcher" : "to rank 1");
    std::vector<std::string> argv = command(3, {"--dimacs", cnf});
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    const pid_t launcher = fork();
    if (launcher == 0) {
      dup2(open("/dev/null", O_RDONLY), 0);
      dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
      dup2(open("/dev/null", O_WRONLY), 2);
      execv(args[0], args.data());
      _exit(127);
    }
    std::map<pid_t, int> ranks;
    int raw = 0;
    for (;;) {
      // A launcher that ends before its ranks are up is a failure, not a wait.
      ASSERT_EQ(waitpid(launcher, &raw, WNOHANG), 0) << quelt_test::readFile(out);
      ranks = ranksBelow(launcher);
      bool ready = ranks.size() == 3;
      for (const auto& [pid, rank] : ranks) ready = ready && catches(pid, SIGINT) && catches(pid, SIGTERM);
      if (ready) break;
      usleep(1000);
    }
    for (const auto& [pid, rank] : ranks)
      if (toLauncher ? false : rank == 1) kill(pid, SIGINT);
    if (toLauncher) kill(launcher, SIGINT);
    waitpid(launcher, &raw, 0);
    ASSERT_TRUE(WIFEXITED(raw));
    if (!toLauncher || !isOpenMpi()) {
      EXPECT_EQ(WEXITSTATUS(raw), 0);
    }
    const std::string text = quelt_test::readFile(out);
    EXPECT_TRUE(std::regex_search(text, std::regex(toLauncher ? "\nc INTERRUPTED by SIG(INT|TERM)\ns UNKNOWN\n$"
                                                              : "\nc INTERRUPTED by SIGINT\ns UNKNOWN\n$")))
        << text;
    // Open MPI's launcher may end before the ranks it signalled have: give
    // them a bound far past a round, then call what is still there a hang.
    for (int wait = 0; wait < 600 && std::any_of(ranks.begin(), ranks.end(), [](const auto& r) { return running(r.first); });
         ++wait)
      usleep(100000);
    for (const auto& [pid, rank] : ranks) EXPECT_FALSE(running(pid)) << "rank " << rank << " is left";
  }
}

}  // namespace
