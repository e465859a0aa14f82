// The clocks: the process's CPU time and the elapsed (wall-clock) time.
//
// Every time limit, rate and run-time figure of the system reads them
// here and nowhere else. CPU time is the standard processor-time clock
// (std::clock, in microseconds on every POSIX system), summed over all
// threads of the process; reading it is a system call, which is why the
// search reads it only every so often (engine/Limits.hpp). Elapsed time is
// the monotonic clock, which no change of the system's date moves.
#pragma once

#include <chrono>
#include <ctime>

namespace quelt {

// CPU seconds used by the process so far, with their fraction.
inline double cpuTime() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// Whole CPU seconds used by the process so far (the fraction dropped).
inline unsigned cpuSeconds() { return static_cast<unsigned>(static_cast<unsigned long>(std::clock()) / CLOCKS_PER_SEC); }

using WallClock = std::chrono::steady_clock;
inline WallClock::time_point wallTime() { return WallClock::now(); }

}  // namespace quelt
