// The search engine: a conflict-driven clause-learning solver in the
// tradition of GRASP and Chaff (two watched literals, first-UIP learning)
// as MiniSat set it down.
//
// The state below is plain data that the techniques (one file each) read
// and write directly. The class is declared here once, but its techniques
// are defined in the folder of their layer:
//   engine/    state, clause database, propagation, analysis, backtracking,
//              orderings, assumptions, the model and its check, proofs
//   simplify/  level-0 simplification, pure literals, elimination, and
//              the preprocessor
//   search/    the search loop and its policies (search/classic/: the
//              decision, restart and reduction rules of the classic search)
// and no file includes a header of a layer above its own. A conflict flows
// one way:
//   propagate (bcp) -> analyse (analyzeConflict) -> backjump (backtrack)
//   -> learn (addClause) -> decide (pickDecision)
// with level-0 simplification, learned-clause reduction, restarts and the
// limits arranged around it by the search loop, which asks the solver's
// policy at every turn (engine/SearchPolicy.hpp).
//
// Ownership: the solver owns every clause, through exactly one of clauses,
// learnedClauses and eliminatedClauses. Watch lists, occurrence lists and
// reasons hold plain non-owning pointers. It owns its policy too.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "core/AsgnStack.hpp"
#include "core/Clock.hpp"
#include "core/Clause.hpp"
#include "core/ClauseArena.hpp"
#include "core/ClauseSets.hpp"
#include "core/Literal.hpp"
#include "core/Random.hpp"
#include "core/VarInfo.hpp"
#include "core/WatchList.hpp"
#include "core/Watcher.hpp"
#include "engine/Exchange.hpp"
#include "engine/Limits.hpp"
#include "engine/SearchPolicy.hpp"
#include "engine/proof.hpp"
#include "params/SearchParams.hpp"
#include "params/SearchStatistics.hpp"

namespace quelt {

// A model that fails the self-check: a bug in the solver, never a verdict.
// what() is the diagnosis, whole lines for standard error.
class ModelCheckFailure : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

class Resolver;

class Solver {
 public:
  // ---- Results ------------------------------------------------------------
  enum Status : std::uint32_t {
    Satisfiable = 0,
    Unsatisfiable = 1,
    LimitsExceeded = 2,
    Unknown = 3,
    Timeout = 4,
  };

  // ---- Orderings (engine/order.cpp) ----------------------------------------
  // Twenty orderings of variables selected by a mode number; true when a
  // must come before b. Modes above 18 rank everything equal.
  struct VarComparator {
    const std::vector<util::VarInfo>* vars;
    std::uint32_t heuristic;
    bool operator()(unsigned a, unsigned b) const;
  };
  // The same orderings applied to the variables of two literals.
  struct LitComparator {
    const std::vector<util::VarInfo>* vars;
    std::uint32_t heuristic;
    bool operator()(Literal a, Literal b) const;
  };

  // Binary heap of variables ordered by cmp; heapIndex[v] is the position of
  // v in heap, -1 when v is not queued.
  struct DecisionQueue {
    VarComparator cmp;
    std::vector<unsigned> heap;
    std::vector<int> heapIndex;

    bool contains(unsigned v) const {
      return v < heapIndex.size() && heapIndex[v] >= 0 &&
             static_cast<std::size_t>(heapIndex[v]) < heap.size();
    }
    bool empty() const { return heap.empty(); }
    void insert(unsigned v);
    void increase(unsigned v) {
      if (contains(v)) siftUp(static_cast<unsigned>(heapIndex[v]));
    }
    void remove(unsigned v);
    unsigned removeBest();
    void update(unsigned v);
    void updateAll();
    // Restores the heap order from scratch, e.g. after the ordering changed.
    void rebuild();
    void siftUp(unsigned i);
    void siftDown(unsigned i);
  };

  // The seed every solver starts from: the same input and parameters give
  // the same search.
  static constexpr std::uint32_t kRandomSeed = 1851696952u;

