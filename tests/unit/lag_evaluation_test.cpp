#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
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

using fake::ParamCall;
using fake::Vec3;
using fixture::camera;
using fixture::ModuleTest;
using fixture::object;
using fixture::pivot;
using tarrow::LagInstance;

constexpr LWTime frameTime = 2.0;

Vec3 plus(Vec3 a, Vec3 b, double scale = 1.0) {
  return {a[0] + scale * b[0], a[1] + scale * b[1], a[2] + scale * b[2]};
}
double distance(Vec3 a, Vec3 b) { return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]); }

// The items' velocities: each carrier below only slides, its axes fixed, so a point it carries
// is, by the delay, where the carrier was: at p - velocity x delay.
const Vec3 objectVelocity = {0.5, -0.25, 2};
const Vec3 pivotVelocity = {2, 0, 0};

class EvaluateTest : public ModuleTest {
 protected:
  fake::Mesh mesh{"Tail"};
  LagInstance* lag = nullptr;

  void SetUp() override {
    ModuleTest::SetUp();
    // An object that slides, turned and scaled by (2, 0.5, 1): codes 2, 3, 4 are the columns of
    // A = R * diag(2, 0.5, 1), codes 9, 10, 11 those of its inverse diag(0.5, 2, 1) * R^T.
    host.setParam(object, LWIP_W_POSITION, {{1.1, 2.3, 3.17}, objectVelocity});
    host.setParam(object, LWIP_POSITION, {{7, 7, 7}, {0, 0, 0}});
    host.setParam(object, LWIP_RIGHT, {{4.0 / 3, 4.0 / 3, 2.0 / 3}, {0, 0, 0}});
    host.setParam(object, LWIP_UP, {{-1.0 / 3, 1.0 / 6, 1.0 / 3}, {0, 0, 0}});
    host.setParam(object, LWIP_FORWARD, {{1.0 / 3, -2.0 / 3, 2.0 / 3}, {0, 0, 0}});
    host.setParam(object, LWIP_W_RIGHT, {{1.0 / 3, -4.0 / 3, 1.0 / 3}, {0, 0, 0}});
    host.setParam(object, LWIP_W_UP, {{1.0 / 3, 2.0 / 3, -2.0 / 3}, {0, 0, 0}});
    host.setParam(object, LWIP_W_FORWARD, {{1.0 / 6, 4.0 / 3, 2.0 / 3}, {0, 0, 0}});
    // A pivot item turned a quarter about z against the object and scaled 2, sliding along x;
    // its parent-relative position (code 1) is something else again and must not be used.
    host.setParam(pivot, LWIP_POSITION, {{4, 0, 0}, {0, 1, 0}});
    host.setParam(pivot, LWIP_W_POSITION, {{-3, 1, 0}, pivotVelocity});
    host.setParam(pivot, LWIP_RIGHT, {{0, 2, 0}, {}});
    host.setParam(pivot, LWIP_UP, {{-2, 0, 0}, {}});
    host.setParam(pivot, LWIP_FORWARD, {{0, 0, 2}, {}});
    host.setParam(pivot, LWIP_W_RIGHT, {{0, -0.5, 0}, {}});
    host.setParam(pivot, LWIP_W_UP, {{0.5, 0, 0}, {}});
    host.setParam(pivot, LWIP_W_FORWARD, {{0, 0, 0.5}, {}});
    host.setParam(camera, LWIP_W_POSITION, {{0, 0, -10}, {0, 0, 0}});
    host.renderCamera = camera;
    host.objects = {{object, "Object"}, {pivot, "Pivot"}};
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
  Vec3 pivotPosition() const { return host.param(pivot, LWIP_W_POSITION, frameTime); }
};

// Within 1e-12 of the expected point, relative to its size (at least 1).
MATCHER_P(IsNear, expected, "") {
  const double scale =
      std::max({1.0, std::fabs(expected[0]), std::fabs(expected[1]), std::fabs(expected[2])});
  for (int i = 0; i < 3; ++i) {
    if (std::fabs(arg[i] - expected[i]) > 1e-12 * scale) return false;
  }
  return true;
}

TEST_F(EvaluateTest, BeforeAnyNewTimeEveryPointStaysWhereItIs) {
  lag->lagRate = 0.5;
  lag->pivotItem = pivot;
  const Vec3 source = {3.5, -1.25, 0.75};
  EXPECT_EQ(evaluate(source), source);
  EXPECT_TRUE(host.paramCalls.empty());
}

TEST_F(EvaluateTest, WithoutLagPointsStayWhereTheyAreForEveryPivot) {
  const Vec3 nodePivot = {0.5, -2, 1};
  host.inputValues[lag->pivotInput] = nodePivot;
  host.parents[pivot] = object;
  struct Case {
    const char* name;
    LWItemID pivotItem;
    int32_t localPivot;
    bool nodePivot;
  };
  const Case cases[] = {{"object", nullptr, 0, false},
                        {"turned, scaled pivot item", pivot, 0, false},
                        {"pivot item, Local Pivot", pivot, 1, false},
                        {"node pivot", pivot, 0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lag->pivotItem = c.pivotItem;
    lag->localPivot = c.localPivot;
    lag->useNode = c.nodePivot ? 1 : 0;
    host.connectedInputs.clear();
    if (c.nodePivot) host.connectedInputs.insert(lag->pivotInput);
    lag->lagRate = 0.0;
    lag->weightMapIndex = 0;
    prepare();
    const Vec3 offPivot = {3.5, -1.25, 0.75};
    EXPECT_EQ(evaluate(offPivot), offPivot);
    lag->lagRate = 0.5;
    lag->weightMapIndex = 1;
    lag->weightMapName = "Tail";
    prepare();
    EXPECT_EQ(evaluate(offPivot, 2), offPivot);  // weight 0 from the map
    const Vec3 centre = c.nodePivot ? nodePivot : c.pivotItem != nullptr ? pivotPosition() : objectPosition();
    EXPECT_EQ(evaluate(centre, 3), centre);  // at the pivot, whatever the lag
  }
}

TEST_F(EvaluateTest, ASlidingCarrierLeavesEachPointWhereItWasTheDelayEarlier) {
  struct Case {
    const char* name;
    double lagRate;
    LWItemID pivotItem;
    int32_t localPivot;
    int32_t weightMapIndex;
    std::uintptr_t point;
    bool withInfo;
    LWItemID carrier;
    double weight;
  };
  const Case cases[] = {
      {"object pivot", 0.3, nullptr, 0, 0, 1, true, object, 1.0},
      {"negative lag leads", -0.3, nullptr, 0, 0, 1, true, object, 1.0},
      {"pivot item", 0.3, pivot, 0, 0, 1, true, pivot, 1.0},
      {"Local Pivot, pivot without parent", 0.3, pivot, 1, 0, 1, true, pivot, 1.0},
      {"Local Pivot without pivot item", 0.3, nullptr, 1, 0, 1, true, object, 1.0},
      {"weight map", 0.3, pivot, 0, 1, 1, true, pivot, double{0.7f}},
      {"weight map above one", 0.3, nullptr, 0, 1, 3, true, object, double{1.3f}},
      {"weight map without mesh info", 0.3, nullptr, 0, 1, 4, false, object, 1.0},
  };
  lag->weightMapName = "Tail";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lag->lagRate = c.lagRate;
    lag->pivotItem = c.pivotItem;
    lag->localPivot = c.localPivot;
    lag->weightMapIndex = c.weightMapIndex;
    const Vec3 centre = c.carrier == object ? objectPosition() : pivotPosition();
    const Vec3 velocity = c.carrier == object ? objectVelocity : pivotVelocity;
    for (const Vec3& source : {Vec3{3.57, -7.17, -3.2}, Vec3{6.45, 7.2, -4.41}, Vec3{7.94, -2.26, 4.9}}) {
      prepare();
      const double delay = distance(source, centre) * c.weight * c.lagRate;
      EXPECT_THAT(evaluate(source, c.point, c.withInfo), IsNear(plus(source, velocity, -delay)));
    }
    // Per point, only the carrier's frame at the delayed time is asked for.
    ASSERT_EQ(host.paramCalls.size(), 4u);
    const int codes[4] = {LWIP_RIGHT, LWIP_UP, LWIP_FORWARD, LWIP_W_POSITION};
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(host.paramCalls[k].item, c.carrier);
      EXPECT_EQ(host.paramCalls[k].code, codes[k]);
      EXPECT_EQ(host.paramCalls[k].time, host.paramCalls[0].time);
    }
    EXPECT_EQ(host.paramCalls[0].time > frameTime, c.lagRate * c.weight < 0);
    EXPECT_TRUE(host.inputCalls.empty());
  }
}

