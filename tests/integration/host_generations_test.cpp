// The module in each generation of the host the stand-in host can be (LightWave 3D 2015.3,
// 2018, 2020 and 2025): the same files and panel in each, only that generation's services and
// versions accepted, and node inputs evaluated only between the node editor's init and cleanup.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "host/loader/host_generation.h"
#include "host/loader/module_loader.h"
#include "host/loader/service_registry.h"
#include "host/panel/panel_run.h"
#include "host/run/session.h"
#include "host/scene/scene_file.h"
#include "host/services/node_editor.h"
#include "loaded_module_fixture.h"
#include "scratch_folder_test.h"

namespace tarrow::integration {
namespace {

using host::HostGeneration;
using host::hostGenerations;

std::filesystem::path sourceDir() {
  const char* dir = std::getenv("TARROW_SOURCE_DIR");
  return dir != nullptr ? std::filesystem::path(dir) : std::filesystem::current_path();
}

class GenerationsTest : public ScratchFolderTest {};

TEST_F(GenerationsTest, EveryExampleGivesTheSameFilesInEveryGeneration) {
  int examples = 0;
  for (const auto& entry : std::filesystem::directory_iterator(sourceDir() / "examples")) {
    if (entry.path().extension() != ".json" && entry.path().extension() != ".lws") continue;
    host::RunOptions options;
    options.scene = entry.path();
    options.threads = 2;
    EXPECT_GT(expectSameOutputInEveryGeneration(options, entry.path().filename().string()), 1u)
        << entry.path();
    ++examples;
  }
  EXPECT_GE(examples, 8);
}

TEST_F(GenerationsTest, ThePanelShowsTheSameLabelsInEveryGeneration) {
  for (unsigned int language : {LANGID_JAPANESE, LANGID_USENGLISH}) {
    std::string first;
    for (const HostGeneration& generation : hostGenerations()) {
      host::PanelOptions options;
      options.scene = sourceDir() / "examples" / "tail.json";
      options.object = "Tail";
      options.language = language;
      options.generation = &generation;
      const std::string shown = host::runPanel(options);
      if (first.empty()) first = shown;
      EXPECT_EQ(shown, first) << generation.release;
    }
    EXPECT_NE(first.find(language == LANGID_JAPANESE ? "ノード編集" : "Edit Node"), std::string::npos)
        << first;
  }
}

// The module file loaded afresh into a host of one generation that offers every service of it,
// or every one but one.
class GenerationHost {
 public:
  GenerationHost(const HostGeneration& generation, const char* withheld = nullptr)
      : generation_(generation),
        scene_(host::parseScene(kThreeObjects, "three-objects.json")),
        sceneServices_(scene_),
        module_(host::LoadedModule::openFresh(host::defaultModulePath())) {
    sceneServices_.registerInto(registry_, generation);
    nodeEditor_.setItemInfo(host::SceneServices::itemInfo());
    nodeEditor_.registerInto(registry_, generation);
    panels_.registerInto(registry_, generation);
    if (withheld != nullptr) {
      withheld_ = {withheld, registry_.lookup(withheld)};
      registry_.provide(withheld, nullptr);
    }
    registry_.makeCurrent();
  }

  int activateHandler(int version) {
    handler_ = {&inst_, &item_, &rend_, nullptr, nullptr};
    return module_->activate(LWDISPLACEMENT_HCLASS, "Tarrow_plus", version, &handler_,
                             host::ServiceRegistry::globalFunction());
  }
  int activateInterface(int version) {
    LWInterface request{};
    return module_->activate(LWDISPLACEMENT_ICLASS, "Tarrow_plus", version, &request,
                             host::ServiceRegistry::globalFunction());
  }
  void offerWithheld() { registry_.provide(withheld_.first, withheld_.second); }

