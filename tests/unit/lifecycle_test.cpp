#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_host.h"
#include "instance/node_editor_setup.h"
#include "module_fixture.h"
#include "ui/panel.h"

namespace {

using fake::text;
using fixture::ModuleTest;
using fixture::object;
using fixture::pivot;
using tarrow::LagInstance;

TEST_F(ModuleTest, CreateGivesDefaultsAndDescription) {
  LagInstance& lag = make();
  EXPECT_EQ(lag.objectId, object);
  EXPECT_TRUE(lag.panels.empty());
  EXPECT_EQ(lag.lagRate, 0.0);
  EXPECT_EQ(lag.pivotItem, nullptr);
  EXPECT_EQ(lag.weightMapName, "");
  EXPECT_EQ(lag.localPivot, 0);
  EXPECT_EQ(lag.pivotIndex, 0);
  EXPECT_EQ(lag.weightMapIndex, 0);
  EXPECT_EQ(lag.useNode, 0);
  EXPECT_EQ(lag.time, 0.0);
  EXPECT_EQ(lag.cameraItem, nullptr);
  EXPECT_EQ(lag.weightMapId.load(), nullptr);
  EXPECT_FALSE(lag.frame.prepared);  // its points stay put until the first newTime
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(lag.objectWorldPosition[i], 0.0);
    EXPECT_EQ(lag.frame.carrierPosition[i], 0.0);
    EXPECT_EQ(lag.cameraWorldPosition[i], 0.0);
    for (int j = 0; j < 3; ++j) EXPECT_EQ(lag.objectAxes[i][j], 0.0);
  }
  const char* line = inst.descln(&lag);
  EXPECT_STREQ(line, "Tarrow_plus (1.00) 03/25");
  lag.lagRate = 3.0;
  EXPECT_EQ(inst.descln(&lag), line);  // stable while the instance lives
  // Creating touched no error slot and no host service but the node editor's set-up.
  EXPECT_TRUE(host.paramCalls.empty());
  EXPECT_TRUE(host.instUpdates.empty());
}

TEST_F(ModuleTest, CreateSetsUpTheNodeEditorInOrder) {
  LWError error = reinterpret_cast<LWError>(std::uintptr_t{1});
  LWInstance made = inst.create(reinterpret_cast<void*>(std::uintptr_t{0x77}), object, &error);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(error, reinterpret_cast<LWError>(std::uintptr_t{1}));  // untouched on success
  auto& lag = *static_cast<LagInstance*>(made);
  const std::string editor = text(host.lastEditor());
  const std::string changed = text(reinterpret_cast<const void*>(&tarrow::nodeInputChanged));
  const std::vector<std::string> expected = {
      "create(Displacement,Tarrow_plus,zero64,null," + text(made) + ",null)",
      "getRootNodeID(" + editor + ")",
      "setNodePreviewType(" +
          text(fake::handle<void*>(reinterpret_cast<std::uintptr_t>(host.lastEditor()) + 0xA0000)) + ",2)",
      "chanGroup(" + text(object) + ")",
      "setEnvGroup(" + editor + "," + text(fake::handle<void*>(0x100 + 0xC000)) + ")",
      "setUpdateFunc(" + editor + ",func)",
      "setAutosize(" + editor + "," + text(reinterpret_cast<const void*>(&tarrow::fillUnitRanges)) + ")",
      "addInput(" + editor + ",2,Lag Rate (s/m)," + changed + ")",
      "addInput(" + editor + ",3,Pivot Position," + changed + ")",
      "addInput(" + editor + ",2,Weight," + changed + ")"};
  EXPECT_EQ(host.editorCalls, expected);
  EXPECT_EQ(lag.nodeEditor, host.lastEditor());
  const auto firstInput = reinterpret_cast<std::uintptr_t>(lag.lagRateInput);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(lag.pivotInput), firstInput + 1);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(lag.weightInput), firstInput + 2);
  inst.destroy(made);
}

// In the callback of each generation; the newer one returns 1.
TEST(NodeCallbacks, UnitRangesAreThreeZeroOnePairs) {
  for (int generation = 0; generation < 2; ++generation) {
    double out[4][2] = {{9, 9}, {9, 9}, {9, 9}, {9, 9}};
    if (generation == 0) {
      tarrow::fillUnitRanges(nullptr, out, out);
    } else {
      EXPECT_EQ(tarrow::fillUnitRanges2018(nullptr, out, out, out), 1);
    }
    const double expected[4][2] = {{0, 1}, {0, 1}, {0, 1}, {9, 9}};
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(out[k][0], expected[k][0]) << generation << " " << k;
      EXPECT_EQ(out[k][1], expected[k][1]) << generation << " " << k;
    }
  }
}

