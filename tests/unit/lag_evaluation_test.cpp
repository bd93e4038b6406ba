#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <thread>
#include <vector>

#include "deform/sample_record.h"
#include "fake_host.h"
#include "module_fixture.h"

namespace {

using fake::Vec3;
using fixture::camera;
using fixture::ModuleTest;
using fixture::object;
using fixture::pivot;
using tarrow::LagInstance;

// The lag computed independently from the host's answers, in the deformer's order of operations:
// d = source - p; t' = time - ((|d| * w) * L); the offset, taken apart into the object's frame
// through the world's axes in the object's coordinates (codes 9, 10, 11 at the current time), is
// put together again along the sampled item's axes at t' and added to its position at t'.
struct Reference {
  const fake::Host& host;
  LWTime time;

  Vec3 operator()(Vec3 source, Vec3 p, LWItemID sampled, int positionCode, double weight,
                  double lagRate) const {
    const double dx = source[0] - p[0], dy = source[1] - p[1], dz = source[2] - p[2];
    const double distance = std::sqrt((dx * dx + dy * dy) + dz * dz);
    const double delayed = time - ((distance * weight) * lagRate);
    const Vec3 r = host.param(sampled, LWIP_RIGHT, delayed), u = host.param(sampled, LWIP_UP, delayed),
               f = host.param(sampled, LWIP_FORWARD, delayed),
               at = host.param(sampled, positionCode, delayed);
    const Vec3 wr = host.param(object, LWIP_W_RIGHT, time), wu = host.param(object, LWIP_W_UP, time),
               wf = host.param(object, LWIP_W_FORWARD, time);
    const double ar = (dx * wr[0] + dy * wu[0]) + dz * wf[0];
    const double au = (dx * wr[1] + dy * wu[1]) + dz * wf[1];
    const double af = (dx * wr[2] + dy * wu[2]) + dz * wf[2];
    Vec3 out;
    for (int i = 0; i < 3; ++i) out[i] = ((u[i] * au + r[i] * ar) + f[i] * af) + at[i];
    return out;
  }
};

constexpr LWTime frameTime = 2.0;

class EvaluateTest : public ModuleTest {
 protected:
  fake::Mesh mesh{"Tail"};
  LagInstance* lag = nullptr;

  void SetUp() override {
    ModuleTest::SetUp();
    // An object that moves, turned and scaled by (2, 0.5, 1): codes 2, 3, 4 are the columns of
    // A = R * diag(2, 0.5, 1), codes 9, 10, 11 those of its inverse diag(0.5, 2, 1) * R^T.
    host.setParam(object, LWIP_W_POSITION, {{1.1, 2.3, 3.17}, {0.5, -0.25, 2}});
    host.setParam(object, LWIP_POSITION, {{7, 7, 7}, {0, 0, 0}});
    host.setParam(object, LWIP_RIGHT, {{4.0 / 3, 4.0 / 3, 2.0 / 3}, {0, 0, 0}});
    host.setParam(object, LWIP_UP, {{-1.0 / 3, 1.0 / 6, 1.0 / 3}, {0, 0, 0}});
    host.setParam(object, LWIP_FORWARD, {{1.0 / 3, -2.0 / 3, 2.0 / 3}, {0, 0, 0}});
    host.setParam(object, LWIP_W_RIGHT, {{1.0 / 3, -4.0 / 3, 1.0 / 3}, {0, 0, 0}});
    host.setParam(object, LWIP_W_UP, {{1.0 / 3, 2.0 / 3, -2.0 / 3}, {0, 0, 0}});
    host.setParam(object, LWIP_W_FORWARD, {{1.0 / 6, 4.0 / 3, 2.0 / 3}, {0, 0, 0}});
    // A pivot item turned a quarter about z, moving differently in each coordinate kind.
    host.setParam(pivot, LWIP_POSITION, {{4, 0, 0}, {0, 1, 0}});
    host.setParam(pivot, LWIP_W_POSITION, {{-3, 1, 0}, {2, 0, 0}});
    host.setParam(pivot, LWIP_RIGHT, {{0, 1, 0}, {0, 0, 0.125}});
    host.setParam(pivot, LWIP_UP, {{-1, 0, 0}, {0, 0, 0}});
    host.setParam(pivot, LWIP_FORWARD, {{0, 0, 1}, {0.25, 0, 0}});
    host.setParam(camera, LWIP_W_POSITION, {{0, 0, -10}, {0, 0, 0}});
    host.renderCamera = camera;
    lag = &make();
    mesh.weights = {{fake::point(1), 0.7f}, {fake::point(2), 0.0f}, {fake::point(3), 1.3f}};
  }

