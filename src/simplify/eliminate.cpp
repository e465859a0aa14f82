// Variable elimination by clause resolution: the rule of Davis and Putnam
// (1960), bounded as in NiVER (Subbarayan and Pradhan, SAT 2004) by the
// number and length of the resolvents.
//
// A variable v that occurs rarely enough can be removed by replacing all of
// its clauses with every non-tautological resolvent on v. It is tried only
// when one phase has at most resCutoffCls clauses, both phases have clauses
// after filtering (mode 1 resolves original clauses only, mode 2 learned
// ones too), the clauses of both phases hold at most resCutoffLits literals,
// and the trial shows at most as many resolvents as clauses with at most
// maxResLitInc times the literals. Otherwise nothing changes.
//
// The original clauses removed with v are kept in a new entry of
// eliminatedClauses, each with v's literal moved to position 0, and the
// entry records v itself: after a satisfiable search the model is extended
// backwards over these entries (search.cpp), which needs the variable even
// when the entry is empty (every clause of v was learned).
//
// Variables named by an assumption are never eliminated: the search places
// assumptions as decisions, and a decision on an eliminated variable would
// ignore the clauses removed with it. Nor are frozen ones: a caller keeps
// them for later clauses and assumptions.
#include <algorithm>

#include "engine/Solver.hpp"
#include "simplify/resolve.hpp"

namespace quelt {

bool Solver::isSpliceTautology(const Clause* a, const Clause* b, unsigned v, unsigned& count) {
  std::vector<Literal>& merged = spliceScratch;
  merged.clear();
  merged.reserve(static_cast<std::size_t>(a->size) + b->size);
  merged.insert(merged.end(), a->begin(), a->end());
  merged.insert(merged.end(), b->begin(), b->end());
  std::sort(merged.begin(), merged.end());
  for (std::size_t i = 0; i < merged.size(); ++i) {
    const Literal l = merged[i];
    const util::VarInfo& r = vars[l.var()];
    if (r.level >= 0) {
      if (r.isTrue(l)) return true;
    } else {
      count += 1;
    }
    if (i > 0 && l.var() != v && merged[i - 1] != l && varEqual(merged[i - 1], l)) return true;
  }
  return false;
}

void Solver::logResolvent(const std::vector<Literal>& resolvent) {
  std::vector<Literal>& lits = proofScratch;
  lits.assign(resolvent.begin(), resolvent.end());
  std::sort(lits.begin(), lits.end());
  lits.erase(std::unique(lits.begin(), lits.end()), lits.end());
  for (std::size_t i = 1; i < lits.size(); ++i)
    if (varEqual(lits[i - 1], lits[i])) return;  // tautologies are never stored
  proof->add(lits);
}

bool Solver::tryEliminate(unsigned v) {
  std::vector<Clause*>& negList = occurrences.lists[2 * v];
  std::vector<Clause*>& posList = occurrences.lists[2 * v + 1];
  const std::size_t n = negList.size() + posList.size();
  if (n == 0 || vars[v].level >= 0) return false;
  if (negList.size() > params.resCutoffCls && posList.size() > params.resCutoffCls) return false;

  auto usable = [this](const Clause* c) {
    if (c->removed()) return false;
    if (params.resolution == 1) return !c->learned();
    return params.resolution == 2;
  };
  std::vector<Clause*> pos, neg;
  for (Clause* c : posList)
    if (usable(c)) pos.push_back(c);
  for (Clause* c : negList)
    if (usable(c)) neg.push_back(c);
  if (pos.empty() || neg.empty()) return false;

  std::uint64_t sum = 0;
  for (const auto* side : {&pos, &neg})
    for (const Clause* c : *side) {
      sum += c->size;
      if (sum > params.resCutoffLits) return false;
    }
  const long double scaled = static_cast<long double>(sum) * static_cast<long double>(params.maxResLitInc);
  const unsigned maxLits = static_cast<unsigned>(static_cast<std::uint64_t>(static_cast<std::int64_t>(scaled)));

  unsigned count = 0;
  std::size_t resolvents = 0;
  for (const Clause* p : pos)
    for (const Clause* q : neg) {
      if (isSpliceTautology(p, q, v, count)) continue;
      ++resolvents;
      if (resolvents > n || count > maxLits) return false;
    }

  // Tautologies are left out: adding one would store nothing.
  const Literal posLit = Literal::make(v, true);
  const Literal negLit = Literal::make(v, false);
  std::vector<Literal>& resolvent = resolventScratch;
  for (const Clause* p : pos) {
    if (status == Unsatisfiable) break;
    resolver->setFirst(*p);
    for (const Clause* q : neg) {
      if (!resolver->resolveWith(posLit, *q, negLit, resolvent)) continue;
      if (proof != nullptr) logResolvent(resolvent);
      const std::pair<Clause*, bool> added = addClause(resolvent, false);
      if (added.first != nullptr) MarkOccurrences(*added.first);
    }
  }

  pushRemovedVariable(v);
  for (int phase = 0; phase < 2; ++phase) {
    const std::vector<Clause*>& list = phase == 0 ? negList : posList;
    const Literal own = phase == 0 ? negLit : posLit;
    for (Clause* c : list) {
      if (c->removed()) continue;
      c->setRemoved();
      if (proof != nullptr) proof->del(*c);
      unwatchClause(*c);
      if (!c->learned()) keepRemovedClause(c, own);
      for (Literal l : *c) vars[l.var()].decOccur(l.sign());
    }
  }
  decisionQueue.remove(v);
  stats.eliminatedClauseCount += static_cast<std::uint32_t>(n - resolvents);
  return true;
}

void Solver::runResolution() {
  stats.resolutionRounds += 1;
  Resolver kernel;
  kernel.resize(vars.size());
  struct Lend {  // the kernel to tryEliminate, for this round only
    Resolver*& slot;
    ~Lend() { slot = nullptr; }
  } lend{resolver = &kernel};
  std::vector<char> assumed(vars.size(), 0);
  for (Literal a : assumptions)
    if (a.var() < assumed.size()) assumed[a.var()] = 1;
  std::vector<unsigned> candidates;
  for (unsigned v = 1; v < vars.size(); ++v)
    if (vars[v].level < 0 && !vars[v].eliminated() && !assumed[v] && !isFrozen(v)) candidates.push_back(v);
  std::sort(candidates.begin(), candidates.end(), VarComparator{&vars, params.resOrderHeur});

  unsigned eliminated = 0;
  if (!candidates.empty() && status != Unsatisfiable) {
    occurrencesInUse = true;
    for (unsigned v : candidates) {
      if (!vars[v].eliminated() && tryEliminate(v)) {
        ++eliminated;
        vars[v].setEliminated();
        decisionQueue.remove(v);
        if (propagate() != nullptr) status = Unsatisfiable;
      }
      if (status == Unsatisfiable) break;
    }
    occurrencesInUse = false;
  }
  stats.eliminatedVariables += eliminated;
}

}  // namespace quelt
