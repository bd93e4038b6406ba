// Item motion: keyed position, rotation and scale, and the frames (axes and position) they give.
#pragma once

#include <array>
#include <numbers>
#include <vector>

namespace tarrow::host {

using Vec3 = std::array<double, 3>;

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;

// Rows of a 3 x 3 matrix; an item's right, up and forward vectors are its columns.
struct Mat3 {
  std::array<Vec3, 3> rows{};

  static Mat3 identity();
  Vec3 column(int index) const;
  Vec3 operator*(const Vec3& v) const;
  Mat3 operator*(const Mat3& other) const;
};

struct MotionKey {
  double time = 0.0;          // seconds
  Vec3 position{};            // in the parent's coordinates
  Vec3 rotation{};            // heading, pitch, bank in degrees
  Vec3 scale{1.0, 1.0, 1.0};  // along the item's own axes; never zero, negative mirrors
};

// Position, angles and scale at a time: linear between the keys around it, held before the
// first key and after the last; no keys give the origin without rotation, at scale 1.
struct Pose {
  Vec3 position{};
  Vec3 rotation{};
  Vec3 scale{1.0, 1.0, 1.0};
};
Pose samplePose(const std::vector<MotionKey>& keys, double time);

// R = Ry(heading) * Rx(pitch) * Rz(bank), angles in degrees.
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
