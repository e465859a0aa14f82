// Quelt's C++ interface: three clauses, two solves under assumptions.
#include <quelt/quelt.hpp>

#include <iostream>
#include <vector>

using quelt::api::Result;

static const char* verdict(Result result) {
  switch (result) {
    case Result::Satisfiable: return "satisfiable";
    case Result::Unsatisfiable: return "unsatisfiable";
    default: return "unknown";
  }
}

int main() {
  quelt::api::Solver solver;
  solver.addClause({1, 2});   // x1 or x2
  solver.addClause({-1, 3});  // x1 implies x3
  solver.addClause({-2, 3});  // x2 implies x3

  // Assumptions hold for one solve only.
  Result result = solver.solve({-1});
  std::cout << "assuming -1: " << verdict(result) << '\n';
  if (result == Result::Satisfiable) {
    std::cout << "model:";
    for (int lit : solver.model()) std::cout << ' ' << lit;
    std::cout << '\n';
  }

  const std::vector<int> assumptions = {-1, -2};
  result = solver.solve(assumptions);
  std::cout << "assuming -1 -2: " << verdict(result) << '\n';
  if (result == Result::Unsatisfiable) {
    // Those that the formula refutes (failedAssumptions() lists them all).
    std::cout << "failed:";
    for (int lit : assumptions)
      if (solver.failed(lit)) std::cout << ' ' << lit;
    std::cout << '\n';
  }

  // Mistakes are exceptions; the solver is unchanged by them.
  try {
    solver.setParameter("sp-first-restart", 5);
  } catch (const quelt::api::ParameterError& e) {
    std::cout << e.what() << '\n';
  }
  return 0;
}
