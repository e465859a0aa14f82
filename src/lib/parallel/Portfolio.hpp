// Several solvers on one formula at once, each in a thread of its own and
// each configured differently; the first verdict wins. This is the classic
// portfolio of parallel SAT solving (ManySAT, Hamadi, Jabbour and Sais,
// 2009), with its clause sharing: short and low-glue learned clauses go
// from each solver to the others (Sharing.hpp), on by default with more
// than one solver, and through takeExports and importRemote to and from
// solvers elsewhere.
//
// Every clause goes to every solver. The portfolio keeps the formula as
// given (DIMACS literals, a 0 after each clause) and each solver loads, in
// its own thread and at the start of its next solve, the part it has not
// seen yet: the same createVar and addClause calls in the same order, so
// all start from the same database, and each logs the same shortened
// clauses to its own proof. Assumptions go to every solve.
//
// Configurations (configurationName): solver 0 runs what the caller set
// (setParameter, setPreset, setParameters); solver 1 the same with the
// other search (modern or classic); solver 2 the same with the
// preprocessor switched the other way; solvers 3, 4, ... the next entry of
// a fixed list, and past its end the list again with other random seeds. A
// solver takes its configuration after it has loaded the formula of its
// first solve, as a single solver takes the command line's after reading.
//
// The solver that first ends with a verdict claims the win and raises the
// flag every solver has as its stop flag; the others end at their next limit
// check and keep what they learned, so a later solve goes on with every
// solver's learned clauses. A stop from outside (a flag, the terminate
// callback, interrupt()) stops them all.
//
// With one solver there is no thread and no copy of the formula: clauses go
// straight into it.
//
// Solvers share nothing but the formula, which only is read while they run,
// the atomic flags below and the sharing hub, whose inboxes have locks of
// their own. Runs with several threads are not repeatable: which solver
// answers first depends on timing, and so do the clauses each one gets
// from the others; the verdict does not.
//
// No clause crosses while a solver writes a proof: no proof step could
// justify a clause another solver found.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "lib/Facade.hpp"
#include "lib/parallel/Sharing.hpp"

namespace quelt {

class Portfolio {
 public:
  static constexpr unsigned kMaxThreads = 64;

  // The configuration of solver i: "command line" for 0, the same with the
  // other search for 1 (firstModern: whether 0 runs the modern search), with
  // the preprocessor switched the other way for 2 (firstPreprocesses:
  // whether 0 preprocesses), then the fixed list, and past its end the list
  // again with other random seeds.
  static std::string configurationName(unsigned i, bool firstPreprocesses, bool firstModern = false);

  // threads solvers (1 to kMaxThreads). Solver 0 is first when given (it
  // must outlive the portfolio), otherwise one of the portfolio's own.
  explicit Portfolio(unsigned threads, Facade* first = nullptr);
  ~Portfolio();
  Portfolio(const Portfolio&) = delete;
  Portfolio& operator=(const Portfolio&) = delete;

  unsigned size() const { return static_cast<unsigned>(entrants.size()); }
  Facade& solver(unsigned i) { return *entrants[i].facade; }
  const Facade& solver(unsigned i) const { return *entrants[i].facade; }

  // ---- The formula --------------------------------------------------------------
  void createVar(unsigned v);
  // Adds a clause for every solver.
  void addClause(std::vector<Literal>& lits);
  // The record of the formula itself, for a reader that fills it while it
  // loads solver 0 directly (then call firstHoldsRecord()).
  std::vector<std::int32_t>& record() { return formula; }
  void firstHoldsRecord() { entrants[0].loaded = formula.size(); }
  // The largest variable any solver has been told of.
  unsigned maxVar() const { return maxVariable; }
  void freeze(unsigned v);
  void melt(unsigned v);

  // ---- Settings and limits ----------------------------------------------------
  // For solvers 0 and 1 (see the top of the file); each takes them at its
  // next solve. Throws ParameterError as Facade does.
  void setParameter(const std::string& name, double value);
  void setPreset(const std::string& name);
  void setParameters(const SearchParams& params);
  const SearchParams& parameters() const { return base; }
  // For every solver: as Facade's. The clause memory limit is each solver's.
  void setCpuLimit(unsigned seconds);
  void setDeadline(WallClock::time_point deadline);
  void clearDeadline();
  void setConflictLimit(std::int64_t conflicts);
  void setPropagationLimit(std::int64_t propagations);
  void setDecisionLimit(std::int64_t decisions);
  void setPhase(Literal l);
  void setMemoryLimit(std::size_t bytesPerSolver);
  void setStopFlag(const std::atomic<bool>* flag);
  void interrupt();
  void clearInterrupt();
  // Called from every solver's thread, one call at a time.
  void setTerminate(std::function<bool()> terminate);
  void setLearn(std::function<void(const std::vector<Literal>&)> learn);

