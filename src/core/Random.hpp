// The solver's own random generator.
//
// The search draws random numbers for random decisions and phases, and every
// run must repeat exactly. A generator per solver keeps solvers independent
// (several may run in threads of one process), and this one reproduces the
// sequence of the C library's rand() after srand(seed) on GNU systems: an
// additive lagged Fibonacci generator, x[i] = x[i-31] + x[i-3] mod 2^32,
// whose 31 seeds come from a multiplicative congruential generator and whose
// first 310 outputs are dropped. Each draw is x >> 1, in [0, 2^31).
#pragma once

#include <cstdint>

namespace quelt {
namespace util {

class Random {
 public:
  explicit Random(std::uint32_t seed = 1) { reseed(seed); }

  void reseed(std::uint32_t seed) {
    std::int64_t word = seed == 0 ? 1 : static_cast<std::int32_t>(seed);
    state[0] = static_cast<std::uint32_t>(word);
    for (int i = 1; i < kDegree; ++i) {
      // 16807 * word mod (2^31 - 1), without overflow (Schrage's method).
      const std::int64_t hi = word / 127773, lo = word % 127773;
      word = 16807 * lo - 2836 * hi;
      if (word < 0) word += 2147483647;
      state[i] = static_cast<std::uint32_t>(word);
    }
    front = kSeparation;
    rear = 0;
    for (int i = 0; i < 10 * kDegree; ++i) next();
  }

  // The next draw, in [0, 2^31).
  std::uint32_t next() {
    const std::uint32_t value = state[front] += state[rear];
    if (++front == kDegree) front = 0;
    if (++rear == kDegree) rear = 0;
    return value >> 1;
  }

 private:
  static constexpr int kDegree = 31;
  static constexpr int kSeparation = 3;
  std::uint32_t state[kDegree];
  int front = kSeparation;
  int rear = 0;
};

}  // namespace util
}  // namespace quelt
