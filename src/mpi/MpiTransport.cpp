// MPI collectives of a distributed run (see MpiTransport.hpp).
#include "mpi/MpiTransport.hpp"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace quelt::mpi {

namespace {

// The most ints one call moves; larger data goes in pieces.
constexpr std::size_t kPiece = std::size_t{1} << 28;

class Timed {
 public:
  explicit Timed(std::chrono::nanoseconds& into) : into(into), start(std::chrono::steady_clock::now()) {}
  ~Timed() { into += std::chrono::steady_clock::now() - start; }

 private:
  std::chrono::nanoseconds& into;
  const std::chrono::steady_clock::time_point start;
};

}  // namespace

MpiTransport::MpiTransport(MPI_Comm comm) : comm(comm) {
  int r = 0, n = 1;
  MPI_Comm_rank(comm, &r);
  MPI_Comm_size(comm, &n);
  me = static_cast<unsigned>(r);
  ranks = static_cast<unsigned>(n);
}

void MpiTransport::allGather(const std::vector<std::int32_t>& mine, std::vector<std::int32_t>& all) {
  if (mine.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()) / ranks)
    throw std::length_error("exchange slot too large for MPI");
  all.resize(mine.size() * ranks);
  const int count = static_cast<int>(mine.size());
  MPI_Allgather(mine.data(), count, MPI_INT32_T, all.data(), count, MPI_INT32_T, comm);
}

void MpiTransport::broadcast(std::vector<std::int32_t>& data) {
  Timed timed(spent);
  std::int64_t size = static_cast<std::int64_t>(data.size());
  MPI_Bcast(&size, 1, MPI_INT64_T, 0, comm);
  data.resize(static_cast<std::size_t>(size));
  for (std::size_t k = 0; k < data.size(); k += kPiece) {
    const int count = static_cast<int>(std::min(kPiece, data.size() - k));
    MPI_Bcast(data.data() + k, count, MPI_INT32_T, 0, comm);
  }
}

void MpiTransport::broadcast(std::int64_t* values, int count) {
  Timed timed(spent);
  MPI_Bcast(values, count, MPI_INT64_T, 0, comm);
}

void MpiTransport::gatherToFirst(const std::int64_t* values, int count, std::vector<std::int64_t>& all) {
  Timed timed(spent);
  all.assign(me == 0 ? static_cast<std::size_t>(count) * ranks : 0, 0);
  MPI_Gather(values, count, MPI_INT64_T, all.data(), count, MPI_INT64_T, 0, comm);
}

void MpiTransport::sendToFirst(unsigned from, std::vector<std::int32_t>& payload) {
  if (from == 0 || (me != 0 && me != from)) return;
  Timed timed(spent);
  constexpr int kTag = 1;
  if (me == from) {
    std::int64_t size = static_cast<std::int64_t>(payload.size());
    MPI_Send(&size, 1, MPI_INT64_T, 0, kTag, comm);
    for (std::size_t k = 0; k < payload.size(); k += kPiece)
      MPI_Send(payload.data() + k, static_cast<int>(std::min(kPiece, payload.size() - k)), MPI_INT32_T, 0, kTag,
               comm);
    return;
  }
  std::int64_t size = 0;
  const int source = static_cast<int>(from);
  MPI_Recv(&size, 1, MPI_INT64_T, source, kTag, comm, MPI_STATUS_IGNORE);
  payload.resize(static_cast<std::size_t>(size));
  for (std::size_t k = 0; k < payload.size(); k += kPiece)
    MPI_Recv(payload.data() + k, static_cast<int>(std::min(kPiece, payload.size() - k)), MPI_INT32_T, source, kTag,
             comm, MPI_STATUS_IGNORE);
}

}  // namespace quelt::mpi
