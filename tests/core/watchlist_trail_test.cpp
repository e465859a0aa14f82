// Watch lists (table growth, list growth, stable removal, membership) and
// the assignment stack (clear, sort, dump).
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "core/AsgnStack.hpp"
#include "core/Clause.hpp"
#include "core/WatchList.hpp"

namespace quelt::util {
namespace {

Literal lit(std::int32_t d) { return Literal::fromDimacs(d); }

// Owns the clauses of one test and the watch table (which frees nothing on
// its own).
class WatchFixture : public testing::Test {
 protected:
  WatchList w;
  std::vector<Clause*> owned;

  ~WatchFixture() override {
    w.release();
    for (Clause* c : owned) delete c;
  }

  Clause* clause(std::initializer_list<std::int32_t> ds) {
    std::vector<Literal> ls;
    for (std::int32_t d : ds) ls.push_back(lit(d));
    Clause* c = new (ls.size()) Clause(ls, false);
    owned.push_back(c);
    return c;
  }

  // Lists c under its first two literals, the way stored clauses are.
  void attach(Clause* c) {
    w.of((*c)[0]).push(c);
    w.of((*c)[1]).push(c);
  }

  static std::vector<Clause*> entries(const WatchVector& v) {
    return std::vector<Clause*>(v.data, v.data + v.size);
  }
};

// ------------------------------------------------------------ table growth

using WatchTable = WatchFixture;

TEST_F(WatchTable, AddVarGrowsOnlyWhenNeeded) {
  EXPECT_EQ(w.numLists, 0u);
  struct Step {
    unsigned var;
    std::uint32_t lists;
  };
  const Step steps[] = {{0, 2}, {4, 10}, {2, 10}, {4, 10}, {5, 12}, {0, 12}, {40, 82}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.var);
    w.addVar(s.var);
    EXPECT_EQ(w.numLists, s.lists);
    for (std::uint32_t i = 0; i < w.numLists; ++i) {
      EXPECT_EQ(w[i].data, nullptr);
      EXPECT_EQ(w[i].capacity, 0u);
      EXPECT_EQ(w[i].size, 0u);
    }
  }
}

TEST_F(WatchTable, GrowingTableKeepsExistingLists) {
  w.addVar(3);
  Clause* a = clause({1, -3});
  Clause* b = clause({-1, 2, 3});
  attach(a);
  attach(b);
  Clause** listOfNeg1 = w.of(lit(-1)).data;
  w.addVar(1000);
  EXPECT_EQ(w.numLists, 2002u);
  EXPECT_EQ(w.of(lit(-1)).data, listOfNeg1);
  EXPECT_EQ(entries(w.of(lit(1))), std::vector<Clause*>{a});
  EXPECT_EQ(entries(w.of(lit(-3))), std::vector<Clause*>{a});
  EXPECT_EQ(entries(w.of(lit(-1))), std::vector<Clause*>{b});
  EXPECT_EQ(entries(w.of(lit(2))), std::vector<Clause*>{b});
  EXPECT_EQ(w.size(1000, false), 0u);
  EXPECT_EQ(w.size(1000, true), 0u);
}

TEST_F(WatchTable, LiteralListsFollowWatchIndexRule) {
  w.addVar(5);
  Clause* c = clause({5, -2});
  attach(c);
  // Positive literal of 5: slot 10, the "false" list; negative of 2: slot 5.
  EXPECT_EQ(w[10].size, 1u);
  EXPECT_EQ(w[5].size, 1u);
  EXPECT_EQ(w.size(5, false), 1u);
  EXPECT_EQ(w.size(5, true), 0u);
  EXPECT_EQ(w.size(2, true), 1u);
  EXPECT_EQ(w.size(2, false), 0u);
  EXPECT_EQ(&w.of(5, false), &w.of(lit(5)));
  EXPECT_EQ(&w.of(2, true), &w.of(lit(-2)));
  EXPECT_TRUE(w.isEnwatched(5, false, c));
  EXPECT_TRUE(w.isEnwatched(2, true, c));
  EXPECT_FALSE(w.isEnwatched(5, true, c));
  EXPECT_FALSE(w.isEnwatched(2, false, c));
  // Dummy variable 0 keeps two empty lists.
  EXPECT_EQ(w.size(0, false), 0u);
  EXPECT_EQ(w.size(0, true), 0u);
}

TEST_F(WatchTable, ReleaseEmptiesTableAndAllowsReuse) {
  w.addVar(3);
  for (int i = 0; i < 5; ++i) attach(clause({1, 2, 3}));
  w.release();
  EXPECT_EQ(w.lists, nullptr);
  EXPECT_EQ(w.numLists, 0u);
  w.release();  // releasing an empty table is harmless
  w.addVar(1);
  EXPECT_EQ(w.numLists, 4u);
  EXPECT_EQ(w.size(1, false), 0u);
  EXPECT_EQ(w.of(lit(1)).data, nullptr);
}

// ------------------------------------------------------------- list growth

using WatchVectorGrowth = WatchFixture;

TEST_F(WatchVectorGrowth, CapacitySequence) {
  w.addVar(1);
  WatchVector& v = w.of(lit(1));
  const std::uint32_t expected[] = {1, 3, 3, 7, 7, 7, 7, 15, 15, 15, 15, 15, 15, 15, 15, 31};
  std::vector<Clause*> pushed;
  for (std::uint32_t cap : expected) {
    Clause* c = clause({1, 2});
    v.push(c);
    pushed.push_back(c);
    EXPECT_EQ(v.capacity, cap);
    EXPECT_EQ(v.size, pushed.size());
    EXPECT_EQ(entries(v), pushed);  // appended at the end, old entries moved along
  }
}

TEST_F(WatchVectorGrowth, ClearKeepsStorageForReuse) {
  w.addVar(2);
  for (int i = 0; i < 7; ++i) {
    Clause* c = clause({2, -2});
    attach(c);
  }
  ASSERT_EQ(w.of(lit(2)).capacity, 7u);
  ASSERT_EQ(w.of(lit(-2)).capacity, 7u);
  Clause** posData = w.of(lit(2)).data;
  Clause** negData = w.of(lit(-2)).data;

  w.clear(2);
  EXPECT_EQ(w.size(2, false), 0u);
  EXPECT_EQ(w.size(2, true), 0u);
  EXPECT_EQ(w.of(lit(2)).capacity, 7u);
  EXPECT_EQ(w.of(lit(-2)).capacity, 7u);
  EXPECT_FALSE(w.isEnwatched(2, false, owned[0]));

  // Seven appends fit the old capacity: no reallocation.
  for (int i = 0; i < 7; ++i) {
    w.of(lit(2)).push(owned[6 - i]);
    EXPECT_EQ(w.of(lit(2)).data, posData);
    EXPECT_EQ(w.of(lit(2)).capacity, 7u);
  }
  EXPECT_EQ(w.of(lit(2)).size, 7u);
  EXPECT_EQ(w.of(lit(2)).data[0], owned[6]);
  EXPECT_EQ(w.of(lit(-2)).data, negData);
  // The eighth grows it.
  w.of(lit(2)).push(owned[0]);
  EXPECT_EQ(w.of(lit(2)).capacity, 15u);
}

TEST_F(WatchVectorGrowth, ClearLeavesOtherVariablesAlone) {
  w.addVar(3);
  Clause* a = clause({1, 3});
  Clause* b = clause({-1, -3});
  attach(a);
  attach(b);
  w.clear(1);
  EXPECT_EQ(w.size(1, false), 0u);
  EXPECT_EQ(w.size(1, true), 0u);
  EXPECT_EQ(entries(w.of(lit(3))), std::vector<Clause*>{a});
  EXPECT_EQ(entries(w.of(lit(-3))), std::vector<Clause*>{b});
}

// ---------------------------------------------------------------- removal

using WatchRemoval = WatchFixture;

TEST_F(WatchRemoval, DewatchIsStableOnBothWatchedLists) {
  struct Row {
    const char* name;
    unsigned victim;  // index into A..E
    std::vector<unsigned> kept;
  };
  const Row rows[] = {
      {"middle", 1, {0, 2}},   // (A, B, C) -> (A, C)
      {"first", 0, {1, 2}},
      {"last", 2, {0, 1}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    w.release();
    w.addVar(4);
    std::vector<Clause*> abc = {clause({1, -2, 3}), clause({1, -2}), clause({1, -2, -4})};
    for (Clause* c : abc) attach(c);
    w.dewatch(*abc[row.victim]);
    std::vector<Clause*> expected;
    for (unsigned k : row.kept) expected.push_back(abc[k]);
    EXPECT_EQ(w.of(lit(1)).size, 2u);
    EXPECT_EQ(entries(w.of(lit(1))), expected);
    EXPECT_EQ(entries(w.of(lit(-2))), expected);
    // Unwatched literals never had the clause.
    EXPECT_EQ(w.size(3, false), 0u);
    EXPECT_FALSE(w.isEnwatched(abc[row.victim]));
    for (unsigned k : row.kept) EXPECT_TRUE(w.isEnwatched(abc[k]));
  }
}

TEST_F(WatchRemoval, DewatchOfAbsentClauseChangesNothing) {
  w.addVar(4);
  Clause* a = clause({1, 2});
  Clause* b = clause({1, 3});
  Clause* c = clause({1, 4});
  Clause* stranger = clause({1, 2, 3});
  attach(a);
  attach(b);
  attach(c);
  const std::vector<Clause*> l1 = entries(w.of(lit(1)));
  const std::uint32_t cap1 = w.of(lit(1)).capacity;
  w.dewatch(*stranger);
  EXPECT_EQ(entries(w.of(lit(1))), l1);
  EXPECT_EQ(w.of(lit(1)).capacity, cap1);
  EXPECT_EQ(entries(w.of(lit(2))), std::vector<Clause*>{a});
  w.dewatch(3, false, a);  // a is not under literal 3
  EXPECT_EQ(entries(w.of(lit(3))), std::vector<Clause*>{b});
  w.dewatch(1, true, a);   // nor under literal -1 (an empty list)
  EXPECT_EQ(w.size(1, true), 0u);
}

TEST_F(WatchRemoval, SingleListDewatch) {
  w.addVar(2);
  Clause* a = clause({-1, 2});
  Clause* b = clause({-1, -2});
  attach(a);
  attach(b);
  w.dewatch(1, true, a);
  EXPECT_EQ(entries(w.of(lit(-1))), std::vector<Clause*>{b});
  // The other watched list of a is untouched by the single-list form.
  EXPECT_EQ(entries(w.of(lit(2))), std::vector<Clause*>{a});
  EXPECT_TRUE(w.isEnwatched(a));
}

TEST_F(WatchRemoval, ManyClausesInterleaved) {
  // Twelve clauses all watched on -1; dewatching every third leaves the
  // others in their original relative order.
  w.addVar(20);
  std::vector<Clause*> cs;
  for (int i = 0; i < 12; ++i) {
    cs.push_back(clause({-1, 2 + i}));
    attach(cs.back());
  }
  std::vector<Clause*> expected;
  for (int i = 0; i < 12; ++i) {
    if (i % 3 == 0)
      w.dewatch(*cs[i]);
    else
      expected.push_back(cs[i]);
  }
  EXPECT_EQ(entries(w.of(lit(-1))), expected);
  EXPECT_EQ(w.of(lit(-1)).capacity, 15u);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(w.size(static_cast<unsigned>(2 + i), false), i % 3 == 0 ? 0u : 1u);
    EXPECT_EQ(w.isEnwatched(cs[i]), i % 3 != 0);
  }
}

TEST_F(WatchRemoval, EnwatchedFollowsWatchAndDewatch) {
  w.addVar(6);
  Clause* c = clause({-6, 4, 5});
  Clause* d = clause({4, -6});
  EXPECT_FALSE(w.isEnwatched(c));
  attach(c);
  EXPECT_TRUE(w.isEnwatched(c));
  EXPECT_FALSE(w.isEnwatched(d));
  attach(d);
  w.dewatch(*c);
  EXPECT_FALSE(w.isEnwatched(c));
  EXPECT_FALSE(w.isEnwatched(6, true, c));
  EXPECT_FALSE(w.isEnwatched(4, false, c));
  EXPECT_TRUE(w.isEnwatched(d));
  // Only the lists of the first two literals are consulted: a listing under
  // the third literal does not count, one under the second literal alone does.
  w.of(lit(5)).push(c);
  EXPECT_FALSE(w.isEnwatched(c));
  w.of(lit(4)).push(c);
  EXPECT_TRUE(w.isEnwatched(c));
}

TEST_F(WatchRemoval, ShortClausesLookOnlyAtTheirLiterals) {
  // A one-literal clause has no second watch slot, an empty one has none:
  // lookups and removal must stay inside the clause (the sanitizer build
  // reports reads past the block).
  w.addVar(3);
  Clause* unit = clause({-3});
  Clause* empty = clause({});
  EXPECT_FALSE(w.isEnwatched(unit));
  EXPECT_FALSE(w.isEnwatched(empty));
  w.of(lit(-3)).push(unit);
  EXPECT_TRUE(w.isEnwatched(unit));
  w.dewatch(*unit);
  EXPECT_EQ(w.size(3, true), 0u);
  EXPECT_FALSE(w.isEnwatched(unit));
  w.dewatch(*empty);
  for (std::uint32_t i = 0; i < w.numLists; ++i) EXPECT_EQ(w[i].size, 0u);
}

// -------------------------------------------------------- assignment stack

std::vector<std::int64_t> dimacsOf(const AsgnStack& t) {
  std::vector<std::int64_t> out;
  for (Literal l : t.lits) out.push_back(l.toDimacs());
  return out;
}

std::string dumpOf(const AsgnStack& t) {
  std::ostringstream os;
  t.dump(os);
  return os.str();
}

TEST(AsgnStackTest, FreshAndClearedStateIsLevelZero) {
  AsgnStack t;
  EXPECT_TRUE(t.lits.empty());
  EXPECT_EQ(t.levelStarts, std::vector<unsigned>{0});
  EXPECT_EQ(t.propagationHead, 0u);
  EXPECT_EQ(t.level(), 0u);

  t.lits = {lit(1), lit(-2), lit(3), lit(4)};
  t.levelStarts = {0, 1, 3};
  t.propagationHead = 3;
  EXPECT_EQ(t.level(), 2u);
  t.clear();
  EXPECT_TRUE(t.lits.empty());
  EXPECT_EQ(t.levelStarts, std::vector<unsigned>{0});
  EXPECT_EQ(t.propagationHead, 0u);
  EXPECT_EQ(t.level(), 0u);
  EXPECT_EQ(dumpOf(t), "");
}

TEST(AsgnStackTest, DumpWritesUnitLines) {
  struct Row {
    std::vector<std::int32_t> trail;
    const char* text;
  };
  const Row rows[] = {
      {{3, -1}, "3 0\n-1 0\n"},
      {{}, ""},
      {{-7}, "-7 0\n"},
      {{1, 2, -3, 40}, "1 0\n2 0\n-3 0\n40 0\n"},
  };
  for (const Row& r : rows) {
    AsgnStack t;
    for (std::int32_t d : r.trail) t.lits.push_back(lit(d));
    EXPECT_EQ(dumpOf(t), r.text);
  }
}

// Counts flushes reaching the buffer.
class FlushCounter : public std::stringbuf {
 public:
  int syncs = 0;

