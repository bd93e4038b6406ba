// Item motion: an item's channels at a time, and the frames (axes and position) they give.
#pragma once

#include <array>
#include <numbers>
#include <vector>

#include "host/scene/envelope.h"

namespace tarrow::host {

using Vec3 = std::array<double, 3>;

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;

// Rows of a 3 x 3 matrix; an item's right, up and forward vectors are its columns.
struct Mat3 {
  std::array<Vec3, 3> rows{};

  static constexpr Mat3 identity() {
    Mat3 m;
    m.rows = {{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}};
    return m;
  }
  Vec3 column(int index) const;
  Vec3 operator*(const Vec3& v) const;
  Mat3 operator*(const Mat3& other) const;
};

// An item's channels at a time: position (in the parent's coordinates), heading, pitch, bank in
// radians, and scale along the item's own axes. A channel without keys holds 0, a scale one 1.
struct Pose {
  Vec3 position{};
  Vec3 rotation{};
  Vec3 scale{1.0, 1.0, 1.0};
};
Pose poseAt(const Channels& channels, double time);

// An item's channels with the tangents of every span worked out once, for an item evaluated at
// many times: the same poses to the bit. The channels must outlive it, unchanged.
class PreparedChannels {
 public:
  explicit PreparedChannels(const Channels& channels);
  Pose poseAt(double time) const;

 private:
  const Channels* channels_;
  std::array<std::vector<SpanTangents>, kChannelCount> tangents_;
};

// R = Ry(heading) * Rx(pitch) * Rz(bank), angles in radians.
Mat3 rotationMatrix(const Vec3& headingPitchBank);

// An item's placement: A = A_parent * R(heading, pitch, bank) * diag(scale), whose columns are
// the item's right, up and forward, scale included; its inverse, whose columns are the world's
// axes in the item's coordinates; and the position. A child's position lies in its parent's
// scaled, turned frame.
struct Placement {
  Mat3 axes = Mat3::identity();
  Mat3 inverse = Mat3::identity();
  Vec3 position{};

  Vec3 apply(const Vec3& point) const;
  // A surface normal of the item's own coordinates in the world, at unit length (zero stays
  // zero): through the inverse's transpose, which keeps it at right angles to the surface
  // when the item is scaled unevenly.
  Vec3 normalToWorld(const Vec3& normal) const;
  // The axes at unit length: the directions the item faces, its scale taken out.
  Mat3 unitAxes() const;
};

Placement placementOf(const Pose& pose);
// The child's placement given in its parent's placement: world of the child.
Placement compose(const Placement& parent, const Placement& child);

}  // namespace tarrow::host