  void prepare(LWTime time = frameTime) {
    rend.newTime(lag, 0, time);
    host.paramCalls.clear();
    host.inputCalls.clear();
    host.samples.clear();
  }

  LWDisplacementAccess access(Vec3 source, std::uintptr_t pointNumber = 1, bool withInfo = true) {
    LWDisplacementAccess a{};
    for (int i = 0; i < 3; ++i) {
      a.oPos[i] = source[i] * 0.5;
      a.source[i] = source[i];
    }
    a.point = fake::point(pointNumber);
    a.info = withInfo ? &mesh.info : nullptr;
    return a;
  }

  Vec3 evaluate(LWDisplacementAccess a) {
    handler.evaluate(lag, &a);
    return {a.source[0], a.source[1], a.source[2]};
  }

  Vec3 evaluate(Vec3 source, std::uintptr_t pointNumber = 1, bool withInfo = true) {
    return evaluate(access(source, pointNumber, withInfo));
  }

  Vec3 objectPosition() const { return host.param(object, LWIP_W_POSITION, frameTime); }
  Reference reference() const { return Reference{host, frameTime}; }
};

MATCHER_P(IsNear, expected, "") {
  for (int i = 0; i < 3; ++i) {
    if (std::fabs(arg[i] - expected[i]) > 1e-12) return false;
  }
  return true;
}

TEST_F(EvaluateTest, WithoutLagPointsStayWhereTheyAre) {
  prepare();
  const Vec3 at = objectPosition();
  EXPECT_EQ(evaluate(at), at);  // exactly at the pivot: exactly unmoved
  const Vec3 offPivot = {3.5, -1.25, 0.75};
  EXPECT_THAT(evaluate(offPivot), IsNear(offPivot));  // lag rate 0

  lag->lagRate = 0.5;
  lag->weightMapIndex = 1;
  lag->weightMapName = "Tail";
  EXPECT_THAT(evaluate(offPivot, 2), IsNear(offPivot));  // weight 0 from the map
  EXPECT_EQ(evaluate(at, 3), at);                        // at the pivot, whatever the lag
}

TEST_F(EvaluateTest, MatchesAnIndependentComputation) {
  prepare();
  const Reference expect = reference();
  struct Case {
    const char* name;
    double lagRate;
    LWItemID pivotItem;
    int32_t localPivot;
    int32_t weightMapIndex;
    std::uintptr_t point;
    bool withInfo;
    LWItemID sampled;
    int code;
    double weight;
  };
  const Case cases[] = {
      {"object pivot", 0.3, nullptr, 0, 0, 1, true, object, LWIP_W_POSITION, 1.0},
      {"negative lag leads", -0.3, nullptr, 0, 0, 1, true, object, LWIP_W_POSITION, 1.0},
      {"pivot item, world", 0.3, pivot, 0, 0, 1, true, pivot, LWIP_W_POSITION, 1.0},
      {"pivot item, local", 0.3, pivot, 1, 0, 1, true, pivot, LWIP_POSITION, 1.0},
      {"local ignored without pivot item", 0.3, nullptr, 1, 0, 1, true, object, LWIP_W_POSITION, 1.0},
      {"weight map", 0.3, pivot, 0, 1, 1, true, pivot, LWIP_W_POSITION, double{0.7f}},
      {"weight map above one", 0.3, nullptr, 0, 1, 3, true, object, LWIP_W_POSITION, double{1.3f}},
      {"weight map without mesh info", 0.3, nullptr, 0, 1, 4, false, object, LWIP_W_POSITION, 1.0},
  };
  lag->weightMapName = "Tail";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lag->lagRate = c.lagRate;
    lag->pivotItem = c.pivotItem;
    lag->localPivot = c.localPivot;
    lag->weightMapIndex = c.weightMapIndex;
    const Vec3 p = c.sampled == object ? objectPosition() : host.param(pivot, c.code, frameTime);
    for (const Vec3& source : {Vec3{3.57, -7.17, -3.2}, Vec3{6.45, 7.2, -4.41}, Vec3{7.94, -2.26, 4.9}}) {
      prepare();
      EXPECT_EQ(evaluate(source, c.point, c.withInfo),
                expect(source, p, c.sampled, c.code, c.weight, c.lagRate));
    }
    // Per point, only the sampled item's frame at the delayed time is asked for.
    ASSERT_EQ(host.paramCalls.size(), 4u);
    const int codes[4] = {LWIP_RIGHT, LWIP_UP, LWIP_FORWARD, c.code};
    const double delay = host.paramCalls[0].time - frameTime;
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(host.paramCalls[k].item, c.sampled);
      EXPECT_EQ(host.paramCalls[k].code, codes[k]);
      EXPECT_EQ(host.paramCalls[k].time, host.paramCalls[0].time);
    }
    EXPECT_EQ(delay > 0, c.lagRate * c.weight < 0) << "delay " << delay;
    EXPECT_TRUE(host.inputCalls.empty());
  }
}

