// The clause arena: packing, exact-length reuse, tails of shortened
// clauses, learned clauses from the general heap, failure injection.
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <vector>

#include "core/Clause.hpp"
#include "core/ClauseArena.hpp"

namespace quelt::util {
namespace {

std::vector<Literal> lits(std::size_t n) {
  std::vector<Literal> out;
  for (std::size_t i = 0; i < n; ++i) out.push_back(Literal::fromDimacs(static_cast<std::int32_t>(i + 1)));
  return out;
}

Clause* make(ClauseArena& a, std::size_t n, bool learned = false) {
  void* block = learned ? a.allocateTransient(n) : a.allocate(n);
  return ::new (block) Clause(lits(n), learned);
}

const char* bytes(const void* p) { return static_cast<const char*>(p); }

TEST(ClauseArena, ClausesAreLaidOutBackToBackWithoutPadding) {
  ClauseArena a;
  Clause* c1 = make(a, 3);
  Clause* c2 = make(a, 2);
  Clause* c3 = make(a, 5);
  EXPECT_EQ(bytes(c2) - bytes(c1), static_cast<std::ptrdiff_t>(sizeof(Clause) + 3 * sizeof(Literal)));
  EXPECT_EQ(bytes(c3) - bytes(c2), static_cast<std::ptrdiff_t>(sizeof(Clause) + 2 * sizeof(Literal)));
  EXPECT_EQ(a.usedBytes(), 3 * sizeof(Clause) + 10 * sizeof(Literal));
  EXPECT_TRUE(a.owns(c1) && a.owns(c3));
  EXPECT_EQ((*c3)[4], Literal::fromDimacs(5));
}

TEST(ClauseArena, AReleasedBlockServesTheNextClauseOfItsLengthOnly) {
  ClauseArena a;
  Clause* c1 = make(a, 4);
  Clause* c2 = make(a, 4);
  a.release(c1);
  Clause* other = make(a, 3);
  EXPECT_NE(other, c1);
  Clause* same = make(a, 4);
  EXPECT_EQ(same, c1);
  a.release(c2);
  EXPECT_EQ(make(a, 4, true), c2) << "a learned clause takes a free block of its length";
}

TEST(ClauseArena, AShortenedClauseGivesBackItsTail) {
  ClauseArena a;
  Clause* c = make(a, 10);
  const std::size_t before = a.usedBytes();
  c->erase({1, 2, 3, 4, 5, 6});  // 4 literals stay, 6 words go back
  a.shrink(c, 10);
  EXPECT_EQ(a.usedBytes(), before - 6 * sizeof(Literal));
  Clause* tail = make(a, 3);  // header (3 words) + 3 literals = the 6 words
  EXPECT_EQ(bytes(tail), bytes(c) + sizeof(Clause) + 4 * sizeof(Literal));
  a.release(c);  // released at its new length
  EXPECT_EQ(make(a, 4), c);
}

TEST(ClauseArena, LearnedClausesWithoutAFreeBlockComeFromTheHeap) {
  ClauseArena a;
  make(a, 2);
  Clause* learned = make(a, 7, true);
  EXPECT_FALSE(a.owns(learned));
  EXPECT_EQ(a.usedBytes(), sizeof(Clause) + 2 * sizeof(Literal));
  a.release(learned);  // back to the heap; the sanitizer build checks the pairing
  Clause* foreign = new (3) Clause(lits(3), false);
  a.release(foreign);
}

TEST(ClauseArena, ClausesLargerThanAChunkGetTheirOwn) {
  ClauseArena a;
  const std::size_t n = ClauseArena::kMaxChunkBytes / sizeof(Literal) + 100;
  Clause* small = make(a, 2);
  Clause* big = make(a, n);
  EXPECT_TRUE(a.owns(big));
  EXPECT_EQ((*big)[n - 1], Literal::fromDimacs(static_cast<std::int32_t>(n)));
  Clause* after = make(a, 2);
  EXPECT_TRUE(a.owns(after));
  a.release(big);
  a.release(small);
  EXPECT_EQ(a.usedBytes(), sizeof(Clause) + 2 * sizeof(Literal));
  EXPECT_GE(a.reservedBytes(), n * sizeof(Literal));
}

TEST(ClauseArena, ManyChunksStayDistinctAndOwned) {
  ClauseArena a;
  std::vector<Clause*> all;
  for (int i = 0; i < 200000; ++i) all.push_back(make(a, 1 + i % 5, i % 7 == 0));
  for (std::size_t i = 0; i < all.size(); ++i) {
    ASSERT_EQ(a.owns(all[i]), i % 7 != 0) << i;
    ASSERT_EQ((*all[i])[0], Literal::fromDimacs(1));
  }
  for (std::size_t i = 0; i < all.size(); i += 7) a.release(all[i]);
  a.clear();
  EXPECT_FALSE(a.owns(all[1]));
  EXPECT_EQ(a.usedBytes(), 0u);
  EXPECT_EQ(a.reservedBytes(), 0u);
  Clause* again = make(a, 3);
  EXPECT_TRUE(a.owns(again));
}

TEST(ClauseArena, AnArmedFailureHitsTheNextRequestOfItsLengthOnce) {
  ClauseArena a;
  a.failNextAllocation(5);
  EXPECT_NO_THROW(make(a, 4));
  EXPECT_THROW(a.allocateTransient(5), std::bad_alloc);
  EXPECT_NO_THROW(make(a, 5));
  a.failNextAllocation(6);
  EXPECT_THROW(a.allocate(6), std::bad_alloc);
}

}  // namespace
}  // namespace quelt::util
