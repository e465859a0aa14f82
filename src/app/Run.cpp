// One run: read the formula, configure the solver, solve, report.
//
// Parameters are applied after the formula is loaded, through the facade
// (lib/Facade.hpp), which has the search policy derive again what it took
// from them at construction (the first conflict and learned-clause limits,
// the decision queue's ordering), so that every option takes effect. The
// limits, the signals' stop flag and the progress table go through it too.
//
// A verdict is only ever given on a formula that was read completely: when
// reading stopped at a number it could not read, no result line is written
// and the exit status is 1.
//
// The solve goes through the library's portfolio (lib/parallel/Portfolio.hpp),
// with one solver unless --threads asks for more. With N above 1 the reader
// also keeps the formula as it was given, from which the other solvers load
// it; the first verdict is reported, after its model is checked against that
// record, together with a c line naming the configuration that found it.
// Each solver logs its proof to a file of its own beside the proof file,
// and the winner's becomes the proof file. The solvers share learned
// clauses unless --no-share or --proof is given (lib/parallel/Sharing.hpp).
#include "app/Run.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/CompressedInput.hpp"
#include "app/Dimacs.hpp"
#include "app/Interrupts.hpp"
#include "app/Options.hpp"
#include "app/Progress.hpp"
#include "lib/Facade.hpp"
#include "lib/parallel/Portfolio.hpp"

