// The base of the command line's input readers. A Prover owns one solver
// (built with the default parameters), which a reader loads, and forwards
// the everyday operations to it. Reading a formula and taking settings from
// the command line are left to the concrete reader (Dimacs). The search
// itself is driven through the library's facade (lib/Facade.hpp), which
// the program puts over this solver.
#pragma once

#include <iosfwd>
#include <vector>

#include <boost/program_options/variables_map.hpp>

#include "engine/Solver.hpp"

namespace quelt {

class Prover {
 public:
  static constexpr unsigned kRandomSeed = Solver::kRandomSeed;

  Prover();
  virtual ~Prover() = default;
  Prover(const Prover&) = delete;
  Prover& operator=(const Prover&) = delete;

  virtual void parse(std::istream& in, bool asAssumptions) = 0;
  virtual void setParams(boost::program_options::variables_map& vm) = 0;
  virtual void dumpStats(std::ostream& os);

  Solver& getSolver() { return solver; }
  unsigned solve() { return solver.solve(false); }
  void addClause(std::vector<Literal>& lits) { solver.addClause(lits, false); }
  void assume(const std::vector<Literal>& lits) { solver.assume(lits); }
  void createVar(unsigned index) { solver.createVar(index, dpinterface::ProblemVar, 0, 0); }
  void dumpSolution(std::ostream& os) { solver.dumpModel(os); }
  void setTimeout(unsigned seconds) { solver.setTimeout(seconds); }

 private:
  Solver solver;
};

}  // namespace quelt