  // ---- Solver state -------------------------------------------------------
  std::vector<Literal> assumptions;  // sorted by the literal order
  std::vector<Literal> model;        // after Satisfiable: value literal of v at v - 1
  std::vector<Literal> failedAssumptions;  // after Unsatisfiable under assumptions: a contradictory subset
  std::uint32_t status;
  util::AsgnStack trail;
  SearchStatistics stats;
  SearchParams params;
  std::vector<util::VarInfo> vars;  // record 0 is a dummy
  DecisionQueue decisionQueue;
  // Memory of every clause the solver creates; the vectors below own the
  // clauses, the arena owns their bytes.
  util::ClauseArena clauseArena;
  std::vector<Clause*> clauses;
  std::vector<Clause*> learnedClauses;
  // One entry per eliminated variable: the original clauses removed with it,
  // each with the variable's literal in position 0. eliminatedVars[i] names
  // the variable of entry i (an entry may be empty).
  std::vector<std::vector<Clause*>> eliminatedClauses;
  std::vector<unsigned> eliminatedVars;
  // A new entry for variable v, removed from the formula; then each clause
  // set aside with it, with v's literal own put first.
  void pushRemovedVariable(unsigned v) {
    eliminatedVars.push_back(v);
    eliminatedClauses.emplace_back();
  }
  void keepRemovedClause(Clause* c, Literal own) {
    Literal* const lits = c->lits();
    std::swap(*lits, *std::find(lits, lits + c->size, own));
    eliminatedClauses.back().push_back(c);
  }
  util::WatchList watches;
  // The watch scheme in use: the classic lists of clause pointers above,
  // or, when blockerWatches is set, watchers with blocking literals
  // (core/Watcher.hpp) in watchers, indexed the same way; the other scheme's
  // lists are empty then. Either way a stored clause is watched by its
  // first two literals. The search policy chooses (useBlockerWatches).
  bool blockerWatches = false;
  std::vector<util::WatcherList> watchers;
  util::ClauseSets occurrences;
  std::uint32_t numVars;
  std::vector<unsigned> redundancyStack;
  std::uint64_t newUnitsMask;
  // Where clause additions and deletions are logged as a DRAT proof; null
  // (the default) for no proof. Not owned.
  ProofWriter* proof = nullptr;
  // What ends a solve without a verdict (engine/Limits.hpp); once it says
  // stop, the search ends as after a time-out.
  StopCheck stop;
  // The search policy (engine/SearchPolicy.hpp); never null.
  std::unique_ptr<SearchPolicy> policy;
  // Where learned clauses are traded with other solvers (engine/Exchange.hpp);
  // null, the default, for a solver that shares nothing. Not owned.
  ClauseExchange* exchange = nullptr;
  // A caller's hook, handed every learned clause.
  void (*learnHook)(void*, const std::vector<Literal>&) = nullptr;
  void* learnData = nullptr;
  // Called after preprocessing, at each restart, every 1024 conflicts, and
  // once more, with final set, when a solve ends: the place to report
  // progress. It must not change the solver.
  void (*progressHook)(void*, const Solver&, bool final) = nullptr;
  void* progressData = nullptr;
  // The draws of random decisions and phases (search/classic/decide.cpp);
  // clear() reseeds.
  util::Random random{kRandomSeed};
  // Per variable: how many freezes keep it from elimination.
  std::vector<std::uint32_t> frozen;
  // Per variable: the phase a caller asked decisions to take, +1 or -1; 0
  // (or past the end) leaves it to the phase rule.
  std::vector<std::int8_t> preferredPhase;

  // ---- Construction and the clause database (engine/Solver.cpp) -----------
  Solver();
  explicit Solver(const SearchParams& p);
  ~Solver();
  Solver(const Solver&) = delete;
  Solver& operator=(const Solver&) = delete;

