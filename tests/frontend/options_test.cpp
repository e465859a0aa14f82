// The option table in-process: what the parser accepts, the range checks of
// the search parameters (which end the process, so they run as death
// tests), the order in which presets and single parameters are applied, and
// the detection of --hidden on a command line that did not parse.
#include <gtest/gtest.h>

#include <boost/program_options/errors.hpp>
#include <functional>
#include <string>
#include <vector>

#include "frontend/Options.hpp"
#include "params/SearchParams.hpp"

namespace po = boost::program_options;

namespace quelt {
namespace {

// argv for the program name followed by args.
class Argv {
 public:
  explicit Argv(std::vector<std::string> args) : words_(std::move(args)) {
    words_.insert(words_.begin(), "quelt");
    for (const std::string& w : words_) ptrs_.push_back(w.c_str());
  }
  int argc() const { return static_cast<int>(ptrs_.size()); }
  const char* const* argv() const { return ptrs_.data(); }

 private:
  std::vector<std::string> words_;
  std::vector<const char*> ptrs_;
};

po::variables_map parse(const std::vector<std::string>& args) {
  const Argv a(args);
  po::variables_map vm;
  parseCommandLine(a.argc(), a.argv(), vm);
  return vm;
}

SearchParams applied(const std::vector<std::string>& args) {
  SearchParams p;
  applySearchParameters(parse(args), p);
  return p;
}

// Escapes the characters that are special in an extended regular expression.
std::string literal(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (std::string(".[]()*+?{}|^$\\").find(c) != std::string::npos) out += '\\';
    out += c;
  }
  return out;
}

// ---------------------------------------------------------------------------
// Range checks

struct BoundsCase {
  const char* option;
  const char* value;
  // The second line of the complaint, or nullptr when the value is accepted.
  const char* range;
  // For accepted values: the field that must now hold it.
  std::function<double(const SearchParams&)> field;
  double stored;
};

using P = const SearchParams&;

const std::vector<BoundsCase>& boundsCases() {
  static const std::vector<BoundsCase> cases = {
      // int parameters
      {"sp-var-dec-heur", "0", nullptr, [](P p) { return p.varDecHeur; }, 0},
      {"sp-var-dec-heur", "19", nullptr, [](P p) { return p.varDecHeur; }, 19},
      {"sp-var-dec-heur", "20", "Allowed range [0,19] (inclusive)", nullptr, 0},
      {"sp-var-dec-heur", "-1", "Allowed range [0,19] (inclusive)", nullptr, 0},
      {"sp-clause-sort-heur", "19", nullptr, [](P p) { return p.clauseSortHeur; }, 19},
      {"sp-res-order-heur", "9", nullptr, [](P p) { return p.resOrderHeur; }, 9},
      {"sp-res-order-heur", "25", "Allowed range [0,19] (inclusive)", nullptr, 0},
      {"sp-clause-del-heur", "2", nullptr, [](P p) { return p.clauseDelHeur; }, 2},
      {"sp-clause-del-heur", "3", "Allowed range [0,2] (inclusive)", nullptr, 0},
      {"sp-phase-dec-heur", "6", nullptr, [](P p) { return p.phaseDecHeur; }, 6},
      {"sp-phase-dec-heur", "7", "Allowed range [0,6] (inclusive)", nullptr, 0},
      {"sp-resolution", "2", nullptr, [](P p) { return p.resolution; }, 2},
      {"sp-resolution", "-1", "Allowed range [0,2] (inclusive)", nullptr, 0},
      // double parameters, compared exactly
      {"sp-variable-decay", "0", nullptr, [](P p) { return p.variableDecay; }, 0.0},
      {"sp-variable-decay", "10.0", nullptr, [](P p) { return p.variableDecay; }, 10.0},
      {"sp-variable-decay", "10.000001", "Allowed range [0,10] (inclusive)", nullptr, 0},
      {"sp-variable-decay", "-0.1", "Allowed range [0,10] (inclusive)", nullptr, 0},
      {"sp-clause-decay", "0.99", "Allowed range [1,10] (inclusive)", nullptr, 0},
      {"sp-restart-inc", "2.5", nullptr, [](P p) { return p.restartInc; }, 2.5},
      {"sp-restart-inc", "11", "Allowed range [1,10] (inclusive)", nullptr, 0},
      {"sp-learned-size-factor", "0.1", nullptr, [](P p) { return p.learnedSizeFactor; }, 0.1},
      {"sp-learned-size-factor", "0.09", "Allowed range [0.1,10] (inclusive)", nullptr, 0},
      {"sp-learned-clauses-inc", "1.1", nullptr, [](P p) { return p.learnedClausesInc; }, 1.1},
      {"sp-learned-clauses-inc", "2", nullptr, [](P p) { return p.learnedClausesInc; }, 2.0},
      {"sp-learned-clauses-inc", "1.05", "Allowed range [1.1,2] (inclusive)", nullptr, 0},
      {"sp-learned-clauses-inc", "2.01", "Allowed range [1.1,2] (inclusive)", nullptr, 0},
      {"sp-clause-activity-inc", "-10", nullptr, [](P p) { return p.clauseActivityInc; }, -10.0},
      {"sp-clause-activity-inc", "-10.5", "Allowed range [-10,10] (inclusive)", nullptr, 0},
      {"sp-var-activity-inc", "10.5", "Allowed range [-10,10] (inclusive)", nullptr, 0},
      {"sp-rand-phase-dec-freq", "1", nullptr, [](P p) { return p.randPhaseDecFreq; }, 1.0},
      {"sp-rand-phase-dec-freq", "1.5", "Allowed range [0,1] (inclusive)", nullptr, 0},
      {"sp-rand-var-dec-freq", "-0.001", "Allowed range [0,1] (inclusive)", nullptr, 0},
      {"sp-rand-var-dec-scaling", "0.5", nullptr, [](P p) { return p.randVarDecScaling; }, 0.5},
      {"sp-rand-phase-scaling", "10.1", "Allowed range [0,10] (inclusive)", nullptr, 0},
      {"sp-max-res-lit-inc", "0.05", "Allowed range [0.1,10] (inclusive)", nullptr, 0},
      // unsigned parameters
      {"sp-first-restart", "10", nullptr, [](P p) { return p.firstRestart; }, 10},
      {"sp-first-restart", "10000", nullptr, [](P p) { return p.firstRestart; }, 10000},
      {"sp-first-restart", "5", "Allowed range [10,10000] (inclusive)", nullptr, 0},
      {"sp-first-restart", "10001", "Allowed range [10,10000] (inclusive)", nullptr, 0},
      {"sp-first-restart", "-5", "Allowed range [10,10000] (inclusive)", nullptr, 0},
      {"sp-res-cutoff-cls", "20", nullptr, [](P p) { return p.resCutoffCls; }, 20},
      {"sp-res-cutoff-cls", "0", "Allowed range [1,20] (inclusive)", nullptr, 0},
      {"sp-res-cutoff-lits", "9", "Allowed range [10,10000] (inclusive)", nullptr, 0},
      {"sp-max-res-runs", "0", nullptr, [](P p) { return p.maxResRuns; }, 0},
      {"sp-max-res-runs", "1001", "Allowed range [0,1000] (inclusive)", nullptr, 0},
  };
  return cases;
}

TEST(SearchParameterBounds, AcceptedValuesAreStored) {
  for (const BoundsCase& c : boundsCases()) {
    if (c.range) continue;
    const SearchParams p = applied({std::string("--") + c.option, c.value});
    EXPECT_EQ(c.field(p), c.stored) << c.option << " " << c.value;
  }
}

TEST(SearchParameterBoundsDeathTest, OutOfRangeValuesEndTheProcess) {
  for (const BoundsCase& c : boundsCases()) {
    if (!c.range) continue;
    const po::variables_map vm = parse({std::string("--") + c.option, c.value});
    const std::string expected = std::string("Parameter ") + c.option + " out of range.\n" +
                                 c.range + "\n";
    SearchParams p;
    EXPECT_EXIT(applySearchParameters(vm, p), ::testing::ExitedWithCode(1),
                "^" + literal(expected) + "$")
        << c.option << " " << c.value;
  }
}

TEST(SearchParameterBoundsDeathTest, OnlyTheFirstOffenderInTableOrderIsReported) {
  // Written in the other order on the command line.
  const po::variables_map vm = parse({"--sp-max-res-runs", "5000", "--sp-var-dec-heur", "99"});
  SearchParams p;
  EXPECT_EXIT(applySearchParameters(vm, p), ::testing::ExitedWithCode(1),
              "^" + literal("Parameter sp-var-dec-heur out of range.\n"
                            "Allowed range [0,19] (inclusive)\n") + "$");
}

TEST(CheckBoundsDeathTest, InstantiatedForEachValueType) {
  checkBounds<int>("i", -3, -3, 3);
  checkBounds<unsigned int>("u", 7u, 0u, 7u);
  checkBounds<double>("d", 0.5, 0.5, 0.5);
  EXPECT_EXIT(checkBounds<int>("i", 4, -3, 3), ::testing::ExitedWithCode(1),
              literal("Parameter i out of range.\nAllowed range [-3,3] (inclusive)\n"));
  EXPECT_EXIT(checkBounds<unsigned int>("u", 8u, 0u, 7u), ::testing::ExitedWithCode(1),
              literal("Parameter u out of range.\nAllowed range [0,7] (inclusive)\n"));
  EXPECT_EXIT(checkBounds<double>("d", 0.25, 0.5, 2.75), ::testing::ExitedWithCode(1),
              literal("Parameter d out of range.\nAllowed range [0.5,2.75] (inclusive)\n"));
  // Notation left behind on standard error does not change the bounds.
  EXPECT_EXIT(
      {
        std::cerr << std::fixed;
        checkBounds<double>("d", 3.0, 0.5, 2.75);
      },
      ::testing::ExitedWithCode(1),
      literal("Parameter d out of range.\nAllowed range [0.5,2.75] (inclusive)\n"));
}

// ---------------------------------------------------------------------------
// Presets and single parameters

TEST(ApplySearchParameters, NothingGivenLeavesTheRecordAlone) {
  SearchParams p;
  p.setAutotunedKz_1_1();
  p.varActivityInc = 3.0;
  applySearchParameters(parse({"--tmout", "5", "--time"}), p);
  EXPECT_EQ(p.presetId, 3u);
  EXPECT_EQ(p.varActivityInc, 3.0);
  EXPECT_EQ(p.resolution, 1u);
}

TEST(ApplySearchParameters, PresetsApplyInFixedOrder) {
  const struct {
    std::vector<std::string> args;
    std::uint32_t presetId;
    double maxResLitInc;
  } cases[] = {
      {{"--spset-default"}, 0, 2.0},
      {{"--spset-default-inc"}, 1, 2.0},
      {{"--spset-autotuned-kz_1_0"}, 2, 2.0},
      {{"--spset-autotuned-kz_1_1"}, 3, 2.5},
      {{"--spset-sw-verification"}, 4, 2.0},
      // The default always goes first, whatever the command line order.
      {{"--spset-sw-verification", "--spset-default"}, 4, 2.0},
      {{"--spset-autotuned-kz_1_1", "--spset-default-inc"}, 3, 2.5},
      // Software verification does not touch the resolution limits.
      {{"--spset-sw-verification", "--spset-autotuned-kz_1_1"}, 4, 2.5},
  };
  for (const auto& c : cases) {
    const SearchParams p = applied(c.args);
    EXPECT_EQ(p.presetId, c.presetId) << c.args.front();
    EXPECT_EQ(p.maxResLitInc, c.maxResLitInc) << c.args.front();
  }
}

TEST(ApplySearchParameters, SingleParametersOverridePresets) {
  SearchParams p = applied({"--spset-default-inc", "--sp-use-pure-literal-rule", "true"});
  EXPECT_TRUE(p.usePureLiteralRule);
  EXPECT_EQ(p.presetId, 1u);

  p = applied({"--sp-first-restart", "500", "--spset-autotuned-kz_1_0"});
  EXPECT_EQ(p.firstRestart, 500u);
  EXPECT_EQ(p.clauseSortHeur, 19u);
}

TEST(ApplySearchParameters, BooleanWords) {
  const struct {
    const char* word;
    bool value;
  } cases[] = {{"true", true}, {"false", false}, {"1", true},  {"0", false},
               {"yes", true},  {"no", false},    {"on", true}, {"off", false}};
  for (const auto& c : cases) {
    const SearchParams p = applied({"--sp-update-dec-queue", c.word,
                                    "--sp-use-pure-literal-rule", c.word});
    EXPECT_EQ(p.updateDecQueue, c.value) << c.word;
    EXPECT_EQ(p.usePureLiteralRule, c.value) << c.word;
  }
}

// ---------------------------------------------------------------------------
// The parser

TEST(CommandLineParser, TimeoutIsAlwaysPresent) {
  EXPECT_EQ(parse({}).at("tmout").as<int>(), -1);
  EXPECT_EQ(parse({"--tmout", "0"}).at("tmout").as<int>(), 0);
  EXPECT_EQ(parse({"--tmout=-7"}).at("tmout").as<int>(), -7);
}

TEST(CommandLineParser, ValuesReadBackByName) {
  const po::variables_map vm =
      parse({"--dimacs", "a b.cnf", "--model-file=out.txt", "--dimacs-stdin", "--nosplash"});
  EXPECT_EQ(vm.at("dimacs").as<std::string>(), "a b.cnf");
  EXPECT_EQ(vm.at("model-file").as<std::string>(), "out.txt");
  EXPECT_EQ(vm.count("dimacs-stdin"), 1u);
  EXPECT_EQ(vm.count("nosplash"), 1u);
  EXPECT_EQ(vm.count("help"), 0u);
}

TEST(CommandLineParser, RejectsWhatItDoesNotKnow) {
  const std::vector<std::vector<std::string>> bad = {
      {"--bogus"},
      {"input.cnf"},
      {"--dimacs", "a.cnf", "b.cnf"},
      {"--dimacs"},
      {"--tmout", "soon"},
      {"--tmout", "1.5"},
      {"--sp-first-restart", "many"},
      {"--sp-variable-decay", "fast"},
      {"--sp-update-dec-queue", "maybe"},
      {"--help=yes"},
      {"-h"},
      {"--h"},  // help or hidden
  };
  for (const auto& args : bad) EXPECT_THROW(parse(args), po::error) << args.front();
}

TEST(OptionSets, HelpShowsFourGroupsAndParsingTakesAllSix) {
  const po::options_description all = parsingOptions();
  const po::options_description shown = helpOptions();
  const struct {
    const char* name;
    bool inHelp;
  } cases[] = {
      {"help", true},
      {"hidden", true},
      {"license", true},
      {"model-stdout", true},
      {"model-file", true},
      {"tmout", true},
      {"stats", true},
      {"time", true},
      {"version", true},
      {"dimacs", true},
      {"dimacs-stdin", true},
      {"spset-default", true},
      {"spset-default-inc", true},
      {"spset-autotuned-kz_1_0", true},
      {"spset-autotuned-kz_1_1", true},
      {"spset-sw-verification", true},
      {"proof", true},
      {"proof-text", true},
      {"nosplash", false},
      {"sp-var-dec-heur", false},
      {"sp-clause-sort-heur", false},
      {"sp-res-order-heur", false},
      {"sp-clause-del-heur", false},
      {"sp-phase-dec-heur", false},
      {"sp-resolution", false},
      {"sp-variable-decay", false},
      {"sp-clause-decay", false},
      {"sp-restart-inc", false},
      {"sp-learned-size-factor", false},
      {"sp-learned-clauses-inc", false},
      {"sp-clause-activity-inc", false},
      {"sp-var-activity-inc", false},
      {"sp-rand-phase-dec-freq", false},
      {"sp-rand-var-dec-freq", false},
      {"sp-rand-var-dec-scaling", false},
      {"sp-rand-phase-scaling", false},
      {"sp-max-res-lit-inc", false},
      {"sp-first-restart", false},
      {"sp-res-cutoff-cls", false},
      {"sp-res-cutoff-lits", false},
      {"sp-max-res-runs", false},
      {"sp-update-dec-queue", false},
      {"sp-use-pure-literal-rule", false},
  };
  for (const auto& c : cases) {
    EXPECT_NE(all.find_nothrow(c.name, false), nullptr) << c.name;
    EXPECT_EQ(shown.find_nothrow(c.name, false) != nullptr, c.inHelp) << c.name;
  }
  EXPECT_EQ(all.options().size(), std::size(cases));
}

TEST(OptionSets, ModeParametersListTheirModes) {
  const po::options_description all = parsingOptions();
  const struct {
    const char* name;
    const char* help;
  } cases[] = {
      {"sp-clause-del-heur",
       "Clause deletion heuristic.\n"
       "0 -  Delete low activity clauses.\n"
       "1 -  Delete low activity clauses, but leave binary ones.\n"
       "2 -  Delete inactive and large clauses."},
      {"sp-phase-dec-heur",
       "Phase decision heuristic.\n"
       "0 -  Always pick false phase.\n"
       "1 -  Always pick true phase.\n"
       "2 -  Pick phase at random.\n"
       "3 -  Pick more frequent phase.\n"
       "4 -  Pick less frequent phase.\n"
       "5 -  Pick phase with more watched literals.\n"
       "6 -  Pick phase with less watched literals."},
      {"sp-resolution",
       "Type of resolution.\n"
       "0 -  Disables resolution.\n"
       "1 -  Resolve only original clauses.\n"
       "2 -  Resolve all clauses."},
  };
  for (const auto& c : cases) EXPECT_EQ(all.find(c.name, false).description(), c.help);

  const std::string heuristics = all.find("sp-var-dec-heur", false).description();
  EXPECT_EQ(heuristics.rfind("Variable decision heuristic.\n0 -  Prefer more active variables.\n", 0),
            0u);
  EXPECT_NE(heuristics.find("\n10 -  Pick variables with maximal product of occurrences.\n"),
            std::string::npos);
  EXPECT_EQ(heuristics.substr(heuristics.rfind('\n')),
            "\n19 -  Take variables as they were created (fixed order).");
  for (const char* name : {"sp-clause-sort-heur", "sp-res-order-heur"}) {
    const std::string d = all.find(name, false).description();
    EXPECT_EQ(d.substr(d.find('\n')), heuristics.substr(heuristics.find('\n'))) << name;
  }
}

TEST(MentionsHidden, JudgedWithoutAFullParse) {
  const struct {
    std::vector<std::string> args;
    bool hidden;
  } cases[] = {
      {{"--hidden"}, true},
      {{"--hidden", "--bogus"}, true},
      {{"--bogus", "--hidden"}, true},
      {{"--hid", "--bogus"}, true},              // abbreviation, as the parser allows
      {{"--hidden", "input.cnf"}, true},         // bare word
      {{"--hidden", "--tmout", "soon"}, true},   // malformed value
      {{"--hidden", "--dimacs"}, true},          // missing value
      {{"--hidden", "--h"}, true},               // ambiguous name
      {{"--bogus"}, false},
      {{"--help", "--tmout", "soon"}, false},
      {{"--model-file", "--hidden", "--x"}, false},  // a value, not the switch
      {{}, false},
  };
  for (const auto& c : cases) {
    const Argv a(c.args);
    EXPECT_EQ(mentionsHidden(a.argc(), a.argv()), c.hidden)
        << (c.args.empty() ? std::string("(none)") : c.args.front());
  }
}

}  // namespace
}  // namespace quelt