TEST_F(EvaluateTest, PivotItemAxesTurnPointsEvenWithoutLag) {
  lag->pivotItem = pivot;
  prepare();
  const Vec3 p = host.param(pivot, LWIP_W_POSITION, frameTime);
  // One unit along the object's right vector from the pivot lands one unit along the pivot's right.
  const Vec3 objectRight = host.param(object, LWIP_RIGHT, frameTime);
  const Vec3 source = {p[0] + objectRight[0], p[1] + objectRight[1], p[2] + objectRight[2]};
  const Vec3 right = host.param(pivot, LWIP_RIGHT, frameTime);
  EXPECT_THAT(evaluate(source), IsNear(Vec3{p[0] + right[0], p[1] + right[1], p[2] + right[2]}));
}

TEST_F(EvaluateTest, PointWithoutWeightStaysPut) {
  lag->lagRate = 3.0;
  lag->weightMapIndex = 1;
  lag->weightMapName = "Tail";
  prepare();
  const Vec3 source = {5, 6, 7};
  EXPECT_EQ(evaluate(source, 99), source);
  EXPECT_TRUE(host.paramCalls.empty());

  lag->weightMapName = "Missing";  // found by name only at the next frame
  EXPECT_NE(evaluate(source, 1), source);
  prepare();
  const std::size_t readsBefore = mesh.readMaps.size();
  EXPECT_EQ(evaluate(source, 1), source);
  EXPECT_EQ(mesh.readMaps.size(), readsBefore);  // no map: the host is not asked to read from null
  EXPECT_EQ(evaluate(source, 2), source);
  EXPECT_EQ(mesh.lookups.load(), 3);  // each point looks the map up again
}

TEST_F(EvaluateTest, WeightMapIsLookedUpOncePerFrame) {
  lag->lagRate = 0.5;
  lag->weightMapIndex = 2;
  lag->weightMapName = "Tail";
  for (int frame = 1; frame <= 2; ++frame) {
    prepare(frame);
    for (std::uintptr_t p = 1; p <= 4; ++p) evaluate(Vec3{1.0 * p, 2, 3}, p);
    EXPECT_EQ(mesh.lookups.load(), frame);
  }
  EXPECT_EQ(mesh.lookupNames, (std::vector<std::string>{"WGHT:Tail", "WGHT:Tail"}));
  EXPECT_EQ(lag->weightMapId.load(), mesh.mapId);

  // A name that finds nothing is looked up again by each point.
  lag->weightMapName = "Missing";
  prepare(3);
  for (std::uintptr_t p = 1; p <= 3; ++p) evaluate(Vec3{1, 2, 3}, p);
  EXPECT_EQ(mesh.lookups.load(), 5);
}

