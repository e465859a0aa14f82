// Small CNF formulas for tests, and their ground truth.
//
// A Cnf keeps its clauses as signed DIMACS integers exactly as generated,
// including duplicate literals, tautologies and empty clauses, so a test can
// hand a copy to the solver and still check a model against the formula the
// user wrote. CnfGenerator is seeded explicitly (std::mt19937), so every
// corpus is the same on every run. bruteForce() decides a formula of up to
// 24 variables by enumerating all assignments; it is the oracle the solver's
// verdicts are compared with.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace quelt_test {

struct Cnf {
  std::string name;
  int numVars = 0;
  std::vector<std::vector<int>> clauses;

  // The formula as a DIMACS text, for failure messages and reproduction.
  std::string dimacs() const {
    std::ostringstream os;
    os << "p cnf " << numVars << ' ' << clauses.size() << '\n';
    for (const auto& c : clauses) {
      for (int l : c) os << l << ' ';
      os << "0\n";
    }
    return os.str();
  }
};

// An assignment for variables 1 .. n, index 0 unused.
using Assignment = std::vector<bool>;

inline bool literalTrue(int lit, const Assignment& a) {
  const std::size_t v = static_cast<std::size_t>(std::abs(lit));
  return v < a.size() && a[v] == (lit > 0);
}

inline bool clauseSatisfied(const std::vector<int>& clause, const Assignment& a) {
  for (int l : clause)
    if (literalTrue(l, a)) return true;
  return false;
}

// Index of the first clause the assignment falsifies, or -1.
inline int firstFalsifiedClause(const Cnf& f, const Assignment& a) {
  for (std::size_t i = 0; i < f.clauses.size(); ++i)
    if (!clauseSatisfied(f.clauses[i], a)) return static_cast<int>(i);
  return -1;
}

// A satisfying assignment of f together with the given unit literals, or
// nothing when there is none. Exhaustive: f must have at most 24 variables.
inline std::optional<Assignment> bruteForce(const Cnf& f, const std::vector<int>& units = {}) {
  if (f.numVars > 24) std::abort();
  struct Masks {
    std::uint32_t pos = 0, neg = 0;
  };
  std::vector<Masks> masks;
  auto addClause = [&masks](const std::vector<int>& c) {
    Masks m;
    for (int l : c) {
      const std::uint32_t bit = 1u << (std::abs(l) - 1);
      (l > 0 ? m.pos : m.neg) |= bit;
    }
    masks.push_back(m);
  };
  for (int u : units) addClause({u});
  for (const auto& c : f.clauses) addClause(c);
  // Short clauses first: they reject most assignments soonest.
  std::stable_sort(masks.begin(), masks.end(), [](const Masks& a, const Masks& b) {
    return __builtin_popcount(a.pos | a.neg) < __builtin_popcount(b.pos | b.neg);
  });
  const std::uint32_t total = f.numVars == 0 ? 1u : (1u << f.numVars);
  for (std::uint32_t x = 0; x < total; ++x) {
    bool ok = true;
    for (const Masks& m : masks)
      if (((x & m.pos) | (~x & m.neg)) == 0) {
        ok = false;
        break;
      }
    if (!ok) continue;
    Assignment a(static_cast<std::size_t>(f.numVars) + 1, false);
    for (int v = 1; v <= f.numVars; ++v) a[v] = ((x >> (v - 1)) & 1u) != 0;
    return a;
  }
  return std::nullopt;
}

// The number of assignments of variables 1 .. numVars that satisfy f
// (variables that occur nowhere count both ways). At most 24 variables.
inline long long countModels(const Cnf& f) {
  if (f.numVars > 24) std::abort();
  long long n = 0;
  Assignment a(static_cast<std::size_t>(f.numVars) + 1, false);
  const std::uint32_t total = 1u << f.numVars;
  for (std::uint32_t x = 0; x < total; ++x) {
    for (int v = 1; v <= f.numVars; ++v) a[v] = ((x >> (v - 1)) & 1u) != 0;
    if (firstFalsifiedClause(f, a) < 0) ++n;
  }
  return n;
}

