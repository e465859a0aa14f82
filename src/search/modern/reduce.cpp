// Reduction of the learned clauses by tiers (see ModernPolicy.hpp).
//
// Tier 1 (glue <= 2) is kept for good. Tier 2 (glue <= 6) is kept while
// analysis uses it: a clause used in this interval or the last stays.
// The rest stays for one interval after its last use. Of the clauses that
// may go (not binary, not the reason of an assignment, unused lately), the
// three quarters with the highest glue, then the longest, are deleted; the
// interval grows with the square root of the reductions so far. Deletions
// go in one batch, each watch list compacted once.
#include <algorithm>
#include <cmath>

#include "search/modern/ModernPolicy.hpp"

namespace quelt {

void ModernPolicy::reduce() {
  SearchStatistics::Modern& m = s.stats.modern;
  m.reductions += 1;
  nextReduce = s.stats.conflicts + static_cast<std::uint64_t>(kReduceInterval * std::sqrt(m.reductions + 1.0));
  if (!s.mayDeleteClauses()) return;
  candidates.clear();
  for (Clause* c : s.learnedClauses) {
    if (c->removed() || c->size <= 2) continue;
    const unsigned glue = glueOf(*c);
    if (glue <= kTier1) continue;
    const unsigned used = usedOf(*c);
    if (used > 0) {
      setQuality(*c, glue, used - 1);
      continue;
    }
    if (s.isClauseLocked(*c)) continue;
    candidates.push_back(c);
  }
  // Worst first: higher glue, then longer; ties by position, for a
  // repeatable order.
  std::stable_sort(candidates.begin(), candidates.end(), [](const Clause* a, const Clause* b) {
    const unsigned ga = glueOf(*a), gb = glueOf(*b);
    return ga != gb ? ga > gb : a->size > b->size;
  });
  const std::size_t doomed = candidates.size() * 3 / 4;
  if (doomed == 0) return;
  s.beginBatchedDetach();
  for (std::size_t i = 0; i < doomed; ++i) {
    Clause* const c = candidates[i];
    if (s.proof != nullptr) s.proof->del(*c);
    s.detach(*c);  // marks it to collect
    s.garbage.push_back(c);
  }
  std::vector<Clause*>& lc = s.learnedClauses;
  lc.erase(std::remove_if(lc.begin(), lc.end(), [](const Clause* c) { return (c->flags & Clause::kCollect) != 0; }),
           lc.end());
  s.sweepDetached();
  s.batchingDetach = false;
  m.reducedClauses += doomed;
}

}  // namespace quelt
