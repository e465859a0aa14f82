// The run sequence after the command line has been parsed: read the input,
// apply the parameters, solve, report, and return the exit status.
//
// runInput is the whole of it for the quelt program. The steps other front
// ends share with it (the distributed one in src/mpi reads, configures and
// reports the same way) are declared below it.
#pragma once

#include <string>

#include <boost/program_options/variables_map.hpp>

namespace quelt {

class Dimacs;
class Portfolio;
class Solver;

constexpr int kExitSatisfiable = 10;
constexpr int kExitUnsatisfiable = 20;
constexpr int kExitError = 1;

// Called by main once an input option (dimacs or dimacs-stdin) is present.
// Returns the process exit status. With statsReport the statistics report
// follows the result line on standard output.
int runInput(boost::program_options::variables_map& vm, bool statsReport = false);

// ---- The steps of a run -----------------------------------------------------

// Reads the formula named by vm into reader. Returns -1 when it was read,
// otherwise the exit status, after the message. A clause memory limit
// reached while reading throws util::MemoryLimitReached.
int loadFormula(const boost::program_options::variables_map& vm, Dimacs* reader);
// The CPU-time limit to arm for a --tmout value, from now.
unsigned timeoutSeconds(int tmout);
// The search parameters of vm (presets, sp- options, switches) and the CPU
// limit, for portfolio. False after the message when a value is out of its
// range.
bool configureSearch(boost::program_options::variables_map& vm, Dimacs& reader, Portfolio& portfolio);
// After a solve without a winner (thrown: it ended with an exception):
// prints "c Resources exceeded." when every solver dropped out, unless all
// of them at the memory limit, which it returns for reportMemoryLimit.
bool explainNoVerdict(const Portfolio& portfolio, bool thrown);
// The memory limit's line on standard error.
void reportMemoryLimit(const boost::program_options::variables_map& vm);
// The lines that end a run, from the result on: the interruption by signal
// (when result is a time-out and signal is not 0), or winnerLine (when not
// empty) and the result of shown; the statistics with statsReport, the
// model, the --stats and --time lines. With statsReport and sharing (a
// portfolio whose solver shown traded clauses) each solver's sharing
// counters and their sums follow the statistics.
void reportResult(const boost::program_options::variables_map& vm, const Solver& shown, unsigned result,
                  int signal, const std::string& winnerLine, bool statsReport, const Portfolio* sharing = nullptr);
// The clause memory limit (shared equally by the solvers), the signal
// handlers with the stop flag, and the elapsed-time deadline of the
// options, set on portfolio before the formula is read.
void setRunLimits(const boost::program_options::variables_map& vm, Portfolio& portfolio);
// The exit status of a result: 10, 20, or 0 without a verdict.
int exitStatus(unsigned result);

}  // namespace quelt
