// The DIMACS CNF reader: a forgiving token-by-token parser that loads a
// formula into the solver of its Prover.
#pragma once

#include <cstdint>
#include <vector>

#include "app/Prover.hpp"

namespace quelt {

class Dimacs : public Prover {
 public:
  // Outcome of the last parse, for the driver: whether reading stopped at a
  // number that could not be read (the formula is then incomplete).
  bool stoppedAtInvalidNumber() const { return invalidNumber; }

  // While set, parse appends every literal it reads, as a DIMACS number, and
  // a 0 after each clause to record: the formula exactly as it was given, to
  // load into further solvers and to check their models against.
  void recordInto(std::vector<std::int32_t>* record) { recording = record; }

  void parse(std::istream& in, bool asAssumptions) override;
  void setParams(boost::program_options::variables_map&) override {}

 private:
  bool invalidNumber = false;
  std::vector<std::int32_t>* recording = nullptr;
};

}  // namespace quelt
