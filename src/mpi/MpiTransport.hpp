// The exchange rounds over MPI, and the few other collectives of a
// distributed run. Only the process's main thread calls any of them (the
// library is initialised for MPI_THREAD_FUNNELED).
//
// Nothing here recovers from a rank that dies: the MPI runtime's default
// error handling (MPI_ERRORS_ARE_FATAL, and mpirun / the process manager
// ending the whole job when one process dies) ends every rank instead of
// leaving the others blocked in a collective.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <mpi.h>

#include "lib/parallel/Exchange.hpp"

namespace quelt::mpi {

class MpiTransport : public exchange::Transport {
 public:
  explicit MpiTransport(MPI_Comm comm);
  unsigned rank() const override { return me; }
  unsigned size() const override { return ranks; }
  void allGather(const std::vector<std::int32_t>& mine, std::vector<std::int32_t>& all) override;

  // Rank 0's ints to every rank, in pieces that fit MPI's int counts.
  void broadcast(std::vector<std::int32_t>& data);
  void broadcast(std::int64_t* values, int count);
  // Every rank's count values to rank 0, one after the other in rank order
  // (only rank 0's all is filled).
  void gatherToFirst(const std::int64_t* values, int count, std::vector<std::int64_t>& all);
  // One rank's ints (payload, at the rank named by from) to rank 0.
  void sendToFirst(unsigned from, std::vector<std::int32_t>& payload);

  // The time spent in all of these calls so far (not in allGather: the
  // exchange counts its own).
  std::chrono::nanoseconds time() const { return spent; }

 private:
  MPI_Comm comm;
  unsigned me = 0, ranks = 1;
  std::chrono::nanoseconds spent{0};
};

}  // namespace quelt::mpi
