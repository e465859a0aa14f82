// One run: read the formula, configure the solver, solve, report.
//
// Parameters are applied after the formula is loaded, to the solver's own
// record; the values the solver derived at construction (the first conflict
// and learned-clause limits, the decision queue's ordering) are then derived
// again, so that every option takes effect.
//
// A verdict is only ever given on a formula that was read completely: when
// reading stopped at a number it could not read, no result line is written
// and the exit status is 1.
//
// With --threads N above 1 the reader also keeps the formula as it was given,
// and a portfolio (Portfolio.hpp) runs N solvers on it; the first verdict is
// reported, after its model is checked against that record, together with a
// c line naming the configuration that found it. Each solver logs its proof
// to a file of its own, and the winner's becomes the proof file.
#include "frontend/Run.hpp"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <string>

#include "frontend/CompressedInput.hpp"
#include "frontend/Dimacs.hpp"
#include "frontend/Interrupts.hpp"
#include "frontend/Options.hpp"
#include "frontend/Portfolio.hpp"
#include "frontend/Progress.hpp"

namespace quelt {

namespace {

constexpr int kExitSatisfiable = 10;
constexpr int kExitUnsatisfiable = 20;
constexpr int kExitError = 1;

// The time limit to arm for a --tmout value: negative values mean none, and
// so does a limit that would not fit the solver's 32-bit clock.
unsigned timeoutSeconds(int tmout) {
  if (tmout < 0) return SearchParams::kNoTimeLimit;
  const std::uint64_t absolute = static_cast<std::uint64_t>(tmout) + cpuSeconds();
  if (absolute >= SearchParams::kNoTimeLimit) return SearchParams::kNoTimeLimit;
  return static_cast<unsigned>(tmout);
}

void configure(Solver& solver, const boost::program_options::variables_map& vm) {
  applySearchParameters(vm, solver.params);
  solver.resetSearchLimits();
  solver.decisionQueue.cmp.heuristic = solver.params.varDecHeur;
  solver.decisionQueue.rebuild();
}

void writeModel(Solver& solver, const boost::program_options::variables_map& vm) {
  if (vm.count("model-stdout")) {
    solver.dumpModel(std::cout);
  } else if (vm.count("model-file")) {
    const std::string name = vm["model-file"].as<std::string>();
    std::ofstream out(name, std::ios::out | std::ios::trunc);
    if (!out) {
      std::cerr << "Can't open the model file " << name << "." << std::endl;
      return;
    }
    solver.dumpModel(out);
  }
}

}  // namespace

namespace {

// Reads the formula from in, compressed or not. Returns false, after the
// message, when the compressed data is corrupt; other exceptions go on to
// the caller.
bool readFormula(Dimacs& reader, std::istream& in) {
  try {
    FormulaInput input(in);
    reader.parse(input.stream(), false);
  } catch (const CorruptInput&) {
    std::cerr << "The compressed input is corrupt or truncated. Exiting..." << std::endl;
    return false;
  }
  return true;
}

// Runs the portfolio. Returns -1 when there is a result to report, that of
// shown: the winner, or without one a solver that stopped at a limit check
// (overLimit is set when none did, and all reached the memory limit).
// Otherwise returns the exit status, after the message. With a proof, the
// winner's ends up in the proof file; proofWritten says whether that went
// well.
int runPortfolio(Portfolio& portfolio, const boost::program_options::variables_map& vm, ProofWriter* proof,
                 Solver*& shown, bool& proofWritten, bool& overLimit) {
  if (proof != nullptr) {
    try {
      portfolio.openProofs(vm["proof"].as<std::string>(), vm.count("proof-text") == 0);
    } catch (const std::exception&) {
      std::cerr << "Can't open a proof file beside " << vm["proof"].as<std::string>() << ". Exiting..." << std::endl;
      return kExitError;
    }
  }
  portfolio.run();
  if (proof != nullptr) proofWritten = portfolio.settleProofs(vm["proof"].as<std::string>(), *proof);
  const int winner = portfolio.winner();
  if (winner >= 0) {
    std::string failure = portfolio.modelCheckFailure(static_cast<unsigned>(winner));
    if (failure.empty()) failure = portfolio.checkModel();
    if (!failure.empty()) {
      std::cerr << failure << std::flush;
      return kExitError;
    }
    shown = &portfolio.solver(static_cast<unsigned>(winner));
    return -1;
  }
  // No verdict. A solver that ran out of memory dropped out; the memory
  // limit is reported when none was left.
  bool allOverLimit = true;
  for (unsigned i = 0; i < portfolio.size(); ++i) {
    const bool droppedOut = portfolio.reachedMemoryLimit(i) || portfolio.ranOutOfResources(i);
    if (!droppedOut) {
      shown = &portfolio.solver(i);
      return -1;
    }
    allOverLimit = allOverLimit && portfolio.reachedMemoryLimit(i);
  }
  if (allOverLimit) overLimit = true;
  else std::cout << "c Resources exceeded." << std::endl;
  shown = &portfolio.solver(0);
  return -1;
}

}  // namespace

// Reads the formula named by vm into reader. Returns -1 when it was read,
// otherwise the exit status, after the message. A clause memory limit
// reached while reading goes on to the caller.
int loadFormula(const boost::program_options::variables_map& vm, Dimacs* reader) {
  Solver& solver = reader->getSolver();
  if (vm.count("dimacs")) {
    try {
      const std::string name = vm["dimacs"].as<std::string>();
      std::ifstream in(name, std::ios::in | std::ios::binary);
      if (!in) {
        std::cerr << "Can't open the input file. Exiting..." << std::endl;
        return kExitError;
      }
      std::cout << "c solving " << name << std::endl;
      if (!readFormula(*reader, in)) return kExitError;
    } catch (const util::MemoryLimitReached&) {
      throw;
    } catch (...) {
      std::cerr << "Can't open the input file. Exiting..." << std::endl;
      return kExitError;
    }
    if (reader->stoppedAtInvalidNumber()) return kExitError;
    if (solver.stats.originalClauses == 0) {
      std::cerr << "No clauses successfully parsed. Exiting..." << std::endl;
      return kExitError;
    }
  } else {
    try {
      if (!readFormula(*reader, std::cin)) return kExitError;
    } catch (const util::MemoryLimitReached&) {
      throw;
    } catch (...) {
      std::cerr << "Can't read the formula from standard input. Exiting..." << std::endl;
      return kExitError;
    }
    if (reader->stoppedAtInvalidNumber()) return kExitError;
  }

  return -1;
}

int runInput(boost::program_options::variables_map& vm, bool statsReport) {
  // The reader lives until the process ends: freeing a large clause database
  // only to exit would cost time for nothing. The static keeps it reachable.
  static Dimacs* reader = nullptr;
  static ProofWriter* proof = nullptr;
  static std::vector<std::int32_t>* formula = nullptr;
  static Portfolio* portfolio = nullptr;
  reader = new Dimacs();
  proof = nullptr;
  formula = nullptr;
  portfolio = nullptr;
  Solver& solver = reader->getSolver();
  const unsigned threads = static_cast<unsigned>(vm["threads"].as<int>());

  // The proof starts before the formula is read: clauses shortened while
  // they are added are already lemmas.
  if (vm.count("proof")) {
    const std::string name = vm["proof"].as<std::string>();
    try {
      proof = new ProofWriter(name, vm.count("proof-text") == 0);
    } catch (const std::exception&) {
      std::cerr << "Can't open the proof file " << name << ". Exiting..." << std::endl;
      return kExitError;
    }
    solver.proof = proof;
  }

  // Limits and signals are in place before reading: a huge formula can be
  // stopped, or refused, while it is read.
  // Several solvers share the clause memory limit equally.
  const int memoryLimit = vm["mem-limit"].as<int>();
  std::size_t clauseLimit = 0;
  if (memoryLimit >= 0) clauseLimit = std::max<std::size_t>((static_cast<std::size_t>(memoryLimit) << 20) / threads, 1);
  if (clauseLimit != 0) solver.clauseArena.setLimit(clauseLimit);
  interrupts::install();
  solver.stopFlag = &interrupts::stopRequested;
  if (vm["wall-tmout"].as<int>() >= 0) interrupts::armWallClock(static_cast<unsigned>(vm["wall-tmout"].as<int>()));
  ProgressTable progress(std::cout);
  if (vm.count("progress")) progress.attach(solver);
  if (threads > 1) reader->recordInto(formula = new std::vector<std::int32_t>());

  bool overLimit = false;
  try {
    const int status = loadFormula(vm, reader);
    if (status >= 0) return status;
  } catch (const util::MemoryLimitReached&) {
    overLimit = true;
  }

  unsigned result = Solver::Unknown;
  Solver* shown = &solver;  // the solver whose result is reported
  bool proofWritten = true;
  if (!overLimit) {
    reader->setParams(vm);
    configure(solver, vm);
    reader->setTimeout(timeoutSeconds(vm["tmout"].as<int>()));
    if (threads == 1) {
      try {
        result = solver.solve(false);
      } catch (const ModelCheckFailure& failure) {
        std::cerr << failure.what() << std::flush;
        return kExitError;
      } catch (const util::MemoryLimitReached&) {
        overLimit = true;
      } catch (...) {
        std::cout << "c Resources exceeded." << std::endl;
        result = Solver::Unknown;
      }
    } else {
      portfolio = new Portfolio(solver, *formula, threads, clauseLimit, interrupts::stopRequested);
      const int status = runPortfolio(*portfolio, vm, proof, shown, proofWritten, overLimit);
      if (status >= 0) return status;
      result = shown->status;
    }
  }
  if (overLimit) {
    std::cerr << "The clauses would take more than the memory limit of " << memoryLimit << " MB. Stopping."
              << std::endl;
    result = shown->status = Solver::Unknown;
  }
  if (interrupts::caughtSignal() != 0 && result == Solver::Timeout) {
    std::cout << "c INTERRUPTED by " << interrupts::signalName(interrupts::caughtSignal()) << std::endl
              << "s UNKNOWN" << std::endl;
  } else {
    if (portfolio != nullptr && portfolio->winner() >= 0)
      std::cout << "c winner: thread " << portfolio->winner() << " ("
                << portfolio->nameOf(static_cast<unsigned>(portfolio->winner())) << ")" << std::endl;
    std::cout << *shown << std::endl;
  }
  if (statsReport) shown->dumpStats(std::cout);
  if (result == Solver::Satisfiable) writeModel(*shown, vm);
  if (vm.count("stats")) std::cout << "c Sorry, stats are not supported in competition release." << std::endl;
  if (vm.count("time")) {
    const std::streamsize precision = std::cout.precision();
    std::cout << "c runtime " << std::fixed << std::setprecision(2)
              << static_cast<double>(std::clock()) / 1000000.0 << " [s]" << std::endl;
    std::cout.precision(precision);
  }
  if (proof != nullptr && !(portfolio != nullptr ? proofWritten : proof->flush())) {
    std::cerr << "Writing the proof file failed." << std::endl;
    return kExitError;
  }
  if (result == Solver::Satisfiable) return kExitSatisfiable;
  if (result == Solver::Unsatisfiable) return kExitUnsatisfiable;
  return 0;
}

}  // namespace quelt