TEST_F(EvaluateTest, EachConnectedInputOverridesOnlyItsOwnValue) {
  lag->lagRate = 0.3;
  lag->pivotItem = pivot;
  lag->weightMapIndex = 1;
  lag->weightMapName = "Tail";
  const Vec3 nodePivot = {0.5, -2, 1};
  host.inputValues[lag->lagRateInput] = {-0.7, 0, 0};
  host.inputValues[lag->pivotInput] = nodePivot;
  host.inputValues[lag->weightInput] = {1.3, 0, 0};
  const Reference expect = reference();
  const Vec3 source = {3.5, -1.25, 0.75};
  const Vec3 pivotWorld = host.param(pivot, LWIP_W_POSITION, frameTime);
  const double mapWeight = double{0.7f};

  struct Case {
    const char* name;
    int32_t useNode;
    bool lagRate, pivotPosition, weight;
    Vec3 expected;
    int evaluations;
  };
  const Case cases[] = {
      {"node inputs off", 0, true, true, true, expect(source, pivotWorld, pivot, 8, mapWeight, 0.3), 0},
      {"nothing connected", 1, false, false, false, expect(source, pivotWorld, pivot, 8, mapWeight, 0.3), 0},
      {"lag rate", 1, true, false, false, expect(source, pivotWorld, pivot, 8, mapWeight, -0.7), 1},
      {"pivot position", 1, false, true, false, expect(source, nodePivot, object, 8, mapWeight, 0.3), 1},
      {"weight", 1, false, false, true, expect(source, pivotWorld, pivot, 8, 1.3, 0.3), 1},
      {"all three", 1, true, true, true, expect(source, nodePivot, object, 8, 1.3, -0.7), 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lag->useNode = c.useNode;
    host.connectedInputs.clear();
    if (c.lagRate) host.connectedInputs.insert(lag->lagRateInput);
    if (c.pivotPosition) host.connectedInputs.insert(lag->pivotInput);
    if (c.weight) host.connectedInputs.insert(lag->weightInput);
    prepare();
    EXPECT_EQ(evaluate(source), c.expected);
    EXPECT_EQ(host.samples.size(), static_cast<std::size_t>(c.evaluations));
    EXPECT_EQ(host.inputCalls.size(), static_cast<std::size_t>(c.useNode != 0 ? 3 + c.evaluations : 0));
    EXPECT_EQ(host.paramCalls.size(), 4u);  // the sample record asks the host nothing per point
  }
}

TEST_F(EvaluateTest, NodePivotWithoutLagShiftsByObjectPositionMinusNodePivot) {
  host.placeStill(object, objectPosition());
  lag->useNode = 1;
  lag->pivotItem = pivot;
  lag->localPivot = 1;
  host.connectedInputs = {lag->pivotInput};
  const Vec3 nodePivot = {0.5, -2, 1};
  host.inputValues[lag->pivotInput] = nodePivot;
  prepare();
  const Vec3 source = {3.5, -1.25, 0.75};
  const Vec3 at = objectPosition();
  EXPECT_EQ(evaluate(source), (Vec3{at[0] + (source[0] - nodePivot[0]), at[1] + (source[1] - nodePivot[1]),
                                    at[2] + (source[2] - nodePivot[2])}));
}

TEST_F(EvaluateTest, NodeInputsSeeTheSampleRecordOfThePoint) {
  lag->useNode = 1;
  host.connectedInputs = {lag->lagRateInput, lag->weightInput};
  prepare();
  const LWDisplacementAccess a = access({3.5, -1.25, 0.75}, 7);
  evaluate(a);
  tarrow::NodalSample filled;
  tarrow::fillNodalAccess(*lag, a, filled);
  ASSERT_EQ(host.samples.size(), 2u);
  for (const LWNodalAccess& sample : host.samples) {
    // randomData points into the storage of the call that filled the record.
    EXPECT_NE(sample.randomData, nullptr);
    LWNodalAccess expected = filled;
    expected.randomData = sample.randomData;
    EXPECT_EQ(std::memcmp(&sample, &expected, sizeof expected), 0);
  }
}

TEST_F(EvaluateTest, PointsOfOneFrameMayBeEvaluatedAtOnce) {
  lag->lagRate = 0.3;
  lag->pivotItem = pivot;
  lag->weightMapIndex = 1;
  lag->weightMapName = "Tail";
  lag->useNode = 1;
  host.connectedInputs = {lag->lagRateInput};
  host.inputValues[lag->lagRateInput] = {0.4, 0, 0};
  for (std::uintptr_t p = 1; p <= 64; ++p) mesh.weights[fake::point(p)] = 0.01f * static_cast<float>(p);

  std::vector<LWDisplacementAccess> points;
  for (std::uintptr_t p = 1; p <= 64; ++p) points.push_back(access({0.1 * p, -0.2 * p, 1.0}, p));
  prepare();
  std::vector<LWDisplacementAccess> alone = points;
  for (LWDisplacementAccess& a : alone) handler.evaluate(lag, &a);

  prepare();
  host.recording = false;
  std::vector<std::vector<LWDisplacementAccess>> together(4, points);
  std::vector<std::thread> threads;
  for (auto& batch : together) {
    threads.emplace_back([this, &batch] {
      for (LWDisplacementAccess& a : batch) handler.evaluate(lag, &a);
    });
  }
  for (std::thread& t : threads) t.join();
  host.recording = true;
  for (const auto& batch : together) {
    EXPECT_EQ(std::memcmp(batch.data(), alone.data(), alone.size() * sizeof alone[0]), 0);
  }
}

}  // namespace