  unsigned createNewVar(dpinterface::VarFlagTy kind, unsigned char a, unsigned char b);
  void createVar(unsigned v, dpinterface::VarFlagTy kind, unsigned char a, unsigned char b);
  std::pair<Clause*, bool> addClause(std::vector<Literal>& lits, bool learned);
  bool doAddClause(Clause* c);
  void removeClause(Clause* c);
  bool isClauseLocked(const Clause& c) const;
  void updateStatsForClause(const Clause& c);
  bool decode(unsigned v) const { return model[v - 1].positive(); }
  void reset();
  void clear();
  // Keeps v from being eliminated until as many melts; a variable that is
  // eliminated already comes back with its clauses.
  void freeze(unsigned v);
  void melt(unsigned v);
  bool isFrozen(unsigned v) const { return v < frozen.size() && frozen[v] != 0; }
  void cleanup() { reduceLearnedClauses(); }
  // Gives the solver the policy params.modern names, unless it has it:
  // the new one takes over at level 0 with every clause.
  void selectPolicy();
  // The policy's limits as a fresh solver has them.
  void resetSearchLimits() { policy->resetLimits(); }
  void setTimeout(unsigned seconds);
  // Whether the stop check says stop, at a poll of the search loop or now.
  bool stopPolled() { return stop.poll(params.timeLimit, stats.conflicts, stats.bcPropagations, stats.decisions); }
  bool stopRequested() const {
    return stop.now(params.timeLimit, stats.conflicts, stats.bcPropagations, stats.decisions);
  }
  // Whether learned clauses may be deleted now (not while a pass walks
  // them or occurrence lists name them).
  bool mayDeleteClauses() const { return !occurrencesInUse && !batchingDetach; }

  // ---- Solving (search/search.cpp) ------------------------------------------
  unsigned solve(bool singleRun);
  unsigned solve(const std::vector<Literal>& assumed, bool singleRun);
  unsigned search();
  // Unit propagation of the assumptions, one after the other, without
  // search (engine/implied.cpp).
  bool propagateUnder(const std::vector<Literal>& assumed, std::vector<Literal>& assigned);

  // ---- Assumptions, results and dumps (engine/model.cpp) -------------------
  void assume(const std::vector<Literal>& lits);
  void clearAssumed();
  void verifyModel();
  std::ostream& dumpModel(std::ostream& os) const;
  void dumpModel() const;
  std::ostream& dumpPLine(std::ostream& os) const;
  void dumpClauses(std::ostream& os) const;
  void dumpClauses() const;
  void dumpUnitLits() const;
  void dumpStats(std::ostream& os) const;
  void dumpStats() const;

  // ---- Engine techniques (engine/) -------------------------------------------
  // Propagates the trail with the watch scheme in use.
  Clause* propagate() { return blockerWatches ? propagateWatchers() : bcp(); }
  Clause* bcp();                                                   // propagate.cpp
  Clause* propagateWatchers();                                     // propagate_watchers.cpp
  // Counts a propagation call that processed this many trail literals;
  // they are also spent from the simplification budget.
  void countPropagation(std::uint32_t processed) {
    stats.bcpCalls += 1;
    stats.bcPropagations += processed;
    stats.simplifyBudget = static_cast<std::int32_t>(static_cast<std::uint32_t>(stats.simplifyBudget) - processed);
  }
  // Watches c by its first two literals, or stops watching it, in the
  // scheme in use (watch.cpp).
  void watchClause(Clause& c) {
    if (!blockerWatches) {
      watches.push(c[0], &c);
      watches.push(c[1], &c);
      return;
    }
    watchers[c[0].watchIndex()].push_back(util::watcherOf(c, c[0]));
    watchers[c[1].watchIndex()].push_back(util::watcherOf(c, c[1]));
  }
  void unwatchClause(const Clause& c);
  // Moves every watch to the other scheme, keeping the lists' order; at
  // level 0, between solves.
  void useBlockerWatches(bool on);
  void backtrack(unsigned target);                                 // backtrack.cpp
  // A policy that keeps phases or an order of its own sets policyHearsBacktrack
  // to be told of the literals each backtrack unassigns; the decision
  // queue takes them back only while queueOnBacktrack is set.
  bool policyHearsBacktrack = false;
  bool queueOnBacktrack = true;
  // Whether a learned clause's unwatched literals are ordered by the
  // clause-sorting heuristic, as original clauses are; a policy whose
  // orderings do not follow the activities turns it off.
  bool sortLearnedLiterals = true;
  unsigned analyzeConflict(Clause* conflict, std::vector<Literal>& learned);  // analyze.cpp
  void analyzeFinal(Literal falsified);
  // Clause sharing (share.cpp). A policy offers each learned clause before
  // the backjump, with its glue, or 0 to have it counted here.
  void shareLearned(const std::vector<Literal>& learned, unsigned glue) {
    if (exchange != nullptr && exchange->takesSize(learned.size()))
      exchange->offer(learned, glue != 0 ? glue : countLevels(learned));
  }
  unsigned countLevels(const std::vector<Literal>& lits);
  // Sends what was offered and, at level 0, takes in what others sent:
  // units are assigned, the others stored as learned clauses (the policy
  // gives them their standing, SearchPolicy::adoptShared). False when a
  // received clause is false at level 0, which refutes the formula.
  bool tradeShared();
  bool isLitRedundant(unsigned var, std::vector<unsigned>& toClear, unsigned long long levels);
  void incVariablePriority(util::VarInfo& v);
  void incClausePriority(Clause& c);

