#include "host/base/interruption.h"

#include <atomic>
#include <csignal>
#include <string>

namespace tarrow::host {
namespace {

// Written by the handler, which may touch nothing but lock-free atomics (on Windows it runs on a
// thread of its own).
std::atomic<int> noted{0};
static_assert(std::atomic<int>::is_always_lock_free);

using Handler = void (*)(int);
Handler replacedInterrupt = SIG_DFL;
Handler replacedTerminate = SIG_DFL;

void noteSignal(int signal) {
  noted.store(signal);
  // The next one of the same kind is not waited for.
  std::signal(signal, SIG_DFL);
}

}  // namespace

InterruptionWatch::InterruptionWatch() {
  noted.store(0);
  replacedInterrupt = std::signal(SIGINT, noteSignal);
  replacedTerminate = std::signal(SIGTERM, noteSignal);
}

InterruptionWatch::~InterruptionWatch() {
  std::signal(SIGINT, replacedInterrupt == SIG_ERR ? SIG_DFL : replacedInterrupt);
  std::signal(SIGTERM, replacedTerminate == SIG_ERR ? SIG_DFL : replacedTerminate);
}

Interrupted::Interrupted(int signal)
    : std::runtime_error(std::string("interrupted by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM") +
                         "; nothing was written"),
      signal_(signal) {}

void stopIfInterrupted() {
  if (const int signal = noted.load()) throw Interrupted(signal);
}

}  // namespace tarrow::host
