#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "fake_host.h"
#include "instance/node_editor_setup.h"
#include "module_fixture.h"
#include "ui/labels.h"
#include "ui/panel.h"

namespace {

using fixture::ModuleTest;
using fixture::object;
using tarrow::LagInstance;

const char* const kEditNodeJapanese = "\x83\x6D\x81\x5B\x83\x68\x95\xD2\x8F\x57";

class PanelTest : public ModuleTest {
 protected:
  // Activates the handler again with the host answering this language.
  void activateWithLocale(std::uintptr_t locale) {
    host.localeAnswer = locale;
    ASSERT_EQ(tarrow::activateHandler(LWDISPLACEMENT_VERSION, fake::global, &handler, nullptr), AFUNC_OK);
  }

  fake::Panel& built(LagInstance& lag) {
    LWXPanelID id = tarrow::buildPanel(&lag);
    EXPECT_NE(id, nullptr);
    EXPECT_TRUE(lag.panels.holds(id));
    return host.panel(id);
  }

  static int32_t setInt(LagInstance& lag, uint32_t id, int32_t value) {
    return tarrow::setPanelValue(&lag, id, &value);
  }
};

// The lists are filled once per module life, so what the first panel does is only seen in a
// fresh process: these tests run their checks in a child of their own and report by exit code.
class FirstPanelTest : public PanelTest {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    PanelTest::SetUp();
  }

  // Runs the checks in the child; it prints what went wrong and exits 1, or exits 0.
  template <typename Checks>
  static void inChild(Checks checks) {
    std::string problems = checks();
    std::fputs(problems.c_str(), stderr);
    std::fflush(stderr);
    std::exit(problems.empty() ? 0 : 1);
  }

  static std::string labelOf(const fake::Panel& panel, int row) {
    return panel.controls[row].label != nullptr ? panel.controls[row].label : "(null)";
  }
};

TEST_F(FirstPanelTest, LabelsOfTheFirstPanelStayAndANullInstanceFillsNothing) {
  EXPECT_EXIT(inChild([this] {
                std::string problems;
                activateWithLocale(LANGID_JAPANESE);
                if (tarrow::buildPanel(nullptr) != nullptr) problems += "a null instance got a panel\n";
                if (!host.panels.empty()) problems += "a null instance asked the host for a panel\n";
                // The lists were not filled above: the language in force now is the one they get.
                activateWithLocale(LANGID_USENGLISH);
                LagInstance& lag = make();
                const fake::Panel& first = built(lag);
                if (labelOf(first, 0) != "Edit Node") problems += "first panel: " + labelOf(first, 0) + "\n";
                if (std::strcmp(first.dataDesc[2].name, "Tarrow Pivot Object") != 0)
                  problems += "value names\n";
                activateWithLocale(0x10000u | LANGID_JAPANESE);
                if (tarrow::PanelLabels.load() != &tarrow::kJapaneseLabels)
                  problems += "no Japanese labels\n";
                const fake::Panel& later = built(lag);
                if (later.controls != first.controls || later.dataDesc != first.dataDesc) {
                  problems += "a later panel got other lists\n";
                }
                if (labelOf(later, 0) != "Edit Node") problems += "later panel: " + labelOf(later, 0) + "\n";
                return problems;
              }),
              ::testing::ExitedWithCode(0), "");
}

TEST_F(FirstPanelTest, TwoThreadsBuildingTheFirstPanelsGetTheSameCompleteLists) {
  EXPECT_EXIT(inChild([this] {
                activateWithLocale(LANGID_JAPANESE);
                LagInstance& one = make();
                LagInstance& two = make();
                std::atomic<int> ready{0};
                auto build = [&ready](LagInstance* lag) {
                  ++ready;
                  while (ready.load() < 2) {
                  }
                  tarrow::buildPanel(lag);
                };
                std::thread first(build, &one);
                std::thread second(build, &two);
                first.join();
                second.join();
                std::string problems;
                if (host.panels.size() != 2) return std::string("expected two panels\n");
                const fake::Panel& a = host.panels[0];
                const fake::Panel& b = host.panels[1];
                if (a.controls != b.controls || a.dataDesc != b.dataDesc) problems += "lists differ\n";
                const uint32_t ids[] = {0x8001, 0x8002, 0x8003, 0x8004, 0x8005, 0x8006, 0};
                for (int row = 0; row < 7; ++row) {
                  if (a.controls[row].cid != ids[row])
                    problems += "control row " + std::to_string(row) + "\n";
                  if (row < 6 && a.dataDesc[row].vid != ids[row + 1])
                    problems += "value row " + std::to_string(row) + "\n";
                }
                if (labelOf(a, 0) != kEditNodeJapanese) problems += "button label\n";
                if (a.dataDesc[5].name != nullptr || a.controls[6].ctrlclass != nullptr)
                  problems += "no end record\n";
                return problems;
              }),
              ::testing::ExitedWithCode(0), "");
}

