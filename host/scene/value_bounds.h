// The values a scene may hold, all in one place, for every scene reader. They are far beyond what
// a scene needs and far below where the host's arithmetic (world placements, delayed times, the
// pictures' view) stops meaning anything, so that a slip such as 1e30 is refused where it was
// written. The bounds are listed for users in docs/scene-format.md.
#pragma once

namespace tarrow::host {

struct Bounds {
  double least;
  double most;

  bool holds(double value) const { return value >= least && value <= most; }  // false for NaN
};
constexpr Bounds kFpsBounds{0.001, 1000.0};         // frames per second
constexpr Bounds kTimeBounds{-1e7, 1e7};            // key times, s (about 115 days)
constexpr Bounds kPositionBounds{-1e9, 1e9};        // positions and points, m
constexpr Bounds kAngleBounds{-1e6, 1e6};           // heading, pitch, bank, degrees
constexpr Bounds kScaleBounds{-1e6, 1e6};           // scale factors
constexpr Bounds kWeightBounds{-1e6, 1e6};          // weight-map values
constexpr Bounds kCurveParameterBounds{-1e6, 1e6};  // tension, continuity, bias

}  // namespace tarrow::host
