// Failed literal probing (Freeman's POSIT, 1995; Lynce and Marques-Silva,
// "Probing-based preprocessing techniques", 2003), on the roots of the
// binary implication graph as Lingeling probes them.
//
// A literal l fails when assigning it and propagating ends in a conflict:
// then the formula implies not-l, a unit that costs the search nothing to
// know in advance. Trying every literal would propagate the formula twice
// per variable, so only the roots of the binary implication graph are
// tried: literals that some binary clause makes imply others (not-l occurs
// in a binary clause) while no binary clause implies them (l occurs in
// none). A failure anywhere down an implication chain shows up when its
// root is probed, so the roots find most failed literals at a fraction of
// the cost.
//
// Each probe is a decision at level 1, one propagation and a backjump on
// the watched database; a failed literal's negation is logged (it is a
// unit by propagation) and assigned at level 0. The probes of a round stop
// once the propagations they caused pass the budget. The same kernel
// serves the preprocessor and the modern search's rounds during search,
// where the learned clauses take part in the propagation.
#include "simplify/probe.hpp"
#include "simplify/preprocess.hpp"

namespace quelt {

bool probeRoots(Solver& s, std::uint64_t budget, std::uint32_t& failedLiterals) {
  if (s.propagate() != nullptr) return false;
  std::vector<std::uint32_t> binary(2 * s.vars.size(), 0);
  for (const Clause* c : s.clauses) {
    if (c->size != 2 || s.isAssigned((*c)[0]) || s.isAssigned((*c)[1])) continue;
    binary[(*c)[0].occurIndex()] += 1;
    binary[(*c)[1].occurIndex()] += 1;
  }
  std::vector<Literal> roots;
  for (unsigned v = 1; v < s.vars.size(); ++v)
    for (bool positive : {false, true}) {
      const Literal l = Literal::make(v, positive);
      if (binary[l.occurIndex()] == 0 && binary[(~l).occurIndex()] > 0) roots.push_back(l);
    }

  std::uint64_t used = 0;
  for (Literal l : roots) {
    if (used > budget) break;
    if (s.isAssigned(l)) continue;
    const std::uint32_t before = s.stats.bcPropagations;  // 32 bits, wrapping: differences only
    s.trail.levelStarts.push_back(static_cast<unsigned>(s.trail.lits.size()));
    s.assign(l, nullptr);
    const bool failed = s.propagate() != nullptr;
    s.backtrack(0);
    used += static_cast<std::uint32_t>(s.stats.bcPropagations - before);
    if (!failed) continue;
    failedLiterals += 1;
    const Literal unit = ~l;
    if (s.proof != nullptr) s.proof->add(&unit, 1);
    s.assign(unit, nullptr);
    if (s.propagate() != nullptr) return false;
  }
  return true;
}

void Preprocessor::probe(std::uint64_t budget) {
  if (!probeRoots(s, budget, stats.failedLiterals)) refute();
}

}  // namespace quelt