  // ---- The classic search's rules (search/classic/) -------------------------
  bool pickDecision(Literal& decision);                            // decide.cpp
  Literal choosePhase(unsigned v);
  void reduceLearnedClauses();                                     // reduce.cpp

  // ---- Simplification (simplify/) ---------------------------------------------
  bool simplify();                                                 // simplify.cpp
  bool strengthen(Clause& c);
  void runClauseCleanup(std::vector<Clause*>& list);
  void MarkOccurrences(Clause& c);
  void MarkOccurrenceCounts(Literal l) { vars[l.var()].incOccur(l.sign()); }
  void runResolution();                                            // eliminate.cpp
  bool tryEliminate(unsigned v);
  bool isSpliceTautology(const Clause* a, const Clause* b, unsigned v, unsigned& count);
  void runPurelitRule();                                           // purelit.cpp
  // Simplifies the formula once before the first search when
  // params.preprocess is set (preprocess.cpp); false when that refutes it.
  bool preprocess();

  // Sorts literals with the ordering of the given mode (as LitComparator).
  void sortLiterals(Literal* begin, Literal* end, unsigned mode) const;

  // ---- Small helpers ----------------------------------------------------------
  unsigned decisionLevel() const { return static_cast<unsigned>(trail.levelStarts.size() - 1); }
  bool isTrue(Literal l) const { return vars[l.var()].isTrue(l); }
  bool isFalse(Literal l) const { return vars[l.var()].isFalse(l); }
  bool isAssigned(Literal l) const { return vars[l.var()].level >= 0; }
  // Puts l on the trail at the current level with the given reason.
  void assign(Literal l, Clause* reason) {
    util::VarInfo& r = vars[l.var()];
    r.lit = l;
    r.level = static_cast<std::int32_t>(decisionLevel());
    r.reason = reason;
    setLitValues(l);
    trail.lits.push_back(l);
  }
  void unassign(unsigned v) {
    vars[v].level = -1;
    litValues[2 * v] = litValues[2 * v + 1] = 0;
  }

  // Value of every literal, indexed by the literal word (2 * variable + 1
  // for the positive literal): +1 true, -1 false, 0
  // unassigned. A copy of what the variable records say, kept because
  // propagation tests literal values more than anything else and one byte
  // per literal is far denser than the records.
  std::vector<std::int8_t> litValues;
  static std::uint32_t valueIndex(Literal l) { return l.x; }
  void setLitValues(Literal l) {
    litValues[valueIndex(l)] = 1;
    litValues[valueIndex(l) ^ 1u] = -1;
  }

 private:
  void construct();
  Clause* allocateClause(const std::vector<Literal>& lits, bool learned);
  void extendModel();
  // Logs the empty clause once the clauses alone are refuted.
  void concludeProof();
  bool proofConcluded = false;
  void logResolvent(const std::vector<Literal>& resolvent);
  void freeAllClauses();
  void freeClause(Clause* c) { clauseArena.release(c); }

  // Original clauses added before the first solve are watched only when it
  // starts (attachPending): the last pendingClauses entries of clauses. The
  // lists end up exactly as if each clause had been watched when added,
  // but every list is allocated once, at its final length. From the first
  // solve (or reopen) on, clauses are watched as they come.
  bool watchesDeferred = true;
  std::size_t pendingClauses = 0;
  void attachPending();

