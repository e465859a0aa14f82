// The modern search: the techniques that separate today's CDCL solvers from
// those of twenty years ago, as a policy beside the classic one.
//
//   propagation  watchers with blocking literals, binary clauses decided
//                from their watchers (engine/propagate_watchers.cpp)
//   modes        a focused mode and a stable mode that alternate on a
//                conflict schedule growing geometrically (Oh, "Between
//                SAT and UNSAT: the fundamental difference in CDCL SAT",
//                SAT 2015; Biere's solvers since 2018)
//   restarts     focused: when a fast moving average of the glue rises
//                above a slow one (Audemard and Simon, Glucose, 2012, with
//                the bias-corrected averages of Biere and Fröhlich, POS
//                2015); stable: the reluctant doubling (Luby) sequence
//                scaled by 1024 conflicts; either way reusing the part of
//                the trail that the next decisions would rebuild (van der
//                Tak, Ramos and Heule, JSAT 2011)
//   decisions    focused: a variable-move-to-front queue (Ryan's VMTF, as
//                Biere and Fröhlich revived it, SAT 2015); stable: the
//                heap of exponential VSIDS activities (MiniSat)
//   phases       phase saving (Pipatsrisawat and Darwiche, SAT 2007),
//                target and best phases (Biere and Fleury, POS 2020), and
//                periodic rephasing among original, inverted, best, random
//                and target phases (decide.cpp)
//   learning     first-UIP analysis, recursive minimisation, and
//                minimisation with the binary implication graph (Glucose);
//                the glue (LBD, Audemard and Simon, IJCAI 2009) of every
//                learned clause, recomputed when analysis uses it
//                (analyze.cpp)
//   reduction    three tiers: glue <= 2 kept for good, glue <= 6 kept
//                while used recently, the rest reduced by glue and size at
//                a growing interval (the tiers of Oh, SAT 2015; reduce.cpp)
//
// Propagation, analysis's minimisation and backtracking are the engine's;
// the rest lives here and in this folder's files.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/SearchPolicy.hpp"
#include "engine/Solver.hpp"

namespace quelt {

class ModernPolicy final : public SearchPolicy {
 public:
  explicit ModernPolicy(Solver& solver);
  ~ModernPolicy() override;

  const char* name() const override { return "modern"; }
  void configure() override;
  void resetLimits() override;
  void resume() override;

  void beginRun() override;
  void endRun(unsigned result) override;
  Clause* propagate() override { return s.propagateWatchers(); }
  bool restartAtConflict() override { return false; }
  bool learn(Clause* conflict) override;
  // At level 0, and when a round of simplification is due (inprocess.cpp).
  bool simplifying() override { return s.decisionLevel() == 0 || s.stats.conflicts >= nextVivify; }
  bool simplify() override;
  bool reducing() override { return s.stats.conflicts >= nextReduce; }
  void reduce() override;                                     // reduce.cpp
  bool restarting() override;
  void restart() override;
  bool decide(Literal& decision) override;                    // decide.cpp
  Literal phase(unsigned v) override;
  void makeRoom() override;
  void adoptShared(Clause& c, unsigned glue) override;
  void unassigning(const Literal* first, const Literal* last) override;

  std::int32_t shownRestartLimit() const override { return 0; }
  std::int32_t shownReductionLimit() const override;
  char shownMode() const override { return stable ? 'S' : 'F'; }

  // ---- Schedules --------------------------------------------------------------
  // Conflicts between reductions: kReduceInterval * sqrt(reductions + 1).
  static constexpr double kReduceInterval = 300;
  // Conflicts before the n-th rephasing: n * kRephaseInterval.
  static constexpr std::uint64_t kRephaseInterval = 1000;
  // The stable mode's restart unit, in conflicts.
  static constexpr std::uint64_t kReluctantBase = 1024;
  // A focused restart needs the fast glue average this much above the slow,
  // and this many conflicts since the last restart.
  static constexpr double kRestartMargin = 1.1;
  static constexpr std::uint64_t kRestartMinConflicts = 2;
  // Conflicts of the first focused mode; each pair of modes doubles it.
  static constexpr std::uint64_t kFirstModeLength = 1000;

