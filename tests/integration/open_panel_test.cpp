// An instance's settings panel as the host keeps it: the host may destroy the instance while the
// panel is still open, and then still draws, edits, presses and closes that panel. Run under
// AddressSanitizer this shows that nothing of the panel reaches the instance's freed memory.
#include <optional>
#include <string>
#include <vector>

#include "host/services/panel_view.h"
#include "loaded_module_fixture.h"

namespace tarrow::integration {
namespace {

class OpenPanelTest : public LoadedModuleTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(activateHandler(), AFUNC_OK);
    nodeEditor_.setWindowSink([this](const std::string& window) { windows_ += window; });
  }
  void TearDown() override { nodeEditor_.setWindowSink(nullptr); }

  // The instance's settings panel, as the interface activation builds it.
  LWXPanelID openPanel(LWInstance instance) {
    LWInterface request{instance, nullptr, nullptr, nullptr};
    EXPECT_EQ(module_->activate(LWDISPLACEMENT_ICLASS, "Tarrow_plus", LWINTERFACE_VERSION, &request,
                                host::ServiceRegistry::globalFunction()),
              AFUNC_OK);
    return request.panel;
  }

  std::string windows_;  // what the node editor showed
};

TEST_F(OpenPanelTest, PanelsOutlivingTheirInstanceReachNothing) {
  LWInstance instance = create();
  ASSERT_EQ(load(instance, "{ LagRate 0.5 }\n"), nullptr);
  // Two panels of the same instance, as when its properties are opened twice.
  const LWXPanelID panels[] = {openPanel(instance), openPanel(instance)};
  const uint32_t lagRate = host::PanelView(panels_, panels[0]).control("Lag Rate (s/m)").id;

  // While the instance lives, each panel shows it, edits it and opens its node editor.
  for (const LWXPanelID panel : panels) {
    ASSERT_TRUE(panels_.isOpen(panel));
    EXPECT_EQ(panels_.read(panel, lagRate), std::optional<host::PanelValue>(0.5));
    host::PanelView(panels_, panel).press("Edit Node");
    EXPECT_FALSE(windows_.empty());
    windows_.clear();
  }
  EXPECT_EQ(panels_.write(panels[1], lagRate, 0.5), LWXPRC_DFLT);
  EXPECT_EQ(sceneServices_.takeUpdateRequests(), std::vector<LWInstance>{instance});

  inst_.destroy(instance);
  EXPECT_EQ(nodeEditor_.liveEditors(), 0u);

  // Drawn again, neither panel finds a value to show; an edit reaches no instance and asks for
  // no update; the button opens nothing; closing them is the end of them.
  for (const LWXPanelID panel : panels) {
    const host::PanelRecord record = panels_.find(panel).value();
    ASSERT_FALSE(record.datatypes.empty());
    for (const auto& [id, type] : record.datatypes) EXPECT_EQ(panels_.read(panel, id), std::nullopt) << id;
    EXPECT_EQ(panels_.write(panel, lagRate, 2.0), LWXPRC_NONE);
    host::PanelView(panels_, panel).press("Edit Node");
    panels_.destroy(panel);
    EXPECT_FALSE(panels_.isOpen(panel));
  }
  EXPECT_TRUE(sceneServices_.takeUpdateRequests().empty());
  EXPECT_TRUE(windows_.empty()) << windows_;
}

TEST_F(OpenPanelTest, ANodesOwnEditReachesTheHostAndTheOpenPanels) {
  LWInstance instance = create();
  const NodeEditorID editor = nodeEditor_.editorOf(instance);
  nodeEditor_.buildNetwork(editor, {{"nodes", {{{"id", "rate"}, {"type", "Constant"}, {"value", 0.5}}}},
                                    {"connections", {{{"from", "rate"}, {"to", "Lag Rate (s/m)"}}}}});
  const LWXPanelID panel = openPanel(instance);
  sceneServices_.takeUpdateRequests();
  const int refreshesBefore = panels_.find(panel).value().refreshes;

  nodeEditor_.setNodeParameters(editor, "rate", {{"value", 0.75}});
  EXPECT_EQ(sceneServices_.takeUpdateRequests(), std::vector<LWInstance>{instance});
  EXPECT_EQ(panels_.find(panel).value().refreshes, refreshesBefore + 1);
  EXPECT_EQ(nodeEditor_.networkJson(editor)["nodes"][0]["value"], 0.75);
  inst_.destroy(instance);
}

TEST_F(OpenPanelTest, ThePanelLeftOpenIsStillRefreshedByNodeEvents) {
  LWInstance instance = create();
  const LWXPanelID first = openPanel(instance), second = openPanel(instance);
  panels_.destroy(first);
  const int refreshesBefore = panels_.find(second).value().refreshes;
  const nlohmann::json weight = {{"nodes", {{{"id", "w"}, {"type", "Constant"}, {"value", 0.5}}}},
                                 {"connections", {{{"from", "w"}, {"to", "Weight"}}}}};
  nodeEditor_.buildNetwork(nodeEditor_.editorOf(instance), weight);
  // Once for the Weight input's connection, once for the editor's update function.
  EXPECT_EQ(panels_.find(second).value().refreshes, refreshesBefore + 2);
  inst_.destroy(instance);
}

}  // namespace
}  // namespace tarrow::integration