TEST_F(EvaluateTest, AGrowingCarrierPlacesThePointAtItsEarlierScale) {
  // The pivot at the origin, its right vector (1 + t, 0, 0): at 2 s scale 3 along x.
  host.setParam(pivot, LWIP_W_POSITION, {});
  host.setParam(pivot, LWIP_RIGHT, {{1, 0, 0}, {1, 0, 0}});
  host.setParam(pivot, LWIP_UP, {{0, 1, 0}, {}});
  host.setParam(pivot, LWIP_FORWARD, {{0, 0, 1}, {}});
  host.setParam(pivot, LWIP_W_RIGHT, {{1.0 / 3, 0, 0}, {}});
  host.setParam(pivot, LWIP_W_UP, {{0, 1, 0}, {}});
  host.setParam(pivot, LWIP_W_FORWARD, {{0, 0, 1}, {}});
  lag->pivotItem = pivot;
  lag->lagRate = 0.2;
  prepare();
  // 5 m from the pivot: 1 s earlier, when the scale along x was 2, x = 3 was x = 2.
  EXPECT_THAT(evaluate(Vec3{3, 4, 0}), IsNear(Vec3{2, 4, 0}));
}

TEST_F(EvaluateTest, WithLocalPivotOnlyTheMotionAgainstTheParentLags) {
  // A car 20 m out, turned a quarter about y, driving 10 m/s along x; the pivot rides it,
  // 1 m/s up along the car's up vector (the world's y): in the world it moves by (10, 1, 0) a second.
  const LWItemID car = fake::item(0x400);
  host.parents[pivot] = car;
  host.setParam(car, LWIP_W_POSITION, {{20, 0, 0}, {10, 0, 0}});
  host.setParam(car, LWIP_RIGHT, {{0, 0, -1}, {}});
  host.setParam(car, LWIP_UP, {{0, 1, 0}, {}});
  host.setParam(car, LWIP_FORWARD, {{1, 0, 0}, {}});
  host.setParam(car, LWIP_W_RIGHT, {{0, 0, 1}, {}});
  host.setParam(car, LWIP_W_UP, {{0, 1, 0}, {}});
  host.setParam(car, LWIP_W_FORWARD, {{-1, 0, 0}, {}});
  for (int code : {LWIP_RIGHT, LWIP_UP, LWIP_FORWARD, LWIP_W_RIGHT, LWIP_W_UP, LWIP_W_FORWARD}) {
    host.setParam(pivot, code, {host.param(car, code, 0), {}});
  }
  host.setParam(pivot, LWIP_W_POSITION, {{20, 0, 0}, {10, 1, 0}});
  lag->pivotItem = pivot;
  lag->lagRate = 0.1;
  const Vec3 source = plus(Vec3{40, 2, 0}, Vec3{0, 3, 4});  // 5 m from the pivot: delay 0.5 s
  lag->localPivot = 1;
  prepare();
  EXPECT_THAT(evaluate(source), IsNear(plus(source, Vec3{0, 1, 0}, -0.5)));
  // The carrier's frame at the delayed time, then the parent's (world axes in it, position).
  ASSERT_EQ(host.paramCalls.size(), 8u);
  const std::vector<ParamCall> parentCalls(host.paramCalls.begin() + 4, host.paramCalls.end());
  const LWTime delayed = frameTime - 0.5;
  EXPECT_EQ(parentCalls, (std::vector<ParamCall>{
                             {car, 9, delayed}, {car, 10, delayed}, {car, 11, delayed}, {car, 8, delayed}}));
  lag->localPivot = 0;
  prepare();
  EXPECT_THAT(evaluate(source), IsNear(plus(source, Vec3{10, 1, 0}, -0.5)));
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
  EXPECT_EQ(mesh.lookups.load(), 2);  // a map that is not there is looked up once a frame
}

