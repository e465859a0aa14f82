// Occurrence lists (growth, clearing, literal totals) and the five clause
// orderings used to pick learned clauses for deletion.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/ClauseSets.hpp"
#include "core/ClauseSorter.hpp"

namespace quelt::util {
namespace {

Literal lit(std::int32_t d) { return Literal::fromDimacs(d); }

// Owns every clause a test creates.
class ClausePool {
 public:
  ClausePool() = default;
  ClausePool(const ClausePool&) = delete;
  ClausePool& operator=(const ClausePool&) = delete;
  ~ClausePool() {
    for (Clause* c : owned_) delete c;
  }

  Clause* make(const std::vector<std::int32_t>& ds, bool learned = false) {
    std::vector<Literal> ls;
    for (std::int32_t d : ds) ls.push_back(lit(d));
    Clause* c = new (ls.size()) Clause(ls, learned);
    owned_.push_back(c);
    return c;
  }
  // A learned clause with the given size and activity; literals 1..size.
  Clause* sized(unsigned size, float activity) {
    std::vector<std::int32_t> ds;
    for (unsigned i = 1; i <= size; ++i) ds.push_back(static_cast<std::int32_t>(i));
    Clause* c = make(ds, true);
    c->activity = activity;
    return c;
  }

 private:
  std::vector<Clause*> owned_;
};

// ------------------------------------------------------- occurrence lists

TEST(ClauseSetsTest, AddVarGrowsOnlyWhenNeeded) {
  ClauseSets s;
  EXPECT_TRUE(s.lists.empty());
  struct Step {
    unsigned var;
    std::size_t lists;
  };
  const Step steps[] = {{3, 8}, {1, 8}, {3, 8}, {0, 8}, {4, 10}, {99, 200}};
  for (const Step& st : steps) {
    SCOPED_TRACE(st.var);
    s.addVar(st.var);
    EXPECT_EQ(s.lists.size(), st.lists);
    for (const auto& l : s.lists) EXPECT_TRUE(l.empty());
  }
}

TEST(ClauseSetsTest, GrowingKeepsEntries) {
  ClausePool pool;
  ClauseSets s;
  s.addVar(2);
  Clause* c = pool.make({1, -2});
  s.of(lit(1)).push_back(c);
  s.of(lit(-2)).push_back(c);
  s.addVar(50);
  EXPECT_EQ(s.lists.size(), 102u);
  EXPECT_EQ(s.of(lit(1)), std::vector<Clause*>{c});
  EXPECT_EQ(s.of(lit(-2)), std::vector<Clause*>{c});
}

TEST(ClauseSetsTest, LiteralListsUseOccurrenceIndexRule) {
  ClauseSets s;
  s.addVar(4);
  // Positive literal of 3 at 2*3+1, negative at 2*3; the reverse of the
  // watch-list rule.
  EXPECT_EQ(&s.of(lit(3)), &s.lists[7]);
  EXPECT_EQ(&s.of(lit(-3)), &s.lists[6]);
  EXPECT_EQ(&s.of(lit(1)), &s.lists[3]);
  EXPECT_EQ(&s.of(lit(-1)), &s.lists[2]);
  EXPECT_EQ(&s.of(lit(4)), &s.lists[9]);
}

TEST(ClauseSetsTest, ClearOccEmptiesEveryListKeepingCount) {
  ClausePool pool;
  ClauseSets s;
  s.addVar(5);
  const std::vector<std::vector<std::int32_t>> clauses = {{1, -2, 3}, {-1, 4}, {5, -5, 2}, {-3}};
  for (const auto& ds : clauses) {
    Clause* c = pool.make(ds);
    for (Literal l : *c) s.of(l).push_back(c);
  }
  s.clearOcc();
  EXPECT_EQ(s.lists.size(), 12u);
  for (const auto& l : s.lists) EXPECT_TRUE(l.empty());
  // Refilling after a clear works as on fresh lists.
  Clause* c = pool.make({2, -4});
  s.of(lit(2)).push_back(c);
  EXPECT_EQ(s.of(lit(2)), std::vector<Clause*>{c});
  EXPECT_EQ(s.getTotLiterals(2), 2u);
  EXPECT_EQ(s.getTotLiterals(4), 0u);
}

TEST(ClauseSetsTest, TotalLiteralsOverBothPolarities) {
  struct Row {
    const char* name;
    std::vector<std::vector<std::int32_t>> clauses;
    std::vector<unsigned> totals;  // for variables 1..4
  };
  const Row rows[] = {
      {"none", {}, {0, 0, 0, 0}},
      {"3 positive + 5 negative", {{1, 2, 3}, {-1, 2, -3, 4, -2}}, {8, 13, 8, 5}},
      {"only negative", {{-4, -3}, {-4, 1, 2, 3}}, {4, 4, 6, 6}},
      {"unit and empty-var", {{2}}, {0, 1, 0, 0}},
      {"repeated variable counted per listing", {{3, -3, 1}}, {3, 0, 6, 0}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ClausePool pool;
    ClauseSets s;
    s.addVar(4);
    for (const auto& ds : r.clauses) {
      Clause* c = pool.make(ds);
      for (Literal l : *c) s.of(l).push_back(c);
    }
    for (unsigned v = 1; v <= 4; ++v) EXPECT_EQ(s.getTotLiterals(v), r.totals[v - 1]) << "var " << v;
    EXPECT_EQ(s.getTotLiterals(0), 0u);
  }
}

// ------------------------------------------------------------- orderings

struct Spec {
  unsigned size;
  float activity;
};

std::vector<Clause*> build(ClausePool& pool, const std::vector<Spec>& specs) {
  std::vector<Clause*> out;
  for (const Spec& s : specs) out.push_back(pool.sized(s.size, s.activity));
  return out;
}

std::string describe(const std::vector<Clause*>& cs) {
  std::string out;
  for (const Clause* c : cs) {
    if (!out.empty()) out += ' ';
    out += std::to_string(c->size) + "/" + std::to_string(static_cast<int>(c->activity));
  }
  return out;
}

// Sorts with the comparator by value, as learned-clause reduction does.
template <typename Sorter>
std::string sorted(const std::vector<Spec>& specs) {
  ClausePool pool;
  std::vector<Clause*> cs = build(pool, specs);
  std::sort(cs.begin(), cs.end(), Sorter());
  return describe(cs);
}

TEST(ClauseSorterTest, SortExamples) {
  // Every input has distinct keys under the sorter used, so the outcome is
  // unique even though the sort is not stable.
  EXPECT_EQ(sorted<ClauseSorter_Size>({{5, 3}, {2, 9}, {4, 1}}), "4/1 5/3 2/9");
  EXPECT_EQ(sorted<ClauseSorter_Size>({{2, 0}, {3, 7}, {6, 2}, {9, 5}}), "6/2 9/5 3/7 2/0");
  EXPECT_EQ(sorted<ClauseSorter_Activity>({{3, 5}, {2, 1}, {9, 3}, {4, 0}}), "4/0 2/1 9/3 3/5");
  EXPECT_EQ(sorted<ClauseSorter_ActivitySizeDiv>({{3, 5}, {4, 3}}), "4/3 3/5");
  // Keys (1+1)/2 = 1, (1+9)/4 = 2.5, (1+8)/6 = 1.5, (1+0)/5 = 0.2.
  EXPECT_EQ(sorted<ClauseSorter_ActivitySizeDiv>({{2, 1}, {4, 9}, {6, 8}, {5, 0}}),
            "5/0 2/1 6/8 4/9");
  EXPECT_EQ(sorted<ClauseSorter_SmallerFirst>({{7, 0}, {2, 0}, {5, 0}, {3, 0}}), "2/0 3/0 5/0 7/0");
  EXPECT_EQ(sorted<ClauseSorter_LargerFirst>({{7, 0}, {2, 0}, {5, 0}, {3, 0}}), "7/0 5/0 3/0 2/0");
}

TEST(ClauseSorterTest, SizeOrderPutsBinaryClausesLast) {
  // Many clauses, several of them binary with varied activities: every
  // longer clause precedes every binary one, longer ones by activity.
  ClausePool pool;
  std::vector<Spec> specs;
  for (unsigned i = 0; i < 40; ++i)
    specs.push_back({i % 4 == 0 ? 2u : 3u + i % 7, static_cast<float>((i * 37) % 101)});
  std::vector<Clause*> cs = build(pool, specs);
  std::sort(cs.begin(), cs.end(), ClauseSorter_Size());
  const auto firstBinary =
      std::find_if(cs.begin(), cs.end(), [](const Clause* c) { return c->size == 2; });
  ASSERT_NE(firstBinary, cs.end());
  EXPECT_EQ(cs.end() - firstBinary, 10);
  EXPECT_TRUE(std::all_of(firstBinary, cs.end(), [](const Clause* c) { return c->size == 2; }));
  EXPECT_TRUE(std::is_sorted(cs.begin(), firstBinary, [](const Clause* a, const Clause* b) {
    return a->activity < b->activity;
  }));
}

TEST(ClauseSorterTest, PairwiseVerdicts) {
  ClausePool pool;
  struct Row {
    const char* name;
    Spec a, b;
    bool activity, size, sizeDiv, smaller, larger;
  };
  const Row rows[] = {
      // name                     a        b        Act    Size   Div    Small  Large
      {"ActivitySizeDiv example", {4, 3}, {3, 5}, true, true, true, false, true},
      {"reverse of it", {3, 5}, {4, 3}, false, false, false, true, false},
      {"equal everything", {4, 2}, {4, 2}, false, false, false, false, false},
      {"equal activity", {3, 2}, {7, 2}, false, false, false, true, false},
      {"long before binary", {5, 9}, {2, 1}, false, true, false, false, true},
      {"binary never first", {2, 1}, {5, 9}, true, false, true, true, false},
      {"binary vs binary", {2, 1}, {2, 9}, true, false, true, false, false},
      {"unit never first", {1, 0}, {3, 5}, true, false, true, true, false},
      {"long before unit by activity", {3, 0}, {1, 5}, true, true, true, false, true},
      {"equal per-literal key", {2, 1}, {4, 3}, true, false, false, true, false},
      {"zero activity", {3, 0}, {3, 0.5f}, true, true, true, false, false},
  };
  const ClauseSorter_Activity act;
  const ClauseSorter_Size size;
  const ClauseSorter_ActivitySizeDiv div;
  const ClauseSorter_SmallerFirst smaller;
  const ClauseSorter_LargerFirst larger;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const Clause* a = pool.sized(r.a.size, r.a.activity);
    const Clause* b = pool.sized(r.b.size, r.b.activity);
    EXPECT_EQ(act(a, b), r.activity);
    EXPECT_EQ(size(a, b), r.size);
    EXPECT_EQ(div(a, b), r.sizeDiv);
    EXPECT_EQ(smaller(a, b), r.smaller);
    EXPECT_EQ(larger(a, b), r.larger);
  }
}

TEST(ClauseSorterTest, StrictOnEqualKeys) {
  ClausePool pool;
  std::vector<std::unique_ptr<ClauseSorter>> sorters;
  sorters.push_back(std::make_unique<ClauseSorter_Activity>());
  sorters.push_back(std::make_unique<ClauseSorter_Size>());
  sorters.push_back(std::make_unique<ClauseSorter_ActivitySizeDiv>());
  sorters.push_back(std::make_unique<ClauseSorter_SmallerFirst>());
  sorters.push_back(std::make_unique<ClauseSorter_LargerFirst>());
  const std::vector<Spec> specs = {{2, 0}, {3, 1}, {3, 1e10f}, {8, 4}, {1, 2}, {5, 0.25f}};
  for (std::size_t s = 0; s < sorters.size(); ++s) {
    const ClauseSorter& cmp = *sorters[s];  // called through the base class
    for (const Spec& sp : specs) {
      SCOPED_TRACE(testing::Message() << "sorter " << s << " size " << sp.size);
      const Clause* a = pool.sized(sp.size, sp.activity);
      const Clause* twin = pool.sized(sp.size, sp.activity);
      EXPECT_FALSE(cmp(a, a));
      EXPECT_FALSE(cmp(a, twin));
      EXPECT_FALSE(cmp(twin, a));
    }
  }
  // Equal activity, different sizes: the activity order sees no difference.
  const ClauseSorter_Activity act;
  const Clause* x = pool.sized(3, 7);
  const Clause* y = pool.sized(9, 7);
  EXPECT_FALSE(act(x, y));
  EXPECT_FALSE(act(y, x));
}

TEST(ClauseSorterTest, PerLiteralKeyKeepsSmallActivities) {
  // 1 + 1e-10 is 1 in single precision; the key must still tell the two
  // clauses apart.
  ClausePool pool;
  const Clause* idle = pool.sized(3, 0.0f);
  const Clause* touched = pool.sized(3, 1e-10f);
  EXPECT_TRUE(ClauseSorter_ActivitySizeDiv()(idle, touched));
  EXPECT_FALSE(ClauseSorter_ActivitySizeDiv()(touched, idle));
  EXPECT_TRUE(ClauseSorter_Activity()(idle, touched));
  EXPECT_TRUE(ClauseSorter_Size()(idle, touched));
  // Neighbouring large activities stay distinct as well.
  const float base = 16777216.0f;  // 2^24
  const Clause* lo = pool.sized(4, base);
  const Clause* hi = pool.sized(4, std::nextafter(base, 1e30f));
  EXPECT_TRUE(ClauseSorter_Activity()(lo, hi));
  EXPECT_FALSE(ClauseSorter_Activity()(hi, lo));
  EXPECT_TRUE(ClauseSorter_ActivitySizeDiv()(lo, hi));
}

}  // namespace
}  // namespace quelt::util
