// Watch lists share one pool for their short arrays and move to the heap
// past kMaxPooledSlots: whatever path an array takes (growing, reserving,
// trimming back into the pool, blocks reused by other lists), every list
// must keep exactly its entries in their order.
#include <gtest/gtest.h>

#include <vector>

#include "core/WatchList.hpp"

namespace {

using quelt::Clause;
using quelt::util::WatchList;
using quelt::util::WatchPool;

TEST(WatchList, EntriesSurviveEveryMoveOfTheirArray) {
  WatchList w;
  w.addVar(3);  // lists 0..7
  std::vector<std::vector<Clause*>> model(w.numLists);
  auto fake = [](std::size_t k) { return reinterpret_cast<Clause*>(0x1000 + 8 * k); };
  auto check = [&] {
    for (std::uint32_t i = 0; i < w.numLists; ++i) {
      ASSERT_LE(w[i].size, w[i].capacity);
      ASSERT_EQ(std::vector<Clause*>(w[i].data, w[i].data + w[i].size), model[i]) << "list " << i;
    }
  };
  // Interleaved pushes: list i ends with 20 * i entries, so the arrays pass
  // through many pool capacities and lists 4 and up leave the pool.
  for (std::size_t k = 0; k < 20 * w.numLists; ++k)
    for (std::uint32_t i = 0; i < w.numLists; ++i)
      if (k < 20 * i) w.push(w[i], fake(k)), model[i].push_back(fake(k));
  check();
  EXPECT_GT(w[7].capacity, WatchPool::kMaxPooledSlots);
  // Shrink every list to a few entries and trim: back into the pool, into
  // blocks the others left behind.
  for (std::uint32_t i = 0; i < w.numLists; ++i) {
    for (std::size_t k = 3; k < model[i].size(); ++k) w[i].remove(model[i][k]);
    model[i].resize(std::min<std::size_t>(model[i].size(), 3));
    w.trim(w[i]);
    EXPECT_LE(w[i].capacity, 2 * w[i].size + 1);
  }
  check();
  w.reserve(w[1], 40);
  EXPECT_EQ(w[1].capacity, w[1].size + 40);
  for (std::size_t k = 0; k < 40; ++k) w.push(w[1], fake(k)), model[1].push_back(fake(k));
  EXPECT_EQ(w[1].capacity, w[1].size);  // the room reserved was enough
  check();
}

}  // namespace
