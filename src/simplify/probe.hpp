// Failed-literal probing on the roots of the binary implication graph
// (probe.cpp), for the preprocessor and for simplification during search.
#pragma once

#include <cstdint>

#include "engine/Solver.hpp"

namespace quelt {

// At level 0: probes the roots until their propagations pass budget,
// assigning the negation of each failed literal at level 0 (and logging it
// to the proof) and counting it in failedLiterals. Returns false when the
// formula is refuted.
bool probeRoots(Solver& s, std::uint64_t budget, std::uint32_t& failedLiterals);

}  // namespace quelt
