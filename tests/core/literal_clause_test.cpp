// Literal encoding, index rules and order; clause construction, erase,
// text form, activity scaling and the single-block layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "core/Clause.hpp"
#include "core/Literal.hpp"

namespace quelt {
namespace {

Literal lit(std::int32_t d) { return Literal::fromDimacs(d); }

std::vector<Literal> lits(std::initializer_list<std::int32_t> ds) {
  std::vector<Literal> out;
  for (std::int32_t d : ds) out.push_back(lit(d));
  return out;
}

std::vector<std::int64_t> dimacsOf(const Clause& c) {
  std::vector<std::int64_t> out;
  for (Literal l : c) out.push_back(l.toDimacs());
  return out;
}

// Owning handle for a clause built the way the solver builds one.
struct ClauseDeleter {
  void operator()(Clause* c) const { delete c; }
};
using ClausePtr = std::unique_ptr<Clause, ClauseDeleter>;

ClausePtr makeClause(const std::vector<Literal>& ls, bool learned = false) {
  return ClausePtr(new (ls.size()) Clause(ls, learned));
}

std::string textOf(const Clause& c) {
  std::ostringstream os;
  os << c;
  return os.str();
}

std::string textOf(Literal l) {
  std::ostringstream os;
  os << l;
  return os.str();
}

// ---------------------------------------------------------------- literals

TEST(LiteralEncoding, DimacsWordsAndTextForm) {
  struct Row {
    std::int32_t dimacs;
    std::uint32_t word;
    const char* text;
  };
  const Row rows[] = {
      {5, 0x80000005u, "5"},
      {-5, 0x00000005u, "-5"},
      {1, 0x80000001u, "1"},
      {-1, 0x00000001u, "-1"},
      {123456, 0x8001E240u, "123456"},
      {-123456, 0x0001E240u, "-123456"},
      {2147483647, 0xFFFFFFFFu, "2147483647"},
      {-2147483647, 0x7FFFFFFFu, "-2147483647"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.dimacs);
    const Literal l = lit(r.dimacs);
    EXPECT_EQ(l.x, r.word);
    EXPECT_EQ(sizeof(l), 4u);
    EXPECT_EQ(textOf(l), r.text);
    EXPECT_EQ(l.toDimacs(), r.dimacs);
    EXPECT_EQ(l.var(), static_cast<std::uint32_t>(r.dimacs < 0 ? -r.dimacs : r.dimacs));
    EXPECT_EQ(l.positive(), r.dimacs > 0);
    EXPECT_EQ(Literal::make(l.var(), r.dimacs > 0), l);
    // Negation flips bit 31 alone and is an involution.
    EXPECT_EQ((~l).x, r.word ^ 0x80000000u);
    EXPECT_EQ((~l).toDimacs(), -static_cast<std::int64_t>(r.dimacs));
    EXPECT_EQ(~~l, l);
  }
}

TEST(LiteralEncoding, DumpWritesTextFormWithoutSeparator) {
  testing::internal::CaptureStderr();
  lit(7).dump();
  lit(-12).dump();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "7-12");
}

TEST(LiteralIndex, WatchAndOccurrenceRules) {
  struct Row {
    std::int32_t dimacs;
    std::uint32_t watch;
    std::uint32_t occur;
  };
  const Row rows[] = {
      {1, 2, 3},           {-1, 3, 2},           {5, 10, 11},
      {-5, 11, 10},        {1000, 2000, 2001},   {-1000, 2001, 2000},
      {0x3FFFFFFF, 0x7FFFFFFEu, 0x7FFFFFFFu},
      {-0x3FFFFFFF, 0x7FFFFFFFu, 0x7FFFFFFEu},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.dimacs);
    EXPECT_EQ(lit(r.dimacs).watchIndex(), r.watch);
    EXPECT_EQ(lit(r.dimacs).occurIndex(), r.occur);
    // The occurrence counters of a variable record are indexed by bit 31.
    EXPECT_EQ(lit(r.dimacs).sign(), r.dimacs > 0 ? 1u : 0u);
  }
}

