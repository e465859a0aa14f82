// The per-variable record: creation and reset, saturating occurrence
// counters and their saturation guard, flag bits, copying and the value of
// a literal under the record.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/Clause.hpp"
#include "core/VarInfo.hpp"

namespace quelt::util {
namespace {

using dpinterface::VarFlagTy;

VarFlagTy kind(unsigned k) { return static_cast<VarFlagTy>(k); }

// A record as the solver creates it for variable v.
VarInfo created(std::uint32_t v) {
  VarInfo r;
  r.lit = Literal(v);
  r.reset();
  r.reset(dpinterface::ProblemVar, 0, 0);
  return r;
}

void expectSame(const VarInfo& a, const VarInfo& b) {
  EXPECT_EQ(a.lit, b.lit);
  EXPECT_EQ(a.level, b.level);
  EXPECT_EQ(a.activity, b.activity);
  EXPECT_EQ(a.reason, b.reason);
  EXPECT_EQ(a.occur[0], b.occur[0]);
  EXPECT_EQ(a.occur[1], b.occur[1]);
  EXPECT_EQ(a.flags, b.flags);
  EXPECT_EQ(a.userByteA, b.userByteA);
  EXPECT_EQ(a.userByteB, b.userByteB);
}

TEST(VarInfoCreate, FreshRecord) {
  const VarInfo r = created(42);
  EXPECT_EQ(r.lit.x, 42u);
  EXPECT_EQ(r.level, -1);
  EXPECT_FALSE(r.assigned());
  EXPECT_EQ(r.activity, 0.0);
  EXPECT_EQ(r.reason, nullptr);
  EXPECT_EQ(r.getOccur(0), 0u);
  EXPECT_EQ(r.getOccur(1), 0u);
  EXPECT_EQ(r.flags, 1u);
  EXPECT_EQ(r.userByteA, 0u);
  EXPECT_EQ(r.userByteB, 0u);
  EXPECT_FALSE(r.mayOccur(0));
  EXPECT_FALSE(r.mayOccur(1));
  EXPECT_FALSE(r.marked());
  EXPECT_FALSE(r.eliminated());
}

TEST(VarInfoReset, PlainResetClearsStateButKeepsLitAndBytes) {
  Clause* reason = new (1) Clause({Literal::fromDimacs(3)}, false);
  VarInfo r = created(3);
  r.reset(kind(2), 7, 9);
  r.lit = Literal::fromDimacs(3);
  r.level = 4;
  r.activity = 17.25;
  r.reason = reason;
  r.incOccur(0);
  r.incOccur(1);
  r.incOccur(1);
  r.setEliminated();
  r.mark();

  r.reset();
  EXPECT_EQ(r.level, -1);
  EXPECT_EQ(r.activity, 0.0);
  EXPECT_EQ(r.reason, nullptr);
  EXPECT_EQ(r.getOccur(0), 0u);
  EXPECT_EQ(r.getOccur(1), 0u);
  EXPECT_EQ(r.flags, 1u);
  EXPECT_EQ(r.userByteA, 7u);
  EXPECT_EQ(r.userByteB, 9u);
  EXPECT_EQ(r.lit, Literal::fromDimacs(3));  // value bit left as it was
  delete reason;
}

TEST(VarInfoReset, KindResetReplacesFlagWordAndBytesOnly) {
  struct Row {
    unsigned kind;
    unsigned char a, b;
  };
  const Row rows[] = {{1, 0, 0}, {2, 7, 9}, {0, 255, 1}, {0xFFFF, 128, 255}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind);
    VarInfo r = created(8);
    r.lit = Literal::fromDimacs(-8);
    r.level = 2;
    r.activity = 3.5;
    r.incOccur(1);
    r.mark();
    r.setEliminated();
    r.reset(kind(row.kind), row.a, row.b);
    EXPECT_EQ(r.flags, row.kind);
    EXPECT_EQ(r.userByteA, row.a);
    EXPECT_EQ(r.userByteB, row.b);
    EXPECT_EQ(r.lit, Literal::fromDimacs(-8));
    EXPECT_EQ(r.level, 2);
    EXPECT_EQ(r.activity, 3.5);
    EXPECT_EQ(r.getOccur(1), 1u);
    EXPECT_EQ(r.getOccur(0), 0u);
  }
}

TEST(VarInfoReset, PlainAfterKindResetGivesFlagsOne) {
  VarInfo r = created(1);
  r.reset(kind(2), 7, 9);
  r.reset();
  EXPECT_EQ(r.flags, 1u);
  EXPECT_EQ(r.userByteA, 7u);
  EXPECT_EQ(r.userByteB, 9u);
}

TEST(VarInfoOccur, CountersSaturateAndNeverWrap) {
  for (unsigned phase : {0u, 1u}) {
    SCOPED_TRACE(phase);
    const unsigned other = phase ^ 1u;
    VarInfo r = created(5);
    for (int i = 0; i < 70000; ++i) r.incOccur(phase);
    EXPECT_EQ(r.getOccur(phase), 65535u);
    EXPECT_EQ(r.getOccur(other), 0u);
    r.decOccur(phase);
    EXPECT_EQ(r.getOccur(phase), 65534u);
    r.incOccur(phase);
    r.incOccur(phase);
    EXPECT_EQ(r.getOccur(phase), 65535u);

    VarInfo z = created(5);
    z.decOccur(phase);
    EXPECT_EQ(z.getOccur(phase), 0u);
    z.incOccur(phase);
    z.decOccur(phase);
    z.decOccur(phase);
    EXPECT_EQ(z.getOccur(phase), 0u);
    EXPECT_EQ(z.getOccur(other), 0u);
  }
}

TEST(VarInfoOccur, CountersAreIndexedByPolarityBit) {
  VarInfo r = created(6);
  const Literal pos = Literal::fromDimacs(6), neg = Literal::fromDimacs(-6);
  for (int i = 0; i < 3; ++i) r.incOccur(pos.sign());
  r.incOccur(neg.sign());
  EXPECT_EQ(r.getOccur(1), 3u);
  EXPECT_EQ(r.getOccur(0), 1u);
  EXPECT_EQ(r.occur[1], 3u);
  EXPECT_EQ(r.occur[0], 1u);
  r.resetNumOccurrences();
  EXPECT_EQ(r.getOccur(0), 0u);
  EXPECT_EQ(r.getOccur(1), 0u);
  EXPECT_EQ(r.flags, 1u);
}

TEST(VarInfoOccur, SmallCountsTrackExactly) {
  VarInfo r = created(2);
  unsigned expected[2] = {0, 0};
  // A fixed walk of increments and decrements on both counters.
  const int steps[] = {+1, +1, -1, +2, +2, +2, -2, +1, -1, -1, -1, -1, +2, -2, -2, -2};
  for (int s : steps) {
    const unsigned phase = (s == 1 || s == -1) ? 1u : 0u;
    if (s > 0) {
      r.incOccur(phase);
      ++expected[phase];
    } else {
      r.decOccur(phase);
      if (expected[phase] > 0) --expected[phase];
    }
    EXPECT_EQ(r.getOccur(0), expected[0]);
    EXPECT_EQ(r.getOccur(1), expected[1]);
    EXPECT_EQ(r.mayOccur(0), expected[0] != 0);
    EXPECT_EQ(r.mayOccur(1), expected[1] != 0);
  }
}

TEST(VarInfoOccur, SaturatedCounterKeepsLiteralPossibleUntilRecount) {
  for (unsigned phase : {0u, 1u}) {
    SCOPED_TRACE(phase);
    const unsigned other = phase ^ 1u;
    VarInfo r = created(9);
    // More occurrences than the counter can hold ...
    for (int i = 0; i < 70000; ++i) r.incOccur(phase);
    EXPECT_TRUE(r.mayOccur(phase));
    // ... of which the counter only saw 65535 go away: 4465 remain.
    for (int i = 0; i < 65535; ++i) r.decOccur(phase);
    EXPECT_EQ(r.getOccur(phase), 0u);
    EXPECT_TRUE(r.mayOccur(phase));
    EXPECT_FALSE(r.mayOccur(other));
    // Still guarded after unrelated flag traffic.
    r.mark();
    r.unmark();
    r.setEliminated();
    r.clearEliminated();
    EXPECT_TRUE(r.mayOccur(phase));
    // A recount starts from scratch.
    r.resetNumOccurrences();
    EXPECT_FALSE(r.mayOccur(phase));
    EXPECT_FALSE(r.mayOccur(other));
    r.incOccur(phase);
    EXPECT_TRUE(r.mayOccur(phase));
    r.decOccur(phase);
    EXPECT_FALSE(r.mayOccur(phase));
  }
}

TEST(VarInfoOccur, PlainResetAlsoDropsSaturationGuard) {
  VarInfo r = created(9);
  for (int i = 0; i < 65535; ++i) r.incOccur(1);
  r.reset();
  EXPECT_EQ(r.getOccur(1), 0u);
  EXPECT_FALSE(r.mayOccur(1));
}

TEST(VarInfoFlags, ClearEliminatedTouchesOnlyItsBit) {
  struct Row {
    std::uint16_t before, after;
  };
  const Row rows[] = {
      {0x19, 0x09}, {0x10, 0x00}, {0x09, 0x09}, {0x01, 0x01},
      {0x00, 0x00}, {0xFFFF, 0xFFEF}, {0x0F, 0x0F},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.before);
    VarInfo r = created(1);
    r.flags = row.before;
    r.clearEliminated();
    EXPECT_EQ(r.flags, row.after);
    EXPECT_FALSE(r.eliminated());
  }
}

