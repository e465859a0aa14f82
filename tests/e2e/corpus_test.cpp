// Whole formulas through the built program: the bundled examples, the
// regression corpus (each file states its verdict, and its options, in its
// first comment lines) and the small instances of the shared benchmark set.
// Every run writes a proof; a satisfiable verdict must come with a model
// that satisfies every clause, an unsatisfiable one with a proof that the
// checker accepts. Inputs are fed plain and compressed in turn.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "support/compress.hpp"
#include "support/drat_checker.hpp"
#include "support/run.hpp"

namespace {

namespace fs = std::filesystem;
using quelt_test::Codec;

struct Instance {
  std::string path, expected, args;
  std::size_t index = 0;
};

std::vector<Instance> instances() {
  std::vector<Instance> all;
  std::vector<fs::path> files;
  for (const char* dir : {"/examples", "/tests/regressions"})
    for (const auto& e : fs::directory_iterator(QUELT_SOURCE_DIR + std::string(dir)))
      if (e.is_regular_file()) files.push_back(e);  // not examples/api
  std::sort(files.begin(), files.end());
  for (const fs::path& f : files) {
    Instance i{f.string(), "", ""};
    std::istringstream in(quelt_test::readFile(f));
    for (std::string line; std::getline(in, line) && line.rfind("c ", 0) == 0;) {
      if (line.rfind("c expect: ", 0) == 0) i.expected = line.substr(10);
      if (line.rfind("c args: ", 0) == 0) i.args = line.substr(8);
    }
    all.push_back(i);
  }
  // The benchmark instances that a peer solves within a tenth of a second.
  std::ifstream manifest(QUELT_BENCH_DIR "/manifest.tsv");
  std::string line;
  std::getline(manifest, line);
  while (std::getline(manifest, line)) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string x; std::getline(fields, x, '\t');) f.push_back(x);
    if (f.size() > 5 && std::atof(f[5].c_str()) <= 0.1 && fs::exists(QUELT_BENCH_DIR "/cnf/" + f[0]))
      all.push_back({QUELT_BENCH_DIR "/cnf/" + f[0], f[4], ""});
  }
  for (std::size_t i = 0; i < all.size(); ++i) all[i].index = i;
  return all;
}

// The clauses of a DIMACS text: comment and p lines skipped.
std::vector<std::vector<int>> clausesOf(const std::string& text) {
  std::vector<std::vector<int>> clauses(1);
  std::istringstream in(text);
  for (std::string w; in >> w;) {
    if (w == "c" || w == "p") std::getline(in, w);
    else if (const int l = std::atoi(w.c_str())) clauses.back().push_back(l);
    else clauses.emplace_back();
  }
  clauses.pop_back();
  return clauses;
}

void PrintTo(const Instance& c, std::ostream* os) { *os << c.path; }

class Corpus : public ::testing::TestWithParam<Instance> {};