namespace quelt {

// The time limit to arm for a --tmout value: negative values mean none, and
// so does a limit that would not fit the solver's 32-bit clock.
unsigned timeoutSeconds(int tmout) {
  if (tmout < 0) return SearchParams::kNoTimeLimit;
  const std::uint64_t absolute = static_cast<std::uint64_t>(tmout) + cpuSeconds();
  if (absolute >= SearchParams::kNoTimeLimit) return SearchParams::kNoTimeLimit;
  return static_cast<unsigned>(tmout);
}

namespace {

void writeModel(const Solver& solver, const boost::program_options::variables_map& vm) {
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

// The proofs of solvers 1 .. N-1 of a portfolio: each in a file of its own
// beside the proof file, FILE.partI-PID, until the run ends; the winner's
// then takes the place of FILE (solver 0 writes there itself) and the
// others are removed.
class PartProofs {
 public:
  PartProofs(Portfolio& portfolio, std::string path) : portfolio(portfolio), path(std::move(path)) {}
  ~PartProofs() { discard(); }

  // Throws std::runtime_error when a file cannot be opened, after closing
  // and removing the ones opened before it.
  void open(bool binary) {
    parts.resize(portfolio.size());
    for (unsigned i = 1; i < portfolio.size(); ++i) {
      Part& p = parts[i];
      p.path = path + ".part" + std::to_string(i) + "-" + std::to_string(getpid());
      try {
        p.writer = std::make_unique<ProofWriter>(p.path, binary);
      } catch (const std::exception&) {
        discard();  // the run ends here: leave no part file behind
        throw;
      }
      portfolio.solver(i).setProof(p.writer.get());
    }
  }

  // Puts the winner's proof at path and removes the others; the proof of
  // solver 0 is left as it is when no solver won. False when the proof kept
  // could not be written.
  bool settle(ProofWriter& first) {
    const int w = portfolio.winner();
    const unsigned kept = w > 0 ? static_cast<unsigned>(w) : 0;
    bool written = kept != 0 || first.flush();
    for (unsigned i = 1; i < parts.size(); ++i) {
      Part& p = parts[i];
      if (p.writer == nullptr) continue;
      portfolio.solver(i).setProof(nullptr);
      const bool flushed = p.writer->flush();
      p.writer.reset();
      if (i == kept)
        written = flushed && std::rename(p.path.c_str(), path.c_str()) == 0;
      else
        std::remove(p.path.c_str());
    }
    return written;
  }

 private:
  struct Part {
    std::string path;
    std::unique_ptr<ProofWriter> writer;
  };
  void discard() {
    for (unsigned i = 1; i < parts.size(); ++i)
      if (parts[i].writer != nullptr) {
        portfolio.solver(i).setProof(nullptr);
        parts[i].writer.reset();
        std::remove(parts[i].path.c_str());
      }
  }

  Portfolio& portfolio;
  const std::string path;
  std::vector<Part> parts;
};

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

bool configureSearch(boost::program_options::variables_map& vm, Dimacs& reader, Portfolio& portfolio) {
  reader.setParams(vm);
  SearchParams params = reader.getSolver().params;
  try {
    applySearchParameters(vm, params);
  } catch (const ParameterError& e) {
    std::cerr << e.what() << std::endl;
    return false;
  }
  portfolio.setParameters(params);
  portfolio.setCpuLimit(timeoutSeconds(vm["tmout"].as<int>()));
  return true;
}

bool explainNoVerdict(const Portfolio& portfolio, bool thrown) {
  if (thrown) {
    std::cout << "c Resources exceeded." << std::endl;
    return false;
  }
  // A solver that ran out of memory dropped out; the memory limit is
  // reported when none was left.
  bool allDroppedOut = true, allOverLimit = true;
  for (unsigned i = 0; i < portfolio.size(); ++i) {
    allDroppedOut = allDroppedOut && (portfolio.reachedMemoryLimit(i) || portfolio.ranOutOfResources(i));
    allOverLimit = allOverLimit && portfolio.reachedMemoryLimit(i);
  }
  if (allDroppedOut && allOverLimit) return true;
  if (allDroppedOut) std::cout << "c Resources exceeded." << std::endl;
  return false;
}

void reportMemoryLimit(const boost::program_options::variables_map& vm) {
  std::cerr << "The clauses would take more than the memory limit of " << vm["mem-limit"].as<int>()
            << " MB. Stopping." << std::endl;
}

void reportResult(const boost::program_options::variables_map& vm, const Solver& shown, unsigned result,
                  int signal, const std::string& winnerLine, bool statsReport, const Portfolio* sharing) {
  if (signal != 0 && result == Solver::Timeout) {
    std::cout << "c INTERRUPTED by " << interrupts::signalName(signal) << std::endl
              << "s UNKNOWN" << std::endl;
  } else {
    if (!winnerLine.empty()) std::cout << winnerLine << std::endl;
    std::cout << shown << std::endl;
  }
  if (statsReport) {
    shown.dumpStats(std::cout);
    if (shown.params.modern) reportModern(std::cout, shown.stats);
    if (sharing != nullptr && shown.exchange != nullptr) {
      for (unsigned i = 0; i < sharing->size(); ++i)
        reportSharing(std::cout, ("solver " + std::to_string(i)).c_str(), sharing->solver(i).solver().stats.sharing);
      reportSharing(std::cout, "all", sharing->sharingTotals());
    }
  }
  if (result == Solver::Satisfiable) writeModel(shown, vm);
  if (vm.count("stats")) std::cout << "c Sorry, stats are not supported in competition release." << std::endl;
  if (vm.count("time")) {
    const std::streamsize precision = std::cout.precision();
    std::cout << "c runtime " << std::fixed << std::setprecision(2) << cpuTime() << " [s]" << std::endl;
    std::cout.precision(precision);
  }
}

void setRunLimits(const boost::program_options::variables_map& vm, Portfolio& portfolio) {
  const int memoryLimit = vm["mem-limit"].as<int>();
  if (memoryLimit >= 0)
    portfolio.setMemoryLimit(std::max<std::size_t>((static_cast<std::size_t>(memoryLimit) << 20) / portfolio.size(), 1));
  interrupts::install();
  portfolio.setStopFlag(&interrupts::stopRequested);
  if (vm["wall-tmout"].as<int>() >= 0)
    portfolio.setDeadline(wallTime() + std::chrono::seconds(vm["wall-tmout"].as<int>()));
}

int exitStatus(unsigned result) {
  if (result == Solver::Satisfiable) return kExitSatisfiable;
  if (result == Solver::Unsatisfiable) return kExitUnsatisfiable;
  return 0;
}

int runInput(boost::program_options::variables_map& vm, bool statsReport) {
  // The reader lives until the process ends: freeing a large clause database
  // only to exit would cost time for nothing. The statics keep it reachable.
  static Dimacs* reader = nullptr;
  static ProofWriter* proof = nullptr;
  static Facade* facade = nullptr;
  static Portfolio* portfolio = nullptr;
  reader = new Dimacs();
  proof = nullptr;
  Solver& solver = reader->getSolver();
  facade = new Facade(solver);
  const unsigned threads = static_cast<unsigned>(vm["threads"].as<int>());
  portfolio = new Portfolio(threads, facade);
  // A proof could not justify a clause another solver found.
  if (vm.count("no-share") || vm.count("proof")) portfolio->setSharing(false);

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
    facade->setProof(proof);
  }

  // Limits and signals are in place before reading: a huge formula can be
  // stopped, or refused, while it is read. Several solvers share the clause
  // memory limit equally.
  setRunLimits(vm, *portfolio);
  ProgressTable progress(std::cout);
  if (vm.count("progress")) progress.attach(*facade);
  if (threads > 1) reader->recordInto(&portfolio->record());

  bool overLimit = false;
  try {
    const int status = loadFormula(vm, reader);
    if (status >= 0) return status;
  } catch (const util::MemoryLimitReached&) {
    overLimit = true;
  }
  if (threads > 1) portfolio->firstHoldsRecord();

  unsigned result = Solver::Unknown;
  Solver* shown = &solver;  // the solver whose result is reported
  bool proofWritten = true;
  PartProofs parts(*portfolio, vm.count("proof") ? vm["proof"].as<std::string>() : std::string());
  if (!overLimit) {
    if (!configureSearch(vm, *reader, *portfolio)) return kExitError;
    if (proof != nullptr && threads > 1) {
      try {
        parts.open(vm.count("proof-text") == 0);
      } catch (const std::exception&) {
        std::cerr << "Can't open a proof file beside " << vm["proof"].as<std::string>() << ". Exiting..."
                  << std::endl;
        return kExitError;
      }
    }
    bool thrown = false;
    try {
      portfolio->solve();
    } catch (...) {
      thrown = true;
    }
    if (proof != nullptr && threads > 1) proofWritten = parts.settle(*proof);
    const int winner = portfolio->winner();
    if (winner >= 0) {
      std::string failure = portfolio->modelCheckFailure(static_cast<unsigned>(winner));
      if (failure.empty()) failure = portfolio->checkModel();
      if (!failure.empty()) {
        std::cerr << failure << std::flush;
        return kExitError;
      }
    } else {
      overLimit = explainNoVerdict(*portfolio, thrown);
    }
    shown = &portfolio->result();
    result = thrown && winner < 0 ? Solver::Unknown : shown->status;
  }
  if (overLimit) {
    reportMemoryLimit(vm);
    result = Solver::Unknown;
    shown->status = Solver::Unknown;
  }
  std::string winnerLine;
  if (threads > 1 && portfolio->winner() >= 0)
    winnerLine = "c winner: thread " + std::to_string(portfolio->winner()) + " (" +
                 portfolio->nameOf(static_cast<unsigned>(portfolio->winner())) + ")";
  reportResult(vm, *shown, result, interrupts::caughtSignal(), winnerLine, statsReport, portfolio);
  if (proof != nullptr && !(threads > 1 ? proofWritten : proof->flush())) {
    std::cerr << "Writing the proof file failed." << std::endl;
    return kExitError;
  }
  return exitStatus(result);
}

}  // namespace quelt