TEST(LiteralIndex, RulesAreReversesAndBijective) {
  std::set<std::uint32_t> watchSeen, occurSeen;
  for (std::int32_t v = 1; v <= 300; ++v) {
    for (std::int32_t d : {v, -v}) {
      const Literal l = lit(d);
      SCOPED_TRACE(d);
      // Both stay inside the two slots of the variable ...
      EXPECT_EQ(l.watchIndex() / 2, static_cast<std::uint32_t>(v));
      EXPECT_EQ(l.occurIndex() / 2, static_cast<std::uint32_t>(v));
      // ... and swap the slot.
      EXPECT_EQ(l.watchIndex() ^ 1u, l.occurIndex());
      EXPECT_EQ(l.watchIndex(), (~l).occurIndex());
      EXPECT_NE(l.watchIndex(), (~l).watchIndex());
      watchSeen.insert(l.watchIndex());
      occurSeen.insert(l.occurIndex());
    }
  }
  // Every slot 2 .. 601 is hit exactly once by each rule.
  EXPECT_EQ(watchSeen.size(), 600u);
  EXPECT_EQ(occurSeen.size(), 600u);
  EXPECT_EQ(*watchSeen.begin(), 2u);
  EXPECT_EQ(*watchSeen.rbegin(), 601u);
  EXPECT_EQ(watchSeen, occurSeen);
}

TEST(LiteralOrder, SortGroupsVariablesNegativeFirst) {
  struct Row {
    std::vector<std::int32_t> in;
    std::vector<std::int64_t> sorted;
  };
  const Row rows[] = {
      {{3, -1, 1, -3}, {-1, 1, -3, 3}},
      {{2, 1, -2, -1}, {-1, 1, -2, 2}},
      {{7}, {7}},
      {{}, {}},
      {{2147483647, -2147483647, 1, -1}, {-1, 1, -2147483647, 2147483647}},
      {{10, -9, 9, 2, -10, -2}, {-2, 2, -9, 9, -10, 10}},
  };
  for (const Row& r : rows) {
    std::vector<Literal> v;
    for (std::int32_t d : r.in) v.push_back(lit(d));
    std::sort(v.begin(), v.end());
    std::vector<std::int64_t> got;
    for (Literal l : v) got.push_back(l.toDimacs());
    EXPECT_EQ(got, r.sorted);
  }
}

TEST(LiteralOrder, MatchesVariableThenPolarityReference) {
  // Against the pair (variable, positive?) under lexicographic order; the
  // raw word order would put every negative literal first and is wrong.
  std::vector<Literal> all;
  for (std::int32_t v : {1, 2, 3, 64, 65, 1 << 20, 2147483647})
    for (std::int32_t d : {v, -v}) all.push_back(lit(d));
  for (Literal a : all)
    for (Literal b : all) {
      SCOPED_TRACE(testing::Message() << a.toDimacs() << " vs " << b.toDimacs());
      const auto ka = std::make_pair(a.var(), a.positive());
      const auto kb = std::make_pair(b.var(), b.positive());
      EXPECT_EQ(a < b, ka < kb);
      EXPECT_EQ(a == b, ka == kb);
      EXPECT_EQ(a != b, ka != kb);
      EXPECT_EQ(varEqual(a, b), a.var() == b.var());
    }
}

TEST(LiteralOrder, VarEqualIgnoresPolarityOnly) {
  EXPECT_TRUE(varEqual(lit(4), lit(-4)));
  EXPECT_TRUE(varEqual(lit(-4), lit(-4)));
  EXPECT_FALSE(varEqual(lit(4), lit(5)));
  EXPECT_FALSE(varEqual(lit(-4), lit(-5)));
  EXPECT_FALSE(lit(4) == lit(-4));
}

// ----------------------------------------------------------------- clauses

