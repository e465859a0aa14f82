// One search over several processes (ranks) that talk through MPI: the run
// of the quelt-mpi program once the command line has been parsed.
//
// Rank 0 reads the formula, exactly as the quelt program does, and
// broadcasts it as the portfolio's record (DIMACS literals, a 0 after each
// clause); the other ranks never open the input. A formula that cannot be
// read is reported by rank 0 alone, and every rank ends with its status.
//
// Every rank runs a portfolio of --threads solvers (lib/parallel), rank r's
// solver i with the configuration and seed of portfolio index r * threads +
// i, so the ranks together run the configurations of one large portfolio.
// The solve runs in a thread of its own; the main thread, the only one
// that calls MPI, holds an exchange round (lib/parallel/Exchange.hpp) every
// --share-interval milliseconds, or at once when its portfolio ended:
// every rank's state and a share of its exported clauses go to every
// rank. The first round with a verdict ends the run for all (the lowest
// rank's verdict when several came at once), and so does a stop anywhere
// (a signal, the CPU or wall-clock limit), or every rank having finished
// without one. Then every rank stops its portfolio, one final round tells
// everyone how each ended, the winner's model goes to rank 0, and rank 0
// prints what the quelt program prints for that result, with a line naming
// the winner and the exchange's figures.
//
// All ranks hold the same number of rounds: each round's decision is made
// from the same gathered reports on every rank.
#pragma once

#include <boost/program_options/options_description.hpp>
#include <boost/program_options/variables_map.hpp>

#include "mpi/MpiTransport.hpp"

namespace quelt::mpi {

// The options quelt-mpi adds to quelt's.
boost::program_options::options_description distributedOptions();

// The run of this rank; returns its exit status (every rank returns the
// same one).
int runDistributed(boost::program_options::variables_map& vm, MpiTransport& comm);

}  // namespace quelt::mpi
