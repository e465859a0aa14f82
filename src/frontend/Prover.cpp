#include "frontend/Prover.hpp"

namespace quelt {

// The solver seeds its own generator: the same input and parameters give the
// same search.
Prover::Prover() = default;

void Prover::dumpStats(std::ostream& os) { solver.dumpStats(os); }

}  // namespace quelt