 protected:
  int sync() override {
    ++syncs;
    return std::stringbuf::sync();
  }
};

TEST(AsgnStackTest, DumpDoesNotFlush) {
  AsgnStack t;
  t.lits = {lit(3), lit(-1)};
  FlushCounter buf;
  std::ostream os(&buf);
  t.dump(os);
  EXPECT_EQ(buf.str(), "3 0\n-1 0\n");
  EXPECT_EQ(buf.syncs, 0);
}

TEST(AsgnStackTest, SortOrdersByVariableAndKeepsLevels) {
  struct Row {
    std::vector<std::int32_t> trail;
    std::vector<std::int64_t> sorted;
  };
  const Row rows[] = {
      {{3, -1, 2}, {-1, 2, 3}},
      {{}, {}},
      {{5}, {5}},
      {{10, -9, 8, -7, 6, 1}, {1, 6, -7, 8, -9, 10}},
  };
  for (const Row& r : rows) {
    AsgnStack t;
    for (std::int32_t d : r.trail) t.lits.push_back(lit(d));
    t.levelStarts = {0, static_cast<unsigned>(r.trail.size())};
    t.propagationHead = static_cast<std::uint32_t>(r.trail.size() / 2);
    t.sort();
    EXPECT_EQ(dimacsOf(t), r.sorted);
    EXPECT_EQ(t.levelStarts, (std::vector<unsigned>{0, static_cast<unsigned>(r.trail.size())}));
    EXPECT_EQ(t.propagationHead, r.trail.size() / 2);
  }
}

}  // namespace
}  // namespace quelt::util
