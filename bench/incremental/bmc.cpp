// Incremental benchmark: bounded model checking of a small circuit, one
// growing formula and one solve per step, run through quelt's IPASIR
// interface and through CaDiCaL's C++ library in the same process.
//
// The circuit is unrolled step by step; step t adds the transition from
// state t-1 to state t and an activation literal a_t that, assumed, asks
// "is the property violated at step t?". Each step is one solve under a_t.
//
//   counter  a B-bit counter that increments when a free input is 1; the
//            property "not all ones" first fails at step 2^B - 1, so every
//            earlier solve is unsatisfiable and the last one satisfiable.
//   miter    two B-bit counters on the same free input, one with a ripple
//            carry and one with the carries written out in full; the
//            property "they agree" never fails: every solve is
//            unsatisfiable, each a small equivalence proof.
//   --timer D adds to the miter a free-running D-bit timer and to the
//            property "the timer is not all ones", which then first fails
//            at step 2^D - 1, found by propagation alone; the earlier steps
//            are the miter's proofs.
//   recall   the counter, asked about its past: step t asks whether the
//            counter can hold v_t at step o = t - L (--lag L; step 0 while
//            t <= L) and w_t = v_t + d_t at step t, with one carry of a
//            step before o assumed false. v_t is written as a new literal
//            p_t with clauses over the state variables of step o, and the
//            carry is named by an assumption only; neither solver is ever
//            told that these variables stay in use (no freezing), so by
//            then an inprocessing solver may well have eliminated them.
//            v_t = o / 2 is reachable, and the carry, outside the window,
//            leaves slack to reach it; d_t is one less than, equal to and
//            one more than the t - o steps in between in turn, so every
//            third step is unsatisfiable by counting and the others are
//            satisfiable. The run does not stop at a satisfiable step, and
//            each solver's verdicts are also checked against these.
//
//   bench-incremental [--family counter|miter|recall] [--bits B] [--timer D]
//                     [--lag L] [--steps S] [--solver both|quelt|cadical]
//
// Prints which CaDiCaL it was linked with, then, for each solver, the
// number of solves, how many were satisfiable, the first satisfiable step
// and the CPU time, then quelt's time over CaDiCaL's. Exit status 1 when
// the two disagree on any step, or for recall when either disagrees with
// the verdicts known by construction.
#include <cadical.hpp>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "quelt/ipasir.h"

#ifndef QUELT_BENCH_CADICAL_LIBRARY
#define QUELT_BENCH_CADICAL_LIBRARY "unknown path"
#endif

namespace {

enum class Family { counter, miter, recall };

double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

struct QueltBackend {
  void* s = ipasir_init();
  ~QueltBackend() { ipasir_release(s); }
  void add(int lit) { ipasir_add(s, lit); }
  void assume(int lit) { ipasir_assume(s, lit); }
  int solve() { return ipasir_solve(s); }
};

struct CadicalBackend {
  CaDiCaL::Solver s;
  void add(int lit) { s.add(lit); }
  void assume(int lit) { s.assume(lit); }
  int solve() { return s.solve(); }
};

// Writes the unrolling clause by clause into a backend.
template <class B>
class Unroller {
 public:
  Unroller(B& backend, Family family, int bits, int timer, int lag)
      : b(backend), miter(family == Family::miter), recall(family == Family::recall), bits(bits), timer(timer),
        lag(lag) {}

  // The initial state: every counter bit 0.
  void init() {
    cur = fresh(bits * (miter ? 2 : 1) + timer);
    for (int v : cur) clause({-v});
    one = fresh(1)[0];
    clause({one});
    states.push_back(cur);
    carries.emplace_back();
  }