TEST_F(PanelTest, BuildHandsTheHostTheListsHintsFunctionsAndInstance) {
  LagInstance& lag = make();
  const fake::Panel& panel = built(lag);
  EXPECT_EQ(panel.calls, (std::vector<std::string>{"create", "hint", "describe", "viewInst", "setData"}));
  EXPECT_EQ(panel.type, LWXP_VIEW);
  struct Row {
    uint32_t id;
    const char* ctrlclass;
    const char* datatype;
  };
  const Row rows[] = {{0x8001, "vButton", nullptr},    {0x8002, "iBoolean", "integer"},
                      {0x8003, "float", "float"},      {0x8004, "iPopChoice", "integer"},
                      {0x8005, "iBoolean", "integer"}, {0x8006, "iPopChoice", "integer"}};
  const tarrow::LabelTable& labels = *tarrow::PanelLabels.load();
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(panel.controls[k].cid, rows[k].id) << k;
    EXPECT_STREQ(panel.controls[k].ctrlclass, rows[k].ctrlclass) << k;
    EXPECT_STREQ(panel.controls[k].label, labels[static_cast<size_t>(k)]) << k;
  }
  EXPECT_EQ(panel.controls[6].cid, 0u);
  EXPECT_EQ(panel.controls[6].label, nullptr);
  for (int k = 1; k < 6; ++k) {
    EXPECT_EQ(panel.dataDesc[k - 1].vid, rows[k].id) << k;
    EXPECT_STREQ(panel.dataDesc[k - 1].datatype, rows[k].datatype) << k;
    EXPECT_STREQ(panel.dataDesc[k - 1].name, panel.controls[k].label) << k;
  }
  EXPECT_EQ(panel.dataDesc[5].vid, 0u);
  EXPECT_EQ(panel.dataDesc[5].datatype, nullptr);

  const auto word = [](auto value) {
    if constexpr (std::is_pointer_v<decltype(value)>) {
      return reinterpret_cast<std::uintptr_t>(value);
    } else {
      return static_cast<std::uintptr_t>(value);
    }
  };
  // clang-format off
  const std::vector<std::uintptr_t> expected = {
      0x3D000B03, 0, word("Tarrow_plus"), 0,  // the text is compared below
      0x3D021280, 0x8001, 0,
      0x3D000F01, word(&tarrow::onPanelChange),
      0x3D015F02, 0x8001, word(&tarrow::onPanelButton),
      0x3D016203, 0x8004, word(&tarrow::pivotChoiceCount), word(&tarrow::pivotChoiceName),
      0x3D016203, 0x8006, word(&tarrow::weightMapChoiceCount), word(&tarrow::weightMapChoiceName),
      0x3D001302, word(&tarrow::onPanelDestroy), 0,
      0};
  // clang-format on
  EXPECT_EQ(panel.hintId, 0u);
  ASSERT_NE(panel.hints, nullptr);
  for (size_t k = 0; k < expected.size(); ++k) {
    if (k == 2) {
      EXPECT_STREQ(static_cast<const char*>(panel.hints[k]), "Tarrow_plus");
      continue;
    }
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(panel.hints[k]), expected[k]) << "word " << k;
  }
  EXPECT_EQ(panel.get, &tarrow::getPanelValue);
  EXPECT_EQ(panel.set, &tarrow::setPanelValue);
  EXPECT_EQ(panel.inst, &lag);
  // The panel's own data is the module's record of this panel of this instance.
  const auto* open = static_cast<const tarrow::OpenPanel*>(panel.data.at(0));
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(open->instance, &lag);
  EXPECT_EQ(open->id, reinterpret_cast<LWXPanelID>(const_cast<fake::Panel*>(&panel)));

  // A second panel of the same instance is known beside the first, with a record of its own.
  const fake::Panel& second = built(lag);
  EXPECT_EQ(lag.panels.size(), 2u);
  EXPECT_TRUE(lag.panels.holds(reinterpret_cast<LWXPanelID>(const_cast<fake::Panel*>(&panel))));
  EXPECT_NE(second.data.at(0), panel.data.at(0));
  EXPECT_EQ(host.panels.front().calls.size(), 5u);
}