class CnfGenerator {
 public:
  explicit CnfGenerator(std::uint32_t seed) : rng_(seed) {}

  int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool coin() { return uniform(0, 1) == 1; }
  int randomLiteral(int numVars) { return coin() ? uniform(1, numVars) : -uniform(1, numVars); }

  // m clauses of k distinct variables each, random polarities.
  Cnf randomKSat(int numVars, int k, int m) {
    Cnf f;
    f.numVars = numVars;
    f.name = "random" + std::to_string(k) + "sat-n" + std::to_string(numVars) + "-m" + std::to_string(m);
    std::vector<int> vs(static_cast<std::size_t>(numVars));
    for (int i = 0; i < numVars; ++i) vs[i] = i + 1;
    for (int c = 0; c < m; ++c) {
      std::shuffle(vs.begin(), vs.end(), rng_);
      std::vector<int> clause;
      for (int i = 0; i < k; ++i) clause.push_back(coin() ? vs[i] : -vs[i]);
      f.clauses.push_back(clause);
    }
    return f;
  }

  // Random 3-SAT at the satisfiability threshold (about 4.26 clauses per
  // variable), where both verdicts are common.
  Cnf threshold3Sat(int numVars) {
    const int m = static_cast<int>(4.26 * numVars + 0.5);
    return randomKSat(numVars, 3, m);
  }

  // n + 1 pigeons into n holes: unsatisfiable. Variable p * n + h + 1 says
  // pigeon p sits in hole h.
  static Cnf pigeonHole(int holes) {
    Cnf f;
    f.name = "pigeonhole-" + std::to_string(holes + 1) + "-into-" + std::to_string(holes);
    f.numVars = (holes + 1) * holes;
    auto var = [holes](int p, int h) { return p * holes + h + 1; };
    for (int p = 0; p <= holes; ++p) {
      std::vector<int> clause;
      for (int h = 0; h < holes; ++h) clause.push_back(var(p, h));
      f.clauses.push_back(clause);
    }
    for (int h = 0; h < holes; ++h)
      for (int p = 0; p <= holes; ++p)
        for (int q = p + 1; q <= holes; ++q) f.clauses.push_back({-var(p, h), -var(q, h)});
    return f;
  }

  // A random formula with the irregularities a reader passes on unchanged:
  // unit clauses, repeated literals, tautologies, clauses of mixed length,
  // variables that occur nowhere and, when emptyClause is set, one empty
  // clause somewhere in the middle.
  Cnf irregular(int usedVars, int unusedVars, int m, bool emptyClause) {
    Cnf f;
    f.numVars = usedVars + unusedVars;
    f.name = "irregular-n" + std::to_string(usedVars) + "+" + std::to_string(unusedVars) + "-m" +
             std::to_string(m) + (emptyClause ? "-empty" : "");
    const int emptyAt = emptyClause ? uniform(0, m) : -1;
    for (int c = 0; c < m; ++c) {
      if (c == emptyAt) f.clauses.push_back({});
      std::vector<int> clause;
      const int roll = uniform(0, 9);
      const int len = roll == 0 ? 1 : roll <= 2 ? 2 : roll <= 7 ? 3 : 4;
      for (int i = 0; i < len; ++i) clause.push_back(randomLiteral(usedVars));
      if (uniform(0, 5) == 0) clause.push_back(clause[uniform(0, len - 1)]);   // repeated literal
      if (uniform(0, 7) == 0) clause.push_back(-clause[uniform(0, len - 1)]);  // tautology
      std::shuffle(clause.begin(), clause.end(), rng_);
      f.clauses.push_back(clause);
    }
    if (emptyAt == m) f.clauses.push_back({});
    return f;
  }

 private:
  std::mt19937 rng_;
};

}  // namespace quelt_test
