#include <gtest/gtest.h>

#include <vector>

#include "common/service_table.h"
#include "fake_host.h"
#include "module_fixture.h"

namespace {

using fake::ParamCall;
using fixture::camera;
using fixture::ModuleTest;
using fixture::object;
using fixture::pivot;
using tarrow::LagInstance;

class FrameTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    host.setParam(object, LWIP_W_POSITION, {{1, 2, 3}, {10, 0, 0}});
    host.setParam(object, LWIP_RIGHT, {{0.5, 0.25, 0}, {0, 1, 0}});
    host.setParam(object, LWIP_UP, {{0, 1, 0.125}, {0, 0, 2}});
    host.setParam(object, LWIP_FORWARD, {{0.75, 0, 1}, {3, 0, 0}});
    host.setParam(object, LWIP_W_RIGHT, {{9, 0, 0}, {0, 0, 0}});
    host.setParam(object, LWIP_W_UP, {{0, 9, 0}, {0, 0, 0}});
    host.setParam(object, LWIP_W_FORWARD, {{0, 0, 9}, {0, 0, 0}});
    host.setParam(object, LWIP_PIVOT, {{0.5, -1, 2}, {0, 0.25, 0}});
    host.setParam(pivot, LWIP_POSITION, {{-1, 0, 0}, {0, 4, 0}});
    host.setParam(pivot, LWIP_W_POSITION, {{-2, 0, 0}, {0, 0, 5}});
    host.setParam(camera, LWIP_W_POSITION, {{0, 0, -10}, {1, 1, 1}});
    host.setParam(pivot, LWIP_W_RIGHT, {{0, 1, 0}, {0, 0, 1}});
    host.setParam(pivot, LWIP_W_UP, {{-1, 0, 0}, {}});
    host.setParam(pivot, LWIP_W_FORWARD, {{0, 0, 0.5}, {}});
    host.renderCamera = camera;
    host.objects = {{object, "Object"}, {pivot, "Pivot"}};
  }

  static void expectVector(const double actual[3], fake::Vec3 expected) {
    for (int i = 0; i < 3; ++i) EXPECT_EQ(actual[i], expected[i]) << "component " << i;
  }

  void expectCacheAt(const LagInstance& lag, LWTime time) {
    EXPECT_EQ(lag.time, time);
    expectVector(lag.objectWorldPosition, host.param(object, LWIP_W_POSITION, time));
    expectVector(lag.objectPivot, host.param(object, LWIP_PIVOT, time));
    const int axisCodes[3] = {LWIP_RIGHT, LWIP_UP, LWIP_FORWARD};
    for (int axis = 0; axis < 3; ++axis) {
      const fake::Vec3 vector = host.param(object, axisCodes[axis], time);
      for (int row = 0; row < 3; ++row) EXPECT_EQ(lag.objectAxes[row][axis], vector[row]);
      expectVector(lag.objectWorldAxes[axis], host.param(object, LWIP_W_RIGHT + axis, time));
    }
  }
};

TEST_F(FrameTest, CachesTheFrameWithItsQueriesInOrder) {
  LagInstance& lag = make();
  lag.pivotItem = pivot;
  lag.weightMapId.store(fake::handle<LWVMapID>(0x55));
  host.editorCalls.clear();

  EXPECT_EQ(rend.newTime(&lag, 12, 0.5), nullptr);
  expectCacheAt(lag, 0.5);
  EXPECT_EQ(lag.weightMapId.load(), nullptr);
  EXPECT_EQ(lag.cameraItem, camera);
  expectVector(lag.cameraWorldPosition, {0.5, 0.5, -9.5});
  EXPECT_TRUE(lag.frame.prepared);
  EXPECT_EQ(lag.frame.carrier, pivot);
  EXPECT_EQ(lag.frame.carrierParent, nullptr);  // Local Pivot off
  expectVector(lag.frame.carrierPosition, {-2, 0, 2.5});
  for (int axis = 0; axis < 3; ++axis) {
    expectVector(lag.frame.carrierWorldAxes[axis], host.param(pivot, LWIP_W_RIGHT + axis, 0.5));
  }
  EXPECT_EQ(host.globalRequests, std::vector<std::string>{"LW Scene Info 10/0"});
  const std::vector<ParamCall> expected = {
      {camera, 8, 0.5}, {object, 8, 0.5},  {object, 2, 0.5},  {object, 3, 0.5}, {object, 4, 0.5},
      {object, 9, 0.5}, {object, 10, 0.5}, {object, 11, 0.5}, {object, 7, 0.5}, {pivot, 8, 0.5},
      {pivot, 9, 0.5},  {pivot, 10, 0.5},  {pivot, 11, 0.5}};
  EXPECT_EQ(host.paramCalls, expected);
  EXPECT_TRUE(host.editorCalls.empty());  // node inputs off: the editor is left alone
}

TEST_F(FrameTest, WithLocalPivotThePivotsParentIsTakenAtTheFramesTime) {
  const LWItemID car = fake::item(0x400);
  host.parents[pivot] = car;
  host.setParam(car, LWIP_RIGHT, {{0, 0, -1}, {}});
  host.setParam(car, LWIP_UP, {{0, 1, 0}, {}});
  host.setParam(car, LWIP_FORWARD, {{1, 0, 0}, {}});
  host.setParam(car, LWIP_W_POSITION, {{20, 0, 0}, {1, 0, 0}});
  LagInstance& lag = make();
  lag.pivotItem = pivot;
  for (int32_t local : {1, 0}) {
    SCOPED_TRACE(local);
    lag.localPivot = local;
    host.paramCalls.clear();
    rend.newTime(&lag, 24, 1.0);
    EXPECT_EQ(lag.frame.carrierParent, local != 0 ? car : nullptr);
    const std::vector<ParamCall> parentCalls = {{car, 2, 1.0}, {car, 3, 1.0}, {car, 4, 1.0}, {car, 8, 1.0}};
    const std::vector<ParamCall> tail(host.paramCalls.end() - 4, host.paramCalls.end());
    EXPECT_EQ(tail == parentCalls, local != 0);
  }
  lag.localPivot = 1;
  rend.newTime(&lag, 24, 1.0);
  expectVector(lag.frame.parentAxes[0], {0, 0, -1});
  expectVector(lag.frame.parentAxes[2], {1, 0, 0});
  expectVector(lag.frame.parentPosition, {21, 0, 0});
  host.parents.clear();  // a pivot without parent: Local Pivot is the world's
  rend.newTime(&lag, 24, 1.0);
  EXPECT_EQ(lag.frame.carrierParent, nullptr);
}

