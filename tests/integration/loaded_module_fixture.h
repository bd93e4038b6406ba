// The module file loaded afresh into a small host of LightWave 3D 2015.3: a scene of three
// objects (the deformed "Body", a "Pivot" and a "Ball") and a camera, the scene services, the
// node editor, the panel service and the registry that answers the module's requests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/loader/host_generation.h"
#include "host/loader/module_loader.h"
#include "host/loader/service_registry.h"
#include "host/scene/scene.h"
#include "host/scene/scene_file.h"
#include "host/services/block_store.h"
#include "host/services/node_editor.h"
#include "host/services/scene_services.h"
#include "host/services/xpanel_service.h"
#include "sdk/lwserver.h"

namespace tarrow::integration {

inline constexpr const char* kThreeObjects = R"({"fps": 30, "frames": [0, 10], "renderCamera": "Camera",
  "items": [
    {"name": "Body", "type": "object", "points": [[0, 0, 0], [0, 0, -1]]},
    {"name": "Pivot", "type": "object", "points": []},
    {"name": "Ball", "type": "object", "points": [[0, 1, 0]]},
    {"name": "Camera", "type": "camera", "motion": [{"time": 0, "position": [0, 0, -5], "rotation": [0, 0, 0]}]}]})";

class LoadedModuleTest : public ::testing::Test {
 protected:
  LoadedModuleTest()
      : scene_(host::parseScene(kThreeObjects, "three-objects.json")),
        sceneServices_(scene_),
        module_(host::LoadedModule::openFresh(host::defaultModulePath())) {
    sceneServices_.registerInto(registry_, generation_);
    nodeEditor_.setItemInfo(host::SceneServices::itemInfo());
    nodeEditor_.registerInto(registry_, generation_);
    panels_.registerInto(registry_, generation_);
    registry_.makeCurrent();
    sceneServices_.makeCurrent();
  }

  // Activates the handler with every record supplied; returns the activation's code.
  int activateHandler(int version = LWDISPLACEMENT_VERSION) {
    handler_.inst = &inst_;
    handler_.item = &item_;
    handler_.rend = &rend_;
    return module_->activate(LWDISPLACEMENT_HCLASS, "Tarrow_plus", version, &handler_,
                             host::ServiceRegistry::globalFunction());
  }

  LWItemID object(int index) const { return scene_.idOf(index); }

  LWInstance create(int objectIndex = 0) {
    LWError error = nullptr;
    LWInstance instance = inst_.create(nullptr, object(objectIndex), &error);
    EXPECT_NE(instance, nullptr) << (error != nullptr ? error : "");
    return instance;
  }

  std::string save(LWInstance instance) {
    host::BlockWriter writer;
    EXPECT_EQ(inst_.save(instance, writer.state()), nullptr);
    return writer.text();
  }

  LWError load(LWInstance instance, std::string text) {
    host::BlockReader reader(std::move(text));
    return inst_.load(instance, reader.state());
  }

  const host::HostGeneration& generation_ = host::generationNamed("2015");
  host::Scene scene_;
  host::SceneServices sceneServices_;
  host::ServiceRegistry registry_;
  host::NodeEditorService nodeEditor_;
  std::unique_ptr<host::LoadedModule> module_;
  host::XPanelService panels_;  // closes the panels left open while the module is still loaded
  LWDisplacementHandler handler_{};
  LWInstanceFuncs inst_{};
  LWItemFuncs item_{};
  LWRenderFuncs rend_{};
};

}  // namespace tarrow::integration
