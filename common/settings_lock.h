// The lock between an instance's settings and the copy newTime takes of them. The settings are
// written on the host's interface thread (panel edits, load, copy) while other threads may be
// starting a frame; newTime copies them under this lock, and the per-point path never takes it.
#pragma once

#include <atomic>

namespace tarrow {

// A spin lock: held for a handful of assignments at a time, it never allocates and never throws,
// which every entry the host calls needs (a std::mutex may throw when it cannot lock).
class SettingsLock {
 public:
  void lock() noexcept {
    while (held_.test_and_set(std::memory_order_acquire)) {
      held_.wait(true, std::memory_order_relaxed);
    }
  }
  void unlock() noexcept {
    held_.clear(std::memory_order_release);
    held_.notify_one();
  }

 private:
  std::atomic_flag held_;
};

}  // namespace tarrow
