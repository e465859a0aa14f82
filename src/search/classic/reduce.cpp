// Learned-clause reduction by clause activity, as MiniSat deletes its
// learned clauses (Eén and Sörensson, SAT 2003), after BerkMin's idea of
// keeping the clauses recent conflicts used (Goldberg and Novikov, 2002).
//
// The learned clauses are sorted by the deletion heuristic (ascending
// activity; the same but with binary clauses last; or ascending activity per
// literal). Every deletable clause in the first half of that order goes, and
// in the second half those whose activity is below clauseActivityInc / n.
// Binary clauses and locked clauses (the reason of a current assignment) are
// never deleted. One sort of pointers and one compacting pass; no clause is
// copied.
#include <algorithm>

#include "core/ClauseSorter.hpp"
#include "engine/Solver.hpp"

namespace quelt {

void Solver::reduceLearnedClauses() {
  std::vector<Clause*>& lc = learnedClauses;
  switch (params.clauseDelHeur) {
    case 0: std::sort(lc.begin(), lc.end(), util::ClauseSorter_Activity()); break;
    case 1: std::sort(lc.begin(), lc.end(), util::ClauseSorter_Size()); break;
    case 2: std::sort(lc.begin(), lc.end(), util::ClauseSorter_ActivitySizeDiv()); break;
    default: break;
  }
  const std::size_t n = lc.size();
  if (n == 0) return;
  const std::size_t half = n / 2;
  const double threshold = params.clauseActivityInc / static_cast<double>(n);
  // Deleted clauses are detached in one batch (see detach in simplify.cpp):
  // each affected watch list is compacted once instead of two list scans
  // per deleted clause.
  beginBatchedDetach();
  std::size_t k = 0;
  for (std::size_t i = 0; i < n; ++i) {
    Clause* c = lc[i];
    const bool deletable = c->size > 2 && !isClauseLocked(*c);
    if (deletable && (i < half || static_cast<double>(c->activity) < threshold)) {
      if (!c->removed()) {
        if (proof != nullptr) proof->del(*c);
        detach(*c);
      }
      garbage.push_back(c);
    } else {
      lc[k++] = c;
    }
  }
  sweepDetached();
  batchingDetach = false;
  lc.resize(k);
}

}  // namespace quelt