TEST_F(PanelTest, RefusedPanelRegistersNothing) {
  LagInstance& lag = make();
  host.refusePanels = true;
  EXPECT_EQ(tarrow::buildPanel(&lag), nullptr);
  EXPECT_TRUE(lag.panels.empty());
  EXPECT_TRUE(host.panels.empty());
}

TEST_F(PanelTest, GetHidesExactlyTheValuesThatConnectedInputsDrive) {
  LagInstance& lag = make();
  struct Case {
    int32_t useNode;
    std::vector<NodeInputID LagInstance::*> connected;
    std::set<uint32_t> hidden;
  };
  const std::vector<Case> cases = {
      {0, {&LagInstance::lagRateInput, &LagInstance::pivotInput, &LagInstance::weightInput}, {}},
      {1, {}, {}},
      {1, {&LagInstance::pivotInput}, {tarrow::ID_PIVOT_ITEM, tarrow::ID_LOCAL_PIVOT}},
      {1, {&LagInstance::lagRateInput}, {tarrow::ID_LAG_RATE}},
      {1, {&LagInstance::weightInput}, {tarrow::ID_WEIGHT_MAP}},
      {1,
       {&LagInstance::lagRateInput, &LagInstance::pivotInput, &LagInstance::weightInput},
       {tarrow::ID_LAG_RATE, tarrow::ID_PIVOT_ITEM, tarrow::ID_LOCAL_PIVOT, tarrow::ID_WEIGHT_MAP}},
  };
  const std::vector<std::pair<uint32_t, void*>> values = {{tarrow::ID_USE_NODE, &lag.useNode},
                                                          {tarrow::ID_LAG_RATE, &lag.lagRate},
                                                          {tarrow::ID_PIVOT_ITEM, &lag.pivotIndex},
                                                          {tarrow::ID_LOCAL_PIVOT, &lag.localPivot},
                                                          {tarrow::ID_WEIGHT_MAP, &lag.weightMapIndex}};
  for (size_t c = 0; c < cases.size(); ++c) {
    host.reset();
    lag.useNode = cases[c].useNode;
    for (auto input : cases[c].connected) host.connectedInputs.insert(lag.*input);
    for (const auto& [id, field] : values) {
      void* expected = cases[c].hidden.count(id) != 0 ? nullptr : field;
      EXPECT_EQ(tarrow::getPanelValue(&lag, id), expected) << "case " << c << " id " << std::hex << id;
    }
    if (cases[c].useNode == 0) {
      EXPECT_TRUE(host.inputCalls.empty()) << "check asked with node use off";
    }
  }
  for (uint32_t other : {tarrow::ID_EDIT_NODE, 0u, 0x8007u})
    EXPECT_EQ(tarrow::getPanelValue(&lag, other), nullptr);
  EXPECT_EQ(tarrow::getPanelValue(nullptr, tarrow::ID_USE_NODE), nullptr);
}

TEST_F(PanelTest, SetStoresEachSettingAndRefusesTheRest) {
  LagInstance& lag = make();
  double rate = 0.375;
  EXPECT_EQ(tarrow::setPanelValue(&lag, tarrow::ID_LAG_RATE, &rate), LWXPRC_DFLT);
  EXPECT_EQ(lag.lagRate, 0.375);
  EXPECT_EQ(setInt(lag, tarrow::ID_USE_NODE, 1), LWXPRC_DFLT);
  EXPECT_EQ(lag.useNode, 1);
  EXPECT_EQ(setInt(lag, tarrow::ID_LOCAL_PIVOT, 1), LWXPRC_DFLT);
  EXPECT_EQ(lag.localPivot, 1);

  const LagInstance before = {};
  int32_t junk = 7;
  EXPECT_EQ(tarrow::setPanelValue(&lag, tarrow::ID_EDIT_NODE, &junk), LWXPRC_NONE);
  EXPECT_EQ(tarrow::setPanelValue(&lag, 0x8007, &junk), LWXPRC_NONE);
  EXPECT_EQ(tarrow::setPanelValue(nullptr, tarrow::ID_USE_NODE, &junk), LWXPRC_NONE);
  EXPECT_EQ(lag.useNode, 1);
  EXPECT_EQ(lag.pivotIndex, before.pivotIndex);
  EXPECT_EQ(lag.weightMapIndex, before.weightMapIndex);
}

