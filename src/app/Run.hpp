// The run sequence after the command line has been parsed: read the input,
// apply the parameters, solve, report, and return the exit status.
#pragma once

#include <boost/program_options/variables_map.hpp>

namespace quelt {

// Called by main once an input option (dimacs or dimacs-stdin) is present.
// Returns the process exit status. With statsReport the statistics report
// follows the result line on standard output.
int runInput(boost::program_options::variables_map& vm, bool statsReport = false);

}  // namespace quelt
