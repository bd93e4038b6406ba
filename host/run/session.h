// One scene run through the module: the module loaded afresh (or one already loaded), every host
// service offered, one instance per deformer, and the frame loop that moves the points.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/loader/host_generation.h"
#include "host/loader/service_registry.h"
#include "host/run/frame_loop.h"
#include "host/scene/scene.h"
#include "host/services/scene_services.h"
#include "host/services/xpanel_service.h"
#include "sdk/lwdisplace.h"
#include "sdk/lwnodes.h"

namespace tarrow::host {

class LoadedModule;
class NodeEditorService;
struct ActiveHandler;

struct SessionOptions {
  std::filesystem::path modulePath;          // empty: the module next to the program
  int threads = 0;                           // <= 0: one per hardware core
  unsigned int language = LANGID_USENGLISH;  // what "Locale Info" answers
  // A module already loaded (modulePath is then not read). Sessions that share one keep its
  // module-wide state: the panel's labels stay in the language of its first panel.
  std::shared_ptr<LoadedModule> module = nullptr;
  const HostGeneration* generation = nullptr;  // null: the scene's "host", else the newest
  // Told one line for each thing the run goes on despite (a saved state not read whole); null:
  // such things go untold.
  std::function<void(const std::string&)> warn = nullptr;
};

// An object with deformers, and its instances in the order the scene lists them, each with the
// displacement handler (the server its deformer names) that made it.
struct DeformedObject {
  int item = -1;
  std::vector<LWInstance> instances;
  std::vector<const DeformerSpec*> deformers;
  std::vector<const ActiveHandler*> handlers;
};

// World positions of the points of each deformed object, in deformedObjects() order.
using FramePoints = std::vector<std::vector<Vec3>>;

// Only one session at a time answers the module's service requests: the one that last
// evaluated a frame (or was made). Sessions are used from one thread.
class Session {
 public:
  // Activates, for each deformer, the module's displacement handler its "server" names.
  // Throws SceneError (naming the scene and the deformer, or a server the module does not
  // offer) or ModuleError.
  Session(const Scene& scene, const SessionOptions& options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  const Scene& scene() const { return scene_; }
  const std::vector<DeformedObject>& deformedObjects() const { return objects_; }
  SceneServices& services() { return services_; }
  XPanelService& panels() { return panels_; }
  NodeEditorService& nodeEditor() { return *nodeEditor_; }
  int threads() const { return pool_.threads(); }

  // Sizes points for this scene; evaluateFrame then reuses the storage.
  void preparePoints(FramePoints& points) const;
  // The frame's time is frame / fps. Every instance sees newTime first; then each object's
  // points go through its deformers in order, each seeing the previous one's result.
  void evaluateFrame(int frame, FramePoints& points);
  // The two halves of evaluateFrame: newTime for every instance, then the points. An instance
  // that asked for an update since its newTime (a panel edit, say) sees newTime again first, as
  // Layout evaluates an updated instance's object anew.
  void beginFrame(int frame);
  void deformPoints(FramePoints& points);
  // The scene items the deformers of an object say they use (their useItems lists, as Layout
  // asks for them), each once, in order; ids of no item are left out.
  std::vector<int> usedItems(size_t object) const;
  // The ids the deformers of an object say they use that name no item of the scene (a saved
  // pivot whose item was deleted, say), each once, in order.
  std::vector<LWItemID> unknownItems(size_t object) const;
  // The pivot items among them, as far as the host can tell: the used items that the
  // instances' node networks do not read. The pictures ring the first as the object's pivot.
  std::vector<int> pivotItems(size_t object) const;
  // A render as Layout brackets it: every instance's init with the mode (throws
  // std::runtime_error with the module's error text), and after the frames its cleanup.
  void beginRender(int mode);
  void endRender() noexcept;
  const HostGeneration& generation() const { return generation_; }
  // The state text each instance's save writes now.
  std::string savedState(size_t object, size_t deformer);
  // The instance's settings panel as the interface of its deformer's server builds it; the panel
  // stays open until panels().destroy or the end of the session. Throws SceneError when the
  // module offers no such interface, ModuleError when it builds no panel.
  LWXPanelID openPanel(size_t object, size_t deformer);
  // Deletes an item from the session's scene, as Layout does: the later items of its type are
  // renumbered (Scene::removeItem) and every instance's changeID gets the renumbering. scene
  // must be the scene the session was made with. Throws std::invalid_argument, changing
  // nothing, for another scene or an item Scene::removeItem refuses.
  void removeItem(Scene& scene, int item);
  // Offers this session's services to the module again (after another session ran).
  void makeCurrent();
  // Back to the state the session had when it was made, without loading the module again:
  // every instance destroyed (with the panels the module destroys with it), the panels still
  // open closed, every instance made again from the scene, and the update requests dropped.
  // The handlers stay activated. Throws as the constructor does.
  void reset();

 private:
  struct Pass;
  void offerNodeEditor();
  void createInstances();
  const ActiveHandler& handlerFor(const DeformerSpec& deformer);
  void refuseUnlessOffered(const DeformerSpec& deformer, const char* className, const char* what) const;
  void loadState(LWInstance instance, const LWInstanceFuncs& funcs, const DeformerSpec& deformer,
                 const SceneItem& item);
  void applyPanel(size_t object, size_t deformer, const nlohmann::json& settings, const std::string& place);
  void destroyInstances() noexcept;
  void announceTime(const DeformedObject& object, size_t deformer) const;
  void renewUpdatedInstances();

  const Scene& scene_;
  const HostGeneration& generation_;
  std::function<void(const std::string&)> warn_;
  std::shared_ptr<LoadedModule> module_;
  ServiceRegistry registry_;
  SceneServices services_;
  std::unique_ptr<NodeEditorService> nodeEditor_;
  XPanelService panels_;
  std::vector<std::unique_ptr<ActiveHandler>> handlers_;  // one for each server named
  std::vector<DeformedObject> objects_;
  LWTime time_ = 0.0;
  int frame_ = 0;
  bool frameBegun_ = false;  // newTime has been called at frame_ since the instances were made
  bool rendering_ = false;
  WorkerPool pool_;
};

}  // namespace tarrow::host
