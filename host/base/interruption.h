// Ctrl+C (SIGINT) and SIGTERM during a long command. The signal is only noted; the command asks
// between its steps, so that it stops where it can remove its temporaries and say so. A second
// signal ends the process at once (the next run removes what it left). On Windows, Ctrl+C
// arrives as SIGINT; closing the console window is not caught.
#pragma once

#include <stdexcept>

namespace tarrow::host {

// Notes the two signals while it lives, and takes the handlers it replaced back at its end.
class InterruptionWatch {
 public:
  InterruptionWatch();
  ~InterruptionWatch();
  InterruptionWatch(const InterruptionWatch&) = delete;
  InterruptionWatch& operator=(const InterruptionWatch&) = delete;
};

// What stopIfInterrupted throws.
class Interrupted : public std::runtime_error {
 public:
  explicit Interrupted(int signal);
  int signal() const { return signal_; }
  // 128 + the signal's number, as a shell reports a command the signal ended: 130, 143.
  int exitStatus() const { return 128 + signal_; }

 private:
  int signal_;
};

// Throws Interrupted when a watch has noted a signal.
void stopIfInterrupted();

}  // namespace tarrow::host
