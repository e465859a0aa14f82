// The program as a user meets it. Each case in tests/e2e/cases/*.txt runs the
// built binary and compares standard output, standard error, the exit status
// and, when given, a file the program wrote, all exactly. A case reads:
//
//   === name
//   $ arguments ({dir} is a scratch directory, holding f.cnf)
//   < a line of f.cnf           | a line of standard input
//   > a line of standard output ! a line of standard error
//   ~ a line of {dir}/out       ? exit status
//
// The scratch directory's path reads {dir} in the output, and the figure of
// the run-time line reads T.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "support/run.hpp"

namespace {

struct Case {
  std::string name, args, file, input, out, err, written;
  bool hasFile = false, hasWritten = false;
  int status = 0;
};

std::vector<Case> loadCases() {
  std::vector<Case> cases;
  std::vector<std::filesystem::path> files;
  for (const auto& e : std::filesystem::directory_iterator(QUELT_SOURCE_DIR "/tests/e2e/cases")) files.push_back(e);
  std::sort(files.begin(), files.end());
  for (const auto& path : files) {
    std::istringstream in(quelt_test::readFile(path));
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("=== ", 0) == 0) cases.emplace_back().name = path.stem().string() + "_" + line.substr(4);
      if (line.empty() || line[0] == '#' || line[0] == '=' || cases.empty()) continue;
      Case& c = cases.back();
      const std::string text = line.size() > 2 ? line.substr(2) + "\n" : "\n";
      switch (line[0]) {
        case '$': c.args = text.substr(0, text.size() - 1); break;
        case '<': c.file += text, c.hasFile = true; break;
        case '|': c.input += text; break;
        case '>': c.out += text; break;
        case '!': c.err += text; break;
        case '~': c.written += text, c.hasWritten = true; break;
        case '?': c.status = std::stoi(text); break;
        default: throw std::runtime_error("bad case line: " + line);
      }
    }
  }
  return cases;
}

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
  for (std::size_t p = 0; (p = s.find(from, p)) != std::string::npos; p += to.size()) s.replace(p, from.size(), to);
  return s;
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Cli : public ::testing::TestWithParam<Case> {};

TEST_P(Cli, OutputErrorsAndStatusAreExact) {
  const Case& c = GetParam();
  const quelt_test::ScratchDir dir;
  const std::string root = dir.file("");
  const std::string base = root.substr(0, root.size() - 1);
  if (c.hasFile) dir.write("f.cnf", c.file);
  std::vector<std::string> argv = {QUELT_BINARY};
  std::istringstream words(replaceAll(c.args, "{dir}", base));
  for (std::string w; words >> w;) argv.push_back(w);
  const quelt_test::RunResult r = quelt_test::runProgram(argv, c.input);
  const std::regex runtime("c runtime [0-9]+\\.[0-9]{2} \\[s\\]");
  EXPECT_EQ(std::regex_replace(replaceAll(r.out, base, "{dir}"), runtime, "c runtime T [s]"), c.out);
  EXPECT_EQ(replaceAll(r.err, base, "{dir}"), c.err);
  EXPECT_EQ(r.status, c.status);
  if (c.hasWritten) {
    EXPECT_EQ(quelt_test::readFile(dir.file("out")), c.written);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Cli, ::testing::ValuesIn(loadCases()), [](const auto& info) {
  std::string n = info.param.name;
  for (char& ch : n)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return n;
});

}  // namespace