  // Adds step t and returns the literals its solve assumes.
  std::vector<int> step() {
    const int input = fresh(1)[0];
    std::vector<int> next = ripple(input, 0, bits);
    if (recall) {
      carries.push_back(lastCarries);
      states.push_back(next);
    }
    if (miter) {
      std::vector<int> other = lookahead(input, bits);
      next.insert(next.end(), other.begin(), other.end());
    }
    if (timer > 0) {
      std::vector<int> t = ripple(one, 2 * bits, timer);
      next.insert(next.end(), t.begin(), t.end());
    }
    cur = next;
    const int act = fresh(1)[0];
    if (recall) return recallStep(act);
    if (!miter) {
      for (int i = 0; i < bits; ++i) clause({-act, cur[i]});
      return {act};
    }
    // act -> some bit differs between the two counters, or the timer is
    // all ones.
    std::vector<int> some{-act};
    if (timer > 0) {
      const int full = fresh(1)[0];
      std::vector<int> all{full};
      for (int i = 0; i < timer; ++i) clause({-full, cur[2 * bits + i]}), all.push_back(-cur[2 * bits + i]);
      clause(all);
      some.push_back(full);
    }
    for (int i = 0; i < bits; ++i) {
      const int d = fresh(1)[0];
      xorGate(d, cur[i], cur[bits + i]);
      some.push_back(d);
    }
    clause(some);
    return {act};
  }

 private:
  B& b;
  bool miter, recall;
  int bits, timer, lag, one = 0, vars = 0;
  std::vector<int> cur;
  // For recall: the state and the carries of every step so far (step 0 has
  // no carries), and the carries of the last ripple counter written.
  std::vector<std::vector<int>> states, carries;
  std::vector<int> lastCarries;

  // act asks for w_t now, p_t for v_t at step o; one carry of a step
  // before o is assumed false. The carry is kept out of the window, where
  // it cannot stop the counting, and o / 2 increments in o steps leave
  // slack around it: the window alone decides the verdict.
  std::vector<int> recallStep(int act) {
    const int t = static_cast<int>(states.size()) - 1;
    const int o = t > lag ? t - lag : 0;
    const int mask = (1 << bits) - 1;
    const int v = (o / 2) & mask, w = (v + (t - o) - 1 + t % 3) & mask;
    const int p = fresh(1)[0];
    const std::vector<int>& old = states[static_cast<std::size_t>(o)];
    for (int i = 0; i < bits; ++i) {
      clause({-act, (w >> i & 1) ? cur[i] : -cur[i]});
      clause({-p, (v >> i & 1) ? old[i] : -old[i]});
    }
    std::vector<int> assumed{act, p};
    const int s = o - 1 - t % 4;
    if (s >= 1) assumed.push_back(-carries[static_cast<std::size_t>(s)][static_cast<std::size_t>(t % (bits - 1))]);
    return assumed;
  }

  std::vector<int> fresh(int n) {
    std::vector<int> v;
    for (int i = 0; i < n; ++i) v.push_back(++vars);
    return v;
  }
  void clause(std::initializer_list<int> c) {
    for (int l : c) b.add(l);
    b.add(0);
  }
  void clause(const std::vector<int>& c) {
    for (int l : c) b.add(l);
    b.add(0);
  }
  void andGate(int o, int x, int y) { clause({-o, x}), clause({-o, y}), clause({o, -x, -y}); }
  void xorGate(int o, int x, int y) {
    clause({-o, x, y}), clause({-o, -x, -y}), clause({o, -x, y}), clause({o, x, -y});
  }

  // The counter of the given width whose bits start at cur[base],
  // incremented when input is true: bit i flips when the carry into it is
  // true, the carry into bit i+1 being bit i and the carry into bit i.
  std::vector<int> ripple(int input, int base, int width) {
    std::vector<int> next = fresh(width);
    int carry = input;
    lastCarries.clear();
    for (int i = 0; i < width; ++i) {
      xorGate(next[i], cur[base + i], carry);
      if (i + 1 == width) break;
      const int c = fresh(1)[0];
      andGate(c, cur[base + i], carry);
      lastCarries.push_back(c);
      carry = c;
    }
    return next;
  }

