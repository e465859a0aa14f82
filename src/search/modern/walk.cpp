// Local search for phases (see ModernPolicy.hpp).
//
// At some rephasings the saved phases are handed to a probabilistic local
// search over the irredundant clauses, ProbSAT's (Balint and Schöning, SAT
// 2012): pick a falsified clause at random, and flip one of its variables
// with a probability that falls polynomially with the variable's break
// count (the clauses that flipping it would falsify), (1 + break)^-2.3.
// The assignment with the fewest falsified clauses seen becomes the saved
// phases (Kissat's "walk" rephasing, Biere and Fleury, POS 2020). Variables
// fixed at level 0 keep their values; the clauses satisfied there are left
// out, and their false literals too.
//
// The walk is phase advice only: it never touches the trail or the
// clauses. Its work is counted in literals visited and bounded by a share
// of the propagations the search made since the last walk.
#include <algorithm>
#include <cmath>

#include "search/modern/ModernPolicy.hpp"

namespace quelt {

namespace {
constexpr double kBreakExponent = 2.3;
constexpr unsigned kBreakTable = 64;  // scores of larger break counts are those of this one
}  // namespace

void ModernPolicy::walk() {
  Solver& S = s;
  SearchStatistics::Modern& m = S.stats.modern;
  const std::uint32_t now = S.stats.bcPropagations;  // 32 bits, wrapping: differences only
  const std::uint64_t budget = std::max<std::uint64_t>(
      kWalkMinTicks, static_cast<std::uint64_t>(kWalkEffort * static_cast<double>(now - propagationsAtWalk)));
  propagationsAtWalk = now;
  m.walks += 1;

  // The clauses, their literals that are not fixed false, laid out flat.
  const std::size_t n = S.vars.size();
  auto fixed = [&S](Literal l) { return S.vars[l.var()].level == 0; };
  walkStart.clear();
  walkLits.clear();
  for (const Clause* c : S.clauses) {
    if (c->removed() || (c->flags & Clause::kParked) != 0) continue;
    const std::size_t begin = walkLits.size();
    bool satisfied = false;
    for (Literal l : *c) {
      if (!fixed(l)) {
        walkLits.push_back(l);
      } else if (S.isTrue(l)) {
        satisfied = true;
        break;
      }
    }
    if (satisfied || walkLits.size() == begin) {
      walkLits.resize(begin);
      continue;
    }
    walkStart.push_back(static_cast<std::uint32_t>(begin));
  }
  const std::size_t clauses = walkStart.size();
  walkStart.push_back(static_cast<std::uint32_t>(walkLits.size()));
  if (clauses == 0) return;

  // Occurrence lists, as offsets into one array.
  walkOccStart.assign(2 * n + 1, 0);
  for (Literal l : walkLits) walkOccStart[l.x + 1] += 1;
  for (std::size_t i = 1; i < walkOccStart.size(); ++i) walkOccStart[i] += walkOccStart[i - 1];
  walkOcc.resize(walkLits.size());
  walkFill.assign(walkOccStart.begin(), walkOccStart.end() - 1);
  for (std::uint32_t c = 0; c < clauses; ++c)
    for (std::uint32_t k = walkStart[c]; k < walkStart[c + 1]; ++k) walkOcc[walkFill[walkLits[k].x]++] = c;

  // The start: the saved phases.
  walkValue.assign(n, 0);
  for (std::size_t v = 1; v < n; ++v) walkValue[v] = saved[v] > 0 ? 1 : 0;
  auto isTrue = [this](Literal l) { return walkValue[l.var()] == (l.positive() ? 1 : 0); };
  walkTrue.assign(clauses, 0);
  walkUnsatAt.assign(clauses, kNotFalsified);
  walkUnsat.clear();
  for (std::uint32_t c = 0; c < clauses; ++c) {
    for (std::uint32_t k = walkStart[c]; k < walkStart[c + 1]; ++k) walkTrue[c] += isTrue(walkLits[k]) ? 1 : 0;
    if (walkTrue[c] == 0) {
      walkUnsatAt[c] = static_cast<std::uint32_t>(walkUnsat.size());
      walkUnsat.push_back(c);
    }
  }
  if (walkScore.empty()) {
    walkScore.resize(kBreakTable + 1);
    for (unsigned b = 0; b <= kBreakTable; ++b) walkScore[b] = std::pow(1.0 + b, -kBreakExponent);
  }
  std::size_t fewest = walkUnsat.size();
  walkBest.assign(walkValue.begin(), walkValue.end());

  std::uint64_t ticks = 0;
  std::vector<double>& weights = walkWeights;
  for (std::uint64_t flips = 1; !walkUnsat.empty() && ticks < budget; ++flips) {
    if ((flips & 0xffffu) == 0 && S.stopRequested()) break;
    const std::uint32_t c = walkUnsat[S.random.next() % walkUnsat.size()];
    const std::uint32_t begin = walkStart[c], end = walkStart[c + 1];
    weights.clear();
    double total = 0;
    for (std::uint32_t k = begin; k < end; ++k) {
      // Flipping makes this literal true and its negation false.
      const Literal gone = ~walkLits[k];
      unsigned breaks = 0;
      const std::uint32_t ob = walkOccStart[gone.x], oe = walkOccStart[gone.x + 1];
      ticks += oe - ob + 1;
      for (std::uint32_t o = ob; o < oe; ++o) breaks += walkTrue[walkOcc[o]] == 1 ? 1 : 0;
      const double w = walkScore[std::min(breaks, kBreakTable)];
      weights.push_back(w);
      total += w;
    }
    double pick = total * (static_cast<double>(S.random.next()) / 2147483648.0);
    std::uint32_t chosen = begin;
    for (std::uint32_t k = begin; k < end; ++k) {
      chosen = k;
      pick -= weights[k - begin];
      if (pick < 0) break;
    }
    const Literal made = walkLits[chosen];
    walkValue[made.var()] ^= 1;
    m.walkFlips += 1;
    const std::uint32_t mb = walkOccStart[made.x], me = walkOccStart[made.x + 1];
    for (std::uint32_t o = mb; o < me; ++o) {
      const std::uint32_t d = walkOcc[o];
      if (walkTrue[d]++ != 0) continue;
      // d is satisfied now: out of the falsified list, the last in its place.
      const std::uint32_t at = walkUnsatAt[d], moved = walkUnsat.back();
      walkUnsat[at] = moved;
      walkUnsatAt[moved] = at;
      walkUnsat.pop_back();
      walkUnsatAt[d] = kNotFalsified;
    }
    const Literal unmade = ~made;
    const std::uint32_t ub = walkOccStart[unmade.x], ue = walkOccStart[unmade.x + 1];
    for (std::uint32_t o = ub; o < ue; ++o) {
      const std::uint32_t d = walkOcc[o];
      if (--walkTrue[d] != 0) continue;
      walkUnsatAt[d] = static_cast<std::uint32_t>(walkUnsat.size());
      walkUnsat.push_back(d);
    }
    ticks += (me - mb) + (ue - ub);
    if (walkUnsat.size() < fewest) {
      fewest = walkUnsat.size();
      walkBest.assign(walkValue.begin(), walkValue.end());
      ticks += n / 8;  // the copy
    }
  }
  if (fewest == 0) m.walkModels += 1;
  for (std::size_t v = 1; v < n; ++v) saved[v] = walkBest[v] != 0 ? 1 : -1;
}

}  // namespace quelt
