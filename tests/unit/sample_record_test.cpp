#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "deform/sample_record.h"
#include "fake_host.h"
#include "module_fixture.h"

namespace {

using fake::Vec3;
using fixture::camera;
using fixture::ModuleTest;
using fixture::object;
using tarrow::LagInstance;

constexpr LWTime frameTime = 1.5;

// The 712 bytes the record must hold, written offset by offset.
class Bytes {
 public:
  Bytes() { std::memset(bytes_, 0, sizeof bytes_); }
  template <typename T>
  void put(std::size_t offset, T value) {
    std::memcpy(bytes_ + offset, &value, sizeof value);
  }
  void put(std::size_t offset, Vec3 v) {
    for (int i = 0; i < 3; ++i) put(offset + 8 * i, v[i]);
  }
  const unsigned char* data() const { return bytes_; }

 private:
  unsigned char bytes_[712];
};

::testing::AssertionResult sameBytes(const LWNodalAccess& actual, const Bytes& expected) {
  const auto* a = reinterpret_cast<const unsigned char*>(&actual);
  for (std::size_t k = 0; k < sizeof actual; ++k) {
    if (a[k] != expected.data()[k]) {
      return ::testing::AssertionFailure() << "first difference at byte " << k;
    }
  }
  return ::testing::AssertionSuccess();
}

uint32_t floatBits(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

class SampleRecordTest : public ModuleTest {
 protected:
  LagInstance* lag = nullptr;
  const Vec3 cameraAt = {1, 2, -2};

  void SetUp() override {
    ModuleTest::SetUp();
    host.setParam(object, LWIP_W_POSITION, {{1, 1, 1}, {0, 0, 0}});
    host.setParam(object, LWIP_RIGHT, {{0.25, 0.5, 0.75}, {1, 0, 0}});
    host.setParam(object, LWIP_UP, {{1.25, 1.5, 1.75}, {0, 1, 0}});
    host.setParam(object, LWIP_FORWARD, {{2.25, 2.5, 2.75}, {0, 0, 1}});
    host.setParam(object, LWIP_W_RIGHT, {{3.25, 3.5, 3.75}, {1, 0, 0}});
    host.setParam(object, LWIP_W_UP, {{4.25, 4.5, 4.75}, {0, 1, 0}});
    host.setParam(object, LWIP_W_FORWARD, {{5.25, 5.5, 5.75}, {0, 0, 1}});
    host.setParam(camera, LWIP_W_POSITION, {cameraAt, {}});
    host.renderCamera = camera;
    lag = &make();
    lag->useNode = 1;
  }

  static LWDisplacementAccess access(Vec3 oPos, Vec3 source, std::uintptr_t pointNumber) {
    LWDisplacementAccess a{};
    for (int i = 0; i < 3; ++i) {
      a.oPos[i] = oPos[i];
      a.source[i] = source[i];
    }
    a.point = fake::point(pointNumber);
    return a;
  }

  // The ray direction: each component times the reciprocal of the length, computed once.
  static Vec3 scaled(Vec3 v, double length) {
    const double r = 1.0 / length;
    return {v[0] * r, v[1] * r, v[2] * r};
  }

  Bytes expectedFor(const LWDisplacementAccess& a, Vec3 rayFrom, LWItemID rayItem, double length,
                    Vec3 direction) {
    Bytes b;
    b.put(8, Vec3{a.oPos[0], a.oPos[1], a.oPos[2]});
    b.put(32, Vec3{a.source[0], a.source[1], a.source[2]});
    b.put(128, rayFrom);
    b.put(152, length);
    b.put(160, uint64_t{0x3F50624DD2F1A9FC});
    const int codes[6] = {LWIP_RIGHT, LWIP_UP, LWIP_FORWARD, LWIP_W_RIGHT, LWIP_W_UP, LWIP_W_FORWARD};
    for (int k = 0; k < 6; ++k)
      b.put(184 + 24 * static_cast<std::size_t>(k), host.param(object, codes[k], frameTime));
    b.put(384, rayItem);
    b.put(392, object);
    b.put(408, a.point);
    b.put(440, 1.0f);
    for (int i = 0; i < 3; ++i) b.put(456 + 4 * static_cast<std::size_t>(i), static_cast<float>(a.source[i]));
    b.put(576, direction);
    return b;
  }
};

TEST_F(SampleRecordTest, HoldsTheListedMembersAndZeroElsewhere) {
  rend.newTime(lag, 36, frameTime);
  const LWDisplacementAccess a = access({0.5, 0.25, -0.5}, {4, 6, 10}, 42);  // 3-4-12 from the camera
  LWNodalAccess sample;
  std::memset(&sample, 0xAB, sizeof sample);
  host.paramCalls.clear();
  tarrow::fillNodalAccess(*lag, a, sample);
  EXPECT_TRUE(sameBytes(sample, expectedFor(a, cameraAt, camera, 13.0, scaled({3, 4, 12}, 13.0))));
  EXPECT_TRUE(host.paramCalls.empty());  // all of it comes from the frame's cache
}

TEST_F(SampleRecordTest, RayLengthAndDirectionKeepTheirOrderOfOperations) {
  rend.newTime(lag, 36, frameTime);
  const LWDisplacementAccess a = access({0, 0, 0}, {-8.84, -8.16, -5.74}, 9);
  const Vec3 ray = {-8.84 - cameraAt[0], -8.16 - cameraAt[1], -5.74 - cameraAt[2]};
  const double length = std::sqrt((ray[0] * ray[0] + ray[1] * ray[1]) + ray[2] * ray[2]);
  LWNodalAccess sample;
  tarrow::fillNodalAccess(*lag, a, sample);
  EXPECT_TRUE(sameBytes(sample, expectedFor(a, cameraAt, camera, length, scaled(ray, length))));
}

TEST_F(SampleRecordTest, NarrowsSourceToFloatsByRoundingToNearest) {
  rend.newTime(lag, 36, frameTime);
  const double halfway = 1.0 + std::ldexp(1.0, -24);  // exactly between two floats: to even
  const LWDisplacementAccess a = access({0, 0, 0}, {0.1, halfway, 1.0 + 3 * std::ldexp(1.0, -25)}, 1);
  LWNodalAccess sample;
  tarrow::fillNodalAccess(*lag, a, sample);
  EXPECT_EQ(floatBits(sample.vertsWPos[0][0]), 0x3DCCCCCDu);
  EXPECT_EQ(floatBits(sample.vertsWPos[0][1]), 0x3F800000u);
  EXPECT_EQ(floatBits(sample.vertsWPos[0][2]), 0x3F800001u);
  EXPECT_EQ(floatBits(sample.weights[0]), 0x3F800000u);
}

TEST_F(SampleRecordTest, PointAtTheCameraHasNoRayDirection) {
  rend.newTime(lag, 36, frameTime);
  const LWDisplacementAccess a = access({1, 1, 1}, cameraAt, 5);
  LWNodalAccess sample;
  tarrow::fillNodalAccess(*lag, a, sample);
  EXPECT_TRUE(sameBytes(sample, expectedFor(a, cameraAt, camera, 0.0, {0, 0, 0})));
}

TEST_F(SampleRecordTest, WithoutCameraTheRayStartsAtTheOrigin) {
  host.renderCamera = nullptr;
  rend.newTime(lag, 36, frameTime);
  const LWDisplacementAccess a = access({1, 1, 1}, {0, 3, 4}, 5);
  LWNodalAccess sample;
  tarrow::fillNodalAccess(*lag, a, sample);
  EXPECT_TRUE(sameBytes(sample, expectedFor(a, {0, 0, 0}, nullptr, 5.0, scaled({0, 3, 4}, 5.0))));
}

TEST_F(SampleRecordTest, NodeInputsSwitchedOnMidFrameStillGetWorldAxes) {
  lag->useNode = 0;
  rend.newTime(lag, 36, frameTime);
  lag->useNode = 1;
  const LWDisplacementAccess a = access({0.5, 0.25, -0.5}, {4, 6, 10}, 42);
  LWNodalAccess sample;
  tarrow::fillNodalAccess(*lag, a, sample);
  EXPECT_TRUE(sameBytes(sample, expectedFor(a, cameraAt, camera, 13.0, scaled({3, 4, 12}, 13.0))));
}

// The record of hosts from 2018 on, for an object turned a quarter turn about z at (1, 1, 1).
TEST_F(SampleRecordTest, ShadingGeometryHoldsTheListedMembersAndZeroElsewhere) {
  const Vec3 right = {0, 1, 0};
  const Vec3 up = {-1, 0, 0};
  const Vec3 forward = {0, 0, 1};
  host.setParam(object, LWIP_RIGHT, {right, {}});
  host.setParam(object, LWIP_UP, {up, {}});
  host.setParam(object, LWIP_FORWARD, {forward, {}});
  // The world's axes in the object: the columns of the inverse turn.
  host.setParam(object, LWIP_W_RIGHT, {{0, -1, 0}, {}});
  host.setParam(object, LWIP_W_UP, {{1, 0, 0}, {}});
  host.setParam(object, LWIP_W_FORWARD, {{0, 0, 1}, {}});
  rend.newTime(lag, 36, frameTime);
  const LWDisplacementAccess a = access({0.5, 0.25, -0.5}, {4, 6, 10}, 42);  // 3-4-12 from the camera
  lw2018::LWShadingGeometry sample;
  std::memset(&sample, 0xAB, sizeof sample);
  host.paramCalls.clear();
  tarrow::fillShadingGeometry(*lag, a, sample);
  EXPECT_TRUE(host.paramCalls.empty());  // all of it comes from the frame's cache

  // The inverse first: toLocal undoes toWorld, so the product is the identity.
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 4; ++column) {
      double sum = 0.0;
      for (int k = 0; k < 4; ++k) sum += sample.toLocal[row][k] * sample.toWorld[k][column];
      EXPECT_EQ(sum, row == column ? 1.0 : 0.0) << row << "," << column;
    }
  }
  lw2018::LWShadingGeometry expected;
  std::memset(&expected, 0, sizeof expected);
  expected.itemID = object;
  expected.vrts[0] = a.point;
  const Vec3 world = host.param(object, LWIP_W_POSITION, frameTime);
  const Vec3 axes[3] = {right, up, forward};
  for (int i = 0; i < 3; ++i) {
    expected.oP[i] = a.oPos[i];
    expected.P[i] = expected.vertsWPos[0][i] = a.source[i];
    for (int row = 0; row < 3; ++row) expected.toWorld[row][i] = axes[row][static_cast<std::size_t>(i)];
    expected.toWorld[3][i] = world[static_cast<std::size_t>(i)];
  }
  expected.toWorld[3][3] = 1.0;
  const int worldCodes[3] = {LWIP_W_RIGHT, LWIP_W_UP, LWIP_W_FORWARD};
  for (int row = 0; row < 3; ++row) {
    const Vec3 inverse = host.param(object, worldCodes[row], frameTime);
    for (std::size_t i = 0; i < 3; ++i) {
      expected.toLocal[row][i] = inverse[i];
      expected.toLocal[3][i] -= world[static_cast<std::size_t>(row)] * inverse[i];
    }
  }
  expected.toLocal[3][3] = 1.0;
  expected.bary[0] = 1.0;
  const Vec3 toward = scaled({-3, -4, -12}, 13.0);
  for (int i = 0; i < 3; ++i) expected.shading.I[i] = toward[static_cast<std::size_t>(i)];
  expected.dist = 13.0;
  EXPECT_EQ(std::memcmp(&sample, &expected, sizeof sample), 0);

  // At the camera the record points nowhere.
  tarrow::fillShadingGeometry(*lag, access({1, 1, 1}, cameraAt, 5), sample);
  EXPECT_EQ(sample.dist, 0.0);
  for (double component : sample.shading.I) EXPECT_EQ(component, 0.0);
}

}  // namespace
