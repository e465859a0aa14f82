#include "frontend/Prover.hpp"

#include <cstdlib>

namespace quelt {

// A fixed seed: the same input and parameters give the same search.
Prover::Prover() { std::srand(kRandomSeed); }

void Prover::dumpStats(std::ostream& os) { solver.dumpStats(os); }

}  // namespace quelt
