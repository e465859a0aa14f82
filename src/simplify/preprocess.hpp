// The preprocessor's working state, shared by the files of its techniques:
//   preprocess.cpp   the driver: rounds, occurrence lists, units, clean-up
//   probe.cpp        failed literals among the roots of the implication graph
//   equivalence.cpp  equivalent literals, substituted by one representative
//   subsume.cpp      backward subsumption and self-subsuming strengthening
//   bve.cpp          bounded variable elimination
// A Preprocessor lives for one call of Solver::preprocess, or for one
// round of simplification during the search (runDuringSearch), and owns
// nothing but scratch data: every clause stays the solver's.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/Solver.hpp"
#include "simplify/resolve.hpp"

namespace quelt {

class Preprocessor {
 public:
  explicit Preprocessor(Solver& solver) : s(solver), stats(solver.stats.preprocessing) {}
  // Counting into counters instead of the preprocessing statistics.
  Preprocessor(Solver& solver, SearchStatistics::Preprocessing& counters) : s(solver), stats(counters) {}
  Preprocessor(const Preprocessor&) = delete;
  Preprocessor& operator=(const Preprocessor&) = delete;

  // Runs the rounds; false when the formula was refuted.
  bool run();
  // One round during the search, at level 0 with propagation done:
  // equivalences, subsumption and elimination on the irredundant clauses,
  // within tickBudget ticks, an elimination allowed to add up to growth
  // clauses. Earlier removals stay, and so do the learned clauses, but for
  // those that name a variable the round removed. False when the formula
  // was refuted.
  // Variables listed in kept stay too.
  bool runDuringSearch(std::uint64_t tickBudget, std::uint32_t growth, const std::vector<unsigned>& kept);

 private:
  Solver& s;
  SearchStatistics::Preprocessing& stats;
  bool duringSearch = false;  // learned clauses stay (runDuringSearch)
  std::uint32_t clauseGrowth = 0;  // resolvents allowed beyond the clauses they replace

  // ---- Limits -----------------------------------------------------------------
  // Work is counted in ticks, roughly one per literal visited, against one
  // budget proportional to the size of the formula.
  std::uint64_t ticks = 0;
  std::uint64_t tickLimit = 0;
  bool overBudget() const { return ticks > tickLimit; }

  // ---- Variables --------------------------------------------------------------
  std::vector<char> keep;     // frozen or assumed: never eliminated or substituted away
  std::vector<char> touched;  // variables whose clauses changed since they were last tried
  std::vector<unsigned> touchedList;
  void touch(const Clause& c);
  void touch(unsigned v) {
    if (!touched[v]) touched[v] = 1, touchedList.push_back(v);
  }
  bool removable(unsigned v) const {
    return !keep[v] && s.vars[v].level < 0 && !s.vars[v].eliminated();
  }

  // Literal marks: stamp[l.occurIndex()] == mark means marked.
  std::vector<std::uint32_t> stamp;
  std::uint32_t mark = 0;
  void newMarks();
  bool marked(Literal l) const { return stamp[l.occurIndex()] == mark; }
  void setMark(Literal l) { stamp[l.occurIndex()] = mark; }

  // ---- The clause database while it is detached (preprocess.cpp) -------------
  // Every stored clause is listed under each of its literals. A deleted
  // clause is flagged removed and stays listed until the round ends; a
  // clause that loses a literal leaves that literal's list at once. An
  // entry also holds the clause's signature as it was when it was listed (a
  // bit per literal, modulo 64), so that most clauses are ruled out by
  // subsumption without being read: a clause that is missing two of C's
  // literals misses two of C's bits, or at least one, and a clause only
  // shrinks, so an old signature never rules out a clause it should not
  // when the clause is the one to shorten.
  struct Occurrence {
    Clause* clause;
    std::uint64_t signature;
  };
  static std::uint64_t signatureOf(const Clause& c) {
    std::uint64_t sig = 0;
    for (Literal l : c) sig |= std::uint64_t{1} << (l.occurIndex() & 63u);
    return sig;
  }
  std::vector<std::vector<Occurrence>> occ;
  std::vector<Occurrence>& occurrences(Literal l) { return occ[l.occurIndex()]; }
  void list(Clause* c);
  std::vector<Clause*> garbage;  // deleted this round, freed when it ends
  std::vector<Clause*> queue;    // new or shortened clauses, to try as subsumers
  std::size_t unitHead = 0;      // trail position up to which units were applied
  std::vector<Literal> scratch, oldLits;
  Resolver resolver;  // bve.cpp

  bool refuted() const { return s.status == Solver::Unsatisfiable; }
  void refute();
  void detachAll();
  void attachAll();
  void buildOccurrences();
  void finishRound();
  void dropLearnedClauses();
  void prepare();  // the scratch data for the variables there are
  // Equivalences, subsumption and elimination, on occurrence lists while
  // the watches are dropped.
  void detachedRound();
  // After a round during the search: the learned clauses that survive it
  // (none naming a removed variable or satisfied at level 0, none with a
  // false literal), watched again.
  void settleLearnedClauses();
  void compact(Literal l);
  // A new stored clause of at least two literals (the proof is the caller's).
  void storeClause(const std::vector<Literal>& lits);
  // Assigns u at level 0; false (and refuted) when u is false.
  bool addUnit(Literal u);
  void deleteClause(Clause* c);
  // Removes l from c; unlink says whether c leaves l's list here.
  void strengthen(Clause* c, Literal l, bool unlink);
  // Applies the units assigned since unitHead to the clauses.
  void propagateUnits();

  // ---- Techniques -------------------------------------------------------------
  void probe(std::uint64_t budget);            // probe.cpp
  std::vector<Literal> findEquivalences();     // equivalence.cpp
  void rewriteClauses(const std::vector<Literal>& repr);
  // Runs the queue; forward also tries each queued clause against the
  // shorter ones already there.
  void subsume(bool forward);                  // subsume.cpp
  std::uint32_t overlap(const Clause& d, bool& negated, Literal& flip);
  bool subsumedForward(Clause* c, std::uint64_t signature);
  void eliminate();                            // bve.cpp
  bool tryEliminate(unsigned v);
};

}  // namespace quelt
