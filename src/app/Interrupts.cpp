// Signal handlers (see Interrupts.hpp).
#include "app/Interrupts.hpp"

#include <csignal>
#include <cstring>
#include <initializer_list>

#include <signal.h>
#include <unistd.h>

namespace quelt::interrupts {

std::atomic<bool> stopRequested{false};

namespace {

static_assert(std::atomic<bool>::is_always_lock_free, "the flag is written by signal handlers");

volatile std::sig_atomic_t caught = 0;

extern "C" void onStopSignal(int signal) {
  if (caught == 0) caught = signal;
  stopRequested.store(true, std::memory_order_relaxed);
}

void handle(int signal, void (*handler)(int), int flags) {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // Interrupted reads and writes carry on: the flag is all a signal changes.
  action.sa_flags = SA_RESTART | flags;
  sigaction(signal, &action, nullptr);
}

}  // namespace

void install() {
  for (int signal : {SIGINT, SIGTERM, SIGXCPU}) handle(signal, onStopSignal, SA_RESETHAND);
}

int caughtSignal() { return caught; }

const char* signalName(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGXCPU: return "SIGXCPU";
    default: return "a signal";
  }
}

}  // namespace quelt::interrupts
