#include "app/Prover.hpp"

namespace quelt {

Prover::Prover() = default;

void Prover::dumpStats(std::ostream& os) { solver.dumpStats(os); }

}  // namespace quelt
