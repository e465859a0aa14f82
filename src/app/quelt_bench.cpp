// quelt-bench: the quelt program plus the solver's statistics report after
// the result line, for the benchmark runner. Same options, same facade, same
// code path.
#include <iostream>

#include "app/Options.hpp"

int main(int argc, char* argv[]) {
  return quelt::runCommandLine(argc, argv, std::cout, std::cerr, /*statsReport=*/true);
}
