// The formulas under examples/: each states its verdict on its first line
// ("c expect: SAT" or "c expect: UNSAT"). The program must reach that verdict
// from the file and from standard input, with a model that satisfies the
// formula; a brute-force check confirms the stated verdict itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/cnf_check.hpp"
#include "support/quelt_run.hpp"

namespace {

std::vector<std::string> exampleFiles() {
  std::vector<std::string> files;
  const std::filesystem::path dir = std::filesystem::path(QUELT_SOURCE_DIR) / "examples";
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().extension() == ".cnf") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(Examples, EveryExampleSolvesAsItsFirstLineStates) {
  const std::vector<std::string> files = exampleFiles();
  ASSERT_FALSE(files.empty());
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    const std::string text = quelt_test::readWholeFile(path);
    const std::string firstLine = text.substr(0, text.find('\n'));
    ASSERT_TRUE(firstLine == "c expect: SAT" || firstLine == "c expect: UNSAT") << firstLine;
    const bool sat = firstLine == "c expect: SAT";

    const quelt_test::ParsedCnf cnf = quelt_test::parseDimacsText(text);
    if (cnf.maxVar <= 24) {
      EXPECT_EQ(quelt_test::bruteForceSatisfiable(cnf), sat);
    }

    const quelt_test::RunResult f =
        quelt_test::runQuelt({"--nosplash", "--dimacs", path, "--model-stdout"});
    quelt_test::RunOptions viaStdin;
    viaStdin.stdinText = text;
    const quelt_test::RunResult s =
        quelt_test::runQuelt({"--nosplash", "--dimacs-stdin", "--model-stdout"}, viaStdin);
    for (const quelt_test::RunResult* r : {&f, &s}) {
      EXPECT_EQ(r->err, "");
      EXPECT_EQ(r->status, sat ? 10 : 20);
      if (sat) {
        const auto model = quelt_test::modelFromOutput(r->out);
        ASSERT_TRUE(model.has_value()) << r->out;
        EXPECT_EQ(quelt_test::checkModel(cnf, *model), "");
      }
    }
    const std::string verdict = sat ? "s SATISFIABLE\n" : "s UNSATISFIABLE\n";
    EXPECT_EQ(f.out.rfind("c solving " + path + "\n" + verdict, 0), 0u) << f.out;
    EXPECT_EQ(s.out.rfind(verdict, 0), 0u) << s.out;
  }
}

}  // namespace
