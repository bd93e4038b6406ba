// The one-line progress display of a long run on a terminal: frames done, points per second and
// time left, written over itself at most four times a second and erased at the end.
#pragma once

#include <chrono>
#include <string>

namespace tarrow::host {

class ProgressDisplay {
 public:
  using Clock = std::chrono::steady_clock;

  explicit ProgressDisplay(Clock::time_point start) : start_(start) {}

  // What to write to the terminal after a frame: the line over the one before it, or nothing
  // when the last one went out less than a quarter of a second ago. The first goes out at once.
  std::string update(int done, int total, long long points, Clock::time_point now);
  // What erases the line, if one was shown.
  std::string erase() const;

  // "frame 12 of 91, 1.25 M points/s, 7 s left": seconds is the time the frames done took.
  static std::string line(int done, int total, long long points, double seconds);

 private:
  Clock::time_point start_;
  Clock::time_point shownAt_{};
  size_t shownLength_ = 0;
  bool shown_ = false;
};

}  // namespace tarrow::host
