#include "host/scene/motion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace tarrow::host {
namespace {

void expectNear(const Vec3& actual, const Vec3& expected) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(actual[i], expected[i], 1e-12) << "component " << i;
}

Vec3 radians(const Vec3& degrees) {
  return {degrees[0] * kRadiansPerDegree, degrees[1] * kRadiansPerDegree, degrees[2] * kRadiansPerDegree};
}

// A pose with its angles given in degrees.
Pose posed(const Vec3& position, const Vec3& degrees, const Vec3& scale = {1, 1, 1}) {
  return {position, radians(degrees), scale};
}

struct RotationCase {
  const char* name;
  Vec3 headingPitchBank;
  Vec3 right, up, forward;
};

// Worked by hand from R = Ry(h) Rx(p) Rz(b).
const RotationCase rotationCases[] = {
    {"none", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
    {"heading 90 turns forward to +x", {90, 0, 0}, {0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
    {"pitch 90 turns forward down", {0, 90, 0}, {1, 0, 0}, {0, 0, 1}, {0, -1, 0}},
    {"bank 90 turns right up", {0, 0, 90}, {0, 1, 0}, {-1, 0, 0}, {0, 0, 1}},
    {"heading then pitch", {90, 90, 0}, {0, 0, -1}, {1, 0, 0}, {0, -1, 0}},
    {"pitch then bank", {0, 90, 90}, {0, 0, 1}, {-1, 0, 0}, {0, -1, 0}},
    {"heading 180", {180, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, 0, -1}},
};

TEST(Motion, AxesAreTheColumnsOfHeadingPitchBank) {
  for (const auto& c : rotationCases) {
    SCOPED_TRACE(c.name);
    const Mat3 r = rotationMatrix(radians(c.headingPitchBank));
    expectNear(r.column(0), c.right);
    expectNear(r.column(1), c.up);
    expectNear(r.column(2), c.forward);
  }
}

TEST(Motion, PoseTakesEachChannelAndHoldsScaleOneWithoutKeys) {
  Channels channels;
  channels[kPositionY].keys = {{0.0, 2.0}, {2.0, 4.0, SpanType::kLinear}};
  channels[kBank].keys = {{0.0, 90.0}};
  channels[kBank].unit = kRadiansPerDegree;
  channels[kScaleZ].keys = {{0.0, -3.0}};
  // Halfway along y's linear span: 2 + 0.5 * (4 - 2) = 3; bank 90 degrees is pi / 2 radians.
  const Pose pose = poseAt(channels, 1.0);
  expectNear(pose.position, {0, 3, 0});
  expectNear(pose.rotation, {0, 0, std::numbers::pi / 2});
  expectNear(pose.scale, {1, 1, -3});
  const Pose none = poseAt(Channels{}, 2.0);
  expectNear(none.position, {0, 0, 0});
  expectNear(none.rotation, {0, 0, 0});
  expectNear(none.scale, {1, 1, 1});
}

TEST(Motion, ChildPlacementComposesThroughItsParent) {
  // Parent at (1, 0, 0) turned 90 degrees: the child's +z offset points along world +x.
  const Placement parent = placementOf(posed({1, 0, 0}, {90, 0, 0}));
  const Placement child = placementOf(posed({0, 0, 2}, {0, 90, 0}));
  const Placement world = compose(parent, child);
  expectNear(world.position, {3, 0, 0});
  // The child's forward, pitched down, stays down; its up turns with the parent's heading.
  expectNear(world.axes.column(2), {0, -1, 0});
  expectNear(world.axes.column(1), {1, 0, 0});
  expectNear(world.apply({0, 0, 1}), {3, -1, 0});
}

TEST(Motion, ScaledParentCarriesTheChildsPositionAndNormals) {
  // Parent stretched 2x along its own x and turned 90 degrees: its x points along world -z.
  const Placement parent = placementOf(posed({0, 1, 0}, {90, 0, 0}, {2, 1, 1}));
  const Placement child = placementOf(posed({1, 0, 0}, {0, 0, 0}, {1, 1, 3}));
  const Placement world = compose(parent, child);
  expectNear(world.position, {0, 1, -2});
  expectNear(world.axes.column(0), {0, 0, -2});
  expectNear(world.axes.column(2), {3, 0, 0});
  expectNear(world.inverse * world.axes.column(1), {0, 1, 0});
  // The child's slope x + z = 1 reaches the world through (0, 0, -2) and (3, 0, 0) about the
  // child's position, along y: its normal there is (2, 0, -3), not the axes times (1, 0, 1).
  const double k = 1.0 / std::sqrt(13.0);
  expectNear(world.normalToWorld({1, 0, 1}), {2 * k, 0, -3 * k});
  expectNear(world.normalToWorld({0, 0, 0}), {0, 0, 0});
}

}  // namespace
}  // namespace tarrow::host