  const HostGeneration& generation_;
  host::Scene scene_;
  host::SceneServices sceneServices_;
  host::ServiceRegistry registry_;
  host::NodeEditorService nodeEditor_;
  std::unique_ptr<host::LoadedModule> module_;
  host::XPanelService panels_;
  LWDisplacementHandler handler_{};
  LWInstanceFuncs inst_{};
  LWItemFuncs item_{};
  LWRenderFuncs rend_{};
  std::pair<const char*, void*> withheld_{nullptr, nullptr};
};

// Each of the generation's names, withheld one at a time: the module activates neither server,
// keeps nothing and calls nothing, and activates once the name answers.
TEST(Generations, AHostLackingOneServiceIsRefusedWithBadGlobal) {
  for (const HostGeneration& generation : hostGenerations()) {
    for (const char* name :
         {generation.itemInfo, generation.sceneInfo, generation.objectFuncs, generation.xpanel,
          generation.nodeEditor, generation.nodeInput, generation.nodeFuncs, LWINSTUPDATE_GLOBAL}) {
      SCOPED_TRACE(std::string(generation.release) + " without " + name);
      GenerationHost host(generation, name);
      EXPECT_EQ(host.activateHandler(generation.handlerVersion), AFUNC_BADGLOBAL);
      EXPECT_EQ(host.inst_.create, nullptr);
      EXPECT_EQ(host.handler_.evaluate, nullptr);
      EXPECT_EQ(host.rend_.newTime, nullptr);
      EXPECT_EQ(host.registry_.timesRequested(LWLOCALEINFO_GLOBAL), 0) << "nothing after the services";
      EXPECT_EQ(host.activateInterface(generation.interfaceVersion), AFUNC_BADGLOBAL);
      EXPECT_EQ(host.nodeEditor_.liveEditors(), 0u);
      // The message a run would give names what the module asked for and did not get.
      const auto missed = host.registry_.missedNames();
      EXPECT_NE(std::find(missed.begin(), missed.end(), std::string(name)), missed.end());
    }
  }
  // Offered after all, the service is found by the next activation.
  const HostGeneration& newest = host::newestGeneration();
  GenerationHost host(newest, newest.nodeEditor);
  ASSERT_EQ(host.activateHandler(newest.handlerVersion), AFUNC_BADGLOBAL);
  host.offerWithheld();
  EXPECT_EQ(host.activateHandler(newest.handlerVersion), AFUNC_OK);
  EXPECT_NE(host.inst_.create, nullptr);
}

// One below and one above the generation's own version are refused by both servers; the own
// version is taken.
TEST(Generations, EachServerTakesOnlyItsGenerationsVersion) {
  for (const HostGeneration& generation : hostGenerations()) {
    SCOPED_TRACE(generation.release);
    GenerationHost host(generation);
    for (int version : {generation.handlerVersion - 1, generation.handlerVersion + 1}) {
      EXPECT_EQ(host.activateHandler(version), AFUNC_BADVERSION) << version;
      EXPECT_EQ(host.inst_.create, nullptr);
    }
    for (int version : {generation.interfaceVersion - 1, generation.interfaceVersion + 1}) {
      EXPECT_EQ(host.activateInterface(version), AFUNC_BADVERSION) << version;
    }
    EXPECT_EQ(host.activateHandler(generation.handlerVersion), AFUNC_OK);
    EXPECT_EQ(host.activateInterface(generation.interfaceVersion), AFUNC_OK);
  }
}

// A render as Layout runs one: init, frames, cleanup. The editor's inputs are evaluated only in
// between, in the generation's own sample record, and an init mode the generation lacks comes
// back as the editor's own error.
TEST(Generations, NodeInputsAreEvaluatedOnlyBetweenTheEditorsInitAndCleanup) {
  const host::Scene scene = host::loadScene(sourceDir() / "examples" / "gradient.json");
  for (const HostGeneration& generation : hostGenerations()) {
    SCOPED_TRACE(generation.release);
    host::Session session(
        scene, {.modulePath = {}, .threads = 2, .language = LANGID_USENGLISH, .generation = &generation});
    session.beginRender(LWINIT_RENDER);
    host::FramePoints points;
    for (int frame = scene.firstFrame; frame <= scene.lastFrame; frame += 10)
      session.evaluateFrame(frame, points);
    session.endRender();
    const LWInstance instance = session.deformedObjects().at(0).instances.at(0);
    const auto view = session.nodeEditor().view(session.nodeEditor().editorOf(instance));
    ASSERT_TRUE(view.has_value());
    EXPECT_EQ(view->inits, 1);
    EXPECT_EQ(view->cleanups, 1);
    EXPECT_EQ(view->unpreparedEvaluations, 0);
    EXPECT_EQ(view->previewType, generation.previewOff);

    if (generation.lastInitMode < lw2025::LWINIT_INTERACTIVE_RENDER) {
      EXPECT_THROW(session.beginRender(lw2025::LWINIT_INTERACTIVE_RENDER), std::runtime_error);
      session.endRender();
    }
  }
}

}  // namespace
}  // namespace tarrow::integration
