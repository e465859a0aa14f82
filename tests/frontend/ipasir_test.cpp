// The C interface against exhaustive enumeration: random sequences of
// clauses, assumptions and solves on small growing formulas. Every answer
// matches the oracle, a model satisfies every clause so far and every
// assumption, the failed assumptions contradict the formula by themselves,
// and every clause handed to the learn callback follows from the formula.
#include "quelt/ipasir.h"

#include <gtest/gtest.h>

#include <climits>

#include "support/cnf.hpp"

namespace {

using quelt_test::Cnf;

TEST(Ipasir, IncrementalUseMatchesEnumeration) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    quelt_test::CnfGenerator gen(seed);
    Cnf f{"ipasir", 12, {}};
    void* s = ipasir_init();
    std::vector<std::vector<int>> learned;
    ipasir_set_learn(s, &learned, 3, [](void* data, std::int32_t* c) {
      auto& all = *static_cast<std::vector<std::vector<int>>*>(data);
      all.emplace_back();
      while (*c != 0) all.back().push_back(*c++);
    });
    for (int step = 0; step < 14; ++step) {
      for (int i = 0; i < 5; ++i) {
        f.clauses.push_back(gen.randomKSat(12, 2 + i % 2, 1).clauses[0]);
        for (int l : f.clauses.back()) ipasir_add(s, l);
        ipasir_add(s, 0);
      }
      std::vector<int> assumed;
      for (int i = 0; i < 3; ++i) {
        assumed.push_back(gen.coin() ? gen.uniform(1, 12) : -gen.uniform(1, 12));
        ipasir_assume(s, assumed.back());
      }
      const int result = ipasir_solve(s);
      ASSERT_EQ(result, quelt_test::countModels(f, assumed, 1) > 0 ? 10 : 20) << seed << " step " << step;
      std::vector<int> failed;
      for (int a : assumed)
        if (ipasir_failed(s, a)) failed.push_back(a);
      if (result == 20) {
        EXPECT_EQ(quelt_test::countModels(f, failed, 1), 0);
        EXPECT_EQ(ipasir_val(s, 1), 0);
        continue;
      }
      EXPECT_TRUE(failed.empty());
      quelt_test::Assignment m(13);
      for (int v = 1; v <= 12; ++v) {
        const std::int32_t x = ipasir_val(s, v);
        EXPECT_TRUE(x == v || x == -v || x == 0);
        EXPECT_EQ(ipasir_val(s, -v), x);  // the true literal of the variable, either way
        m[v] = x > 0;
      }
      auto all = f.clauses;
      for (int a : assumed) all.push_back({a});
      EXPECT_TRUE(quelt_test::satisfies(m, all)) << seed << " step " << step;
    }
    for (const auto& c : learned) {
      ASSERT_LE(c.size(), 3u);
      Cnf g = f;
      for (int l : c) g.clauses.push_back({-l});
      EXPECT_EQ(quelt_test::countModels(g, {}, 1), 0);
    }
    ipasir_release(s);
  }
}

// The terminate callback stops a search; a literal that is none spoils the
// formula; answers are given only in their state.
TEST(Ipasir, TerminationBadLiteralsAndStates) {
  EXPECT_STREQ(ipasir_signature(), "quelt-1.0");
  void* s = ipasir_init();
  for (const auto& c : quelt_test::CnfGenerator::pigeonHole(9).clauses) {
    for (int l : c) ipasir_add(s, l);
    ipasir_add(s, 0);
  }
  int polls = 0;
  ipasir_set_terminate(s, &polls, [](void* data) { return ++*static_cast<int*>(data) > 1000 ? 1 : 0; });
  EXPECT_EQ(ipasir_solve(s), 0);
  EXPECT_EQ(polls, 1001);
  EXPECT_EQ(ipasir_val(s, 1), 0);
  EXPECT_EQ(ipasir_failed(s, 1), 0);
  ipasir_release(s);

  s = ipasir_init();
  ipasir_add(s, 1);
  ipasir_add(s, 0);
  ipasir_assume(s, -1);
  EXPECT_EQ(ipasir_solve(s), 20);
  EXPECT_EQ(ipasir_failed(s, -1), 1);
  EXPECT_EQ(ipasir_solve(s), 10);  // the assumption is gone
  EXPECT_EQ(ipasir_val(s, 1), 1);
  EXPECT_EQ(ipasir_val(s, 2), 0);  // never mentioned
  ipasir_assume(s, -1);
  EXPECT_EQ(ipasir_solve(s), 20);
  ipasir_add(s, 0);  // the empty clause: now the formula alone is refuted
  ipasir_assume(s, -1);
  EXPECT_EQ(ipasir_solve(s), 20);
  EXPECT_EQ(ipasir_failed(s, -1), 0);
  ipasir_add(s, INT32_MIN);
  ipasir_add(s, 0);
  EXPECT_EQ(ipasir_solve(s), 0);
  ipasir_release(s);
}

}  // namespace