TEST_F(EvaluateTest, WeightMapIsLookedUpOncePerFrameWithoutSelectingIt) {
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

  // A name that finds nothing is looked up once a frame too.
  lag->weightMapName = "Missing";
  for (int frame = 3; frame <= 4; ++frame) {
    prepare(frame);
    for (std::uintptr_t p = 1; p <= 3; ++p) evaluate(Vec3{1, 2, 3}, p);
    EXPECT_EQ(mesh.lookups.load(), frame);
  }
  EXPECT_EQ(mesh.selectingLookups.load(), 0);
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
  const Vec3 source = {3.5, -1.25, 0.75};
  const double mapWeight = double{0.7f};
  // A node pivot is a position only: the object carries the point.
  const auto expect = [&](bool fromNode, double weight, double lagRate) {
    const double delay = distance(source, fromNode ? nodePivot : pivotPosition()) * weight * lagRate;
    return plus(source, fromNode ? objectVelocity : pivotVelocity, -delay);
  };

  struct Case {
    const char* name;
    int32_t useNode;
    bool lagRate, pivotPosition, weight;
    Vec3 expected;
    int evaluations;
  };
  const Case cases[] = {
      {"node inputs off", 0, true, true, true, expect(false, mapWeight, 0.3), 0},
      {"nothing connected", 1, false, false, false, expect(false, mapWeight, 0.3), 0},
      {"lag rate", 1, true, false, false, expect(false, mapWeight, -0.7), 1},
      {"pivot position", 1, false, true, false, expect(true, mapWeight, 0.3), 1},
      {"weight", 1, false, false, true, expect(false, 1.3, 0.3), 1},
      {"all three", 1, true, true, true, expect(true, 1.3, -0.7), 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lag->useNode = c.useNode;
    host.connectedInputs.clear();
    if (c.lagRate) host.connectedInputs.insert(lag->lagRateInput);
    if (c.pivotPosition) host.connectedInputs.insert(lag->pivotInput);
    if (c.weight) host.connectedInputs.insert(lag->weightInput);
    prepare();
    EXPECT_THAT(evaluate(source), IsNear(c.expected));
    EXPECT_EQ(host.samples.size(), static_cast<std::size_t>(c.evaluations));
    EXPECT_EQ(host.inputCalls.size(), static_cast<std::size_t>(c.useNode != 0 ? 3 + c.evaluations : 0));
    EXPECT_EQ(host.paramCalls.size(), 4u);  // the sample record asks the host nothing per point
  }
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
