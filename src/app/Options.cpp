// Option table, informational texts and parameter application.
//
// The sp- search parameters, the switches and the presets are listed once,
// in the parameter table (params/ParameterTable.cpp). Each row carries the
// option name, the SearchParams field it fills, the type the command line
// reads, the inclusive range and the help text; the Boost declarations, the
// range checks and the stores here are all generated from those rows.
//
// Values are never bound to variables at declaration time: after parsing,
// every value is read back from the variables map by name, as the type its
// option declares. That keeps the map the only record of what the user typed,
// and lets presets be applied first and individual options after them.
#include "app/Options.hpp"

#include <boost/program_options/parsers.hpp>
#include <boost/program_options/positional_options.hpp>
#include <boost/program_options/value_semantic.hpp>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <vector>

#include "lib/parallel/Portfolio.hpp"
#include "app/Run.hpp"
#include "params/ParameterTable.hpp"

namespace po = boost::program_options;

namespace quelt {

namespace {

// ---------------------------------------------------------------------------
// The search-parameter options, generated from the parameter table

struct SearchOption {
  const char* name;
  std::string help;
  // The typed value the command line reads.
  std::function<const po::value_semantic*()> semantic;
  // Reads the value back from the map, checks its range, stores it.
  std::function<void(const po::variable_value&, SearchParams&)> store;
};

// A numeric parameter read as Value and checked against the row's range.
template <typename Value>
SearchOption ranged(const ParameterSpec& spec) {
  return {spec.name, spec.help, [] { return po::value<Value>(); },
          [&spec](const po::variable_value& v, SearchParams& p) {
            const Value x = v.as<Value>();
            checkBounds<Value>(spec.name, x, static_cast<Value>(spec.lower), static_cast<Value>(spec.upper));
            spec.set(p, static_cast<double>(x));
          }};
}

SearchOption option(const ParameterSpec& spec) {
  switch (spec.kind) {
    case ParameterKind::Int: return ranged<int>(spec);
    case ParameterKind::Unsigned: return ranged<unsigned int>(spec);
    case ParameterKind::Double: return ranged<double>(spec);
    default:
      // Any boolean word the options library accepts.
      return {spec.name, spec.help, [] { return po::value<bool>(); },
              [&spec](const po::variable_value& v, SearchParams& p) { spec.set(p, v.as<bool>() ? 1 : 0); }};
  }
}

const std::vector<SearchOption>& searchOptions() {
  static const std::vector<SearchOption> table = [] {
    std::vector<SearchOption> options;
    for (const ParameterSpec& spec : parameterTable())
      if (spec.kind != ParameterKind::Switch) options.push_back(option(spec));
    return options;
  }();
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
       "Write a DRAT proof of the run to this file (binary DRAT unless --proof-text is given). "
       "With --threads the solvers then share no clauses.")
      ("proof-text", "Write the proof in the text form of DRAT.");
  return g;
}

po::options_description runOptions() {
  po::options_description g("Watching and stopping long runs", kOptionLineWidth);
  g.add_options()
      ("progress", "Print a progress table (c lines) while searching.")
      ("wall-tmout", po::value<int>()->default_value(-1),
       "Wall-clock timeout in seconds; negative values mean no timeout.")
      ("mem-limit", po::value<int>()->default_value(-1),
       "Stop with s UNKNOWN when the clauses would take more than this many MB; negative "
       "values mean no limit.");
  return g;
}

// The switches of the parameter table: bare options, set when present, in
// the help group their entry names.
po::options_description switchOptions(const char* group) {
  po::options_description g(group, kOptionLineWidth);
  for (const ParameterSpec& spec : parameterTable())
    if (spec.kind == ParameterKind::Switch && std::string(spec.group) == group)
      g.add_options()(spec.name, spec.help.c_str());
  return g;
}
po::options_description preprocessingOptions() { return switchOptions("Preprocessing"); }
po::options_description strategyOptions() { return switchOptions("Search strategy"); }

po::options_description parallelOptions() {
  po::options_description g("Parallel search", kOptionLineWidth);
  g.add_options()
      ("threads", po::value<int>()->default_value(1),
       "Run this many solvers (1 to 64) in parallel threads, each configured differently; the "
       "first verdict wins.")
      ("no-share",
       "With --threads, keep each solver's learned clauses to itself; by default short ones go to "
       "the others. Always so with --proof, which could not justify them.");
  return g;
}

po::options_description hiddenOptions() {
  po::options_description g("Hidden options", kOptionLineWidth);
  g.add_options()("nosplash", "Hides intro.");
  return g;
}

po::options_description presetOptions() {
  po::options_description g("Predefined sets of search parameters", kOptionLineWidth);
  for (const PresetSpec& p : presetTable()) g.add_options()(p.name, p.help);
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
      .add(runOptions())
      .add(strategyOptions())
      .add(preprocessingOptions())
      .add(parallelOptions())
      .add(hiddenOptions());
  return all;
}

po::options_description helpOptions() {
  po::options_description shown(kHelpLineWidth);
  shown.add(generalOptions())
      .add(formatOptions())
      .add(presetOptions())
      .add(proofOptions())
      .add(runOptions())
      .add(strategyOptions())
      .add(preprocessingOptions())
      .add(parallelOptions());
  return shown;
}

void parseCommandLine(int argc, const char* const argv[], po::variables_map& vm,
                      const po::options_description* extra) {
  // An empty positional description makes the parser reject bare words
  // instead of dropping them, so a file name without --dimacs is reported.
  const po::positional_options_description noPositionals;
  po::options_description accepted = parsingOptions();
  if (extra != nullptr) accepted.add(*extra);
  po::store(po::command_line_parser(argc, argv)
                .options(accepted)
                .positional(noPositionals)
                .run(),
            vm);
  po::notify(vm);
  // A thread count out of range is an invalid value, reported as the
  // parser reports a malformed one.
  const int threads = vm["threads"].as<int>();
  if (threads < 1 || threads > static_cast<int>(Portfolio::kMaxThreads)) {
    po::invalid_option_value error(std::to_string(threads));
    error.set_option_name("threads");
    error.set_prefix(po::command_line_style::allow_long);
    throw error;
  }
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

void printHelp(std::ostream& out, bool hidden, const po::options_description* extra) {
  if (hidden) {
    out << "c Sorry, hidden options are really hidden in competition release." << std::endl;
    return;
  }
  if (extra == nullptr) {
    out << helpOptions() << std::endl;
    return;
  }
  po::options_description shown = helpOptions();
  shown.add(*extra);
  out << shown << std::endl;
}

void applySearchParameters(const po::variables_map& vm, SearchParams& params) {
  for (const PresetSpec& p : presetTable())
    if (vm.count(p.name)) (params.*p.apply)();
  for (const SearchOption& o : searchOptions())
    if (vm.count(o.name)) o.store(vm[o.name], params);
  for (const ParameterSpec& spec : parameterTable())
    if (spec.kind == ParameterKind::Switch && vm.count(spec.name)) spec.set(params, 1);
}

int runCommandLine(int argc, const char* const argv[], std::ostream& out, std::ostream& err,
                   bool statsReport) {
  return runCommandLine(argc, argv, out, err,
                        [statsReport](po::variables_map& vm) { return runInput(vm, statsReport); });
}

int runCommandLine(int argc, const char* const argv[], std::ostream& out, std::ostream& err,
                   const InputRunner& run, const po::options_description* extra) {
  po::variables_map vm;
  try {
    parseCommandLine(argc, argv, vm, extra);
  } catch (const std::exception& e) {
    printHelp(out, mentionsHidden(argc, argv), extra);
    err << "Error: " << e.what() << std::endl;
    return 1;
  }

  if (vm.count("help")) {
    printHelp(out, vm.count("hidden") != 0, extra);
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

  if (vm.count("dimacs") || vm.count("dimacs-stdin")) return run(vm);

  printHelp(out, vm.count("hidden") != 0, extra);
  return 0;
}

}  // namespace quelt