TEST_F(FrameTest, APivotItemNotInTheSceneLeavesTheObjectAsPivotAndTheSettingAsItWas) {
  LagInstance& lag = make();
  lag.pivotItem = fake::item(0x999);
  lag.pivotIndex = 2;
  lag.localPivot = 1;
  rend.newTime(&lag, 12, 0.5);
  EXPECT_EQ(lag.frame.carrier, object);
  EXPECT_EQ(lag.frame.carrierParent, nullptr);
  expectVector(lag.frame.carrierPosition, host.param(object, LWIP_W_POSITION, 0.5));
  for (int axis = 0; axis < 3; ++axis) {
    expectVector(lag.frame.carrierWorldAxes[axis], host.param(object, LWIP_W_RIGHT + axis, 0.5));
  }
  for (const ParamCall& call : host.paramCalls) EXPECT_NE(call.item, fake::item(0x999));
  EXPECT_EQ(lag.pivotItem, fake::item(0x999));
  EXPECT_EQ(lag.pivotIndex, 2);
  host.objects.push_back({fake::item(0x999), "Back"});  // the item is there again
  rend.newTime(&lag, 13, 0.5);
  EXPECT_EQ(lag.frame.carrier, fake::item(0x999));
}

TEST_F(FrameTest, TheFrameKeepsTheSettingsOfItsNewTime) {
  LagInstance& lag = make();
  EXPECT_FALSE(lag.frame.prepared);
  lag.lagRate = 0.25;
  lag.pivotItem = pivot;
  lag.weightMapIndex = 1;
  lag.weightMapName = "Tail";
  lag.useNode = 1;
  rend.newTime(&lag, 12, 0.5);
  // Edits after newTime: the frame keeps what newTime found.
  lag.lagRate = 3.0;
  lag.pivotItem = nullptr;
  lag.weightMapIndex = 0;
  lag.weightMapName = "Other";
  lag.useNode = 0;
  EXPECT_EQ(lag.frame.lagRate, 0.25);
  EXPECT_EQ(lag.frame.carrier, pivot);
  EXPECT_TRUE(lag.frame.weightMap);
  EXPECT_STREQ(lag.frameWeightMapName, "Tail");
  EXPECT_EQ(lag.frame.useNode, 1);
  rend.newTime(&lag, 13, 0.5);
  EXPECT_EQ(lag.frame.lagRate, 3.0);
  EXPECT_EQ(lag.frame.carrier, object);
  EXPECT_FALSE(lag.frame.weightMap);
  EXPECT_STREQ(lag.frameWeightMapName, "Other");
  EXPECT_EQ(lag.frame.useNode, 0);
}

TEST_F(FrameTest, NodeInputsUpdateTheEditorFirst) {
  LagInstance& lag = make();
  lag.useNode = 1;
  host.editorCalls.clear();
  EXPECT_EQ(rend.newTime(&lag, 3, 0.125), nullptr);
  EXPECT_EQ(host.editorCalls, std::vector<std::string>{"newTime(" + fake::text(lag.nodeEditor) + ",3," +
                                                       std::to_string(0.125) + ")"});
  const std::vector<ParamCall> expected = {{camera, 8, 0.125},  {object, 8, 0.125},  {object, 2, 0.125},
                                           {object, 3, 0.125},  {object, 4, 0.125},  {object, 9, 0.125},
                                           {object, 10, 0.125}, {object, 11, 0.125}, {object, 7, 0.125}};
  EXPECT_EQ(host.paramCalls, expected);
  expectCacheAt(lag, 0.125);
}

TEST_F(FrameTest, SameTimeTwiceGivesTheSameCache) {
  LagInstance& lag = make();
  lag.pivotItem = pivot;
  rend.newTime(&lag, 24, 1.0);
  const double firstPivot[3] = {lag.frame.carrierPosition[0], lag.frame.carrierPosition[1],
                                lag.frame.carrierPosition[2]};
  lag.weightMapId.store(fake::handle<LWVMapID>(0x66));
  rend.newTime(&lag, 24, 1.0);
  expectCacheAt(lag, 1.0);
  expectVector(lag.frame.carrierPosition, {firstPivot[0], firstPivot[1], firstPivot[2]});
  EXPECT_EQ(lag.weightMapId.load(), nullptr);
}

TEST_F(FrameTest, NoRenderCameraLeavesTheOrigin) {
  LagInstance& lag = make();
  rend.newTime(&lag, 1, 0.5);
  host.renderCamera = nullptr;
  host.paramCalls.clear();
  rend.newTime(&lag, 2, 1.5);
  EXPECT_EQ(lag.cameraItem, nullptr);
  expectVector(lag.cameraWorldPosition, {0, 0, 0});
  for (const ParamCall& call : host.paramCalls) EXPECT_NE(call.item, camera);
  EXPECT_EQ(host.renderCameraCalls.load(), 2);
}

}  // namespace