TEST_F(ModuleTest, InputChangeRefreshesAnOpenPanelAndUpdatesTheInstance) {
  LagInstance& lag = make();
  EXPECT_EQ(tarrow::nodeInputChanged(&lag, lag.pivotInput, NIE_CONNECT, NOT_VECTOR), 1);
  EXPECT_TRUE(host.viewRefreshes.empty());
  ASSERT_EQ(host.instUpdates.size(), 1u);
  EXPECT_EQ(host.instUpdates[0].first, "DisplacementHandler");
  EXPECT_EQ(host.instUpdates[0].second, &lag);

  const LWXPanelID panel = tarrow::buildPanel(&lag);
  EXPECT_EQ(tarrow::nodeInputChanged(&lag, lag.weightInput, NIE_DISCONNECT, NOT_SCALAR), 1);
  EXPECT_EQ(host.viewRefreshes, std::vector<LWXPanelID>{panel});
  EXPECT_EQ(host.instUpdates.size(), 2u);
}

TEST_F(ModuleTest, NetworkUpdateRefreshesTheOpenPanelsAndUpdatesTheInstance) {
  LagInstance& lag = make();
  nodeEditorUpdateFunc* update = host.updateFuncs.at(lag.nodeEditor);
  ASSERT_NE(update, nullptr);
  update(lag.nodeEditor);
  EXPECT_TRUE(host.viewRefreshes.empty());
  EXPECT_EQ(host.instUpdates,
            (std::vector<std::pair<std::string, LWInstance>>{{"DisplacementHandler", &lag}}));

  const LWXPanelID first = tarrow::buildPanel(&lag);
  const LWXPanelID second = tarrow::buildPanel(&lag);
  update(lag.nodeEditor);
  EXPECT_EQ(host.viewRefreshes, (std::vector<LWXPanelID>{first, second}));
  EXPECT_EQ(host.instUpdates.size(), 2u);

  // An editor whose user data is no instance: nothing to update.
  host.editorUserData[lag.nodeEditor] = nullptr;
  update(lag.nodeEditor);
  host.editorUserData[lag.nodeEditor] = &lag;
  EXPECT_EQ(host.instUpdates.size(), 2u);
}

TEST_F(ModuleTest, DestroyEndsTheEditorAndIgnoresNull) {
  LWInstance made = inst.create(nullptr, object, nullptr);
  const NodeEditorID editor = static_cast<LagInstance*>(made)->nodeEditor;
  host.editorCalls.clear();
  inst.destroy(made);
  EXPECT_EQ(host.editorCalls, std::vector<std::string>{"destroy(" + text(editor) + ")"});
  host.editorCalls.clear();
  inst.destroy(nullptr);
  EXPECT_TRUE(host.editorCalls.empty());
}

void setAll(LagInstance& lag) {
  lag.lagRate = 0.25;
  lag.pivotItem = pivot;
  lag.weightMapName = "Tail weights, long enough to leave the small-string buffer";
  lag.localPivot = 1;
  lag.pivotIndex = 3;
  lag.weightMapIndex = 2;
  lag.useNode = 1;
}

TEST_F(ModuleTest, CopyTakesSettingsAndNetworkButKeepsIdentity) {
  LagInstance& from = make(object);
  LagInstance& to = make(fake::item(0x101));
  setAll(from);
  from.time = 7.0;
  tarrow::buildPanel(&from);
  host.editorCalls.clear();

  EXPECT_EQ(inst.copy(&to, &from), nullptr);
  EXPECT_EQ(host.editorCalls,
            std::vector<std::string>{"copy(" + text(to.nodeEditor) + "," + text(from.nodeEditor) + ")"});
  EXPECT_EQ(to.lagRate, 0.25);
  EXPECT_EQ(to.pivotItem, pivot);
  EXPECT_EQ(to.weightMapName, from.weightMapName);
  EXPECT_EQ(to.localPivot, 1);
  EXPECT_EQ(to.pivotIndex, 3);
  EXPECT_EQ(to.weightMapIndex, 2);
  EXPECT_EQ(to.useNode, 1);
  // Each instance keeps its object, description, panel, editor, inputs and cache.
  EXPECT_EQ(to.objectId, fake::item(0x101));
  EXPECT_STREQ(to.description, "Tarrow_plus (1.00) 03/25");
  EXPECT_TRUE(to.panels.empty());
  EXPECT_NE(to.nodeEditor, from.nodeEditor);
  EXPECT_NE(to.lagRateInput, from.lagRateInput);
  EXPECT_EQ(to.time, 0.0);
  EXPECT_TRUE(host.instUpdates.empty());
}

