// A distributed run (see Distributed.hpp).
#include "mpi/Distributed.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <iomanip>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <boost/program_options/cmdline.hpp>
#include <boost/program_options/errors.hpp>
#include <boost/program_options/value_semantic.hpp>

#include "app/Dimacs.hpp"
#include "app/Interrupts.hpp"
#include "app/Options.hpp"
#include "app/Progress.hpp"
#include "app/Run.hpp"
#include "lib/Facade.hpp"
#include "lib/parallel/Exchange.hpp"
#include "lib/parallel/Portfolio.hpp"

namespace po = boost::program_options;

namespace quelt::mpi {

namespace {

using exchange::Outcome;
using exchange::Report;
using exchange::State;

constexpr int kDefaultIntervalMs = 500;
constexpr int kMaxIntervalMs = 60000;

// What each rank tells rank 0 at the end, for the figures.
enum Figure { kConflicts, kSent, kReceived, kImported, kSeenBefore, kRoundNanos, kOtherNanos, kFigures };

// The same createVar and addClause calls the reader makes, in its order.
void loadRecord(Portfolio& portfolio, const std::vector<std::int32_t>& record) {
  std::vector<Literal> clause;
  for (const std::int32_t x : record) {
    if (x != 0) {
      portfolio.createVar(static_cast<unsigned>(x < 0 ? -x : x));
      clause.push_back(Literal::fromDimacs(x));
      continue;
    }
    portfolio.addClause(clause);
    clause.clear();
  }
}

// How this rank stands: finished says the solve has returned (thrown: with
// an exception, or it never ran).
Report standing(const Portfolio& portfolio, bool finished, bool thrown) {
  const int signal = interrupts::caughtSignal();
  if (!finished)
    return interrupts::stopRequested.load() ? Report{State::Stopped, signal} : Report{State::Running, 0};
  const int w = portfolio.winner();
  if (w >= 0) {
    if (!portfolio.modelCheckFailure(static_cast<unsigned>(w)).empty()) return {State::Failed, w};
    const unsigned status = portfolio.result().status;
    if (status == Solver::Satisfiable) return {State::Satisfiable, w};
    if (status == Solver::Unsatisfiable) return {State::Unsatisfiable, w};
  }
  if (!thrown && portfolio.result().status == Solver::Timeout) return {State::Stopped, signal};
  return {State::Finished, 0};
}

std::vector<std::int32_t> modelOf(const Solver& solver) {
  std::vector<std::int32_t> model;
  model.reserve(solver.model.size());
  for (const Literal l : solver.model) model.push_back(static_cast<std::int32_t>(l.toDimacs()));
  return model;
}

std::vector<std::int32_t> textOf(const std::string& text) { return {text.begin(), text.end()}; }
std::string textFrom(const std::vector<std::int32_t>& ints) {
  std::string text;
  for (const std::int32_t c : ints) text.push_back(static_cast<char>(c));
  return text;
}

double seconds(std::chrono::nanoseconds t) { return std::chrono::duration<double>(t).count(); }

void printFigures(const exchange::Exchange& ex, unsigned threads, int intervalMs,
                  const std::vector<std::int64_t>& figures, double wall) {
  const unsigned ranks = ex.size();
  std::int64_t sum[kFigures] = {};
  std::int64_t slowest = 0;
  for (unsigned r = 0; r < ranks; ++r) {
    for (int f = 0; f < kFigures; ++f) sum[f] += figures[r * kFigures + f];
    slowest = std::max(slowest, figures[r * kFigures + kRoundNanos]);
  }
  const std::size_t slot = exchange::slotInts(ranks);
  const double rounds = static_cast<double>(figures[kRoundNanos]) / 1e9;
  std::ostringstream o;
  o << std::fixed;
  o << "c mpi exchange: " << ranks << (ranks == 1 ? " rank" : " ranks") << " of " << threads
    << (threads == 1 ? " thread" : " threads") << ", " << ex.statistics().rounds << " rounds, one every "
    << intervalMs << " ms\n";
  o << "c mpi exchange: slots of " << slot << " ints, " << slot * ranks * sizeof(std::int32_t)
    << " bytes gathered per rank and round, " << ex.statistics().bytesGathered << " in all\n";
  o << "c mpi exchange: clauses sent " << sum[kSent] << ", received " << sum[kReceived] << ", imported "
    << sum[kImported] << ", already seen " << sum[kSeenBefore] << " (all ranks)\n";
  o << "c mpi exchange: conflicts " << sum[kConflicts] << " (all ranks)\n";
  o << "c mpi exchange: rounds took " << std::setprecision(3) << rounds << " s of " << wall
    << " s wall on rank 0 (" << std::setprecision(1) << (wall > 0 ? 100.0 * rounds / wall : 0.0)
    << " %), at most " << std::setprecision(3) << static_cast<double>(slowest) / 1e9
    << " s on a rank; the formula's broadcast and the end " << static_cast<double>(figures[kOtherNanos]) / 1e9
    << " s\n";
  std::cout << o.str() << std::flush;
}

}  // namespace

po::options_description distributedOptions() {
  po::options_description g("Distributed search (quelt-mpi)", kOptionLineWidth);
  g.add_options()(
      "share-interval",
      po::value<int>()->default_value(kDefaultIntervalMs)->notifier([](int ms) {
        if (ms >= 1 && ms <= kMaxIntervalMs) return;
        po::invalid_option_value error(std::to_string(ms));
        error.set_option_name("share-interval");
        error.set_prefix(po::command_line_style::allow_long);
        throw error;
      }),
      "Milliseconds between two exchange rounds of the ranks (1 to 60000): their states and learned "
      "clauses. --threads is the number of solvers of each rank.");
  return g;
}

int runDistributed(po::variables_map& vm, MpiTransport& comm) {
  const auto start = std::chrono::steady_clock::now();
  const unsigned rank = comm.rank();
  const bool first = rank == 0;
  if (vm.count("proof")) {
    if (first)
      std::cerr << "Error: --proof is not available in a distributed run: the ranks' lemmas cannot be "
                   "put into one proof."
                << std::endl;
    return kExitError;
  }

  // As in runInput, these live until the process ends.
  static Dimacs* reader = nullptr;
  static Facade* facade = nullptr;
  static Portfolio* portfolio = nullptr;
  reader = new Dimacs();
  Solver& solver = reader->getSolver();
  facade = new Facade(solver);
  const unsigned threads = static_cast<unsigned>(vm["threads"].as<int>());
  portfolio = new Portfolio(threads, facade);
  portfolio->setFirstIndex(rank * threads);

  setRunLimits(vm, *portfolio);
  ProgressTable progress(std::cout);
  if (first && vm.count("progress")) progress.attach(*facade);
  if (first) reader->recordInto(&portfolio->record());

  // Rank 0 reads; the others wait for the outcome: loadFormula's status,
  // and whether the memory limit stopped the reading.
  std::int64_t header[2] = {-1, 0};
  if (first) {
    try {
      header[0] = loadFormula(vm, reader);
    } catch (const util::MemoryLimitReached&) {
      header[1] = 1;
    }
  }
  comm.broadcast(header, 2);
  if (header[0] >= 0) return static_cast<int>(header[0]);
  if (header[1] != 0) {
    if (first) {
      reportMemoryLimit(vm);
      solver.status = Solver::Unknown;
      reportResult(vm, solver, Solver::Unknown, interrupts::caughtSignal(), "", false);
    }
    return 0;
  }

  std::vector<std::int32_t> received;
  comm.broadcast(first ? portfolio->record() : received);
  bool overLimit = false;  // this rank could not hold the formula: it only joins the rounds
  if (first) {
    if (threads > 1) portfolio->firstHoldsRecord();
  } else {
    try {
      loadRecord(*portfolio, received);
    } catch (const util::MemoryLimitReached&) {
      overLimit = true;
    }
    std::vector<std::int32_t>().swap(received);
  }
  // The same options on every rank: all fail here, or none.
  if (!configureSearch(vm, *reader, *portfolio)) return kExitError;
  // Between ranks as between threads, unless --no-share.
  if (vm.count("no-share")) portfolio->setSharing(false);
  else if (comm.size() > 1) portfolio->setSharing(true);

  exchange::Exchange ex(comm);
  const int intervalMs = vm["share-interval"].as<int>();
  std::mutex mutex;
  std::condition_variable ended;
  bool finished = overLimit, thrown = overLimit;
  std::thread search;
  if (!overLimit)
    search = std::thread([&] {
      bool failed = false;
      try {
        portfolio->solve();
      } catch (...) {
        failed = true;
      }
      const std::lock_guard<std::mutex> lock(mutex);
      thrown = failed;
      finished = true;
      ended.notify_all();
    });

  std::vector<std::int32_t> exports, imports;
  std::vector<Report> reports;
  Outcome outcome;
  do {
    bool done = false, failed = false;
    {
      std::unique_lock<std::mutex> lock(mutex);
      ended.wait_for(lock, std::chrono::milliseconds(intervalMs), [&] { return finished; });
      done = finished;
      failed = thrown;
    }
    const Report mine = standing(*portfolio, done, failed);
    portfolio->takeExports(exports, ex.share());
    ex.round(mine, exports, reports, imports);
    if (!imports.empty()) portfolio->importRemote(imports);
    outcome = exchange::decide(reports);
  } while (outcome.kind == Outcome::Continue);

  // Everyone stops, then says once more how it ended: a verdict found
  // meanwhile still wins over a stop or a finish.
  portfolio->interrupt();
  if (search.joinable()) search.join();
  exports.clear();
  ex.round(standing(*portfolio, true, thrown), exports, reports, imports);
  if (outcome.kind != Outcome::Verdict) {
    const Outcome late = exchange::decide(reports);
    if (late.kind == Outcome::Verdict) outcome = late;
  }

  // The winner's model, or the diagnosis of its failed check, to rank 0.
  std::vector<std::int32_t> payload;
  const bool verdict = outcome.kind == Outcome::Verdict;
  const State won = outcome.report.state;
  if (verdict && outcome.rank != 0 && (won == State::Satisfiable || won == State::Failed)) {
    if (rank == outcome.rank) {
      const unsigned t = static_cast<unsigned>(outcome.report.detail);
      payload = won == State::Failed ? textOf(portfolio->modelCheckFailure(t)) : modelOf(portfolio->result());
    }
    comm.sendToFirst(outcome.rank, payload);
  }

  std::int64_t mine[kFigures] = {};
  for (unsigned i = 0; i < portfolio->size(); ++i) mine[kConflicts] += portfolio->solver(i).solver().stats.conflicts;
  const exchange::ExchangeStatistics& st = ex.statistics();
  mine[kSent] = static_cast<std::int64_t>(st.clausesSent);
  mine[kReceived] = static_cast<std::int64_t>(st.clausesReceived);
  mine[kImported] = static_cast<std::int64_t>(st.clausesImported);
  mine[kSeenBefore] = static_cast<std::int64_t>(st.seenBefore);
  mine[kRoundNanos] = st.transportTime.count();
  mine[kOtherNanos] = comm.time().count();
  std::vector<std::int64_t> figures;
  comm.gatherToFirst(mine, kFigures, figures);

  std::int64_t status = 0;
  if (first) {
    printFigures(ex, threads, intervalMs, figures, seconds(std::chrono::steady_clock::now() - start));
    Solver& shown = portfolio->result();
    unsigned result = Solver::Unknown;
    int signal = 0;
    std::string winnerLine;
    std::string failure;
    if (verdict && won == State::Failed) {
      failure = outcome.rank == 0 ? portfolio->modelCheckFailure(static_cast<unsigned>(outcome.report.detail))
                                  : textFrom(payload);
    } else if (verdict) {
      if (outcome.rank == 0) {
        failure = portfolio->checkModel();
      } else {
        shown.status = won == State::Satisfiable ? Solver::Satisfiable : Solver::Unsatisfiable;
        if (won == State::Satisfiable) {
          shown.model.clear();
          for (const std::int32_t x : payload) shown.model.push_back(Literal::fromDimacs(x));
          failure = Portfolio::checkModel(portfolio->record(), shown.model);
        }
      }
      result = shown.status;
      const unsigned index = outcome.rank * threads + static_cast<unsigned>(outcome.report.detail);
      winnerLine = "c winner: rank " + std::to_string(outcome.rank) + " thread " +
                   std::to_string(outcome.report.detail) + " (" +
                   Portfolio::configurationName(index, portfolio->parameters().preprocess,
                                                portfolio->parameters().modern) +
                   ")";
    } else if (outcome.kind == Outcome::Stop) {
      shown.status = Solver::Timeout;
      result = Solver::Timeout;
      signal = outcome.report.detail;
    } else {
      if (explainNoVerdict(*portfolio, thrown)) {
        reportMemoryLimit(vm);
        shown.status = Solver::Unknown;
      }
      result = thrown ? Solver::Unknown : shown.status;
    }
    if (!failure.empty()) {
      std::cerr << failure << std::flush;
      status = kExitError;
    } else {
      reportResult(vm, shown, result, signal, winnerLine, false);
      status = exitStatus(result);
    }
  }
  comm.broadcast(&status, 1);
  return static_cast<int>(status);
}

}  // namespace quelt::mpi
