// What may end a solve before its verdict, and the one check that reads it.
//
// A solve stops when any of these says so: the CPU-time limit (the
// solver's params.timeLimit, an absolute figure of process CPU seconds), a
// wall-clock deadline, a number of conflicts, of propagations or of
// decisions, a flag raised from outside (a
// signal handler, the first verdict of a portfolio), the solver's own
// interrupt flag, or a caller's terminate callback. The facade sets them
// (lib/Facade.hpp); the engine only reads them.
//
// The search polls the check before every propagation. The flags, the
// counts and the callback are read at every poll; the clocks only
// at the first poll of a search run and then after kClockPolls polls or
// kClockPropagations propagations, whichever comes first: reading a clock
// is a system call, dearer than a whole iteration on easy formulas, and a
// few milliseconds are far below the resolution of any limit. Long steps
// outside the search loop (preprocessing rounds) ask now(), which reads
// everything.
//
// The memory limit is not here: the clause arena enforces it where memory
// is taken (core/ClauseArena.hpp).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "core/Clock.hpp"
#include "params/SearchParams.hpp"

namespace quelt {

class StopCheck {
 public:
  static constexpr std::uint32_t kClockPolls = 1024;
  static constexpr std::uint32_t kClockPropagations = 1u << 16;

  // ---- Settings -------------------------------------------------------------
  // Raised from outside; not owned.
  const std::atomic<bool>* flag = nullptr;
  // Raised by interrupt(), from any thread or a signal handler; the facade
  // lowers it when a solve ends.
  std::atomic<bool> interrupted{false};
  // Polled like the flags; true stops the solve.
  std::function<bool()> terminate;
  // Stop once the conflict, propagation or decision counter reaches this
  // value; negative: never.
  std::int64_t conflictEnd = -1;
  std::int64_t propagationEnd = -1;
  std::int64_t decisionEnd = -1;
  bool hasDeadline = false;
  WallClock::time_point deadline;

  // ---- The check ------------------------------------------------------------
  // A search run begins: its first poll reads the clocks.
  void beginRun(std::uint32_t propagations) {
    countdown = 0;
    lastPropagations = propagations;
    clockSaysStop = false;
  }
  // Whether to stop now; cpuLimit is the absolute CPU limit in seconds.
  bool poll(std::uint32_t cpuLimit, std::uint32_t conflicts, std::uint32_t propagations, std::uint32_t decisions) {
    if (cpuLimit != SearchParams::kNoTimeLimit || hasDeadline) {
      if (countdown == 0 || propagations - lastPropagations >= kClockPropagations) {
        countdown = kClockPolls;
        lastPropagations = propagations;
        clockSaysStop = clocksReached(cpuLimit);
      } else {
        --countdown;
      }
    }
    return clockSaysStop || requested(conflicts, propagations, decisions);
  }
  // The same, reading the clocks whatever the countdown says.
  bool now(std::uint32_t cpuLimit, std::uint32_t conflicts, std::uint32_t propagations,
           std::uint32_t decisions) const {
    return clocksReached(cpuLimit) || requested(conflicts, propagations, decisions);
  }

 private:
  bool clocksReached(std::uint32_t cpuLimit) const {
    return (cpuLimit != SearchParams::kNoTimeLimit && cpuSeconds() >= cpuLimit) ||
           (hasDeadline && wallTime() >= deadline);
  }
  static bool reached(std::int64_t end, std::uint32_t count) {
    return end >= 0 && static_cast<std::int64_t>(count) >= end;
  }
  bool requested(std::uint32_t conflicts, std::uint32_t propagations, std::uint32_t decisions) const {
    return (flag != nullptr && flag->load(std::memory_order_relaxed)) ||
           interrupted.load(std::memory_order_relaxed) || reached(conflictEnd, conflicts) ||
           reached(propagationEnd, propagations) || reached(decisionEnd, decisions) || (terminate && terminate());
  }

  std::uint32_t countdown = 0;
  std::uint32_t lastPropagations = 0;
  bool clockSaysStop = false;
};

}  // namespace quelt