TEST_P(Corpus, VerdictWithAValidModelOrACheckedProof) {
  const Instance& inst = GetParam();
  const quelt_test::ScratchDir dir;
  const bool packed = inst.path.size() > 3 && inst.path.substr(inst.path.size() - 3) == ".xz";
  const std::string text = packed ? quelt_test::runProgram({"/usr/bin/xz", "-dc", inst.path}).out
                                  : quelt_test::readFile(inst.path);
  ASSERT_FALSE(text.empty());
  // Plain for one instance, then gzip, bzip2 and xz in turn; binary and
  // text proofs alternate.
  const std::size_t n = inst.index;
  std::string input = inst.path;
  if (!packed && n % 4 != 0) input = dir.write("f", quelt_test::compress(text, static_cast<Codec>(n % 4 - 1)));
  std::vector<std::string> argv = {QUELT_BINARY, "--nosplash", "--model-stdout", "--dimacs", input,
                                   "--proof", dir.file("proof")};
  if (n % 2) argv.push_back("--proof-text");
  std::istringstream extra(inst.args);
  for (std::string w; extra >> w;) argv.push_back(w);

  const quelt_test::RunResult r = quelt_test::runProgram(argv);
  EXPECT_EQ(r.err, "");
  const std::string head = "c solving " + input + "\n";
  ASSERT_EQ(r.out.substr(0, head.size()), head);
  const std::string rest = r.out.substr(head.size());
  const auto clauses = clausesOf(text);
  if (inst.expected == "SAT") {
    ASSERT_EQ(r.status, 10) << r.out;
    ASSERT_EQ(rest.substr(0, 16), "s SATISFIABLE\nv ");
    std::vector<int> model = clausesOf(rest.substr(16))[0];
    std::vector<int> value(model.size() + 1);
    for (std::size_t i = 0; i < model.size(); ++i) {
      ASSERT_EQ(std::abs(model[i]), static_cast<int>(i + 1));
      value[i + 1] = model[i];
    }
    for (const auto& c : clauses)
      EXPECT_TRUE(std::any_of(c.begin(), c.end(), [&](int l) {
        return static_cast<std::size_t>(std::abs(l)) < value.size() && value[std::abs(l)] == l;
      })) << "a clause is false under the model";
  } else {
    ASSERT_EQ(inst.expected, "UNSAT");
    ASSERT_EQ(r.status, 20) << r.out;
    EXPECT_EQ(rest, "s UNSATISFIABLE\n");
    if (fs::file_size(dir.file("proof")) > (8 << 20)) return;  // too long for this checker
    quelt_test::DratChecker checker;
    for (const auto& c : clauses) checker.addOriginal(c);
    EXPECT_EQ(checker.checkProof(quelt_test::readFile(dir.file("proof"))),
              quelt_test::DratChecker::Result::Verified);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, Corpus, ::testing::ValuesIn(instances()), [](const auto& info) {
  std::string n = fs::path(info.param.path).stem().string();
  for (char& ch : n)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return n;
});

// Damaged compressed data is an error, from a file and from standard input;
// never a verdict on part of a formula.
TEST(CompressedInput, DamagedDataStopsWithoutAVerdict) {
  const quelt_test::ScratchDir dir;
  std::string formula;
  for (int i = 1; i < 400; ++i) formula += std::to_string(i) + " -" + std::to_string(i + 1) + " 0\n";
  for (Codec codec : {Codec::Gzip, Codec::Bzip2, Codec::Xz}) {
    const std::string whole = quelt_test::compress(formula, codec);
    std::string flipped = whole;
    flipped[whole.size() / 2] ^= 0x55;
    for (const std::string& bad : {whole.substr(0, whole.size() / 2), flipped}) {
      const auto viaFile = quelt_test::runProgram({QUELT_BINARY, "--nosplash", "--dimacs", dir.write("f", bad)});
      const auto viaStdin = quelt_test::runProgram({QUELT_BINARY, "--nosplash", "--dimacs-stdin"}, bad);
      for (const auto& r : {viaFile, viaStdin}) {
        EXPECT_EQ(r.err, "The compressed input is corrupt or truncated. Exiting...\n") << quelt_test::codecName(codec);
        EXPECT_EQ(r.out.find("s "), std::string::npos);
        EXPECT_EQ(r.status, 1);
      }
    }
    const auto good = quelt_test::runProgram({QUELT_BINARY, "--nosplash", "--dimacs-stdin"}, whole);
    EXPECT_EQ(good.out, "s SATISFIABLE\n");
    // The reader looks one character past a '-': with 0..7 leading blanks a
    // '-' meets the end of a decompressed block, whatever its size.
    std::string body;
    for (int i = 0; i < 10000; ++i) body += "-1 -2 0\n";
    for (int blanks = 0; blanks < 8; ++blanks) {
      const auto r = quelt_test::runProgram({QUELT_BINARY, "--nosplash", "--dimacs-stdin"},
                                            quelt_test::compress(std::string(blanks, ' ') + body, codec));
      EXPECT_EQ(r.out + r.err, "s SATISFIABLE\n") << blanks << " blanks";
    }
  }
}

}  // namespace