TEST_F(PanelTest, PivotPopupListsTheSceneObjectsAndPicksByIndex) {
  const LWItemID placeholder = fake::item(0x101);
  const LWItemID ball = fake::item(0x102);
  host.objects = {{object, "Tail"}, {placeholder, "Null"}, {ball, "Ball"}};
  LagInstance& lag = make();
  EXPECT_EQ(tarrow::pivotChoiceCount(nullptr), 4);
  const char* const names[] = {"(none)", "Tail", "Null", "Ball", "", ""};
  for (int k = 0; k < 6; ++k) EXPECT_STREQ(tarrow::pivotChoiceName(nullptr, k), names[k]) << k;
  EXPECT_STREQ(tarrow::pivotChoiceName(nullptr, -1), "");

  struct Pick {
    int32_t index;
    LWItemID item;
  };
  for (const Pick& pick : {Pick{2, placeholder}, Pick{1, object}, Pick{3, ball}, Pick{0, nullptr},
                           Pick{5, nullptr}, Pick{-2, nullptr}}) {
    lag.pivotItem = fake::item(0xDEAD);
    EXPECT_EQ(setInt(lag, tarrow::ID_PIVOT_ITEM, pick.index), LWXPRC_DFLT);
    EXPECT_EQ(lag.pivotIndex, pick.index);
    EXPECT_EQ(lag.pivotItem, pick.item) << pick.index;
  }

  // Objects added ahead of the chosen one: the popup shows the index, the item stays.
  setInt(lag, tarrow::ID_PIVOT_ITEM, 2);
  host.objects.insert(host.objects.begin(), {fake::item(0x103), "Added"});
  EXPECT_EQ(*static_cast<int32_t*>(tarrow::getPanelValue(&lag, tarrow::ID_PIVOT_ITEM)), 2);
  EXPECT_STREQ(tarrow::pivotChoiceName(nullptr, 2), "Tail");
  EXPECT_EQ(lag.pivotItem, placeholder);
}

TEST_F(PanelTest, WeightPopupListsTheMapsAndKeepsTheNameWhenSwitchedOff) {
  EXPECT_EQ(tarrow::weightMapChoiceCount(nullptr), 1);
  EXPECT_STREQ(tarrow::weightMapChoiceName(nullptr, 0), "(none)");

  host.weightMaps = {std::string("Fade"), std::string("Tip"), std::nullopt};
  LagInstance& lag = make();
  EXPECT_EQ(tarrow::weightMapChoiceCount(nullptr), 4);
  EXPECT_STREQ(tarrow::weightMapChoiceName(nullptr, 2), "Tip");
  // A host that gives no text for an entry shows it empty rather than handing on null.
  EXPECT_STREQ(tarrow::weightMapChoiceName(nullptr, 3), "");

  // An index below the list stands for no map, as one past its end does.
  for (int index : {-1, INT32_MIN}) EXPECT_STREQ(tarrow::weightMapChoiceName(nullptr, index), "") << index;

  // The longest name an instance can save whole is taken; a longer one leaves the old choice.
  const std::string longest(tarrow::kMaxWeightMapNameLength, 'L');
  host.weightMaps.push_back(longest);
  host.weightMaps.push_back(longest + "+");
  struct Step {
    int32_t index;
    std::string name;
    int refresh = LWXPRC_DFLT;
    int32_t kept = index;
  };
  const Step steps[] = {{1, "Fade"},
                        {0, "Fade"},
                        {2, "Tip"},
                        {0, "Tip"},
                        {3, ""},
                        {9, ""},
                        {0, ""},
                        {-1, ""},
                        {INT32_MIN, ""},
                        {4, longest},
                        {5, longest, LWXPRC_NONE, 4}};
  host.vmapNameIndices.clear();
  for (const Step& step : steps) {
    EXPECT_EQ(setInt(lag, tarrow::ID_WEIGHT_MAP, step.index), step.refresh) << step.index;
    EXPECT_EQ(lag.weightMapIndex, step.kept);
    EXPECT_EQ(lag.weightMapName, step.name) << step.index;
  }
  // The host is asked only for entries of its own list's range, never for a wrapped-around index.
  EXPECT_EQ(host.vmapNameIndices, (std::vector<int>{0, 1, 2, 8, 3, 4}));
}