TEST_F(EvaluateTest, APointWithoutAFiniteDelayedTimeStaysWhereTheHostPutIt) {
  const double infinity = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* name;
    double lagRate;
    std::optional<double> nodeWeight;
    bool atPivot;
  };
  const Case cases[] = {
      {"lag rate not a number", nan, std::nullopt, false},
      {"infinite lag rate", infinity, std::nullopt, false},
      {"minus infinite lag rate", -infinity, std::nullopt, false},
      {"infinite lag rate at the pivot (0 x infinity)", infinity, std::nullopt, true},
      {"infinite weight from a node", 0.5, infinity, false},
      {"weight from a node not a number", 0.5, nan, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lag->lagRate = c.lagRate;
    lag->useNode = c.nodeWeight.has_value() ? 1 : 0;
    host.connectedInputs.clear();
    if (c.nodeWeight) {
      host.connectedInputs.insert(lag->weightInput);
      host.inputValues[lag->weightInput] = {*c.nodeWeight, 0, 0};
    }
    prepare();
    const Vec3 source = c.atPivot ? objectPosition() : Vec3{3.5, -1.25, 0.75};
    EXPECT_EQ(evaluate(source), source);
    for (const fake::ParamCall& call : host.paramCalls) EXPECT_TRUE(std::isfinite(call.time)) << call.code;
  }
}

TEST_F(EvaluateTest, AFrameLooksUpTheWeightMapNamedAtItsNewTime) {
  lag->lagRate = 0.5;
  lag->weightMapIndex = 1;
  lag->weightMapName = "Tail";
  prepare();
  // A panel edit while the frame's points are evaluated: they keep to the frame's map.
  lag->weightMapName = "Missing";
  const Vec3 source = {5, 6, 7};
  EXPECT_NE(evaluate(source, 1), source);
  EXPECT_EQ(mesh.lookupNames, std::vector<std::string>{"WGHT:Tail"});
  prepare();
  EXPECT_EQ(evaluate(source, 1), source);  // the next frame looks for the new name and finds none
  EXPECT_EQ(mesh.lookupNames, (std::vector<std::string>{"WGHT:Tail", "WGHT:Missing"}));
}