  // Conflicts between vivification rounds: kVivifyInterval * sqrt(rounds + 1);
  // a round spends at most this share of the search's propagations.
  static constexpr double kVivifyInterval = 3000;
  static constexpr double kVivifyEffort = 0.1;
  // Failed-literal probing before each vivification round, with this share.
  static constexpr double kProbeEffort = 0.05;
  // Then equivalences, subsumption and elimination, in ticks (about a
  // literal read each) per propagation since the last time, within bounds;
  // an elimination may add kGrowthStep more clauses than it removes each
  // time a round removes nothing, up to kMaxGrowth.
  static constexpr double kEliminateEffort = 2;
  static constexpr std::uint64_t kEliminateMinTicks = 1000000;
  static constexpr std::uint64_t kEliminateMaxTicks = 500000000;
  static constexpr std::uint32_t kGrowthStep = 8;
  static constexpr std::uint32_t kMaxGrowth = 16;
  // A local-search walk visits at most this share of the search's
  // propagations since the last walk in literals, and at least the minimum.
  static constexpr double kWalkEffort = 5;
  static constexpr std::uint64_t kWalkMinTicks = 100000;

  // ---- Clause quality -------------------------------------------------------
  // A learned clause of this search keeps, in place of the classic
  // activity, its glue (bits 0-19), how recently analysis used it (bits
  // 20-21: 2 in this reduction interval and the last, 1 in this one) and
  // whether vivification has tried it (bit 22).
  static constexpr std::uint32_t kGlueMask = (1u << 20) - 1;
  static constexpr std::uint32_t kUsedShift = 20;
  static constexpr std::uint32_t kVivifiedBit = 1u << 22;
  static constexpr unsigned kTier1 = 2;  // glue kept for good
  static constexpr unsigned kTier2 = 6;  // glue kept while used
  static unsigned glueOf(const Clause& c) { return c.quality() & kGlueMask; }
  static unsigned usedOf(const Clause& c) { return (c.quality() >> kUsedShift) & 3u; }
  static bool vivifiedOf(const Clause& c) { return (c.quality() & kVivifiedBit) != 0; }
  // The quality of a clause just learned.
  static void setFreshQuality(Clause& c, unsigned glue) {
    c.setQuality((glue > kGlueMask ? kGlueMask : glue) | (1u << kUsedShift));
  }
  static void setQuality(Clause& c, unsigned glue, unsigned used) {
    c.setQuality((glue > kGlueMask ? kGlueMask : glue) | (used << kUsedShift) | (c.quality() & kVivifiedBit));
  }
  static void markVivified(Clause& c) { c.setQuality(c.quality() | kVivifiedBit); }

 private:
  Solver& s;

  // ---- Modes and schedules (ModernPolicy.cpp) -------------------------------
  bool stable = false;
  std::uint64_t modeLength = kFirstModeLength;  // conflicts of the next mode
  std::uint64_t nextModeSwitch = 0;   // conflict count of the next switch
  std::uint64_t nextReduce = 0;
  std::uint64_t nextRephase = 0;
  std::uint64_t restartConflicts = 0;  // conflicts since the last restart
  // Reluctant doubling: the pair (u, v) of Knuth's formulation.
  std::uint64_t reluctantU = 1, reluctantV = 1;
  std::uint64_t reluctantLimit = 0;  // conflict count of the next stable restart
  // Moving averages of the glue, bias-corrected.
  struct Average {
    double alpha, biased = 0, exp = 1, value = 0;
    explicit Average(double a) : alpha(a) {}
    void update(double y) {
      biased += alpha * (y - biased);
      exp *= 1 - alpha;
      value = exp < 1 ? biased / (1 - exp) : y;
    }
  };
  Average fastGlue{1.0 / 32}, slowGlue{1e-5};
  // Decisions per conflict, averaged.
  Average decisionRate{1e-3};
  std::uint32_t decisionsAtConflict = 0;
  void switchMode();
  // Sizes every per-variable table for variables created since.
  void grow() {
    if (saved.size() < s.vars.size()) growTables();
  }
  void growTables();

