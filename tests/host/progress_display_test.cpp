#include "host/run/progress_display.h"

#include <gtest/gtest.h>

namespace tarrow::host {
namespace {

using namespace std::chrono_literals;

struct LineCase {
  int done, total;
  long long points;
  double seconds;
  const char* expected;
};

const LineCase lineCases[] = {
    {0, 91, 0, 0.0, "frame 0 of 91"},
    {1, 91, 34, 0.0, "frame 1 of 91"},
    {10, 100, 500, 2.0, "frame 10 of 100, 250 points/s, 18 s left"},
    {45, 90, 4'500'000, 1.0, "frame 45 of 90, 4.50 M points/s, 1 s left"},
    {1, 200, 25'000, 2.0, "frame 1 of 200, 12.5 k points/s, 6 min 38 s left"},
    {3, 1000, 3'000'000, 40.0, "frame 3 of 1000, 75.0 k points/s, 3 h 41 min left"},
    {7, 7, 70, 0.5, "frame 7 of 7, 140 points/s, 0 s left"},
};

TEST(ProgressDisplay, LineSaysFramesRateAndTimeLeft) {
  for (const LineCase& c : lineCases) {
    EXPECT_EQ(ProgressDisplay::line(c.done, c.total, c.points, c.seconds), c.expected);
  }
}

TEST(ProgressDisplay, WritesOverItselfAtMostFourTimesASecond) {
  const auto start = ProgressDisplay::Clock::time_point{} + 1h;
  ProgressDisplay display(start);
  EXPECT_EQ(display.erase(), "") << "nothing shown, nothing to erase";

  const std::string first = display.update(1, 100, 10, start + 10ms);
  EXPECT_EQ(first.substr(0, 14), "\rframe 1 of 10") << "the first frame shows at once";
  EXPECT_EQ(display.update(2, 100, 20, start + 100ms), "");
  EXPECT_EQ(display.update(3, 100, 30, start + 259ms), "");
  const std::string later = display.update(4, 100, 400'000, start + 260ms);
  EXPECT_EQ(later, "\rframe 4 of 100, 1.54 M points/s, 7 s left");
  EXPECT_EQ(display.update(5, 100, 50, start + 500ms), "");

  // A shorter line than the one before is padded over it; the erase blanks the line's text.
  const std::string shorter = display.update(99, 100, 50, start + 100s);
  EXPECT_EQ(shorter, "\rframe 99 of 100, 0 points/s, 2 s left    ");
  EXPECT_EQ(display.erase(), "\r" + std::string(37, ' ') + "\r");
}

}  // namespace
}  // namespace tarrow::host
