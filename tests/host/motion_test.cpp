#include "host/scene/motion.h"

#include <gtest/gtest.h>

namespace tarrow::host {
namespace {

void expectNear(const Vec3& actual, const Vec3& expected) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(actual[i], expected[i], 1e-12) << "component " << i;
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
    const Mat3 r = rotationMatrix(c.headingPitchBank);
    expectNear(r.column(0), c.right);
    expectNear(r.column(1), c.up);
    expectNear(r.column(2), c.forward);
  }
}

TEST(Motion, KeysInterpolateLinearlyAndHoldAtTheEnds) {
  const std::vector<MotionKey> keys{
      {1.0, {0, 0, 0}, {0, 0, 0}}, {3.0, {2, 4, 6}, {90, -30, 10}}, {4.0, {2, 4, 8}, {90, -30, 20}}};
  struct Case {
    double time;
    Vec3 position, rotation;
  };
  const Case cases[] = {
      {-5.0, {0, 0, 0}, {0, 0, 0}},    {1.0, {0, 0, 0}, {0, 0, 0}},          {2.0, {1, 2, 3}, {45, -15, 5}},
      {3.0, {2, 4, 6}, {90, -30, 10}}, {3.25, {2, 4, 6.5}, {90, -30, 12.5}}, {9.0, {2, 4, 8}, {90, -30, 20}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.time);
    const Pose pose = samplePose(keys, c.time);
    expectNear(pose.position, c.position);
    expectNear(pose.rotation, c.rotation);
  }
  const Pose none = samplePose({}, 2.0);
  expectNear(none.position, {0, 0, 0});
  expectNear(none.rotation, {0, 0, 0});
}

TEST(Motion, ChildPlacementComposesThroughItsParent) {
  // Parent at (1, 0, 0) turned 90 degrees: the child's +z offset points along world +x.
  const Placement parent = placementOf({{1, 0, 0}, {90, 0, 0}});
  const Placement child = placementOf({{0, 0, 2}, {0, 90, 0}});
  const Placement world = compose(parent, child);
  expectNear(world.position, {3, 0, 0});
  // The child's forward, pitched down, stays down; its up turns with the parent's heading.
  expectNear(world.axes.column(2), {0, -1, 0});
  expectNear(world.axes.column(1), {1, 0, 0});
  expectNear(world.apply({0, 0, 1}), {3, -1, 0});
}

}  // namespace
}  // namespace tarrow::host