  // ---- Decisions and phases (decide.cpp) --------------------------------------
  // The queue of the focused mode: a doubly linked list in bump order (the
  // last most recent), each variable stamped with the time of its bump, and
  // the search pointer below which the first unassigned variable lies.
  std::vector<unsigned> prev, next;
  std::vector<std::uint64_t> stamp;
  unsigned first = 0, last = 0, searchFrom = 0;
  std::uint64_t stampClock = 0;
  void enqueue(unsigned v);
  void moveToFront(unsigned v);
  // The variable the next decision would take, or 0.
  unsigned nextFocused();
  unsigned nextStable();
  // Whether v ranks before w in the order of the current mode.
  bool ranksBefore(unsigned v, unsigned w) const;
  double scoreIncrement = 1.0;
  void bumpScore(unsigned v);
  std::vector<std::int8_t> saved, target, best;  // +1 / -1, 0: none yet
  std::size_t targetAssigned = 0, bestAssigned = 0;
  void updateTargetAndBest();
  unsigned rephases = 0;
  void rephase();
  void rebuildHeap();
  // The trail levels that a restart keeps: those whose decisions rank
  // before the next decision, and the assumptions' levels.
  unsigned reuseLevel();

  // ---- Learning (analyze.cpp) -------------------------------------------------
  std::vector<Literal> learned;
  std::vector<unsigned> seen;        // variables marked in this analysis
  std::vector<unsigned> levelMarks;  // per level: the stamp of the last glue count
  std::vector<std::uint32_t> litMarks;  // per literal index: in the learned clause
  std::uint32_t markClock = 0;
  std::uint32_t newMark();
  unsigned analyze(Clause* conflict, unsigned& glue);
  unsigned countGlue(const Literal* begin, const Literal* end);
  void noteUse(Clause& c);
  void minimiseWithBinaries();
  void shrink(unsigned long long levels);
  bool shrinkBlock(std::int32_t level, std::size_t from, std::size_t to, unsigned long long levels, Literal& uip);
  std::vector<std::uint32_t> varMarks;  // per variable: reached by shrinking
  std::vector<unsigned> bumped;  // the variables to bump after this analysis
  void bump();
  // Reason-side bumping: only for learned clauses of at most this many
  // literals, and at most this many variables per literal of the clause.
  static constexpr std::size_t kReasonBumpMaxSize = 100;
  static constexpr std::size_t kReasonBumpFactor = 10;
  // Nor while the search makes this many decisions per conflict or more,
  // as it does far from conflicts, where the bumps would only blur the
  // order (Kissat's rate limit).
  static constexpr double kReasonBumpMaxRate = 10;

  // ---- Reduction (reduce.cpp) -------------------------------------------------
  std::vector<Clause*> candidates;  // also vivification's

  // ---- Local search for phases (walk.cpp) ---------------------------------------
  static constexpr std::uint32_t kNotFalsified = 0xffffffffu;
  std::uint32_t propagationsAtWalk = 0;
  std::vector<std::uint32_t> walkStart;     // per clause: its first literal in walkLits
  std::vector<Literal> walkLits;
  std::vector<std::uint32_t> walkOccStart;  // per literal index: its first entry in walkOcc
  std::vector<std::uint32_t> walkOcc, walkFill;
  std::vector<std::uint8_t> walkValue, walkBest;  // per variable: 1 true
  std::vector<std::uint32_t> walkTrue;     // per clause: its true literals
  std::vector<std::uint32_t> walkUnsat;    // the falsified clauses
  std::vector<std::uint32_t> walkUnsatAt;  // per clause: its place there
  std::vector<double> walkScore, walkWeights;
  void walk();

  // ---- Simplification during search (inprocess.cpp, vivify.cpp) ----------------
  std::uint64_t nextVivify = 0;                // conflict count of the next round
  std::uint32_t propagationsAfterProbe = 0;
  bool probe();
  std::uint32_t propagationsAfterEliminate = 0;
  std::uint32_t eliminationGrowth = 0;
  std::vector<unsigned> eliminationKept;
  bool eliminate();
  std::uint32_t propagationsAfterVivify = 0;  // at the end of the last round
  std::vector<Literal> vivifyLits, vivifyScratch;
  std::size_t irredundantCursor = 0;  // the next irredundant clause to vivify
  bool vivify();
  bool vivifyClause(Clause& c);
  void dropVivified(Clause& c);
  void keepDecisionsBehind(const Clause* conflict, Literal l);
};

}  // namespace quelt