  // ---- Clause sharing -----------------------------------------------------------
  // On by default with more than one solver; with one, only when set on,
  // and then with solvers elsewhere alone. Takes effect at the next solve;
  // ignored for a solve while a solver writes a proof. Not while solve(),
  // takeExports or importRemote run.
  void setSharing(bool on);
  bool sharing() const { return size() > 1 ? sharingMode != SharingMode::Off : sharingMode == SharingMode::On; }
  // For a front end that trades clauses with other processes; both are
  // safe from any thread, also while solve() runs, and do nothing while
  // sharing is off.
  // Clauses this process's solvers exported since the last call, best
  // first (units, then by glue, then by length), as [glue, lit, lit, ...,
  // 0] DIMACS integers, at most maxInts integers in all; out is replaced.
  // The first call opens the collection and so finds nothing; clauses
  // that do not fit wait for the next call, up to a bound past which the
  // worst are dropped.
  void takeExports(std::vector<std::int32_t>& out, std::size_t maxInts);
  // Clauses from elsewhere, in the same format, for every solver here; each
  // takes them in at its next restart, filtered as any shared clause.
  // They must follow from the formula the solvers here hold.
  void importRemote(const std::vector<std::int32_t>& in);
  // The sharing counters of all solvers, summed.
  SearchStatistics::Sharing sharingTotals() const;

  // ---- Solving ------------------------------------------------------------------
  // Solves on every solver and returns when all have ended: the winner's
  // status, or without a winner that of solver 0 (a stop or a limit).
  unsigned solve(const std::vector<Literal>& assumptions = {});
  // Unit propagation without search, as Facade's, on solver 0 (which loads
  // what it has not seen of the formula first).
  bool propagate(const std::vector<Literal>& assumptions, std::vector<Literal>& assigned);
  // The solver that ended the last solve first with a verdict (or a failed
  // model check); -1 when none did.
  int winner() const { return winnerIndex.load(); }
  // The solver whose results the last solve reports: the winner, else 0.
  const Solver& result() const;
  Solver& result() { return const_cast<Solver&>(static_cast<const Portfolio&>(*this).result()); }
  // configurationName of solver i in this portfolio (of index firstIndex + i).
  std::string nameOf(unsigned i) const { return configurationName(firstIndex + i, base.preprocess, base.modern); }
  // What solver i ran into in the last solve instead of a result, if
  // anything: the memory limit, another failed allocation or a thread
  // that could not be started, a failed model check (its diagnosis).
  bool reachedMemoryLimit(unsigned i) const { return entrants[i].overLimit; }
  bool ranOutOfResources(unsigned i) const { return entrants[i].outOfResources; }
  const std::string& modelCheckFailure(unsigned i) const { return entrants[i].failure; }

  // Checks the winner's model against every clause of the record: empty
  // when it satisfies them all, otherwise the diagnosis (whole lines).
  std::string checkModel() const;
  // The same check of any model (model[v - 1] the literal of variable v)
  // against a record in the format of record().
  static std::string checkModel(const std::vector<std::int32_t>& record, const std::vector<Literal>& model);

  // ---- Several portfolios on one formula (other processes) ---------------------
  // Solver i takes the configuration and seed of index first + i, so that
  // portfolios in several processes, the k-th with first = k * threads, run
  // distinct configurations between them. Set before the first solve; 0 by
  // default. With first above 0 solver 0, too, takes the configuration of
  // its index in place of the caller's settings, which then count only
  // where that configuration derives from them (indices 1 and 2).
  void setFirstIndex(unsigned first) { firstIndex = first; }

 private:
  struct Entrant {
    std::unique_ptr<Facade> own;  // null for a solver given by the caller
    Facade* facade = nullptr;
    std::size_t loaded = 0;       // entries of the record it holds
    bool configured = false;      // has taken its configuration
    bool baseChanged = false;     // solvers 1 and 2: the caller's settings changed
    bool overLimit = false;
    bool outOfResources = false;
    std::string failure;
  };

  void runOne(unsigned i, const std::vector<Literal>& assumptions);
  void load(Entrant& e);
  void configure(unsigned i);
  void claim(unsigned i);
  bool stopFromOutside();
  void markBaseChanged();

  std::vector<std::int32_t> formula;
  unsigned maxVariable = 0;
  SearchParams base;  // the caller's configuration
  std::uint32_t timeLimit = SearchParams::kNoTimeLimit;
  std::vector<Entrant> entrants;
  unsigned firstIndex = 0;  // the configuration index of solver 0
  enum class SharingMode { Default, On, Off } sharingMode = SharingMode::Default;
  std::unique_ptr<SharingHub> hub;  // made with the first solver to share with
  std::atomic<bool> decided{false};
  std::atomic<int> winnerIndex{-1};
  std::atomic<bool> interrupted{false};
  const std::atomic<bool>* outsideStop = nullptr;
  std::mutex callbacks;  // one call of the caller's callbacks at a time
  std::function<bool()> terminate;
  std::function<void(const std::vector<Literal>&)> learn;
};

}  // namespace quelt
