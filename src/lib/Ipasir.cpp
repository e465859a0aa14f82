// The IPASIR interface over the C++ interface (quelt.hpp).
//
// The C++ class checks every call and throws; here each exception becomes
// the interface's documented answer. A literal that is not one spoils the
// handle for good: every later solve returns 0, since the formula the caller
// meant is no longer the one the solver holds. The state (INPUT, SAT, UNSAT)
// is kept here because IPASIR answers ipasir_val and ipasir_failed only in
// the state the last solve left, until the next clause or assumption.
#include "quelt/ipasir.h"

#include <vector>

#include "quelt/quelt.hpp"

namespace {

using quelt::api::Result;

struct Handle {
  quelt::api::Solver solver;
  Result state = Result::Unknown;  // Unknown stands for INPUT
  bool spoiled = false;
  int (*terminate)(void*) = nullptr;
  void* terminateData = nullptr;
  void (*learn)(void*, std::int32_t*) = nullptr;
  void* learnData = nullptr;
  std::vector<std::int32_t> learnBuffer;
};

Handle& handle(void* p) { return *static_cast<Handle*>(p); }

}  // namespace

extern "C" {

const char* ipasir_signature(void) { return quelt::api::Solver::signature(); }

void* ipasir_init(void) { return new Handle(); }

void ipasir_release(void* solver) { delete static_cast<Handle*>(solver); }

void ipasir_add(void* solver, std::int32_t lit) {
  Handle& h = handle(solver);
  h.state = Result::Unknown;
  try {
    h.solver.add(lit);
  } catch (...) {
    h.spoiled = true;
  }
}

void ipasir_assume(void* solver, std::int32_t lit) {
  Handle& h = handle(solver);
  h.state = Result::Unknown;
  try {
    h.solver.assume(lit);
  } catch (...) {
    h.spoiled = true;
  }
}

int ipasir_solve(void* solver) {
  Handle& h = handle(solver);
  h.state = Result::Unknown;
  if (h.spoiled) return 0;
  try {
    h.state = h.solver.solve();
  } catch (...) {
    h.state = Result::Unknown;
  }
  return static_cast<int>(h.state);
}

std::int32_t ipasir_val(void* solver, std::int32_t lit) {
  Handle& h = handle(solver);
  if (h.state != Result::Satisfiable) return 0;
  try {
    return h.solver.value(lit);
  } catch (...) {
    return 0;
  }
}

int ipasir_failed(void* solver, std::int32_t lit) {
  Handle& h = handle(solver);
  if (h.state != Result::Unsatisfiable) return 0;
  try {
    return h.solver.failed(lit) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

void ipasir_set_terminate(void* solver, void* data, int (*terminate)(void* data)) {
  Handle& h = handle(solver);
  h.terminate = terminate;
  h.terminateData = data;
  if (terminate == nullptr) return h.solver.setTerminate(nullptr);
  h.solver.setTerminate([&h] { return h.terminate(h.terminateData) != 0; });
}

void ipasir_set_learn(void* solver, void* data, int max_length, void (*learn)(void* data, std::int32_t* clause)) {
  Handle& h = handle(solver);
  h.learn = learn;
  h.learnData = data;
  if (learn == nullptr) return h.solver.setLearn(0, nullptr);
  h.solver.setLearn(max_length, [&h](const std::vector<int>& clause) {
    h.learnBuffer.assign(clause.begin(), clause.end());
    h.learnBuffer.push_back(0);
    h.learn(h.learnData, h.learnBuffer.data());
  });
}

}  // extern "C"
