// Item motion: keyed position and rotation, and the frames (axes and position) they give.
#pragma once

#include <array>
#include <vector>

namespace tarrow::host {

using Vec3 = std::array<double, 3>;

// Rows of a 3 x 3 matrix; an item's right, up and forward vectors are its columns.
struct Mat3 {
  std::array<Vec3, 3> rows{};

  static Mat3 identity();
  Vec3 column(int index) const;
  Vec3 operator*(const Vec3& v) const;
  Mat3 operator*(const Mat3& other) const;
};

struct MotionKey {
  double time = 0.0;  // seconds
  Vec3 position{};    // in the parent's coordinates
  Vec3 rotation{};    // heading, pitch, bank in degrees
};

// Position and angles at a time: linear between the keys around it, held before the first
// key and after the last; no keys give the origin without rotation.
struct Pose {
  Vec3 position{};
  Vec3 rotation{};
};
Pose samplePose(const std::vector<MotionKey>& keys, double time);

// R = Ry(heading) * Rx(pitch) * Rz(bank), angles in degrees.
Mat3 rotationMatrix(const Vec3& headingPitchBank);

// An item's placement: columns of axes are right, up and forward.
struct Placement {
  Mat3 axes = Mat3::identity();
  Vec3 position{};

  Vec3 apply(const Vec3& point) const;
};

Placement placementOf(const Pose& pose);
// The child's placement given in its parent's placement: world of the child.
Placement compose(const Placement& parent, const Placement& child);

}  // namespace tarrow::host
