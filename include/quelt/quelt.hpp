// The C++ interface to Quelt, an incremental SAT solver.
//
// A quelt::api::Solver holds one growing formula in conjunctive normal form.
// Clauses are added for good; assumptions hold for the next solve only.
// Literals are non-zero ints in the DIMACS convention: variable v is the
// literal v, its negation -v. Variables are created on first use.
//
//   quelt::api::Solver s;
//   s.addClause({1, -2});
//   s.addClause({2, 3});
//   if (s.solve({-1}) == quelt::api::Result::Unsatisfiable)
//     for (int lit : s.failedAssumptions()) ...   // here: {-1}
//
// Errors are reported as exceptions (std::invalid_argument for a literal
// that is not one, std::out_of_range for a variable the solver does not
// know, std::logic_error for a question the last solve cannot answer,
// quelt::api::ParameterError for a parameter). After an exception the
// solver is unchanged, except where a call says otherwise.
//
// One Solver must not be used by two threads at once, apart from
// interrupt(); distinct solvers share nothing and may run in parallel. A
// Solver can itself run several solvers in parallel threads (setThreads).
#ifndef QUELT_QUELT_HPP
#define QUELT_QUELT_HPP

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// QUELT_API marks what the shared library exports; everything else in it
// is hidden.
#ifndef QUELT_API
#if defined(__GNUC__)
#define QUELT_API __attribute__((visibility("default")))
#else
#define QUELT_API
#endif
#endif

namespace quelt {
namespace api {

enum class Result { Unknown = 0, Satisfiable = 10, Unsatisfiable = 20 };

// A parameter that does not exist, or a value outside its range. what() is
// the command line's message for the same mistake.
class QUELT_API ParameterError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// What one solve may spend; a negative figure means no limit. When a limit
// is reached the solve returns Result::Unknown.
struct Limits {
  std::int64_t conflicts = -1;     // conflicts of this solve
  double seconds = -1;             // wall-clock seconds of this solve
  std::int64_t propagations = -1;  // literals propagated in this solve
  std::int64_t decisions = -1;     // decisions of this solve
};

class QUELT_API Solver {
 public:
  // A solver with the default parameters, which run the modern search (the
  // command line's --modern), or the classic search with a preset:
  // "default", "default-inc", "autotuned-kz_1_0", "autotuned-kz_1_1",
  // "sw-verification" (the command line's spset- options), or "classic"
  // for the classic search with its defaults. An unknown name throws
  // ParameterError.
  Solver();
  explicit Solver(const std::string& preset);
  ~Solver();
  Solver(Solver&&) noexcept;
  Solver& operator=(Solver&&) noexcept;
  Solver(const Solver&) = delete;
  Solver& operator=(const Solver&) = delete;

  // "quelt-" and the version.
  static const char* signature();

  // Sets a search parameter by its command-line name, e.g.
  // setParameter("sp-first-restart", 200), setParameter("preprocess", 1)
  // (simplify the formula before the first solve) or setParameter("modern", 0)
  // (the classic search). The sp- parameters tune the classic search. Integer parameters take
  // integral values only, the switches 0 or 1. Throws ParameterError with the
  // command line's two lines ("Parameter sp-first-restart out of range." and
  // "Allowed range [10,10000] (inclusive)") for a value out of range.
  void setParameter(const std::string& name, double value);
  // Replaces every parameter with those of a preset (names as above); the
  // search is then the classic one, until setParameter("modern", 1).
  void setPreset(const std::string& preset);

  // Solves with n solvers at once from now on, each in a thread of its own
  // and each configured differently, as the command line's --threads does:
  // every clause and assumption goes to all of them, the first verdict
  // wins and stops the others, and a later solve goes on with every
  // solver's learned clauses. Parameters and presets set here apply to the
  // first solver, to the second with the other search (modern or
  // classic), and to the third with the preprocessor switched the other
  // way; the others run a fixed list of configurations. The terminate
  // and learn callbacks are then called from every solver's thread, one
  // call at a time; statistics() sums the solvers' counters. Which solver
  // answers first depends on timing, so runs with several threads are not
  // repeatable (the verdict is). n is 1 to 64 (std::invalid_argument
  // otherwise), set before the first literal, freeze or solve
  // (std::logic_error afterwards, unless n is unchanged).
  // setParameter("threads", n) does the same.
  void setThreads(int n);
  int threads() const;
  // Whether the solvers of setThreads pass each other short learned
  // clauses (units, binary clauses and those of low glue): on by default
  // with more than one thread, and off while a proof is written. With one
  // thread it changes nothing. Takes effect at the next solve.
  void setSharing(bool on);
  bool sharing() const;

