// The exchange rounds of a distributed run, with the ranks as threads of
// this process (the in-process transport): what each rank gets of the
// others' clauses, the filter, the caps, and what the ranks decide.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <stdexcept>
#include <thread>

#include "lib/parallel/Exchange.hpp"

namespace {

using namespace quelt::exchange;
using Clauses = std::vector<std::vector<std::int32_t>>;

std::vector<std::int32_t> bufferOf(const Clauses& clauses, std::int32_t glue = 2) {
  std::vector<std::int32_t> b;
  for (const auto& c : clauses) appendClause(b, glue, c);
  return b;
}

Clauses clausesIn(const std::vector<std::int32_t>& b) {
  Clauses out;
  for (const ClauseView& c : clausesOf(b.data(), b.data() + b.size())) out.emplace_back(c.lits, c.lits + c.size);
  return out;
}

// Ranks of one process, each a thread holding one round with its exports.
struct Ranks {
  explicit Ranks(unsigned n, unsigned horizon = Exchange::kDefaultHorizon) : hub(n) {
    for (unsigned r = 0; r < n; ++r) ends.emplace_back(hub.endpoint(r), horizon);
  }
  // imports[r]: what rank r took in; reports[r]: every rank's reports as r got them.
  void round(const std::vector<Clauses>& exports, const std::vector<Report>& mine = {}) {
    const unsigned n = static_cast<unsigned>(ends.size());
    imports.assign(n, {});
    reports.assign(n, {});
    std::vector<std::thread> threads;
    for (unsigned r = 0; r < n; ++r)
      threads.emplace_back([&, r] {
        std::vector<std::int32_t> in;
        ends[r].round(mine.empty() ? Report{} : mine[r], bufferOf(exports[r]), reports[r], in);
        imports[r] = clausesIn(in);
      });
    for (std::thread& t : threads) t.join();
  }
  InProcessHub hub;
  std::vector<Exchange> ends;
  std::vector<Clauses> imports;
  std::vector<std::vector<Report>> reports;
};

TEST(Exchange, TheBufferFormatRoundTripsAndRejectsBrokenBuffers) {
  const Clauses cs = {{1, -2, 3}, {-4}, {5, 6}};
  std::vector<std::int32_t> b;
  appendClause(b, 0, cs[0]);
  appendClause(b, 7, cs[1]);
  appendClause(b, 2, cs[2]);
  EXPECT_EQ(b, (std::vector<std::int32_t>{0, 1, -2, 3, 0, 7, -4, 0, 2, 5, 6, 0}));
  EXPECT_EQ(clausesIn(b), cs);
  EXPECT_EQ(clausesOf(b.data(), b.data() + b.size())[1].glue, 7);
  // The longest whole-clause prefix within a limit.
  EXPECT_EQ(wholePrefix(b, 100), b.size());
  EXPECT_EQ(wholePrefix(b, 8), 8u);
  EXPECT_EQ(wholePrefix(b, 7), 5u);
  EXPECT_EQ(wholePrefix(b, 4), 0u);
  for (const std::vector<std::int32_t>& broken :
       {std::vector<std::int32_t>{2, 1, 2}, {-1, 1, 0}, {2, 0}, {2, INT32_MIN, 0}})
    EXPECT_THROW(clausesOf(broken.data(), broken.data() + broken.size()), std::invalid_argument);
}

TEST(Exchange, AShareShrinksWithTheRanksWhileWhatARankReceivesGrowsAsTheirRoot) {
  EXPECT_EQ(shareOf(1), kRoundBudget);
  EXPECT_EQ(shareOf(2), 1415u);
  EXPECT_EQ(shareOf(16), 500u);
  EXPECT_EQ(shareOf(128), 177u);
  EXPECT_EQ(shareOf(1024), 63u);
  EXPECT_EQ(shareOf(1u << 20), kMinShare);
  for (unsigned r = 1; r < 3000; ++r) {
    EXPECT_LE(shareOf(r + 1), shareOf(r));
    EXPECT_LE(static_cast<double>(r * shareOf(r)), kRoundBudget * std::sqrt(r) + r) << r;
  }

  // A rank sends the whole clauses that fit its share, best (first) ones.
  Ranks ranks(4);
  const std::size_t share = ranks.ends[0].share();
  Clauses many;
  for (std::int32_t v = 1; many.size() * 4 < share + 40; ++v) many.push_back({v, v + 1000, -(v + 2000)});
  ranks.round({many, {}, {}, {}});
  const std::size_t fit = share / 5;  // [glue, 3 literals, 0]
  ASSERT_EQ(ranks.imports[1].size(), fit);
  EXPECT_EQ(ranks.imports[1].front(), many.front());
  EXPECT_EQ(ranks.imports[1].back(), many[fit - 1]);
  EXPECT_EQ(ranks.ends[0].statistics().clausesSent, fit);
  EXPECT_EQ(ranks.ends[2].statistics().bytesGathered, 4 * slotInts(4) * sizeof(std::int32_t));
}

TEST(Exchange, EachRankGetsTheOthersClausesOnceAndNeverItsOwn) {
  Ranks ranks(3, 2);
  // Rank 1 and 2 learned the same clause (in another order); rank 2 also
  // learned one of rank 0's.
  ranks.round({{{1, 2}, {3}}, {{-5, 4}}, {{4, -5}, {2, 1}, {7, 8}}});
  EXPECT_EQ(ranks.imports[0], (Clauses{{-5, 4}, {7, 8}}));  // in turns: rank 1's first, then rank 2's
  EXPECT_EQ(ranks.imports[1], (Clauses{{1, 2}, {3}, {7, 8}}));
  EXPECT_EQ(ranks.imports[2], (Clauses{{3}}));
  EXPECT_EQ(ranks.ends[0].statistics().seenBefore, 2u);
  EXPECT_EQ(ranks.ends[2].statistics().clausesReceived, 3u);

  // Remembered in the next round, whoever sends it: a rank's own clause
  // coming back included.
  ranks.round({{{9}}, {{1, 2}}, {{-5, 4}, {10}}});
  EXPECT_EQ(ranks.imports[0], (Clauses{{10}}));
  EXPECT_EQ(ranks.imports[1], (Clauses{{9}, {10}}));
  EXPECT_EQ(ranks.imports[2], (Clauses{{9}}));
  // Forgotten once the horizon has passed twice: taken again.
  ranks.round({{}, {}, {}});
  ranks.round({{}, {}, {}});
  ranks.round({{}, {{1, 2}}, {}});
  EXPECT_EQ(ranks.imports[0], (Clauses{{1, 2}}));
}

TEST(Exchange, TheFirstVerdictWinsThenAStopThenAllFinished) {
  using S = State;
  auto outcome = [](std::vector<Report> r) { return decide(r); };
  EXPECT_EQ(outcome({{S::Running, 0}, {S::Running, 0}}).kind, Outcome::Continue);
  EXPECT_EQ(outcome({{S::Finished, 0}, {S::Running, 0}}).kind, Outcome::Continue);
  EXPECT_EQ(outcome({{S::Finished, 0}, {S::Finished, 0}}).kind, Outcome::Exhausted);
  const Outcome tie = outcome({{S::Stopped, 2}, {S::Unsatisfiable, 3}, {S::Satisfiable, 1}});
  EXPECT_EQ(tie.kind, Outcome::Verdict);
  EXPECT_EQ(tie.rank, 1u);
  EXPECT_EQ(tie.report.detail, 3);
  const Outcome stop = outcome({{S::Running, 0}, {S::Finished, 0}, {S::Stopped, 15}, {S::Stopped, 2}});
  EXPECT_EQ(stop.kind, Outcome::Stop);
  EXPECT_EQ(stop.rank, 2u);
  EXPECT_EQ(stop.report.detail, 15);
  EXPECT_EQ(outcome({{S::Running, 0}, {S::Failed, 1}}).kind, Outcome::Verdict);

  // Every rank gets every report, so all decide alike.
  Ranks ranks(3);
  ranks.round({{}, {}, {}}, {{S::Running, 0}, {S::Stopped, 2}, {S::Satisfiable, 1}});
  for (const std::vector<Report>& got : ranks.reports) {
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(decide(got).rank, 2u);
    EXPECT_EQ(got[1].detail, 2);
  }
}

}  // namespace
