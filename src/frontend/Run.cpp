#include "frontend/Run.hpp"

namespace quelt {

// Until the engine is wired in, the run stops cleanly after the parameters.
int runInput(const boost::program_options::variables_map&) { return 0; }

}  // namespace quelt
