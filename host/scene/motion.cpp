#include "host/scene/motion.h"

#include <cmath>

namespace tarrow::host {

Vec3 Mat3::column(int index) const { return {rows[0][index], rows[1][index], rows[2][index]}; }

Vec3 Mat3::operator*(const Vec3& v) const {
  Vec3 out{};
  for (int r = 0; r < 3; ++r) out[r] = rows[r][0] * v[0] + rows[r][1] * v[1] + rows[r][2] * v[2];
  return out;
}

Mat3 Mat3::operator*(const Mat3& other) const {
  Mat3 out;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      out.rows[r][c] =
          rows[r][0] * other.rows[0][c] + rows[r][1] * other.rows[1][c] + rows[r][2] * other.rows[2][c];
    }
  }
  return out;
}

namespace {

// valueOf(c) is channel c's value at the time.
template <typename ValueOf>
Pose poseFrom(const Channels& channels, const ValueOf& valueOf) {
  Pose pose;
  for (size_t i = 0; i < 3; ++i) {
    pose.position[i] = valueOf(kPositionX + i);
    pose.rotation[i] = valueOf(kHeading + i);
    if (!channels[kScaleX + i].keys.empty()) pose.scale[i] = valueOf(kScaleX + i);
  }
  return pose;
}

}  // namespace

Pose poseAt(const Channels& channels, double time) {
  return poseFrom(channels, [&](size_t c) { return channels[c].valueAt(time); });
}

PreparedChannels::PreparedChannels(const Channels& channels) : channels_(&channels) {
  for (size_t c = 0; c < kChannelCount; ++c) tangents_[c] = channels[c].spanTangents();
}

Pose PreparedChannels::poseAt(double time) const {
  return poseFrom(*channels_, [&](size_t c) { return (*channels_)[c].valueAt(time, tangents_[c]); });
}

Mat3 rotationMatrix(const Vec3& headingPitchBank) {
  const double h = headingPitchBank[0];
  const double p = headingPitchBank[1];
  const double b = headingPitchBank[2];
  Mat3 ry;
  ry.rows = {{{std::cos(h), 0.0, std::sin(h)}, {0.0, 1.0, 0.0}, {-std::sin(h), 0.0, std::cos(h)}}};
  Mat3 rx;
  rx.rows = {{{1.0, 0.0, 0.0}, {0.0, std::cos(p), -std::sin(p)}, {0.0, std::sin(p), std::cos(p)}}};
  Mat3 rz;
  rz.rows = {{{std::cos(b), -std::sin(b), 0.0}, {std::sin(b), std::cos(b), 0.0}, {0.0, 0.0, 1.0}}};
  return ry * rx * rz;
}

Vec3 Placement::apply(const Vec3& point) const {
  Vec3 out = axes * point;
  for (int i = 0; i < 3; ++i) out[i] += position[i];
  return out;
}

namespace {

double lengthOf(const Vec3& v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

}  // namespace

Vec3 Placement::normalToWorld(const Vec3& normal) const {
  Vec3 out{};
  for (int c = 0; c < 3; ++c) {
    for (int r = 0; r < 3; ++r) out[c] += inverse.rows[r][c] * normal[r];
  }
  const double length = lengthOf(out);
  if (length > 0.0) {
    for (double& component : out) component /= length;
  }
  return out;
}

Mat3 Placement::unitAxes() const {
  Mat3 out = axes;
  for (int c = 0; c < 3; ++c) {
    const double length = lengthOf(axes.column(c));
    if (length > 0.0) {
      for (int r = 0; r < 3; ++r) out.rows[r][c] /= length;
    }
  }
  return out;
}

// R * diag(scale), and its inverse diag(1 / scale) * R^T: a rotation's inverse is its transpose.
Placement placementOf(const Pose& pose) {
  const Mat3 rotation = rotationMatrix(pose.rotation);
  Placement placement;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      placement.axes.rows[r][c] = rotation.rows[r][c] * pose.scale[c];
      placement.inverse.rows[r][c] = rotation.rows[c][r] / pose.scale[r];
    }
  }
  placement.position = pose.position;
  return placement;
}

Placement compose(const Placement& parent, const Placement& child) {
  return {parent.axes * child.axes, child.inverse * parent.inverse, parent.apply(child.position)};
}

}  // namespace tarrow::host
