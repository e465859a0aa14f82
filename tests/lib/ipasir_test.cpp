// What the interface fuzzer (api_fuzz.cpp) does not check of the C interface:
// the learn callback hands over clauses that follow from the formula, the
// terminate callback stops a search, a literal that is none spoils the
// handle, and answers come only in their state.
#include "quelt/ipasir.h"

#include <gtest/gtest.h>

#include <climits>

#include "support/cnf.hpp"

namespace {

using quelt_test::Cnf;

TEST(Ipasir, LearnedClausesFollowFromTheFormula) {
  const Cnf f = quelt_test::CnfGenerator(3).randomKSat(12, 3, 80);
  void* s = ipasir_init();
  std::vector<std::vector<int>> learned;
  ipasir_set_learn(s, &learned, 3, [](void* data, std::int32_t* c) {
    auto& all = *static_cast<std::vector<std::vector<int>>*>(data);
    all.emplace_back();
    while (*c != 0) all.back().push_back(*c++);
  });
  for (const auto& c : f.clauses) {
    for (int l : c) ipasir_add(s, l);
    ipasir_add(s, 0);
  }
  EXPECT_EQ(ipasir_solve(s), quelt_test::countModels(f, {}, 1) > 0 ? 10 : 20);
  EXPECT_FALSE(learned.empty());
  for (const auto& c : learned) {
    ASSERT_LE(c.size(), 3u);
    Cnf g = f;
    for (int l : c) g.clauses.push_back({-l});
    EXPECT_EQ(quelt_test::countModels(g, {}, 1), 0);
  }
  ipasir_release(s);
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