TEST(ClauseConstruction, CopiesLiteralsAndSetsHeader) {
  struct Row {
    std::vector<std::int32_t> ds;
    bool learned;
    std::uint32_t flags;
  };
  const Row rows[] = {
      {{1, -2}, false, 0u},
      {{1, -2}, true, 1u},
      {{}, false, 0u},
      {{-9}, true, 1u},
      {{5, 4, 3, 2, 1, -6, -7, -8}, false, 0u},
  };
  for (const Row& r : rows) {
    std::vector<Literal> ls;
    for (std::int32_t d : r.ds) ls.push_back(lit(d));
    ClausePtr c = makeClause(ls, r.learned);
    EXPECT_EQ(c->size, r.ds.size());
    EXPECT_EQ(c->activity, 0.0f);
    EXPECT_EQ(c->flags, r.flags);
    EXPECT_EQ(c->learned(), r.learned);
    EXPECT_FALSE(c->removed());
    EXPECT_EQ(std::vector<Literal>(c->begin(), c->end()), ls);
    for (std::size_t i = 0; i < ls.size(); ++i) EXPECT_EQ((*c)[i], ls[i]);
  }
}

TEST(ClauseConstruction, SetRemovedKeepsLearnedBit) {
  ClausePtr orig = makeClause(lits({1, 2}), false);
  ClausePtr learned = makeClause(lits({1, 2}), true);
  orig->setRemoved();
  learned->setRemoved();
  EXPECT_EQ(orig->flags, 0x2u);
  EXPECT_EQ(learned->flags, 0x3u);
  EXPECT_TRUE(orig->removed());
  EXPECT_FALSE(orig->learned());
  EXPECT_TRUE(learned->removed());
  EXPECT_TRUE(learned->learned());
}

TEST(ClauseLayout, HeaderAndLiteralsShareOneBlock) {
  EXPECT_EQ(sizeof(Clause), 12u);
  for (std::size_t n : {0u, 1u, 2u, 3u, 17u}) {
    std::vector<Literal> ls;
    for (std::size_t i = 1; i <= n; ++i) ls.push_back(lit(static_cast<std::int32_t>(i)));
    ClausePtr c = makeClause(ls);
    const auto* base = reinterpret_cast<const unsigned char*>(c.get());
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(c->lits()), base + 12);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(c->lits()),
              reinterpret_cast<const unsigned char*>(c.get() + 1));
    const Clause& cc = *c;
    EXPECT_EQ(cc.lits(), c->lits());
    EXPECT_EQ(cc.begin(), c->lits());
    EXPECT_EQ(cc.end(), c->lits() + n);
    // Every literal slot is writable and readable inside the block (the
    // sanitizer build reports anything past the allocation).
    for (std::size_t i = 0; i < n; ++i) {
      (*c)[i] = ~(*c)[i];
      EXPECT_EQ((*c)[i].toDimacs(), -static_cast<std::int64_t>(i + 1));
    }
  }
}

TEST(ClauseIterator, SortsTailInPlace) {
  ClausePtr c = makeClause(lits({9, 8, -3, 5, -1, 2}));
  std::sort(c->begin() + 2, c->end());
  EXPECT_EQ(dimacsOf(*c), (std::vector<std::int64_t>{9, 8, -1, 2, -3, 5}));
  EXPECT_EQ(c->end() - c->begin(), 6);
}

