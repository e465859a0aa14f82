// Stopping a run from outside: signals.
//
// SIGINT, SIGTERM and SIGXCPU (a scheduler's CPU limit) ask the search to
// stop: the handler only raises stopRequested, which the search reads where
// it checks its time limit, so the run ends as after a time-out, with its
// result lines, its figures and a complete proof file. Each handler is
// one-shot: a second signal of the same kind takes its default action and
// ends the process at once. (The wall-clock limit is a deadline of the stop
// check itself, engine/Limits.hpp.)
#pragma once

#include <atomic>

namespace quelt::interrupts {

// Raised by the handlers; hand it to the solver as its stop flag.
extern std::atomic<bool> stopRequested;

// Installs the three handlers.
void install();
// The signal that asked to stop (SIGINT, SIGTERM or SIGXCPU), 0 for none.
int caughtSignal();
// Its name, e.g. "SIGINT".
const char* signalName(int signal);

}  // namespace quelt::interrupts
