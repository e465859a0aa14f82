// Compressed formulas and proof files through the program: gzip, bzip2 and
// xz copies of a formula give exactly the output of the plain one, from a
// file and from standard input; damaged compressed data is an error, never
// a verdict on part of a formula; --proof writes a proof the checker
// accepts.
#include <gtest/gtest.h>

#include <string>

#include "support/cnf_gen.hpp"
#include "support/compress.hpp"
#include "support/drat_checker.hpp"
#include "support/quelt_run.hpp"

namespace {

using quelt_test::Codec;
using quelt_test::compress;
using quelt_test::RunOptions;
using quelt_test::runQuelt;
using quelt_test::ScratchDir;
using quelt_test::StdinMode;

const char* name(Codec c) { return quelt_test::codecName(c); }

const std::string kSatisfiable =
    "c satisfiable\np cnf 4 5\n1 2 0\n-1 3 0\n-3 4 0\n-2 -4 0\n2 3 4 0\n";
const std::string kUnsatisfiable = quelt_test::CnfGenerator::pigeonHole(4).dimacs();

TEST(CompressedInput, EveryCodecGivesThePlainOutputFromFileAndStdin) {
  ScratchDir dir("quelt-compressed");
  for (const std::string& text : {kSatisfiable, kUnsatisfiable}) {
    const std::string plain = dir.write("plain.cnf", text);
    const auto expected = runQuelt({"--nosplash", "--dimacs", plain, "--model-stdout"});
    ASSERT_TRUE(expected.status == 10 || expected.status == 20) << expected.out << expected.err;
    // The "c solving NAME" line names the file given; compare the rest.
    const std::string expectedBody = expected.out.substr(expected.out.find('\n') + 1);
    for (Codec codec : {Codec::Gzip, Codec::Bzip2, Codec::Xz}) {
      const std::string packed = compress(text, codec);
      // Deliberately misleading names: only the content decides.
      const std::string path = dir.write(std::string("formula.") + name(codec) + ".txt", packed);
      const auto r = runQuelt({"--nosplash", "--dimacs", path, "--model-stdout"});
      EXPECT_EQ(r.status, expected.status) << name(codec);
      EXPECT_EQ(r.err, "") << name(codec);
      EXPECT_EQ(r.out, "c solving " + path + "\n" + expectedBody) << name(codec);

      for (StdinMode mode : {StdinMode::File, StdinMode::Pipe}) {
        RunOptions options;
        options.stdinText = packed;
        options.stdinMode = mode;
        const auto s = runQuelt({"--nosplash", "--dimacs-stdin", "--model-stdout"}, options);
        EXPECT_EQ(s.status, expected.status) << name(codec);
        EXPECT_EQ(s.out, expectedBody) << name(codec);
        EXPECT_EQ(s.err, "") << name(codec);
      }
    }
  }
}

TEST(CompressedInput, DamagedDataIsAnErrorNotAVerdict) {
  ScratchDir dir("quelt-compressed");
  const std::string kMessage = "The compressed input is corrupt or truncated. Exiting...\n";
  for (Codec codec : {Codec::Gzip, Codec::Bzip2, Codec::Xz}) {
    const std::string packed = compress(kUnsatisfiable, codec);
    // Cut at several places, including just before the end (a missing
    // trailer), and flip bytes in the middle of the data.
    for (std::size_t keep : {packed.size() / 3, packed.size() / 2, packed.size() - 1}) {
      const std::string path = dir.write("cut.bin", packed.substr(0, keep));
      const auto r = runQuelt({"--nosplash", "--dimacs", path});
      EXPECT_EQ(r.status, 1) << name(codec) << " cut at " << keep << "\n" << r.out;
      EXPECT_EQ(r.err, kMessage) << name(codec) << " cut at " << keep;
      EXPECT_EQ(r.out.find("s "), std::string::npos) << name(codec);

      RunOptions options;
      options.stdinText = packed.substr(0, keep);
      const auto s = runQuelt({"--nosplash", "--dimacs-stdin"}, options);
      EXPECT_EQ(s.status, 1) << name(codec);
      EXPECT_EQ(s.err, kMessage) << name(codec);
      EXPECT_EQ(s.out, "") << name(codec);
    }
    std::string flipped = packed;
    for (std::size_t i = 12; i < flipped.size() - 12; i += 7) flipped[i] = static_cast<char>(flipped[i] ^ 0x5a);
    const auto r = runQuelt({"--nosplash", "--dimacs", dir.write("flipped.bin", flipped)});
    EXPECT_EQ(r.status, 1) << name(codec);
    // Garbage decoded before the damage is found may draw reader warnings.
    ASSERT_GE(r.err.size(), kMessage.size()) << name(codec);
    EXPECT_EQ(r.err.substr(r.err.size() - kMessage.size()), kMessage) << name(codec);
    EXPECT_EQ(r.out.find("s "), std::string::npos) << name(codec);
  }
}

TEST(CompressedInput, TextThatOnlyStartsLikeAMagicNumberIsReadAsText) {
  ScratchDir dir("quelt-compressed");
  // "B" alone is a stray character for the reader, not the start of bzip2.
  const auto r = runQuelt({"--nosplash", "--dimacs", dir.write("b.cnf", "B\np cnf 1 1\n1 0\n")});
  EXPECT_EQ(r.status, 10);
  EXPECT_EQ(r.err, " Invalid DIMACS CNF input. Press q for quit, or continue adding clauses...\n");
}

TEST(ProofOption, UnsatisfiableRunsWriteAProofTheCheckerAccepts) {
  ScratchDir dir("quelt-proof");
  const std::string formula = dir.write("f.cnf", kUnsatisfiable);
  for (bool text : {false, true}) {
    for (const char* preset : {"--spset-default", "--spset-autotuned-kz_1_1"}) {
      const std::string proof = dir.file("f.drat");
      std::vector<std::string> args = {"--nosplash", "--dimacs", formula, "--proof", proof, preset};
      if (text) args.push_back("--proof-text");
      const auto r = runQuelt(args);
      ASSERT_EQ(r.status, 20) << r.out << r.err;
      quelt_test::DratChecker checker;
      EXPECT_EQ(checker.checkFiles(formula, proof), quelt_test::DratChecker::Result::Verified)
          << preset << (text ? " text" : " binary");
    }
  }
}

TEST(ProofOption, AProofFileThatCannotBeOpenedStopsBeforeSolving) {
  ScratchDir dir("quelt-proof");
  const std::string formula = dir.write("f.cnf", kSatisfiable);
  const auto r = runQuelt({"--nosplash", "--dimacs", formula, "--proof", dir.file("missing/dir/p")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Can't open the proof file " + dir.file("missing/dir/p") + ". Exiting...\n");
}

}  // namespace
