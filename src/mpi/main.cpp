// The quelt-mpi program: quelt's command line, run by every rank of an MPI
// job (mpirun -np R quelt-mpi ...). Only rank 0 writes to the standard
// streams; the others' iostreams go nowhere, and a rank that fails past
// repair says so on stderr and aborts the whole job.
#include <cstdio>
#include <exception>
#include <iostream>
#include <streambuf>

#include <mpi.h>

#include "app/Options.hpp"
#include "mpi/Distributed.hpp"
#include "mpi/MpiTransport.hpp"

namespace {

class Discard : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
};

}  // namespace

int main(int argc, char* argv[]) {
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
  if (provided < MPI_THREAD_FUNNELED) {
    std::fprintf(stderr, "quelt-mpi: the MPI library does not allow threads beside the one that calls it.\n");
    MPI_Abort(MPI_COMM_WORLD, 1);
  }
  int status = 1;
  {
    quelt::mpi::MpiTransport comm(MPI_COMM_WORLD);
    Discard discard;
    std::streambuf* const out = std::cout.rdbuf();
    std::streambuf* const err = std::cerr.rdbuf();
    if (comm.rank() != 0) {
      std::cout.rdbuf(&discard);
      std::cerr.rdbuf(&discard);
    }
    try {
      const auto extra = quelt::mpi::distributedOptions();
      status = quelt::runCommandLine(
          argc, argv, std::cout, std::cerr,
          [&comm](boost::program_options::variables_map& vm) { return quelt::mpi::runDistributed(vm, comm); },
          &extra);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "quelt-mpi: rank %u: %s\n", comm.rank(), e.what());
      MPI_Abort(MPI_COMM_WORLD, 1);
    }
    std::cout.flush();
    std::cout.rdbuf(out);
    std::cerr.rdbuf(err);
  }
  MPI_Finalize();
  return status;
}