TEST(VarInfoFlags, MarkAndEliminatedBits) {
  VarInfo r = created(1);
  r.mark();
  EXPECT_EQ(r.flags, 0x09u);
  EXPECT_TRUE(r.marked());
  r.setEliminated();
  EXPECT_EQ(r.flags, 0x19u);
  EXPECT_TRUE(r.eliminated());
  r.unmark();
  EXPECT_EQ(r.flags, 0x11u);
  EXPECT_FALSE(r.marked());
  EXPECT_TRUE(r.eliminated());
}

TEST(VarInfoActivity, ScaleMultiplies) {
  VarInfo r = created(1);
  r.activity = 1e100;
  r.scaleActivity(1e-100);
  EXPECT_DOUBLE_EQ(r.activity, 1.0);
  r.activity = 6.0;
  r.scaleActivity(0.5);
  EXPECT_EQ(r.activity, 3.0);
}

TEST(VarInfoCopy, CopiesEveryMember) {
  Clause* reason = new (2) Clause({Literal::fromDimacs(4), Literal::fromDimacs(-1)}, true);
  VarInfo r = created(4);
  r.reset(kind(3), 11, 250);
  r.lit = Literal::fromDimacs(4);
  r.level = 12;
  r.activity = 0.125;
  r.reason = reason;
  r.incOccur(0);
  r.incOccur(1);
  r.incOccur(1);
  r.mark();

  const VarInfo copy(r);
  expectSame(copy, r);
  VarInfo assigned;
  assigned = r;
  expectSame(assigned, r);

  // Records survive the table growing.
  std::vector<VarInfo> table(1);
  table.push_back(r);
  for (int i = 0; i < 100; ++i) table.push_back(created(static_cast<std::uint32_t>(i + 5)));
  expectSame(table[1], r);
  EXPECT_EQ(table[1].reason, reason);
  delete reason;
}

TEST(VarInfoValue, LiteralTruthFollowsValueBitAndLevel) {
  struct Row {
    std::int32_t value;  // the literal that is (or was last) true
    std::int32_t level;
    std::int32_t query;
    bool isTrue, isFalse;
  };
  const Row rows[] = {
      {7, 0, 7, true, false},   {7, 0, -7, false, true},   {-7, 3, -7, true, false},
      {-7, 3, 7, false, true},  {7, -1, 7, false, false},  {7, -1, -7, false, false},
      {-7, -1, 7, false, false}, {-7, -1, -7, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.value << "@" << row.level << " ? " << row.query);
    VarInfo r = created(7);
    r.lit = Literal::fromDimacs(row.value);
    r.level = row.level;
    EXPECT_EQ(r.assigned(), row.level >= 0);
    EXPECT_EQ(r.isTrue(Literal::fromDimacs(row.query)), row.isTrue);
    EXPECT_EQ(r.isFalse(Literal::fromDimacs(row.query)), row.isFalse);
  }
}

}  // namespace
}  // namespace quelt::util
