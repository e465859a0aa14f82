// The quelt program: everything happens in runCommandLine, which returns the
// exit status.
#include <iostream>

#include "app/Options.hpp"

int main(int argc, char* argv[]) { return quelt::runCommandLine(argc, argv, std::cout, std::cerr); }
