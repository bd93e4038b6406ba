// An instance's settings panels as the host keeps them: the host does not close them when it
// destroys the instance, so the instance destroys those still open; the host may have closed
// some itself. Run under AddressSanitizer this shows that nothing is freed twice or left behind.
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

TEST_F(OpenPanelTest, PanelsStillOpenGoWithTheirInstanceOnce) {
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

  // The host does not close them: the instance destroys both, each once, and the destroy
  // notification each sends from within frees nothing twice (AddressSanitizer watches).
  inst_.destroy(instance);
  EXPECT_EQ(nodeEditor_.liveEditors(), 0u);
  for (const LWXPanelID panel : panels) EXPECT_FALSE(panels_.isOpen(panel));
  EXPECT_EQ(panels_.strayDestroys(), 0);
  EXPECT_TRUE(sceneServices_.takeUpdateRequests().empty());
}

TEST_F(OpenPanelTest, APanelTheHostClosedIsNotDestroyedAgain) {
  LWInstance instance = create();
  const LWXPanelID closed = openPanel(instance), open = openPanel(instance);
  panels_.destroy(closed);
  inst_.destroy(instance);
  EXPECT_FALSE(panels_.isOpen(open));
  EXPECT_EQ(panels_.strayDestroys(), 0);
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
