// Test formulas and their ground truth: a seeded generator, an exhaustive
// oracle for small formulas, and the glue that loads a formula into a solver
// and reads its model back. Clauses are kept as the user wrote them
// (repeated literals, tautologies, empty clauses), so that a model is always
// checked against the formula as given.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/Solver.hpp"

namespace quelt_test {

struct Cnf {
  std::string name;
  int numVars = 0;
  std::vector<std::vector<int>> clauses;

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

// model[v] is the value of variable v (index 0 unused).
using Assignment = std::vector<bool>;

inline bool satisfies(const Assignment& a, const std::vector<std::vector<int>>& clauses) {
  for (const auto& c : clauses)
    if (std::none_of(c.begin(), c.end(), [&](int l) {
          const std::size_t v = static_cast<std::size_t>(std::abs(l));
          return v < a.size() && a[v] == (l > 0);
        }))
      return false;
  return true;
}

// The number of assignments of variables 1..numVars that satisfy f and the
// given unit literals, by enumeration; stops counting at `enough`.
inline long long countModels(const Cnf& f, const std::vector<int>& units = {}, long long enough = 1LL << 40) {
  if (f.numVars > 22) std::abort();
  std::vector<std::vector<int>> all = f.clauses;
  for (int u : units) all.push_back({u});
  std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.size() < b.size(); });
  long long n = 0;
  Assignment a(static_cast<std::size_t>(f.numVars) + 1);
  for (std::uint32_t x = 0; x < (1u << f.numVars) && n < enough; ++x) {
    for (int v = 1; v <= f.numVars; ++v) a[v] = (x >> (v - 1)) & 1u;
    n += satisfies(a, all);
  }
  return n;
}

class CnfGenerator {
 public:
  explicit CnfGenerator(std::uint32_t seed) : rng_(seed) {}
  int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool coin() { return uniform(0, 1) == 1; }

  // m clauses of k distinct variables each, random polarities.
  Cnf randomKSat(int numVars, int k, int m) {
    Cnf f{"random" + std::to_string(k) + "sat-n" + std::to_string(numVars) + "-m" + std::to_string(m), numVars, {}};
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
  // At about 4.26 clauses per variable both verdicts are common.
  Cnf threshold3Sat(int numVars) { return randomKSat(numVars, 3, static_cast<int>(4.26 * numVars + 0.5)); }

  // Mixed lengths with units, repeated literals, tautologies, variables that
  // occur nowhere and, on request, one empty clause.
  Cnf irregular(int used, int unused, int m, bool emptyClause) {
    Cnf f{"irregular-n" + std::to_string(used) + "-m" + std::to_string(m), used + unused, {}};
    const int emptyAt = emptyClause ? uniform(0, m - 1) : -1;
    for (int c = 0; c < m; ++c) {
      if (c == emptyAt) f.clauses.push_back({});
      std::vector<int> clause;
      const int roll = uniform(0, 9), len = roll == 0 ? 1 : roll <= 2 ? 2 : roll <= 7 ? 3 : 4;
      for (int i = 0; i < len; ++i) clause.push_back(coin() ? uniform(1, used) : -uniform(1, used));
      if (uniform(0, 5) == 0) clause.push_back(clause[uniform(0, len - 1)]);
      if (uniform(0, 7) == 0) clause.push_back(-clause[uniform(0, len - 1)]);
      f.clauses.push_back(clause);
    }
    return f;
  }

  // A pyramid of rows of nodes, each with colours variables: every bottom
  // node has a colour; a node whose two supporters have one has one; the
  // top has none. Unsatisfiable, and refuted by resolution alone.
  static Cnf pebbling(int rows, int colours) {
    auto var = [=](int r, int i, int c) { return (r * (2 * rows - r + 1) / 2 + i) * colours + c + 1; };
    Cnf f{"pebbling-" + std::to_string(rows) + "x" + std::to_string(colours), var(rows - 1, 0, colours - 1), {}};
    for (int r = 0; r < rows; ++r)
      for (int i = 0; i < rows - r; ++i)
        for (int a = 0; a < (r ? colours * colours : 1); ++a) {
          std::vector<int> c;
          if (r) c = {-var(r - 1, i, a / colours), -var(r - 1, i + 1, a % colours)};
          for (int k = 0; k < colours; ++k) c.push_back(var(r, i, k));
          f.clauses.push_back(c);
        }
    for (int k = 0; k < colours; ++k) f.clauses.push_back({-var(rows - 1, 0, k)});
    return f;
  }

  // n + 1 pigeons in n holes: unsatisfiable.
  static Cnf pigeonHole(int holes) {
    Cnf f{"pigeonhole-" + std::to_string(holes), (holes + 1) * holes, {}};
    auto var = [holes](int p, int h) { return p * holes + h + 1; };
    for (int p = 0; p <= holes; ++p) {
      f.clauses.emplace_back();
      for (int h = 0; h < holes; ++h) f.clauses.back().push_back(var(p, h));
    }
    for (int h = 0; h < holes; ++h)
      for (int p = 0; p <= holes; ++p)
        for (int q = p + 1; q <= holes; ++q) f.clauses.push_back({-var(p, h), -var(q, h)});
    return f;
  }

 private:
  std::mt19937 rng_;
};

inline std::vector<quelt::Literal> lits(const std::vector<int>& dimacs) {
  std::vector<quelt::Literal> out;
  for (int d : dimacs) out.push_back(quelt::Literal::fromDimacs(d));
  return out;
}

// Creates the variables and adds copies of the clauses, as the reader does.
inline void load(quelt::Solver& s, const Cnf& f) {
  if (f.numVars > 0) s.createVar(static_cast<unsigned>(f.numVars), quelt::dpinterface::ProblemVar, 0, 0);
  for (const auto& c : f.clauses) {
    std::vector<quelt::Literal> copy = lits(c);
    s.addClause(copy, false);
  }
  s.resetSearchLimits();
}

// The solver's model; empty unless it has one entry per variable, in order.
inline Assignment modelOf(const quelt::Solver& s) {
  Assignment a(s.model.size() + 1);
  for (std::size_t i = 0; i < s.model.size(); ++i) {
    if (s.model[i].var() != i + 1) return {};
    a[i + 1] = s.model[i].positive();
  }
  return a.size() == std::max<std::size_t>(s.numVars, 1) ? a : Assignment{};
}

}  // namespace quelt_test
