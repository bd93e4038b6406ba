#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

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

// The record's function members hold the module's own functions (what they answer is checked
// by calling them, below) and randomData the point's stream, kept beside the record.
void putFunctionsOf(const tarrow::NodalSample& sample, Bytes& expected) {
  const std::size_t functionOffsets[] = {328, 336, 344, 352, 360, 368, 536, 544,
                                         552, 600, 608, 624, 632, 672, 680, 688};
  const auto* bytes = reinterpret_cast<const unsigned char*>(&sample);
  for (std::size_t offset : functionOffsets) {
    void* function;
    std::memcpy(&function, bytes + offset, sizeof function);
    EXPECT_NE(function, nullptr) << "function member at " << offset;
    expected.put(offset, function);
  }
  expected.put(528, static_cast<const void*>(&sample.randomState));
}

::testing::AssertionResult sameBytes(const tarrow::NodalSample& actual, Bytes expected) {
  putFunctionsOf(actual, expected);
  const auto* a = reinterpret_cast<const unsigned char*>(&actual);
  for (std::size_t k = 0; k < sizeof(LWNodalAccess); ++k) {
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
  tarrow::NodalSample sample;
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
  tarrow::NodalSample sample;
  tarrow::fillNodalAccess(*lag, a, sample);
  EXPECT_TRUE(sameBytes(sample, expectedFor(a, cameraAt, camera, length, scaled(ray, length))));
}

TEST_F(SampleRecordTest, NarrowsSourceToFloatsByRoundingToNearest) {
  rend.newTime(lag, 36, frameTime);
  const double halfway = 1.0 + std::ldexp(1.0, -24);  // exactly between two floats: to even
  const LWDisplacementAccess a = access({0, 0, 0}, {0.1, halfway, 1.0 + 3 * std::ldexp(1.0, -25)}, 1);
  tarrow::NodalSample sample;
  tarrow::fillNodalAccess(*lag, a, sample);
  EXPECT_EQ(floatBits(sample.vertsWPos[0][0]), 0x3DCCCCCDu);
  EXPECT_EQ(floatBits(sample.vertsWPos[0][1]), 0x3F800000u);
  EXPECT_EQ(floatBits(sample.vertsWPos[0][2]), 0x3F800001u);
  EXPECT_EQ(floatBits(sample.weights[0]), 0x3F800000u);
}

TEST_F(SampleRecordTest, PointAtTheCameraHasNoRayDirection) {
  rend.newTime(lag, 36, frameTime);
  const LWDisplacementAccess a = access({1, 1, 1}, cameraAt, 5);
  tarrow::NodalSample sample;
  tarrow::fillNodalAccess(*lag, a, sample);
  EXPECT_TRUE(sameBytes(sample, expectedFor(a, cameraAt, camera, 0.0, {0, 0, 0})));
}

TEST_F(SampleRecordTest, WithoutCameraTheRayStartsAtTheOrigin) {
  host.renderCamera = nullptr;
  rend.newTime(lag, 36, frameTime);
  const LWDisplacementAccess a = access({1, 1, 1}, {0, 3, 4}, 5);
  tarrow::NodalSample sample;
  tarrow::fillNodalAccess(*lag, a, sample);
  EXPECT_TRUE(sameBytes(sample, expectedFor(a, {0, 0, 0}, nullptr, 5.0, scaled({0, 3, 4}, 5.0))));
}

TEST_F(SampleRecordTest, NodeInputsSwitchedOnMidFrameStillGetWorldAxes) {
  lag->useNode = 0;
  rend.newTime(lag, 36, frameTime);
  lag->useNode = 1;
  const LWDisplacementAccess a = access({0.5, 0.25, -0.5}, {4, 6, 10}, 42);
  tarrow::NodalSample sample;
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
  // The shading functions are the module's own, called below.
  EXPECT_NE(sample.shadingFuncs.shade, nullptr);
  EXPECT_NE(sample.shadingFuncs.setupBSDF, nullptr);
  EXPECT_NE(sample.shadingFuncs.F, nullptr);
  EXPECT_NE(sample.shadingFuncs.sampleF, nullptr);
  EXPECT_NE(sample.shadingFuncs.Le, nullptr);
  expected.shadingFuncs = sample.shadingFuncs;
  EXPECT_EQ(std::memcmp(&sample, &expected, sizeof sample), 0);

  // At the camera the record points nowhere.
  tarrow::fillShadingGeometry(*lag, access({1, 1, 1}, cameraAt, 5), sample);
  EXPECT_EQ(sample.dist, 0.0);
  for (double component : sample.shading.I) EXPECT_EQ(component, 0.0);
}

// A point oP of the mesh lies at A (oP - pivot) + P: toWorld takes it there (p = oP * toWorld, a
// row vector) and toLocal back. Worked out by hand for each case.
TEST_F(SampleRecordTest, ShadingGeometryFramesTheMeshAboutItsPivotPoint) {
  struct Case {
    const char* name;
    Vec3 right, up, forward;                 // codes 2, 3, 4
    Vec3 worldRight, worldUp, worldForward;  // codes 9, 10, 11
    Vec3 position, pivot, oP, world;
  };
  // clang-format off
  const Case cases[] = {
      {"a quarter turn about z", {0, 1, 0}, {-1, 0, 0}, {0, 0, 1}, {0, -1, 0}, {1, 0, 0}, {0, 0, 1},
       {1, 1, 1}, {0.5, 0, 0}, {0.5, 0.25, -0.5}, {0.75, 1, 0.5}},
      {"twice as long along x", {2, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.5, 0, 0}, {0, 1, 0}, {0, 0, 1},
       {0, 0, 0}, {1, 2, 3}, {2, 2, 2}, {2, 0, -1}},
      {"turned, scaled and moved", {0, 0, -2}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}, {0, 1, 0}, {-0.5, 0, 0},
       {3, -1, 4}, {-1, 1, 2}, {1, 1, 1}, {2, -1, 0}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host.setParam(object, LWIP_RIGHT, {c.right, {}});
    host.setParam(object, LWIP_UP, {c.up, {}});
    host.setParam(object, LWIP_FORWARD, {c.forward, {}});
    host.setParam(object, LWIP_W_RIGHT, {c.worldRight, {}});
    host.setParam(object, LWIP_W_UP, {c.worldUp, {}});
    host.setParam(object, LWIP_W_FORWARD, {c.worldForward, {}});
    host.setParam(object, LWIP_W_POSITION, {c.position, {}});
    host.setParam(object, LWIP_PIVOT, {c.pivot, {}});
    rend.newTime(lag, 36, frameTime);
    lw2018::LWShadingGeometry sample;
    tarrow::fillShadingGeometry(*lag, access(c.oP, c.world, 3), sample);
    for (std::size_t i = 0; i < 3; ++i) {
      double world = sample.toWorld[3][i];
      double local = sample.toLocal[3][i];
      for (std::size_t k = 0; k < 3; ++k) {
        world += c.oP[k] * sample.toWorld[k][i];
        local += c.world[k] * sample.toLocal[k][i];
      }
      EXPECT_EQ(world, c.world[i]) << i;
      EXPECT_EQ(local, c.oP[i]) << i;
      EXPECT_EQ(sample.toWorld[i][3], 0.0);
      EXPECT_EQ(sample.toLocal[i][3], 0.0);
    }
    EXPECT_EQ(sample.toWorld[3][3], 1.0);
    EXPECT_EQ(sample.toLocal[3][3], 1.0);
  }
}

// What a node finds when it calls the renderer during displacement: nothing. Each output is
// filled with a value the call must replace.
TEST_F(SampleRecordTest, FunctionsOfTheRecordFindNothingThere) {
  rend.newTime(lag, 36, frameTime);
  const LWDisplacementAccess a = access({0.5, 0.25, -0.5}, {4, 6, 10}, 42);
  tarrow::NodalSample sample;
  tarrow::fillNodalAccess(*lag, a, sample);
  const double position[3] = {4, 6, 10};
  const double direction[3] = {0, 0, 1};
  const double normal[3] = {0, 1, 0};
  int sampled = 0;
  auto* countSample = reinterpret_cast<LWNodalSampler>(+[](int* count) { ++*count; });
  double toLight[3] = {7, 7, 7};
  double color[3] = {7, 7, 7};
  auto black = [&] {
    const bool all = color[0] == 0.0 && color[1] == 0.0 && color[2] == 0.0;
    color[0] = color[1] = color[2] = 7;
    return all;
  };
  EXPECT_EQ(sample.illuminate(object, position, toLight, color), 0);
  EXPECT_TRUE(black());
  EXPECT_EQ(sample.illuminateNormal(object, nullptr, position, toLight, normal, color), 0);
  EXPECT_TRUE(black());
  EXPECT_EQ(sample.illuminateSample(object, position, toLight, countSample, &sampled), 0.0);
  EXPECT_EQ(sample.illuminateSampleNormal(object, nullptr, position, toLight, normal, countSample, &sampled),
            0.0);
  EXPECT_EQ(sampled, 0) << "no light, so no sample";
  EXPECT_EQ(sample.rayCast(position, direction), -1.0);
  EXPECT_EQ(sample.rayShade(position, direction, nullptr), -1.0);
  EXPECT_EQ(sample.rayTrace(position, direction, color), -1.0);
  EXPECT_TRUE(black());
  EXPECT_EQ(sample.rayTraceMode(position, direction, color, 1.33, 0), -1.0);
  EXPECT_TRUE(black());
  double values[4] = {7, 7, 7, 7};
  sample.setVal(nullptr, 0, 4, values);
  sample.getVal(nullptr, 0, 4, values);
  for (double value : values) EXPECT_EQ(value, 0.0);
  sample.rayTraceData(nullptr, nullptr);
  sample.rayTraceShade(nullptr);
  EXPECT_EQ(sample.getSamplerRange(sample.samplerState), 1u);
  double pair[2] = {7, 7};
  sample.getSample2D(sample.samplerState, 0, pair);
  EXPECT_EQ(pair[0], 0.5);
  EXPECT_EQ(pair[1], 0.5);
  EXPECT_EQ(sample.getSample1D(sample.samplerState, 0), 0.5);

  // From 2018 on: the shading functions, with the record's null ray.
  lw2018::LWShadingGeometry sg;
  tarrow::fillShadingGeometry(*lag, a, sg);
  ASSERT_EQ(sg.ray, nullptr);
  const lw2018::LWShadingFuncs& funcs = sg.shadingFuncs;
  EXPECT_EQ(funcs.shade(sg.ray, &sg, color), 0.0);
  EXPECT_TRUE(black());
  EXPECT_EQ(funcs.setupBSDF(sg.ray, &sg), 0);
  EXPECT_EQ(funcs.F(sg.ray, &sg, direction, normal, 0, color), 0.0);
  EXPECT_TRUE(black());
  const double randomSample[3] = {0.5, 0.5, 0.5};
  funcs.sampleF(sg.ray, &sg, randomSample, nullptr, 0);
  funcs.Le(sg.ray, &sg, color);
  EXPECT_TRUE(black());
}

// Random numbers: a stream of each point's own, in [0, 1), the same each time the point's record
// is filled, whatever is drawn for other points in between.
TEST_F(SampleRecordTest, RandomNumbersComeFromAStreamOfThePointsOwn) {
  rend.newTime(lag, 36, frameTime);
  constexpr int kDraws = 8;
  auto draws = [&](tarrow::NodalSample& sample) {
    std::vector<float> numbers;
    for (int k = 0; k < kDraws; ++k) numbers.push_back(sample.randomFloat(sample.randomData));
    return numbers;
  };
  std::vector<std::vector<float>> streams;
  double sum = 0.0;
  for (std::uintptr_t p = 1; p <= 64; ++p) {
    tarrow::NodalSample sample;
    tarrow::fillNodalAccess(*lag, access({0, 0, 0}, {1, 2, 3}, p), sample);
    streams.push_back(draws(sample));
    for (float number : streams.back()) {
      EXPECT_GE(number, 0.0f);
      EXPECT_LT(number, 1.0f);
      sum += number;
    }
    EXPECT_NE(streams.back()[0], streams.back()[1]);
  }
  EXPECT_NEAR(sum / (64 * kDraws), 0.5, 0.05);
  std::sort(streams.begin(), streams.end());
  EXPECT_EQ(std::unique(streams.begin(), streams.end()), streams.end()) << "two points share a stream";

  // The same point again, its draws interleaved with another point's.
  tarrow::NodalSample first;
  tarrow::NodalSample again;
  tarrow::NodalSample other;
  tarrow::fillNodalAccess(*lag, access({0, 0, 0}, {1, 2, 3}, 9), first);
  tarrow::fillNodalAccess(*lag, access({5, 5, 5}, {0, 0, 0}, 9), again);
  tarrow::fillNodalAccess(*lag, access({0, 0, 0}, {1, 2, 3}, 10), other);
  for (int k = 0; k < kDraws; ++k) {
    other.randomFloat(other.randomData);
    EXPECT_EQ(again.randomFloat(again.randomData), first.randomFloat(first.randomData)) << k;
  }
}

}  // namespace
