// The DIMACS CNF reader: a forgiving token-by-token parser that loads a
// formula into the solver of its Prover.
#pragma once

#include "frontend/Prover.hpp"

namespace quelt {

class Dimacs : public Prover {
 public:
  // Outcome of the last parse, for the driver: whether reading stopped at a
  // number that could not be read (the formula is then incomplete).
  bool stoppedAtInvalidNumber() const { return invalidNumber; }

  void parse(std::istream& in, bool asAssumptions) override;
  void setParams(boost::program_options::variables_map&) override {}

 private:
  bool invalidNumber = false;
};

}  // namespace quelt
