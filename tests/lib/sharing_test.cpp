// Clause sharing's parts, in one thread: the filter forgets a clause
// between one and two windows after it saw it, whatever the literal order;
// the buffer keeps the best clauses within its bound and gives them back
// best first; channels pass clauses on to the others but never back to
// their sender; and what takeExports hands out, importRemote takes in.
#include <gtest/gtest.h>

#include <vector>

#include "lib/parallel/Sharing.hpp"
#include "support/cnf.hpp"

namespace {

using quelt::ClauseBuffer;
using quelt::ClauseFilter;
using quelt::SharingHub;
using Ints = std::vector<std::int32_t>;

bool seen(ClauseFilter& f, const Ints& c) { return f.seen(c.data(), c.size()); }

TEST(Sharing, TheFilterForgetsBetweenOneAndTwoWindows) {
  ClauseFilter f(4);
  const Ints a = {3, -7, 12};
  EXPECT_FALSE(seen(f, a));
  EXPECT_TRUE(seen(f, {12, 3, -7}));  // the same set of literals
  EXPECT_FALSE(seen(f, {3, 7, 12}));
  EXPECT_FALSE(seen(f, {3, -7}));
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(seen(f, {100 + i}));  // 7 others since a
  EXPECT_TRUE(seen(f, a));
  EXPECT_FALSE(seen(f, {200}));  // the 8th: a's generation goes
  EXPECT_FALSE(seen(f, a));
  EXPECT_TRUE(seen(f, a));
}

TEST(Sharing, TheBufferKeepsTheBestWithinItsBound) {
  ClauseBuffer b(3, 4);
  const Ints c1 = {1, 2, 3}, c2 = {4, 5}, c3 = {6}, c4 = {7, 8, 9}, c5 = {1, 2, 3, 4}, tooLong = {1, 2, 3, 4, 5};
  EXPECT_TRUE(b.add(c1.data(), c1.size(), 3));
  EXPECT_TRUE(b.add(c2.data(), c2.size(), 2));
  EXPECT_TRUE(b.add(c3.data(), c3.size(), 1));
  EXPECT_FALSE(b.add(c4.data(), c4.size(), 2));  // full: c1, of glue 3, goes
  EXPECT_FALSE(b.add(c5.data(), c5.size(), 5));  // no better than any held
  EXPECT_FALSE(b.add(tooLong.data(), tooLong.size(), 1));
  EXPECT_EQ(b.size(), 3u);
  Ints out = {42};  // appended to
  EXPECT_EQ(b.drain(out, 8), 2u);  // the third would not fit
  EXPECT_EQ(out, (Ints{42, 1, 6, 0, 2, 4, 5, 0}));
  out.clear();
  EXPECT_EQ(b.drain(out), 1u);
  EXPECT_EQ(out, (Ints{2, 7, 8, 9, 0}));
  EXPECT_TRUE(b.empty());
  // A unit comes first whatever glue it is given.
  EXPECT_TRUE(b.add(c2.data(), c2.size(), 2));
  EXPECT_TRUE(b.add(c1.data(), c1.size(), 2));
  EXPECT_TRUE(b.add(c3.data(), c3.size(), 9));
  out.clear();
  b.drain(out);
  EXPECT_EQ(out, (Ints{9, 6, 0, 2, 4, 5, 0, 2, 1, 2, 3, 0}));
}

std::vector<quelt::Literal> clause(const Ints& dimacs) {
  std::vector<int> d(dimacs.begin(), dimacs.end());
  return quelt_test::lits(d);
}

TEST(Sharing, ChannelsPassClausesOnAndTheRemoteFormatRoundTrips) {
  SharingHub hub(3);
  hub.openOutbox();
  quelt::Channel &a = hub.channel(0), &b = hub.channel(1), &c = hub.channel(2);
  EXPECT_FALSE(a.takesSize(quelt::Channel::kMaxSize + 1));
  a.offer(clause({5, -6, 7}), 3);
  a.offer(clause({-2}), 1);
  a.offer(clause({8, 9, 10, 11}), quelt::Channel::kFirstGlue + 1);  // above the glue limit
  a.offer(clause({1, 2}), 2);
  a.offer(clause({7, 5, -6}), 3);  // offered lately
  EXPECT_EQ(a.send(), 3u);
  EXPECT_EQ(a.send(), 0u);
  EXPECT_FALSE(a.waiting());
  ASSERT_TRUE(b.waiting());
  Ints in;
  EXPECT_EQ(b.receive(in), 0u);
  EXPECT_FALSE(b.waiting());
  EXPECT_EQ(in, (Ints{1, -2, 0, 2, 1, 2, 0, 3, 5, -6, 7, 0}));  // best first

  // c sends back what it got: a has seen all of it, b only drops it too.
  in.clear();
  c.receive(in);
  c.offer(clause({-2}), 1);
  c.offer(clause({3, 4}), 2);
  EXPECT_EQ(c.send(), 1u);  // the unit was seen when it came in
  in.clear();
  EXPECT_EQ(a.receive(in), 0u);
  EXPECT_EQ(in, (Ints{2, 3, 4, 0}));

  // The outbox holds each clause once, best first, within the bound asked.
  Ints out;
  hub.takeExports(out, 7);
  EXPECT_EQ(out, (Ints{1, -2, 0, 2, 1, 2, 0}));
  Ints rest;
  hub.takeExports(rest, 100);
  EXPECT_EQ(rest, (Ints{2, 3, 4, 0, 3, 5, -6, 7, 0}));
  out.insert(out.end(), rest.begin(), rest.end());

  // Elsewhere: the same clauses arrive in every solver, malformed ones not.
  SharingHub other(2);
  Ints remote = out;
  remote.insert(remote.end(), {4, 0, 1, INT32_MIN, 0, 2, 9});  // empty, INT32_MIN, unterminated
  other.importRemote(remote);
  for (unsigned i = 0; i < 2; ++i) {
    Ints got;
    EXPECT_EQ(other.channel(i).receive(got), 0u);
    EXPECT_EQ(got, out);
  }
  // A clause that comes back from elsewhere is dropped by its sender.
  hub.importRemote({3, 7, -6, 5, 0});
  in.clear();
  EXPECT_EQ(a.receive(in), 1u);
  EXPECT_TRUE(in.empty());
}

}  // namespace