  // Adds a clause for good. An empty clause makes the formula
  // unsatisfiable. Throws std::invalid_argument for 0 or INT_MIN.
  void addClause(const std::vector<int>& clause);
  // The same, literal by literal: 0 ends the clause.
  void add(int litOrZero);
  // Assumes lit for the next solve only. Throws as addClause.
  void assume(int lit);

  // Solves under the assumptions given since the last solve, plus those
  // passed here, then forgets them. Unknown when a limit was reached, the
  // terminate callback answered true or interrupt() was called.
  Result solve(const std::vector<int>& assumptions = {}, const Limits& limits = {});
  // Unit propagation of the assumptions, one after the other, without any
  // decision of the solver's own: false when it runs into a conflict (an
  // assumption false already, or a clause falsified). assigned receives,
  // in order, the assumptions that were not true already and every literal
  // they implied, up to the conflict if any; never the literals the
  // formula implies without them. Nothing of the formula changes, and
  // lastResult() stays. Throws as addClause.
  bool propagate(const std::vector<int>& assumptions, std::vector<int>& assigned);
  // Asks a running solve to stop soon; may be called from another thread or
  // a signal handler. A call while no solve runs stops the next one at once.
  void interrupt();
  // Withdraws an interrupt() that has not stopped a solve yet, so that the
  // next solve runs; safe from another thread as interrupt() is.
  void clearInterrupt();

  // After a satisfiable solve: lit when lit is true in the model, -lit when
  // false. std::logic_error after any other result, std::out_of_range for a
  // variable above maxVar().
  int value(int lit) const;
  // The whole model: entry v - 1 is v or -v, for v = 1 .. maxVar().
  std::vector<int> model() const;
  // After an unsatisfiable solve: whether assumption lit is among the
  // failed ones. std::logic_error after any other result.
  bool failed(int lit) const;
  // The failed assumptions: a subset of the assumptions that the formula
  // refutes together with them; empty when the solve showed the formula
  // unsatisfiable without any (it may name some even then, if it met them
  // first).
  std::vector<int> failedAssumptions() const;
  // The result of the last solve (Unknown before the first).
  Result lastResult() const;

  // Keeps variable var (created if new) from being eliminated, so that it
  // can be used in later clauses and assumptions without the solver undoing
  // work. Calls nest: a variable frozen twice needs two melts. Variables
  // that are not frozen stay usable too; a clause or assumption naming an
  // eliminated variable brings it back, at some cost.
  void freeze(int var);
  // Undoes one freeze. std::logic_error when var is not frozen.
  void melt(int var);
  bool frozen(int var) const;

  // Decisions on the variable of lit (created if new) set it to lit from
  // now on, instead of the phase rule's choice. Throws as addClause.
  void setPhase(int lit);

  // Writes a DRAT proof (text form) of every clause the solver derives and
  // deletes from now on to path, flushed after each solve; "" stops it. It
  // goes with one thread only and must be set before the first literal,
  // freeze or solve, so that it covers the whole formula (std::logic_error
  // otherwise); std::runtime_error when path cannot be opened.
  void setProof(const std::string& path);

  // The largest variable so far.
  int maxVar() const;

  // A callback polled during each solve; true stops the solve (Unknown).
  // An empty function removes it.
  void setTerminate(std::function<bool()> terminate);
  // Passes each learned clause of at most maxLength literals to learn
  // during the solves. An empty function removes it.
  void setLearn(int maxLength, std::function<void(const std::vector<int>&)> learn);

  // The counters of the search so far, by name ("conflicts", "decisions",
  // "propagations", "restarts", "learned_clauses", "eliminated_variables",
  // "preprocess_eliminated_variables", "modern_vivified_clauses", ...),
  // summed over all solves.
  std::map<std::string, std::uint64_t> statistics() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl;
};

}  // namespace api
}  // namespace quelt

#endif
