#include "host/run/progress_display.h"

#include <cmath>
#include <cstdio>

namespace tarrow::host {
namespace {

constexpr auto kInterval = std::chrono::milliseconds(250);

std::string rateText(double perSecond) {
  char text[32];
  if (perSecond >= 1e6) {
    std::snprintf(text, sizeof text, "%.2f M", perSecond / 1e6);
  } else if (perSecond >= 1e3) {
    std::snprintf(text, sizeof text, "%.1f k", perSecond / 1e3);
  } else {
    std::snprintf(text, sizeof text, "%.0f", perSecond);
  }
  return text;
}

std::string durationText(double seconds) {
  const auto whole = static_cast<long long>(std::ceil(seconds));
  char text[48];
  if (whole < 60) {
    std::snprintf(text, sizeof text, "%lld s", whole);
  } else if (whole < 3600) {
    std::snprintf(text, sizeof text, "%lld min %02lld s", whole / 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld h %02lld min", whole / 3600, whole / 60 % 60);
  }
  return text;
}

}  // namespace

std::string ProgressDisplay::line(int done, int total, long long points, double seconds) {
  std::string text = "frame " + std::to_string(done) + " of " + std::to_string(total);
  if (seconds > 0.0 && done > 0) {
    text += ", " + rateText(static_cast<double>(points) / seconds) + " points/s, " +
            durationText(seconds * (total - done) / done) + " left";
  }
  return text;
}

std::string ProgressDisplay::update(int done, int total, long long points, Clock::time_point now) {
  if (shown_ && now - shownAt_ < kInterval) return {};
  const std::string text = line(done, total, points, std::chrono::duration<double>(now - start_).count());
  // Blanks cover what is left of a longer line before it.
  std::string out = "\r" + text;
  if (text.size() < shownLength_) out.append(shownLength_ - text.size(), ' ');
  shown_ = true;
  shownAt_ = now;
  shownLength_ = text.size();
  return out;
}

std::string ProgressDisplay::erase() const {
  if (!shown_) return {};
  return "\r" + std::string(shownLength_, ' ') + "\r";
}

}  // namespace tarrow::host
