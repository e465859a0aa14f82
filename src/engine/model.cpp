// Assumptions, the model (its extension over removed variables, its
// self-check), result output and dumps.
//
// After a satisfiable search the variables removed by elimination or
// substitution get their values from the reconstruction stack, the clauses
// set aside with them, walked from the last removed back to the first: a
// clause with no true literal is satisfied by the removed variable's
// literal, which was put first (the model reconstruction of bounded
// variable elimination, as Eén and Biere describe it for SatElite).
//
// Every model goes through verifyModel before anyone sees it: each stored
// original clause, each clause removed by variable elimination and each
// assumption must hold. A failure is a bug in the solver: it throws
// ModelCheckFailure with the diagnosis, and the front end prints that and
// ends with status 1 rather than report a wrong answer.
#include <algorithm>
#include <iostream>
#include <sstream>

#include "engine/Solver.hpp"

namespace quelt {

void Solver::assume(const std::vector<Literal>& lits) {
  if (!lits.empty() && (!pureVars.empty() || !eliminatedVars.empty())) restoreFor(lits);
  assumptions.insert(assumptions.end(), lits.begin(), lits.end());
  std::sort(assumptions.begin(), assumptions.end());
}

void Solver::clearAssumed() {
  assumptions.clear();
  status = refuted ? Unsatisfiable : Unknown;
}

namespace {
bool satisfiedBy(const Clause& c, const std::vector<Literal>& model) {
  for (Literal l : c)
    if (l.var() >= 1 && l.var() <= model.size() && model[l.var() - 1] == l) return true;
  return false;
}
}  // namespace

void Solver::verifyModel() {
  // The empty formula over no variables is satisfied by the empty model.
  if (model.empty() && vars.size() <= 1 && assumptions.empty()) return;
  if (model.empty()) throw ModelCheckFailure("c *** Error: Verify called with empty model ***\n");
  if (model.size() + 1 != vars.size()) throw ModelCheckFailure("c *** Error: Incomplete model ***\n");
  auto check = [&](const Clause& c) {
    if (satisfiedBy(c, model)) return;
    std::ostringstream diagnosis;
    diagnosis << "c *** Error: Invalid solution detected ***\n" << c << "s UNKNOWN\n";
    throw ModelCheckFailure(diagnosis.str());
  };
  for (const Clause* c : clauses) check(*c);
  for (const auto& entry : eliminatedClauses)
    for (const Clause* c : entry) check(*c);
  for (const Clause* c : parkedClauses) check(*c);
  for (Literal a : assumptions) {
    if (a.var() >= 1 && a.var() <= model.size() && model[a.var() - 1] == a) continue;
    std::ostringstream diagnosis;
    diagnosis << "c *** Error: User assumption " << a << " unsatisfied! ***\ns UNKNOWN\n";
    throw ModelCheckFailure(diagnosis.str());
  }
}

void Solver::extendModel() {
  // The eliminated flags stay: eliminated variables remain outside the
  // search in later solves (backtracking does not queue them again), and
  // this extension gives them their values each time.
  const bool atLevelZero = decisionLevel() == 0;
  for (std::size_t e = eliminatedClauses.size(); e-- > 0;) {
    const unsigned v = eliminatedVars[e];
    for (Clause* c : eliminatedClauses[e]) {
      Literal* cl = c->lits();
      bool satisfied = false;
      for (std::uint32_t k = 0; k < c->size; ++k)
        if (isTrue(cl[k])) {
          std::swap(cl[0], cl[k]);
          satisfied = true;
          break;
        }
      if (satisfied || vars[v].level >= 0) continue;
      // The eliminated variable's literal was stored first, but an earlier
      // extension may have moved a literal that was true then in front of it.
      for (std::uint32_t k = 0; k < c->size; ++k)
        if (cl[k].var() == v) {
          assign(cl[k], atLevelZero ? nullptr : c);
          eliminatedOnTrail |= atLevelZero;
          break;
        }
    }
    if (vars[v].level < 0) {
      assign(policy->phase(v), nullptr);
      eliminatedOnTrail |= atLevelZero;
    }
  }
}

std::ostream& Solver::dumpModel(std::ostream& os) const {
  if (status != Satisfiable) return os;
  os << "v ";
  for (Literal l : model) os << l << ' ';
  return os << '0' << std::endl;
}

void Solver::dumpModel() const { dumpModel(std::cerr); }

std::ostream& Solver::dumpPLine(std::ostream& os) const {
  const std::size_t nv = numVars > 0 ? numVars - 1 : 0;
  return os << "p cnf " << nv << ' ' << clauses.size() + learnedClauses.size() + trail.lits.size()
            << std::endl;
}

void Solver::dumpClauses(std::ostream& os) const {
  for (const Clause* c : clauses) c->dumpTo(&os);
  for (const Clause* c : learnedClauses) c->dumpTo(&os);
}

void Solver::dumpClauses() const { dumpClauses(std::cerr); }

void Solver::dumpUnitLits() const { trail.dump(std::cerr); }

void Solver::dumpStats(std::ostream& os) const { os << stats; }

void Solver::dumpStats() const { dumpStats(std::cerr); }

std::ostream& operator<<(std::ostream& os, const Solver& s) {
  switch (s.status) {
    case Solver::Satisfiable: return os << "s SATISFIABLE";
    case Solver::Unsatisfiable: return os << "s UNSATISFIABLE";
    case Solver::LimitsExceeded: return os << "c LIMITS EXCEEDED" << std::endl << "s UNKNOWN";
    case Solver::Unknown: return os << "s UNKNOWN";
    case Solver::Timeout: return os << "c TIMEOUT" << std::endl << "s UNKNOWN";
    default: return os;
  }
}

}  // namespace quelt
