// The IPASIR interface over one Solver.
//
// Clauses go to the solver as they are completed, so everything the solver
// does on adding (normalising, level-0 units, undoing pure literals and
// elimination) happens exactly as through the facade. Assumptions are
// gathered and handed to one solve, then forgotten. What a solve found (the
// state, the failed assumptions) is kept here, because forgetting the
// assumptions also resets the solver's own status.
//
// Each handle seeds the standard generator as the facade does, so a run of
// IPASIR calls repeats exactly.
#include "quelt/ipasir.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <exception>
#include <vector>

#include "frontend/Prover.hpp"
#include "solver/Solver.hpp"

namespace {

using quelt::Literal;
using quelt::Solver;

struct Handle {
  Solver solver;
  std::vector<Literal> clause;
  std::vector<Literal> assumed;
  std::vector<Literal> failed;  // sorted
  int state = 0;                // 0 input, 10 satisfiable, 20 unsatisfiable
  bool badLiteral = false;
  void (*learn)(void*, std::int32_t*) = nullptr;
  void* learnData = nullptr;
  std::size_t maxLength = 0;
  std::vector<std::int32_t> learnBuffer;

  // A literal of the interface, its variable created on first sight. One
  // that is no literal, or a variable too large to make room for, spoils the
  // formula: no later answer could be trusted.
  bool take(std::int32_t lit, Literal& out) {
    if (lit == 0 || lit == INT32_MIN) return badLiteral = true, false;
    try {
      solver.createVar(static_cast<unsigned>(std::abs(lit)), quelt::dpinterface::ProblemVar, 0, 0);
    } catch (const std::exception&) {
      return badLiteral = true, false;
    }
    out = Literal::fromDimacs(lit);
    return true;
  }
};

Handle& handle(void* p) { return *static_cast<Handle*>(p); }

void passLearned(void* p, const std::vector<Literal>& learned) {
  Handle& h = handle(p);
  if (learned.size() > h.maxLength) return;
  h.learnBuffer.clear();
  for (Literal l : learned) h.learnBuffer.push_back(static_cast<std::int32_t>(l.toDimacs()));
  h.learnBuffer.push_back(0);
  h.learn(h.learnData, h.learnBuffer.data());
}

}  // namespace

extern "C" {

const char* ipasir_signature(void) { return "quelt-1.0"; }

void* ipasir_init(void) {
  std::srand(quelt::Prover::kRandomSeed);
  return new Handle();
}

void ipasir_release(void* solver) { delete static_cast<Handle*>(solver); }

void ipasir_add(void* solver, std::int32_t lit) {
  Handle& h = handle(solver);
  h.state = 0;
  Literal l;
  if (lit != 0) {
    if (h.take(lit, l)) h.clause.push_back(l);
    return;
  }
  try {
    h.solver.addClause(h.clause, false);
  } catch (const std::exception&) {
    h.badLiteral = true;
  }
  h.clause.clear();
}

void ipasir_assume(void* solver, std::int32_t lit) {
  Handle& h = handle(solver);
  h.state = 0;
  Literal l;
  if (h.take(lit, l)) h.assumed.push_back(l);
}

int ipasir_solve(void* solver) {
  Handle& h = handle(solver);
  h.failed.clear();
  if (h.badLiteral) return h.state = 0;
  Solver& s = h.solver;
  s.clearAssumed();
  s.resetSearchLimits();
  unsigned r;
  try {
    r = s.solve(h.assumed, false);
  } catch (const std::exception&) {  // out of memory: no answer
    r = Solver::Unknown;
  }
  h.assumed.clear();
  h.failed = s.failedAssumptions;
  std::sort(h.failed.begin(), h.failed.end());
  s.clearAssumed();
  h.state = r == Solver::Satisfiable ? 10 : r == Solver::Unsatisfiable ? 20 : 0;
  return h.state;
}

std::int32_t ipasir_val(void* solver, std::int32_t lit) {
  const Handle& h = handle(solver);
  if (h.state != 10 || lit == 0 || lit == INT32_MIN) return 0;
  const std::size_t v = static_cast<std::size_t>(std::abs(lit));
  if (v > h.solver.model.size()) return 0;
  return h.solver.model[v - 1].positive() == (lit > 0) ? lit : -lit;
}

int ipasir_failed(void* solver, std::int32_t lit) {
  const Handle& h = handle(solver);
  if (h.state != 20 || lit == 0 || lit == INT32_MIN) return 0;
  return std::binary_search(h.failed.begin(), h.failed.end(), Literal::fromDimacs(lit)) ? 1 : 0;
}

void ipasir_set_terminate(void* solver, void* data, int (*terminate)(void* data)) {
  Handle& h = handle(solver);
  h.solver.terminateHook = terminate;
  h.solver.terminateData = data;
}

void ipasir_set_learn(void* solver, void* data, int max_length, void (*learn)(void* data, std::int32_t* clause)) {
  Handle& h = handle(solver);
  h.learn = learn;
  h.learnData = data;
  h.maxLength = max_length < 0 ? 0 : static_cast<std::size_t>(max_length);
  h.solver.learnHook = learn != nullptr ? passLearned : nullptr;
  h.solver.learnData = solver;
}

}  // extern "C"