  // The same counter with each carry one wide AND of the input and all
  // lower bits.
  std::vector<int> lookahead(int input, int base) {
    std::vector<int> next = fresh(bits);
    for (int i = 0; i < bits; ++i) {
      const int c = fresh(1)[0];
      std::vector<int> all{c, -input};
      clause({-c, input});
      for (int j = 0; j < i; ++j) clause({-c, cur[base + j]}), all.push_back(-cur[base + j]);
      clause(all);
      xorGate(next[i], cur[base + i], c);
    }
    return next;
  }
};

struct Outcome {
  std::vector<int> results;
  double seconds = 0;
};

template <class B>
Outcome runBmc(Family family, int bits, int timer, int lag, int steps) {
  const double start = cpuSeconds();
  Outcome out;
  {
    B backend;
    Unroller<B> u(backend, family, bits, timer, lag);
    u.init();
    for (int t = 1; t <= steps; ++t) {
      for (int lit : u.step()) backend.assume(lit);
      out.results.push_back(backend.solve());
      // The property fails: a trace of length t. recall asks on.
      if (out.results.back() == 10 && family != Family::recall) break;
    }
  }
  out.seconds = cpuSeconds() - start;
  return out;
}

// recall's verdicts: step t is unsatisfiable when its window asks for one
// increment more than it has steps (t % 3 == 2), satisfiable otherwise.
std::vector<int> recallVerdicts(int steps) {
  std::vector<int> v;
  for (int t = 1; t <= steps; ++t) v.push_back(t % 3 == 2 ? 20 : 10);
  return v;
}

void print(const char* name, const Outcome& o) {
  int sat = 0, first = 0, unknown = 0;
  for (std::size_t i = 0; i < o.results.size(); ++i) {
    if (o.results[i] == 10 && sat++ == 0) first = static_cast<int>(i) + 1;
    if (o.results[i] != 10 && o.results[i] != 20) ++unknown;
  }
  std::printf("%-8s solves %zu  sat %d (first at step %d)  unknown %d  cpu %.3f s\n", name, o.results.size(), sat,
              first, unknown, o.seconds);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::string name = "counter", which = "both";
  int bits = 8, timer = 0, steps = -1, lag = -1;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--family"))
      name = argv[i + 1];
    else if (!std::strcmp(argv[i], "--bits"))
      bits = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--timer"))
      timer = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--lag"))
      lag = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--steps"))
      steps = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--solver"))
      which = argv[i + 1];
    else
      return std::fprintf(stderr, "unknown option %s\n", argv[i]), 2;
  }
  const Family family = name == "miter" ? Family::miter : name == "recall" ? Family::recall : Family::counter;
  if (lag < 0) lag = family == Family::recall ? 16 : 0;
  // recall needs a carry to assume (two bits) and L + 1 increments that
  // do not wrap around.
  const bool recallOk = family != Family::recall || (bits >= 2 && lag >= 1 && lag + 1 < (1 << bits));
  if ((family == Family::counter && name != "counter") || bits < 1 || bits > 20 || timer < 0 || timer > 20 ||
      (timer > 0 && family != Family::miter) || (lag > 0 && family != Family::recall) || !recallOk ||
      argc % 2 == 0)
    return std::fprintf(stderr,
                        "usage: %s [--family counter|miter|recall] [--bits B] [--timer D] [--lag L] [--steps S] "
                        "[--solver both|quelt|cadical]\n",
                        argv[0]),
           2;
  if (steps < 0)
    steps = timer > 0                    ? (1 << timer) - 1
            : family == Family::miter    ? 2000
            : family == Family::recall   ? (1 << bits) + 2 * lag
                                         : (1 << bits) - 1;
  std::printf("CaDiCaL %s (%s)\n", CaDiCaL::Solver::version(), QUELT_BENCH_CADICAL_LIBRARY);
  if (family == Family::recall)
    std::printf("%s, %d bits, lag %d steps, %d steps\n", name.c_str(), bits, lag, steps);
  else
    std::printf("%s, %d bits, timer %d bits, up to %d steps\n", name.c_str(), bits, timer, steps);
  Outcome q, c;
  if (which != "cadical") print("quelt", q = runBmc<QueltBackend>(family, bits, timer, lag, steps));
  if (which != "quelt") print("cadical", c = runBmc<CadicalBackend>(family, bits, timer, lag, steps));
  if (family == Family::recall) {
    const std::vector<int> expected = recallVerdicts(steps);
    for (const auto& [solver, o] : {std::pair{"quelt", &q}, std::pair{"cadical", &c}})
      if ((which == "both" || which == solver) && o->results != expected)
        return std::fprintf(stderr, "%s: verdicts differ from those known by construction\n", solver), 1;
  }
  if (which != "both") return 0;
  std::printf("quelt / cadical cpu: %.2f\n", c.seconds > 0 ? q.seconds / c.seconds : 0.0);
  if (q.results != c.results) return std::fprintf(stderr, "the solvers disagree\n"), 1;
  return 0;
}
