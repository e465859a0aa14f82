// The command line: the option table, the informational texts (help,
// version, licence, banner) and the application of the search parameters to
// a solver's parameter record.
//
// Options are declared in groups. Every group is accepted on the command
// line; the help shows all but the search parameters and the hidden ones.
// The sp- search parameters and the switches (--preprocess) come from the
// parameter table, which drives their declaration, their range check and
// the store into SearchParams.
#pragma once

#include <boost/program_options/options_description.hpp>
#include <boost/program_options/variables_map.hpp>
#include <functional>
#include <iostream>
#include <ostream>
#include <sstream>
#include <string>

#include "params/ParameterTable.hpp"
#include "params/SearchParams.hpp"

namespace quelt {

// Width of the parsing set and of each group; the help set is narrower.
constexpr unsigned kOptionLineWidth = 80;
constexpr unsigned kHelpLineWidth = 72;

// Every option the command line accepts: general, formats, presets, search
// parameters, proofs, long runs, preprocessing, hidden.
boost::program_options::options_description parsingOptions();

// The options the help shows: general, formats, presets, proofs, long runs,
// preprocessing.
boost::program_options::options_description helpOptions();

// Parses argv against parsingOptions() and extra, when given, into vm
// (store and notify). A bare
// word is an error, since the input is only ever named by --dimacs. Throws
// the options library's exceptions.
void parseCommandLine(int argc, const char* const argv[],
                      boost::program_options::variables_map& vm,
                      const boost::program_options::options_description* extra = nullptr);

// Whether argv asks for the hidden switch, judged without a full parse, so
// that it is known even when parseCommandLine threw.
bool mentionsHidden(int argc, const char* const argv[]);

void printVersion(std::ostream& out);
void printLicense(std::ostream& out);
void printBanner(std::ostream& out);
// The help set, or the one-line refusal when the hidden options were asked
// for.
// extra, when given, is shown after the help set.
void printHelp(std::ostream& out, bool hidden,
               const boost::program_options::options_description* extra = nullptr);

// Applies the presets present in vm, always in the fixed order default,
// default-inc, autotuned 1.0, autotuned 1.1, software verification; then
// every sp- option present, in table order, each range-checked before it is
// stored (checkBounds, params/ParameterTable.hpp); then the switches
// present. The first value out of range throws ParameterError.
void applySearchParameters(const boost::program_options::variables_map& vm,
                           SearchParams& params);

// Everything main does: parse, informational output, then either the run
// (through runInput, when an input option is present) or the help. Returns
// the exit status. Command-line errors print the help to out and one
// "Error: " line to err, and return 1.
// With statsReport, a solved run also prints the solver's statistics report
// on standard output after the result (the benchmark program's use).
int runCommandLine(int argc, const char* const argv[], std::ostream& out, std::ostream& err,
                   bool statsReport = false);

// The same with another run in place of runInput (the distributed program's),
// called with the parsed options once an input option is present, and the
// options of that program, extra, accepted and shown in the help besides
// the usual ones.
using InputRunner = std::function<int(boost::program_options::variables_map&)>;
int runCommandLine(int argc, const char* const argv[], std::ostream& out, std::ostream& err,
                   const InputRunner& run,
                   const boost::program_options::options_description* extra = nullptr);

}  // namespace quelt
