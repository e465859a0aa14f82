// Option table, informational texts and parameter application.
//
// The sp- search parameters are listed once, in searchOptions() below. Each
// row carries the option name, the SearchParams field it fills, the type the
// command line reads, the inclusive range and the help text; the Boost
// declarations, the range checks and the stores are all generated from that
// row. Adding a search parameter is one line in that table (plus its field in
// SearchParams).
//
// Values are never bound to variables at declaration time: after parsing,
// every value is read back from the variables map by name, as the type its
// option declares. That keeps the map the only record of what the user typed,
// and lets presets be applied first and individual options after them.
#include "frontend/Options.hpp"

#include <boost/program_options/parsers.hpp>
#include <boost/program_options/positional_options.hpp>
#include <boost/program_options/value_semantic.hpp>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <vector>

#include "frontend/Run.hpp"

namespace po = boost::program_options;

namespace quelt {

template void checkBounds<int>(const std::string&, int, int, int);
template void checkBounds<unsigned int>(const std::string&, unsigned int, unsigned int,
                                        unsigned int);
template void checkBounds<double>(const std::string&, double, double, double);

namespace {

// ---------------------------------------------------------------------------
// Help texts of the mode parameters

// Variable orderings, shared by the decision queue, the clause literal order
// and the order of variable elimination.
const char* const kHeuristicList[] = {
    "Prefer more active variables.",
    "Prefer less active variables.",
    "If equaly active, pick more frequent.",
    "If equaly active, pick less frequent.",
    "If equaly active, pick more asymmetric variable.",
    "If equaly active, pick less asymmetric variable.",
    "If equaly active, pick the one with larger product of occurrences.",
    "If equaly active, pick the one with smaller product of occurrences.",
    "Pick variables with maximal number of occurrences.",
    "Pick variables with minimal number of occurrences.",
    "Pick variables with maximal product of occurrences.",
    "Pick variables with minimal product of occurrences.",
    "Pick more asymmetric variables.",
    "Pick less asymmetric variables.",
    "Prefer variables assigned at larger decision level.",
    "Prefer variables assigned at smaller decision level.",
    "Prefer smaller variables (numerical comparison).",
    "Prefer larger variables (numerical comparison).",
    "Prefer implied literals with shorter reasons.",
    "Take variables as they were created (fixed order).",
};

const char* const kDeletionList[] = {
    "Delete low activity clauses.",
    "Delete low activity clauses, but leave binary ones.",
    "Delete inactive and large clauses.",
};

const char* const kPhaseList[] = {
    "Always pick false phase.",
    "Always pick true phase.",
    "Pick phase at random.",
    "Pick more frequent phase.",
    "Pick less frequent phase.",
    "Pick phase with more watched literals.",
    "Pick phase with less watched literals.",
};

const char* const kResolutionList[] = {
    "Disables resolution.",
    "Resolve only original clauses.",
    "Resolve all clauses.",
};

// The first line, then one line per mode: "<n> -  <text>". No newline at the
// end.
template <std::size_t N>
std::string withModes(const char* first, const char* const (&modes)[N]) {
  std::string text = first;
  for (std::size_t i = 0; i < N; ++i) {
    text += '\n';
    text += std::to_string(i);
    text += " -  ";
    text += modes[i];
  }
  return text;
}

const char* const kAutotunedHelp =
    "Parameters found by an automatic parameter-optimisation tool that runs "
    "an iterated local search in the space of solver configurations; see the "
    "paper \"Automatic algorithm configuration based on local search\".";

// ---------------------------------------------------------------------------
// The search-parameter table

struct SearchOption {
  const char* name;
  std::string help;
  // The typed value the command line reads.
  std::function<const po::value_semantic*()> semantic;
  // Reads the value back from the map, checks its range, stores it.
  std::function<void(const po::variable_value&, SearchParams&)> store;
};

// A numeric parameter read as Value, checked against [lower, upper] and
// stored into a field of type Field.
template <typename Value, typename Field>
SearchOption ranged(const char* name, Field SearchParams::*field, Value lower, Value upper,
                    std::string help) {
  return {name, std::move(help), [] { return po::value<Value>(); },
          [name, field, lower, upper](const po::variable_value& v, SearchParams& p) {
            const Value x = v.as<Value>();
            checkBounds<Value>(name, x, lower, upper);
            p.*field = static_cast<Field>(x);
          }};
}

// A boolean parameter: any boolean word the options library accepts.
SearchOption flag(const char* name, bool SearchParams::*field, std::string help) {
  return {name, std::move(help), [] { return po::value<bool>(); },
          [field](const po::variable_value& v, SearchParams& p) { p.*field = v.as<bool>(); }};
}

using SP = SearchParams;

const std::vector<SearchOption>& searchOptions() {
  static const std::vector<SearchOption> table = {
      ranged<int>("sp-var-dec-heur", &SP::varDecHeur, 0, 19,
                  withModes("Variable decision heuristic.", kHeuristicList)),
      ranged<int>("sp-clause-sort-heur", &SP::clauseSortHeur, 0, 19,
                  withModes("Clause sorting heuristic.", kHeuristicList)),
      ranged<int>("sp-res-order-heur", &SP::resOrderHeur, 0, 19,
                  withModes("Heuristic for ordering the sequence of resolutions.",
                            kHeuristicList)),
      ranged<int>("sp-clause-del-heur", &SP::clauseDelHeur, 0, 2,
                  withModes("Clause deletion heuristic.", kDeletionList)),
      ranged<int>("sp-phase-dec-heur", &SP::phaseDecHeur, 0, 6,
                  withModes("Phase decision heuristic.", kPhaseList)),
      ranged<int>("sp-resolution", &SP::resolution, 0, 2,
                  withModes("Type of resolution.", kResolutionList)),
      ranged<double>("sp-variable-decay", &SP::variableDecay, 0.0, 10.0,
                     "Variable activity decay. Allowed range: [0.0,10.0], recommended range: "
                     "[0.5,2.0]."),
      ranged<double>("sp-clause-decay", &SP::clauseDecay, 1.0, 10.0,
                     "Clause activity decay. Allowed range: [1.0,10.0], recommended range: "
                     "[1.0,2.0]."),
      ranged<double>("sp-restart-inc", &SP::restartInc, 1.0, 10.0,
                     "Restart period multiplier. Allowed range: [1.0,10.0], recommended range: "
                     "[1.0,2.0]."),
      ranged<double>("sp-learned-size-factor", &SP::learnedSizeFactor, 0.1, 10.0,
                     "Initial limit on the number of learned clauses as a percentage of the "
                     "size of the number of original clauses. Allowed range: [0.1,10.0], "
                     "recommended range: [0.1,2.0]."),
      ranged<double>("sp-learned-clauses-inc", &SP::learnedClausesInc, 1.1, 2.0,
                     "Multiplier of the limit of the number of learned clauses. Allowed range: "
                     "[1.1,2.0], recommended range: [1.1,1.5]."),
      ranged<double>("sp-clause-activity-inc", &SP::clauseActivityInc, -10.0, 10.0,
                     "Clause activity increment. Allowed range: [-10.0,10.0], recommended "
                     "range: [0.5,1.5]."),
      ranged<double>("sp-var-activity-inc", &SP::varActivityInc, -10.0, 10.0,
                     "Variable activity increment. Allowed range: [-10.0,10.0], recommended "
                     "range: [0.5,1.5]."),
      ranged<double>("sp-rand-phase-dec-freq", &SP::randPhaseDecFreq, 0.0, 1.0,
                     "Random phase decision frequency. Allowed range: [0.0,1.0], recommended "
                     "range: [0.0,0.4]."),
      ranged<double>("sp-rand-var-dec-freq", &SP::randVarDecFreq, 0.0, 1.0,
                     "Random variable decision frequency. Allowed range: [0.0,1.0], "
                     "recommended range: [0.0,0.4]."),
      ranged<double>("sp-rand-var-dec-scaling", &SP::randVarDecScaling, 0.0, 10.0,
                     "Random variable decision frequency scaling factor. If < 1.0 you get "
                     "cooling, if > 1.0 heating effect. Allowed range: [0.0,10.0], recommended "
                     "range: [0.1,2.0]."),
      ranged<double>("sp-rand-phase-scaling", &SP::randPhaseScaling, 0.0, 10.0,
                     "Random phase decision frequency scaling factor. If < 1.0 you get "
                     "cooling, if > 1.0 heating effect. Allowed range: [0.0,10.0], recommended "
                     "range: [0.1,2.0]."),
      ranged<double>("sp-max-res-lit-inc", &SP::maxResLitInc, 0.1, 10.0,
                     "Factor by which resolution is allowed to increase the number of "
                     "literals. Allowed range: [0.1,10.0], recommended range: [0.5,3.0]."),
      ranged<unsigned int>("sp-first-restart", &SP::firstRestart, 10u, 10000u,
                           "Number of conflicts to the first restart. Allowed range: "
                           "[10,10000], recommended range: [50,1000]."),
      ranged<unsigned int>("sp-res-cutoff-cls", &SP::resCutoffCls, 1u, 20u,
                           "Maximal allowed number of clauses in which a variable can occur "
                           "in order to be considered for resolution. Allowed range: [1,20], "
                           "recommended range: [3,10]."),
      ranged<unsigned int>("sp-res-cutoff-lits", &SP::resCutoffLits, 10u, 10000u,
                           "Maximal number of literals in the clause set of any phase of a "
                           "variable in order to be considered for resolution. Allowed range: "
                           "[10,10000], recommended range: [100,500]."),
      ranged<unsigned int>("sp-max-res-runs", &SP::maxResRuns, 0u, 1000u,
                           "Max number of resolution runs. Allowed range: [0,1000], "
                           "recommended range: [1,5]."),
      flag("sp-update-dec-queue", &SP::updateDecQueue,
           "Re-sort decision queue after each restart."),
      flag("sp-use-pure-literal-rule", &SP::usePureLiteralRule, "Use pure literal rule."),
  };
  return table;
}

// ---------------------------------------------------------------------------
// The groups

po::options_description generalOptions() {
  po::options_description g("General options", kOptionLineWidth);
  g.add_options()
      ("help", "Produce help message.")
      ("hidden", "Show hidden options.")
      ("license", "Prints license.")
      ("model-stdout", "If instance is satisfiable, dumps the model to stdout.")
      ("model-file", po::value<std::string>(),
       "If instance is satisfiable, dumps the model to file.")
      ("tmout", po::value<int>()->default_value(-1),
       "Timeout in seconds, negative values mean no timeout, and zero value means parse "
       "only.")
      ("stats", "Dump complete statistics at the end.")
      ("time", "Print run time.")
      ("version", "Print version.");
  return g;
}

po::options_description formatOptions() {
  po::options_description g("Supported formats", kOptionLineWidth);
  g.add_options()
      ("dimacs", po::value<std::string>(), "Input file in DIMACS CNF format. ")
      ("dimacs-stdin", "Read input file from stdin in DIMACS CNF format.");
  return g;
}

po::options_description proofOptions() {
  po::options_description g("Proofs of unsatisfiability", kOptionLineWidth);
  g.add_options()
      ("proof", po::value<std::string>(),
       "Write a DRAT proof of the run to this file (binary DRAT unless --proof-text is given).")
      ("proof-text", "Write the proof in the text form of DRAT.");
  return g;
}

po::options_description hiddenOptions() {
  po::options_description g("Hidden options", kOptionLineWidth);
  g.add_options()("nosplash", "Hides intro.");
  return g;
}

// The presets in the order they are applied.
struct Preset {
  const char* name;
  void (SearchParams::*apply)();
  const char* help;
};

const Preset kPresets[] = {
    {"spset-default", &SearchParams::setDefault, "Set default parameters."},
    {"spset-default-inc", &SearchParams::setDefaultInc,
     "Default params with disabled pure literal rule."},
    {"spset-autotuned-kz_1_0", &SearchParams::setAutotunedKz_1_0, kAutotunedHelp},
    {"spset-autotuned-kz_1_1", &SearchParams::setAutotunedKz_1_1,
     "Similar to the previous one, but with resolution enabled."},
    {"spset-sw-verification", &SearchParams::setSwVerification,
     "Parameters optimized for software verification."},
};

po::options_description presetOptions() {
  po::options_description g("Predefined sets of search parameters", kOptionLineWidth);
  for (const Preset& p : kPresets) g.add_options()(p.name, p.help);
  return g;
}

po::options_description searchParameterOptions() {
  po::options_description g("Search parameters", kOptionLineWidth);
  for (const SearchOption& o : searchOptions())
    g.add_options()(o.name, o.semantic(), o.help.c_str());
  return g;
}

// ---------------------------------------------------------------------------
// Informational texts

const char* const kRightsNotice = "Copyright (c) 2026 The Quelt developers";

const char* const kAsterisks =
    "********************************************************************************";

const char* const kLicenseText =
    "Copyright (c) 2026 The Quelt developers\n"
    "\n"
    "Permission is hereby granted, free of charge, to any person obtaining a copy\n"
    "of this software and associated documentation files (the \"Software\"), to deal\n"
    "in the Software without restriction, including without limitation the rights\n"
    "to use, copy, modify, merge, publish, distribute, sublicense, and/or sell\n"
    "copies of the Software, and to permit persons to whom the Software is\n"
    "furnished to do so, subject to the following conditions:\n"
    "\n"
    "The above copyright notice and this permission notice shall be included in all\n"
    "copies or substantial portions of the Software.\n"
    "\n"
    "THE SOFTWARE IS PROVIDED \"AS IS\", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR\n"
    "IMPLIED, INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF MERCHANTABILITY,\n"
    "FITNESS FOR A PARTICULAR PURPOSE AND NONINFRINGEMENT. IN NO EVENT SHALL THE\n"
    "AUTHORS OR COPYRIGHT HOLDERS BE LIABLE FOR ANY CLAIM, DAMAGES OR OTHER\n"
    "LIABILITY, WHETHER IN AN ACTION OF CONTRACT, TORT OR OTHERWISE, ARISING FROM,\n"
    "OUT OF OR IN CONNECTION WITH THE SOFTWARE OR THE USE OR OTHER DEALINGS IN THE\n"
    "SOFTWARE.\n";

const char* const kBanner[] = {
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
};

}  // namespace

// ---------------------------------------------------------------------------

po::options_description parsingOptions() {
  po::options_description all(kOptionLineWidth);
  all.add(generalOptions())
      .add(formatOptions())
      .add(presetOptions())
      .add(searchParameterOptions())
      .add(proofOptions())
      .add(hiddenOptions());
  return all;
}

po::options_description helpOptions() {
  po::options_description shown(kHelpLineWidth);
  shown.add(generalOptions()).add(formatOptions()).add(presetOptions()).add(proofOptions());
  return shown;
}

void parseCommandLine(int argc, const char* const argv[], po::variables_map& vm) {
  // An empty positional description makes the parser reject bare words
  // instead of dropping them, so a file name without --dimacs is reported.
  const po::positional_options_description noPositionals;
  po::store(po::command_line_parser(argc, argv)
                .options(parsingOptions())
                .positional(noPositionals)
                .run(),
            vm);
  po::notify(vm);
}

bool mentionsHidden(int argc, const char* const argv[]) {
  // Parse again, tolerating unknown options and bare words, and look at the
  // names the parser recognised (so an abbreviation of --hidden counts as it
  // does in a clean parse). Values are not validated here, so a malformed
  // value elsewhere does not hide the switch.
  try {
    const po::parsed_options parsed = po::command_line_parser(argc, argv)
                                          .options(parsingOptions())
                                          .allow_unregistered()
                                          .run();
    for (const po::option& o : parsed.options)
      if (o.string_key == "hidden") return true;
    return false;
  } catch (const std::exception&) {
    // The parser gave up (a missing value, an ambiguous name): fall back to
    // the switch written out in full.
    for (int i = 1; i < argc; ++i)
      if (std::strcmp(argv[i], "--hidden") == 0) return true;
    return false;
  }
}

void printVersion(std::ostream& out) {
  out << "c Quelt $Name: quelt-1-0 $ compiled on $Date: 2007-02-09 22:14:34 $" << std::endl;
  out << "c " << kRightsNotice << std::endl;
}

void printLicense(std::ostream& out) {
  out << kAsterisks << '\n' << kLicenseText << kAsterisks << '\n';
  out.flush();
}

void printBanner(std::ostream& out) {
  for (const char* line : kBanner) out << line << std::endl;
}

void printHelp(std::ostream& out, bool hidden) {
  if (hidden) {
    out << "c Sorry, hidden options are really hidden in competition release." << std::endl;
    return;
  }
  out << helpOptions() << std::endl;
}

void applySearchParameters(const po::variables_map& vm, SearchParams& params) {
  for (const Preset& p : kPresets)
    if (vm.count(p.name)) (params.*p.apply)();
  for (const SearchOption& o : searchOptions())
    if (vm.count(o.name)) o.store(vm[o.name], params);
}

int runCommandLine(int argc, const char* const argv[], std::ostream& out, std::ostream& err,
                   bool statsReport) {
  po::variables_map vm;
  try {
    parseCommandLine(argc, argv, vm);
  } catch (const std::exception& e) {
    printHelp(out, mentionsHidden(argc, argv));
    err << "Error: " << e.what() << std::endl;
    return 1;
  }

  if (vm.count("help")) {
    printHelp(out, vm.count("hidden") != 0);
    return 0;
  }
  if (vm.count("version")) {
    printVersion(out);
    if (argc == 2) return 0;
    out << "c " << std::endl;
  }
  if (vm.count("license")) {
    printLicense(out);
    return 0;
  }
  if (!vm.count("nosplash")) printBanner(out);

  if (vm.count("dimacs") || vm.count("dimacs-stdin")) return runInput(vm, statsReport);

  printHelp(out, vm.count("hidden") != 0);
  return 0;
}

}  // namespace quelt