TEST(ClauseErase, RemovesListedPositionsKeepingOrder) {
  struct Row {
    const char* name;
    std::vector<std::int32_t> ds;
    std::vector<unsigned> positions;
    std::vector<std::int64_t> expected;
  };
  const Row rows[] = {
      {"first and third", {1, 2, 3, 4}, {0, 2}, {2, 4}},
      {"empty list", {1, 2, 3, 4}, {}, {1, 2, 3, 4}},
      {"size zero", {}, {0}, {}},
      {"size zero, no positions", {}, {}, {}},
      {"beyond size ignored", {1, -2, 3}, {1, 3, 7}, {1, 3}},
      {"only beyond size", {1, -2, 3}, {3, 4}, {1, -2, 3}},
      {"last", {1, -2, 3}, {2}, {1, -2}},
      {"first", {1, -2, 3}, {0}, {-2, 3}},
      {"all", {1, -2, 3}, {0, 1, 2}, {}},
      {"middle run", {-1, 2, -3, 4, -5, 6}, {1, 2, 3}, {-1, -5, 6}},
      {"alternating", {-1, 2, -3, 4, -5, 6}, {1, 3, 5}, {-1, -3, -5}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<Literal> ls;
    for (std::int32_t d : r.ds) ls.push_back(lit(d));
    ClausePtr c = makeClause(ls, true);
    const float act = 2.5f;
    c->activity = act;
    c->erase(r.positions);
    EXPECT_EQ(c->size, r.expected.size());
    EXPECT_EQ(dimacsOf(*c), r.expected);
    // The header beyond size is untouched.
    EXPECT_EQ(c->activity, act);
    EXPECT_TRUE(c->learned());
  }
}

TEST(ClauseErase, RepeatedEraseShrinksFurther) {
  ClausePtr c = makeClause(lits({1, 2, 3, 4, 5}));
  c->erase({4});
  c->erase({0});
  c->erase({1});
  EXPECT_EQ(dimacsOf(*c), (std::vector<std::int64_t>{2, 4}));
  EXPECT_EQ(textOf(*c), "2 4 0\n");
}

TEST(ClauseText, ExactLines) {
  struct Row {
    std::vector<std::int32_t> ds;
    const char* text;
  };
  const Row rows[] = {
      {{1, -2}, "1 -2 0\n"},
      {{}, "0\n"},
      {{-7}, "-7 0\n"},
      {{3, 2, 1}, "3 2 1 0\n"},
      {{-2147483647, 2147483647}, "-2147483647 2147483647 0\n"},
  };
  for (const Row& r : rows) {
    std::vector<Literal> ls;
    for (std::int32_t d : r.ds) ls.push_back(lit(d));
    for (int variant = 0; variant < 4; ++variant) {
      SCOPED_TRACE(testing::Message() << r.text << " variant " << variant);
      ClausePtr c = makeClause(ls, variant & 1);
      if (variant & 2) c->setRemoved();
      c->activity = 123.5f;  // never written
      EXPECT_EQ(textOf(*c), r.text);
      std::ostringstream os;
      c->dumpTo(&os);
      EXPECT_EQ(os.str(), r.text);
    }
  }
}

TEST(ClauseText, DumpGoesToStandardError) {
  ClausePtr c = makeClause(lits({4, -5}), true);
  testing::internal::CaptureStderr();
  c->dump();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "4 -5 0\n");
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

TEST(ClauseText, LineEndFlushes) {
  ClausePtr c = makeClause(lits({1, -2}));
  FlushCounter buf;
  std::ostream os(&buf);
  os << *c;
  EXPECT_EQ(buf.str(), "1 -2 0\n");
  EXPECT_EQ(buf.syncs, 1);
  // Streaming returns the same stream, so lines chain.
  ClausePtr empty = makeClause({});
  std::ostringstream chained;
  chained << *c << *empty << *c;
  EXPECT_EQ(chained.str(), "1 -2 0\n0\n1 -2 0\n");
}

TEST(ClauseActivity, ScaleRoundsOnceToSinglePrecision) {
  struct Row {
    float start;
    double factor;
    float expected;
  };
  const Row rows[] = {
      {1e20f, 1e-20, 1.0f},
      {0.0f, 1e-20, 0.0f},
      {3.0f, 0.5, 1.5f},
      {4.0f, 1e-20, 4e-20f},
      {1e30f, 1e-20, 1e10f},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.start);
    ClausePtr c = makeClause(lits({1, 2}), true);
    c->activity = r.start;
    c->scaleActivity(r.factor);
    EXPECT_EQ(c->activity, r.expected);
  }
  // A factor below the single-precision range still scales correctly: the
  // product is formed in double and rounded once at the end.
  ClausePtr c = makeClause(lits({1}), true);
  c->activity = 1e30f;
  c->scaleActivity(1e-60);
  EXPECT_FLOAT_EQ(c->activity, 1e-30f);
  EXPECT_GT(c->activity, 0.0f);
}

}  // namespace
}  // namespace quelt