  // Scratch storage reused across conflicts so the hot paths do not allocate.
  std::vector<Literal> learnedScratch;
  std::vector<unsigned> analyzeToClear;
  std::vector<unsigned> erasePositions;
  std::vector<Literal> resolventScratch;
  std::vector<Literal> spliceScratch;
  std::vector<Literal> proofScratch;
  std::vector<std::uint32_t> reduceLists;  // watch lists touched by a reduction
  std::vector<char> listMarks;             // per watch list: already in reduceLists
  std::vector<Clause*> garbage;            // clauses of a reduction, freed after the sweep
  std::vector<std::uint32_t> levelStamps;  // per level: the stamp of the last glue count
  std::uint32_t levelStamp = 0;
  std::vector<std::int32_t> sharedScratch;  // received clauses
  std::vector<Literal> sharedClause;
  // Batched detaching during a cleanup pass or a reduction (watch.cpp).
  bool batchingDetach = false;
  std::vector<std::pair<std::uint32_t, Clause*>> pendingWatches;
  void beginBatchedDetach() {
    // listMarks is sized here rather than per variable: a solver that never
    // reduces or simplifies does without it.
    if (listMarks.size() < watches.numLists) listMarks.resize(watches.numLists, 0);
    batchingDetach = true;
  }
  void detach(Clause& c);
  void attach(Clause& c);
  void sweepDetached();
  // Set while the occurrence lists of an elimination round are filled: the
  // out-of-memory recovery must not delete clauses those lists still name.
  bool occurrencesInUse = false;
  // The resolution kernel of an elimination round while it runs
  // (simplify/resolve.hpp), null otherwise.
  Resolver* resolver = nullptr;
  // The clauses alone, without assumptions, were proven unsatisfiable (an
  // empty clause or a conflict at level 0). Dropping the assumptions cannot
  // undo that, and the database may already be cut down accordingly.
  bool refuted = false;

  // Pure literals and variable elimination keep the formula satisfiable but
  // not equivalent: they hold for the clauses and assumptions at hand. When
  // a client adds a clause or assumes literals afterwards, reopen() undoes
  // them first: pure literals are unassigned, eliminated variables return
  // with their clauses, and the clauses set aside come back.
  void reopen();
  // What a client's clause or assumptions over lits need undone: with pure
  // literals set, everything (reopen); otherwise only the eliminated
  // variables lits names, each with the clauses set aside with it, and,
  // since those clauses name variables that may have gone later, theirs in
  // turn. The rest stays eliminated: the formula without them still
  // implies what the search needs of it (every clause that depended on a
  // restored variable is back), and the model extension completes them.
  void restoreFor(const Literal* lits, std::size_t count);
  void restoreFor(const std::vector<Literal>& lits) { restoreFor(lits.data(), lits.size()); }
  bool eliminatedOnTrail = false;  // a model completed at level 0 assigned some
  std::vector<char> restoreMarks;  // per variable, while restoreFor runs
  std::vector<unsigned> pureVars;        // in assignment order
  std::vector<Clause*> parkedClauses;    // originals satisfied by a pure literal
  bool inSimplification = false;         // internal clause additions do not reopen
  // Marks the solver's own changes to the formula for as long as it lives:
  // the clauses simplification adds meanwhile must not reopen.
  class SimplificationScope {
   public:
    explicit SimplificationScope(Solver& s) : flag(s.inSimplification) { flag = true; }
    ~SimplificationScope() { flag = false; }
    SimplificationScope(const SimplificationScope&) = delete;
    SimplificationScope& operator=(const SimplificationScope&) = delete;

   private:
    bool& flag;
  };

  // The preprocessor (preprocess.cpp) works on the clause database directly.
  friend class Preprocessor;
  // So does the modern search's reduction (search/modern/reduce.cpp).
  friend class ModernPolicy;
  bool preprocessed = false;  // it has run on this solver
};

// The result lines for status; the last line carries no end of line.
std::ostream& operator<<(std::ostream& os, const Solver& s);

// Converts a limit product to a signed 32-bit limit: truncation toward zero,
// and -2147483648 (which disables the limit) for anything that does not fit.
std::int32_t limitFromDouble(double value);

}  // namespace quelt
