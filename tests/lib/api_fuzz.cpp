// Random call sequences through the C++ interface and IPASIR against
// CaDiCaL's library: one small growing formula per sequence with
// assumptions, solves (some limited), freezes, melts and parameter changes
// (preprocessing among them) under a random configuration. See
// tests/fuzz/README.md.
//
//   api_fuzz [--seed S] [--count N] [--show] [--keep-going]
//
// Sequence i of seed S depends on (S, i) only. A failing sequence is shrunk
// and printed call by call, and the exit status is 1.
#include <cadical.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "quelt/ipasir.h"
#include "quelt/quelt.hpp"

namespace {

struct Rng {
  std::uint64_t x;
  std::uint64_t next() {  // splitmix64
    std::uint64_t z = (x += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
  bool chance(int percent) { return below(100) < percent; }
  int lit(int vars) { return (chance(50) ? 1 : -1) * (1 + below(vars)); }
};

enum Kind { Add, AddLits, Assume, Solve, Freeze, Melt, Param };
const char* const kKindNames[] = {"add", "add-lits", "assume", "solve", "freeze", "melt", "param"};
const char* const kParams[] = {"sp-resolution", "sp-use-pure-literal-rule", "preprocess", "modern"};
const char* const kPresets[] = {"default", "default-inc", "autotuned-kz_1_0", "autotuned-kz_1_1",
                                "sw-verification"};

// One call. Solve: lits are the assumptions passed to the call itself.
// Param: lits are {index in kParams, value}.
struct Op {
  Kind kind;
  std::vector<int> lits;
  std::int64_t limit = -1;
};

struct Config {
  bool ipasir = false;
  std::string preset = "default";
  int resolution = -1;  // -1: the preset's
  bool pure = false;
  bool preprocess = false;
  bool modern = false;
};

struct Sequence {
  Config cfg;
  std::vector<Op> ops;
};

std::string text(const Sequence& s) {
  std::ostringstream os;
  if (s.cfg.ipasir)
    os << "ipasir\n";
  else
    os << "api preset " << s.cfg.preset << " sp-resolution " << s.cfg.resolution << " pure " << s.cfg.pure
       << " preprocess " << s.cfg.preprocess << " modern " << s.cfg.modern << '\n';
  for (const Op& o : s.ops) {
    os << kKindNames[o.kind];
    if (o.kind == Param) os << ' ' << kParams[o.lits[0]] << ' ' << o.lits[1];
    for (std::size_t i = 0; o.kind != Param && i < o.lits.size(); ++i) os << ' ' << o.lits[i];
    if (o.limit >= 0) os << " limit " << o.limit;
    os << '\n';
  }
  return os.str();
}

// Quelt through one of its two interfaces. Under IPASIR a conflict limit
// becomes a terminate callback that answers true at its limit-th poll.
class Quelt {
 public:
  explicit Quelt(const Config& c) {
    if (c.ipasir) {
      h = ipasir_init();
      ipasir_set_terminate(h, &budget, [](void* d) {
        auto& b = *static_cast<std::int64_t*>(d);
        return b < 0 ? 0 : b == 0 ? 1 : (--b, 0);
      });
      return;
    }
    s = std::make_unique<quelt::api::Solver>(c.preset);
    if (c.resolution >= 0) s->setParameter("sp-resolution", c.resolution);
    if (c.pure) s->setParameter("sp-use-pure-literal-rule", 1);
    if (c.preprocess) s->setParameter("preprocess", 1);
    s->setParameter("modern", c.modern ? 1 : 0);
  }
  ~Quelt() { h ? ipasir_release(h) : void(); }
  void clause(const std::vector<int>& c, bool byLiteral) {
    if (s && !byLiteral) return s->addClause(c);
    for (int l : c) h ? ipasir_add(h, l) : s->add(l);
    h ? ipasir_add(h, 0) : s->add(0);
  }
  void assume(int l) { h ? ipasir_assume(h, l) : s->assume(l); }
  int solve(const std::vector<int>& assumptions, std::int64_t limit) {
    if (s) return static_cast<int>(s->solve(assumptions, quelt::api::Limits{limit, -1}));
    for (int l : assumptions) ipasir_assume(h, l);
    budget = limit;
    const int r = ipasir_solve(h);
    budget = -1;
    return r;
  }
  int value(int lit) { return s ? s->value(lit) : ipasir_val(h, lit); }
  bool failed(int lit) { return s ? s->failed(lit) : ipasir_failed(h, lit) != 0; }
  quelt::api::Solver* api() { return s.get(); }

 private:
  void* h = nullptr;
  std::unique_ptr<quelt::api::Solver> s;
  std::int64_t budget = -1;
};

template <class F>
bool throwsLogicError(F f) {
  try {
    f();
  } catch (const std::logic_error&) {
    return true;
  }
  return false;
}

struct Stats {
  std::uint64_t sequences = 0, ipasir = 0, solves = 0, byResult[21] = {};
};

using Clauses = std::vector<std::vector<int>>;

// What is wrong with the answer r of a solve under assumptions `as`, given
// the reference's verdict `want`; empty when nothing is.
std::string check(const Config& cfg, Quelt& q, CaDiCaL::Solver& ref, const Clauses& clauses, const std::vector<int>& as,
                  int r, int want, bool limited, int maxVar) {
  std::ostringstream e;
  if (r != want && !(r == 0 && limited)) return e << "quelt answers " << r << ", the reference " << want, e.str();
  quelt::api::Solver* api = q.api();
  if (api && api->maxVar() != maxVar) return e << "maxVar() is " << api->maxVar() << ", not " << maxVar, e.str();
  if (api && r != 10 && !throwsLogicError([&] { api->value(1); })) return "value() answers without a model";
  if (api && r != 20 && !throwsLogicError([&] { api->failed(1); })) return "failed() answers without a refutation";
  if (r == 10) {
    for (int v = 1; v <= maxVar; ++v) {
      const int x = q.value(v);
      if ((x != v && x != -v && (api || x != 0)) || q.value(-v) != x) return e << "value of " << v << " is " << x, e.str();
      if (api && api->model()[v - 1] != x) return e << "model() disagrees with value() on " << v, e.str();
    }
    for (int a : as)
      if (q.value(a) != a) return e << "the model falsifies assumption " << a, e.str();
    for (const auto& c : clauses)
      if (std::none_of(c.begin(), c.end(), [&](int l) { return q.value(l) == l; }))
        return e << "the model falsifies clause " << &c - &clauses[0] + 1, e.str();
  }
  if (r != 20) return "";
  std::vector<int> failed;
  for (int a : as)
    if (q.failed(a)) failed.push_back(a);
  if (api) {
    std::vector<int> listed = api->failedAssumptions(), unique = failed;
    std::sort(listed.begin(), listed.end());
    std::sort(unique.begin(), unique.end());
    unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
    if (listed != unique) return "failedAssumptions() is not the set of assumptions failed() names";
  }
  Quelt fresh(cfg);
  for (const auto& c : clauses) fresh.clause(c, false);
  for (int a : failed) ref.assume(a);
  if (fresh.solve(failed, -1) != 20 || ref.solve() != 20)
    return e << "the failed assumptions (" << failed.size() << " of " << as.size() << ") are not refuted alone", e.str();
  return "";
}

// Runs a sequence; the first thing found wrong, or empty.
std::string run(const Sequence& seq, Stats* st) {
  Quelt q(seq.cfg);
  CaDiCaL::Solver ref;
  ref.set("quiet", 1);
  Clauses clauses;
  std::vector<int> assumed;
  std::map<int, int> frozen;
  int maxVar = 0;
  auto see = [&](int l) { maxVar = std::max(maxVar, std::abs(l)); };
  for (std::size_t i = 0; i < seq.ops.size(); ++i) {
    const Op& o = seq.ops[i];
    const std::string at = "call " + std::to_string(i + 1) + " (" + kKindNames[o.kind] + "): ";
    try {
      switch (o.kind) {
        case Add:
        case AddLits:
          q.clause(o.lits, o.kind == AddLits);
          for (int l : o.lits) ref.add(l), see(l);
          ref.add(0);
          clauses.push_back(o.lits);
          break;
        case Assume:
          q.assume(o.lits[0]);
          assumed.push_back(o.lits[0]);
          see(o.lits[0]);
          break;
        case Freeze:
          q.api()->freeze(o.lits[0]);
          ++frozen[o.lits[0]];
          see(o.lits[0]);
          break;
        case Melt:
          if (frozen[o.lits[0]] == 0) break;  // its freeze was shrunk away
          q.api()->melt(o.lits[0]);
          if (q.api()->frozen(o.lits[0]) != (--frozen[o.lits[0]] > 0)) return at + "frozen() is wrong after melt";
          break;
        case Param:
          q.api()->setParameter(kParams[o.lits[0]], o.lits[1]);
          break;
        case Solve: {
          for (int l : o.lits) assumed.push_back(l), see(l);
          const int r = q.solve(o.lits, o.limit);
          for (int a : assumed) ref.assume(a);
          const int want = ref.solve();
          if (st) ++st->solves, ++st->byResult[r];
          const std::string why = check(seq.cfg, q, ref, clauses, assumed, r, want, o.limit >= 0, maxVar);
          if (!why.empty()) return at + why;
          assumed.clear();
          break;
        }
      }
    } catch (const std::exception& ex) {
      return at + "unexpected exception: " + ex.what();
    }
  }
  return "";
}

Sequence generate(std::uint64_t seed) {
  Rng r{seed};
  Sequence s;
  s.cfg.ipasir = r.chance(25);
  if (!s.cfg.ipasir) {
    s.cfg.preset = kPresets[r.below(5)];
    s.cfg.resolution = r.below(3) == 0 ? -1 : 1 + r.below(2);
    s.cfg.pure = r.chance(50);
    s.cfg.preprocess = r.chance(40);
    s.cfg.modern = r.chance(50);
  }
  const int n = 5 + r.below(36);  // variables at the end
  const int mix = r.below(3);     // clause lengths: 3; 2 and 3; 3 and 4
  const double density = (mix == 0 ? 4.3 : mix == 1 ? 1.9 : 6.5) * (60 + r.below(70)) / 100.0;
  const int rounds = 2 + r.below(8);
  const int perRound = std::max(1, static_cast<int>(n * density) / rounds);
  int live = std::max(3, n / 2);
  std::vector<int> frozen;
  for (int round = 0; round < rounds; ++round, live = std::min(n, live + 1 + n / rounds)) {
    for (int i = 0; i < perRound; ++i) {
      const int k = r.chance(4) ? 1 : mix == 0 ? 3 : mix == 1 ? 2 + r.below(2) : 3 + r.below(2);
      Op o{s.cfg.ipasir || r.chance(70) ? Add : AddLits, {}};
      for (int j = 0; j < k; ++j) o.lits.push_back(r.lit(live));
      s.ops.push_back(o);
    }
    if (!s.cfg.ipasir) {
      if (r.chance(40)) frozen.push_back(1 + r.below(n)), s.ops.push_back({Freeze, {frozen.back()}});
      if (!frozen.empty() && r.chance(30)) {
        std::swap(frozen[r.below(static_cast<int>(frozen.size()))], frozen.back());
        s.ops.push_back({Melt, {frozen.back()}});
        frozen.pop_back();
      }
      if (r.chance(10)) {
        const int k = r.below(4);
        s.ops.push_back({Param, {k, k == 0 ? r.below(3) : r.below(2)}});
      }
    }
    // Now and then a burst of solves whose assumptions change every time,
    // as a client probing literal by literal does.
    for (int solves = r.chance(25) ? 4 + r.below(10) : 1 + r.below(2); solves > 0; --solves) {
      Op solve{Solve, {}, r.chance(20) ? r.below(r.chance(50) ? 3 : 40) : -1};
      for (int a = r.below(5); a > 0; --a) {
        const int l = r.chance(10) ? r.lit(n) : r.lit(live);
        if (!s.cfg.ipasir && r.chance(50))
          solve.lits.push_back(l);
        else
          s.ops.push_back({Assume, {l}});
      }
      s.ops.push_back(solve);
    }
  }
  return s;
}

// Removes calls, then literals and limits, while the sequence still fails.
Sequence shrink(Sequence s, std::string& why) {
  auto fails = [&](const Sequence& t) {
    const std::string e = run(t, nullptr);
    return e.empty() ? false : (why = e, true);
  };
  for (bool changed = true; changed;) {
    changed = false;
    for (std::size_t chunk = s.ops.size() / 2; chunk >= 1; chunk /= 2)
      for (std::size_t i = 0; i + chunk <= s.ops.size();) {
        Sequence t = s;
        t.ops.erase(t.ops.begin() + static_cast<long>(i), t.ops.begin() + static_cast<long>(i + chunk));
        if (fails(t))
          s = t, changed = true;
        else
          i += chunk;
      }
    for (std::size_t i = 0; i < s.ops.size(); ++i) {
      if (s.ops[i].kind != Add && s.ops[i].kind != AddLits && s.ops[i].kind != Solve) continue;
      Sequence t = s;
      t.ops[i].limit = -1;
      if (s.ops[i].limit >= 0 && fails(t)) s = t, changed = true;
      for (std::size_t j = 0; j < s.ops[i].lits.size();) {
        t = s;
        t.ops[i].lits.erase(t.ops[i].lits.begin() + static_cast<long>(j));
        if (fails(t))
          s = t, changed = true;
        else
          ++j;
      }
    }
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t seed = 1, count = 100, failures = 0;
  bool show = false, keepGoing = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--seed" && i + 1 < argc)
      seed = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--count" && i + 1 < argc)
      count = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--show" || a == "--keep-going")
      (a == "--show" ? show : keepGoing) = true;
    else
      return std::cerr << "usage: api_fuzz [--seed S] [--count N] [--show] [--keep-going]\n", 2;
  }
  Stats st;
  for (std::uint64_t i = 0; i < count && (keepGoing || failures == 0); ++i) {
    const Sequence seq = generate(seed << 32 ^ i);
    if (show) std::cout << "sequence " << seed << ':' << i << '\n' << text(seq) << std::flush;
    ++st.sequences;
    st.ipasir += seq.cfg.ipasir;
    std::string why = run(seq, &st);
    if (why.empty()) continue;
    ++failures;
    std::cout << "sequence " << seed << ':' << i << ": " << why << std::endl;
    const Sequence small = shrink(seq, why);
    std::cout << "shrunk to " << small.ops.size() << " calls: " << why << '\n' << text(small) << std::flush;
  }
  std::cout << "sequences " << st.sequences << " (ipasir " << st.ipasir << ") solves " << st.solves << " sat "
            << st.byResult[10] << " unsat " << st.byResult[20] << " unknown " << st.byResult[0] << " disagreements "
            << failures << '\n';
  return failures > 0 ? 1 : 0;
}
