// Feeds arbitrary bytes to the module's load entry as a scene's saved state, node network
// included, then saves the instance and loads that text into a second instance: whatever the
// damaged state held, the settings it leaves must save and reload to the same text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/loader/service_registry.h"
#include "host/scene/scene_file.h"
#include "host/services/block_store.h"
#include "host/services/node_editor.h"
#include "host/services/scene_services.h"
#include "host/services/xpanel_service.h"
#include "module/activation.h"

namespace {

using namespace tarrow::host;

constexpr const char* kScene = R"({"fps": 30, "frames": [0, 1], "items": [
  {"name": "Body", "type": "object", "points": [[0, 0, 0]], "weightMaps": {"Fade": [1]}},
  {"name": "Handle", "type": "object", "points": []}]})";

// One host for the whole run; each input gets two fresh instances of the deformed object, so
// that whatever an input allocates is freed by the end of it and a leak shows as one.
struct FuzzHost {
  FuzzHost() : scene(parseScene(kScene, "fuzz.json")), services(scene) {
    services.registerInto(registry);
    nodeEditor.setItemInfo(SceneServices::itemInfo());
    nodeEditor.registerInto(registry);
    // The module takes a host only when every service of its release answers, panels included.
    panels.registerInto(registry);
    registry.makeCurrent();
    services.makeCurrent();
    handler.inst = &inst;
    handler.item = &item;
    handler.rend = &rend;
    if (tarrow::activateHandler(LWDISPLACEMENT_VERSION, ServiceRegistry::globalFunction(), &handler,
                                nullptr) != AFUNC_OK) {
      std::abort();
    }
  }

  void createInstances() {
    LWError error = nullptr;
    damaged = inst.create(nullptr, scene.idOf(0), &error);
    reloaded = inst.create(nullptr, scene.idOf(0), &error);
    if (damaged == nullptr || reloaded == nullptr) std::abort();
  }

  void destroyInstances() {
    inst.destroy(damaged);
    inst.destroy(reloaded);
  }

  std::string save(LWInstance instance) {
    BlockWriter writer;
    inst.save(instance, writer.state());
    return writer.text();
  }

  Scene scene;
  SceneServices services;
  ServiceRegistry registry;
  NodeEditorService nodeEditor;
  XPanelService panels;
  LWDisplacementHandler handler{};
  LWInstanceFuncs inst{};
  LWItemFuncs item{};
  LWRenderFuncs rend{};
  LWInstance damaged = nullptr;
  LWInstance reloaded = nullptr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzHost host;
  host.createInstances();
  BlockReader reader(std::string(reinterpret_cast<const char*>(data), size));
  host.inst.load(host.damaged, reader.state());

  // A network the node editor refused leaves the one it had, so the saved text is whole.
  const std::string saved = host.save(host.damaged);
  BlockReader again(saved);
  if (host.inst.load(host.reloaded, again.state()) != nullptr) std::abort();
  if (host.save(host.reloaded) != saved) std::abort();

  // A frame over the loaded settings must not crash either (an item id from nowhere included).
  host.rend.newTime(host.damaged, 0, 0.0);
  LWDisplacementAccess access{};
  access.point = SceneServices::pointId(0);
  access.info = host.services.meshInfo(0);
  host.handler.evaluate(host.damaged, &access);
  host.destroyInstances();
  return 0;
}