TEST_F(PanelTest, OnlyACommittedValueUpdatesTheInstanceOnce) {
  LagInstance& lag = make();
  LWXPanelID panel = tarrow::buildPanel(&lag);
  for (int event : {LWXPEVENT_TRACK, LWXPEVENT_HIT, 0, 4}) {
    EXPECT_EQ(tarrow::onPanelChange(panel, tarrow::ID_LAG_RATE, tarrow::ID_LAG_RATE, event), LWXPRC_NONE);
  }
  EXPECT_TRUE(host.instUpdates.empty());
  for (uint32_t id : {tarrow::ID_USE_NODE, tarrow::ID_PIVOT_ITEM, 0x1234u}) {
    host.instUpdates.clear();
    EXPECT_EQ(tarrow::onPanelChange(panel, id, id, LWXPEVENT_VALUE), LWXPRC_NONE);
    ASSERT_EQ(host.instUpdates.size(), 1u) << id;
    EXPECT_EQ(host.instUpdates[0].first, "DisplacementHandler");
    EXPECT_EQ(host.instUpdates[0].second, &lag);
  }
}

TEST_F(PanelTest, OnlyTheEditNodeButtonOpensTheInstancesEditor) {
  LagInstance& other = make();
  LagInstance& lag = make();
  LWXPanelID panel = tarrow::buildPanel(&lag);
  host.editorCalls.clear();
  for (int id : {0x8002, 0x8004, 0, -1}) tarrow::onPanelButton(panel, id);
  tarrow::onPanelButton(nullptr, 0x8001);
  EXPECT_TRUE(host.editorCalls.empty());
  tarrow::onPanelButton(panel, 0x8001);
  EXPECT_EQ(host.editorCalls, std::vector<std::string>{"OpenNodeEditor(" + fake::text(lag.nodeEditor) + ")"});
  EXPECT_NE(lag.nodeEditor, other.nodeEditor);
  EXPECT_TRUE(host.instUpdates.empty());
}

TEST_F(PanelTest, EachClosedPanelStopsBeingRefreshedByNodeEvents) {
  LagInstance& lag = make();
  const LWXPanelID first = tarrow::buildPanel(&lag);
  const LWXPanelID second = tarrow::buildPanel(&lag);
  tarrow::nodeInputChanged(&lag, lag.lagRateInput, NIE_DISCONNECT, NOT_SCALAR);
  EXPECT_EQ(host.viewRefreshes, (std::vector<LWXPanelID>{first, second}));

  // Closing the first panel forgets it alone; the second is still refreshed.
  for (const auto& [closed, stillRefreshed] :
       {std::pair{first, std::vector<LWXPanelID>{second}}, std::pair{second, std::vector<LWXPanelID>{}}}) {
    host.viewRefreshes.clear();
    host.instUpdates.clear();
    tarrow::onPanelDestroy(host.panel(closed).data.at(0));
    EXPECT_FALSE(lag.panels.holds(closed));
    tarrow::nodeInputChanged(&lag, lag.lagRateInput, NIE_CONNECT, NOT_SCALAR);
    EXPECT_EQ(host.viewRefreshes, stillRefreshed);
    EXPECT_EQ(host.instUpdates.size(), 1u);  // the instance still changed
  }
  tarrow::onPanelDestroy(nullptr);  // no data: nothing to clear
}

TEST_F(PanelTest, DestroyingTheInstanceDestroysEveryPanelStillOpen) {
  LWInstance made = inst.create(nullptr, fixture::object, nullptr);
  auto* lag = static_cast<LagInstance*>(made);
  const LWXPanelID panels[] = {tarrow::buildPanel(lag), tarrow::buildPanel(lag), tarrow::buildPanel(lag)};
  tarrow::onPanelDestroy(host.panel(panels[1]).data.at(0));  // the host closed the middle one itself
  // The host's editor reports its inputs going and calls its update function while it is
  // destroyed; for an instance on its way out, that refreshes no panel and asks for no update.
  host.inputEventsOnDestroy = true;
  inst.destroy(made);
  host.inputEventsOnDestroy = false;
  EXPECT_EQ(host.inputEventsSent, 3);
  EXPECT_TRUE(host.viewRefreshes.empty());
  EXPECT_TRUE(host.instUpdates.empty());
  // Each panel the host had not destroyed is destroyed once; the one it had, never.
  for (int k = 0; k < 3; ++k) {
    const auto& calls = host.panel(panels[k]).calls;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "destroy"), k == 1 ? 0 : 1) << k;
  }
}

TEST_F(PanelTest, InterfaceActivationHandsOverTheBuiltPanel) {
  LagInstance& lag = make();
  LWInterface request{&lag, nullptr, nullptr, nullptr};
  ASSERT_EQ(tarrow::activateInterface(LWINTERFACE_VERSION, fake::global, &request, nullptr), AFUNC_OK);
  ASSERT_NE(request.panel, nullptr);
  EXPECT_TRUE(lag.panels.holds(request.panel));
  EXPECT_EQ(host.panel(request.panel).inst, &lag);
}

}  // namespace