TEST_F(ModuleTest, CopyOntoItselfOrWithNullArguments) {
  LagInstance& lag = make();
  setAll(lag);
  const std::string name = lag.weightMapName;
  host.editorCalls.clear();
  EXPECT_EQ(inst.copy(&lag, &lag), nullptr);
  EXPECT_TRUE(host.editorCalls.empty());  // the network is not copied onto itself
  EXPECT_EQ(lag.weightMapName, name);
  EXPECT_EQ(lag.lagRate, 0.25);
  EXPECT_EQ(lag.pivotItem, pivot);
  EXPECT_EQ(lag.pivotIndex, 3);

  LagInstance& other = make();
  host.editorCalls.clear();
  for (auto [to, from] :
       {std::pair<LWInstance, LWInstance>{nullptr, &lag}, {&other, nullptr}, {nullptr, nullptr}}) {
    EXPECT_STREQ(inst.copy(to, from), "Copy Error!");
  }
  EXPECT_TRUE(host.editorCalls.empty());
  EXPECT_EQ(other.lagRate, 0.0);
}

TEST_F(ModuleTest, UseItemsListsThePivotAndTheEditorsItemsInEachInstancesOwnList) {
  const LWItemID a = fake::item(0xA), b = fake::item(0xB), q = fake::item(0x2F0);
  LagInstance& first = make();
  LagInstance& second = make();
  const LWItemID* list = item.useItems(&first);
  EXPECT_EQ(list[0], LWITEM_NULL);  // no pivot, no node items: empty, and the object is never listed

  // The pivot first, then the editor's items, each once.
  first.pivotItem = pivot;
  host.usedItems[first.nodeEditor] = {a, pivot, a, b};
  list = item.useItems(&first);
  EXPECT_EQ(std::vector<LWItemID>(list, list + 4), (std::vector<LWItemID>{pivot, a, b, LWITEM_NULL}));

  // Another instance's list leaves the first one's as it was.
  second.pivotItem = q;
  host.usedItems[second.nodeEditor] = {q};
  const LWItemID* other = item.useItems(&second);
  EXPECT_EQ(std::vector<LWItemID>(other, other + 2), (std::vector<LWItemID>{q, LWITEM_NULL}));
  EXPECT_EQ(std::vector<LWItemID>(list, list + 4), (std::vector<LWItemID>{pivot, a, b, LWITEM_NULL}));

  // Without a pivot, the editor's items alone.
  second.pivotItem = LWITEM_NULL;
  host.usedItems[second.nodeEditor] = {b};
  other = item.useItems(&second);
  EXPECT_EQ(std::vector<LWItemID>(other, other + 2), (std::vector<LWItemID>{b, LWITEM_NULL}));
}

TEST_F(ModuleTest, ChangeIdRenewsTheObjectAndThePivotItem) {
  const LWItemID a = fake::item(0xA), b = fake::item(0xB), o = object, p = pivot, q = fake::item(0x2F0);
  struct Case {
    const char* name;
    LWItemID pivotBefore;
    std::vector<LWItemID> pairs;
    LWItemID objectAfter, pivotAfter;
    int32_t pivotIndexAfter = 4;  // the pivot's place in the panel's object list
  };
  // clang-format off
  const Case cases[] = {
      {"second pair matches",                   p,       {a, b, p, q, nullptr, a},           o, q, 3},
      {"first of two matches wins",             p,       {p, q, p, b, nullptr, nullptr},     o, q, 3},
      {"empty list",                            p,       {nullptr, q},                       o, p},
      {"renumbered to nothing",                 p,       {p, nullptr, nullptr, nullptr},     o, nullptr, 0},
      {"pairs after the end are not read",      p,       {a, b, nullptr, nullptr, p, q, o, a}, o, p},
      {"no match",                              p,       {a, b, nullptr, nullptr},           o, p},
      {"renewed to an id the list lacks",       p,       {p, a, nullptr},                    o, a},
      {"the object renewed",                    p,       {o, a, nullptr},                    a, p},
      {"the object renewed without a pivot",    nullptr, {o, a, nullptr, q},                 a, nullptr},
      // One renumbering: the object takes the pivot's old id, the pivot a new one; no id moves twice.
      {"both at once",                          p,       {o, p, p, q, nullptr},              p, q, 3},
      {"both at once, the other way round",     p,       {p, o, o, b, nullptr},              b, o, 1},
  };
  // clang-format on
  LagInstance& lag = make();
  // The host's list after the renumbering; q is the third object. An id the list lacks (a) keeps
  // the panel's old place.
  host.objects = {{o, "Tail"}, {b, "Body"}, {q, "Head"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lag.objectId = object;
    lag.pivotItem = c.pivotBefore;
    lag.pivotIndex = 4;
    item.changeID(&lag, c.pairs.data());
    EXPECT_EQ(lag.objectId, c.objectAfter);
    EXPECT_EQ(lag.pivotItem, c.pivotAfter);
    EXPECT_EQ(lag.pivotIndex, c.pivotIndexAfter);
  }
  lag.objectId = object;
  item.changeID(&lag, nullptr);  // no list: nothing changes
  EXPECT_EQ(lag.objectId, object);
}

}  // namespace
