// The quelt program on the small instances of the shared benchmark set: each
// verdict must match the manifest's expected verdict, and each model must
// satisfy every clause of the instance.
//
// An instance counts as small when the reference solver needed at most half
// a CPU second for it. Builds that are not optimised, or run under
// sanitizers, keep to the quickest ones (at most 0.1 s and 50000 clauses).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "support/cnf_check.hpp"
#include "support/quelt_run.hpp"

namespace {

struct Instance {
  std::string file;
  long clauses = 0;
  std::string expected;  // SAT or UNSAT
  double referenceSeconds = 0;
};

// Keeps test listings readable.
void PrintTo(const Instance& i, std::ostream* os) { *os << i.file << " (" << i.expected << ")"; }

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '\t')) fields.push_back(field);
  return fields;
}

// The rows of the manifest, found by the names in its header line. Rows
// whose reference time is not a plain number (a limit, NA) are left out.
std::vector<Instance> readManifest(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::vector<Instance> rows;
  if (!std::getline(in, line)) return rows;
  const std::vector<std::string> header = splitTabs(line);
  auto column = [&header](const std::string& name) {
    for (std::size_t i = 0; i < header.size(); ++i)
      if (header[i] == name) return static_cast<int>(i);
    return -1;
  };
  const int file = column("file"), clauses = column("clauses"), expected = column("expected"),
            seconds = column("minisat_s");
  if (file < 0 || clauses < 0 || expected < 0 || seconds < 0) return rows;
  const int needed = std::max({file, clauses, expected, seconds});
  while (std::getline(in, line)) {
    const std::vector<std::string> f = splitTabs(line);
    if (static_cast<int>(f.size()) <= needed) continue;
    char* end = nullptr;
    const double s = std::strtod(f[seconds].c_str(), &end);
    if (end == f[seconds].c_str() || *end != '\0') continue;
    rows.push_back({f[file], std::atol(f[clauses].c_str()), f[expected], s});
  }
  return rows;
}

bool selected(const Instance& i) {
  if (quelt_test::kOptimizedBuild) return i.referenceSeconds <= 0.5;
  return i.referenceSeconds <= 0.1 && i.clauses <= 50000;
}

const std::string kBenchDir = QUELT_BENCH_DIR;

std::vector<Instance> selectedInstances() {
  std::vector<Instance> chosen;
  for (const Instance& i : readManifest(kBenchDir + "/manifest.tsv"))
    if (selected(i)) chosen.push_back(i);
  return chosen;
}

TEST(Benchmarks, ManifestNamesSmallInstances) {
  if (!std::filesystem::exists(kBenchDir + "/manifest.tsv"))
    GTEST_SKIP() << "no benchmark set at " << kBenchDir;
  EXPECT_FALSE(selectedInstances().empty());
}

class BenchInstance : public ::testing::TestWithParam<Instance> {};

TEST_P(BenchInstance, ExpectedVerdictAndAValidModel) {
  const Instance& inst = GetParam();
  const std::string packed = kBenchDir + "/cnf/" + inst.file;
  if (!std::filesystem::exists(packed)) GTEST_SKIP() << "missing " << packed;
  ASSERT_TRUE(inst.expected == "SAT" || inst.expected == "UNSAT") << inst.expected;

  // Decompress with the xz program into a plain file.
  const quelt_test::ScratchDir scratch("quelt-bench-test");
  const std::string plain = scratch.file("instance.cnf");
  const quelt_test::RunResult unpacked = quelt_test::runProgram(
      "/bin/sh", {"-c", "exec xz -dc \"$0\" > \"$1\"", packed, plain});
  if (unpacked.status == 127) GTEST_SKIP() << "cannot run xz: " << unpacked.err;
  ASSERT_EQ(unpacked.status, 0) << unpacked.err;

  // The time limit only guards against a hang; it is not what is tested.
  const std::vector<std::string> args = {"--nosplash", "--dimacs", plain, "--model-stdout",
                                         "--tmout", "20"};
  const quelt_test::RunResult r = quelt_test::runQuelt(args);
  EXPECT_EQ(r.err, "");
  std::istringstream lines(r.out);
  std::string solving, verdict;
  std::getline(lines, solving);
  std::getline(lines, verdict);
  EXPECT_EQ(solving, "c solving " + plain);
  if (inst.expected == "SAT") {
    EXPECT_EQ(verdict, "s SATISFIABLE");
    EXPECT_EQ(r.status, 10);
    const auto model = quelt_test::modelFromOutput(r.out);
    ASSERT_TRUE(model.has_value()) << "no model line";
    const std::string problem = quelt_test::checkModel(
        quelt_test::parseDimacsText(quelt_test::readWholeFile(plain)), *model);
    EXPECT_EQ(problem, "");
  } else {
    EXPECT_EQ(verdict, "s UNSATISFIABLE");
    EXPECT_EQ(r.status, 20);
    EXPECT_FALSE(quelt_test::modelFromOutput(r.out).has_value());
  }
}

// Test names from file names: letters and digits kept, the rest as '_'.
std::string instanceName(const ::testing::TestParamInfo<Instance>& info) {
  std::string name = info.param.file.substr(0, info.param.file.find(".cnf"));
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Small, BenchInstance, ::testing::ValuesIn(selectedInstances()),
                         instanceName);
// Without the benchmark set there is nothing to instantiate.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(BenchInstance);

}  // namespace
