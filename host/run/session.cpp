#include "host/run/session.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "host/base/number_text.h"
#include "host/base/path_text.h"
#include "host/loader/module_loader.h"
#include "host/scene/scene_file.h"
#include "host/services/block_store.h"
#include "host/services/node_editor.h"
#include "host/services/panel_view.h"

namespace tarrow::host {

// One displacement handler of the module, activated once for every deformer that names it; its
// instances use the records its activation filled. changeName stays null: no item is ever
// renamed here.
struct ActiveHandler {
  std::string server;
  LWInstanceFuncs instanceFuncs{};
  LWItemFuncs itemFuncs{};
  LWRenderFuncs renderFuncs{};
  LWDisplacementHandler records{&instanceFuncs, &itemFuncs, &renderFuncs, nullptr, nullptr};
};

// One deformer's pass over the points of one object. Normals are those of the undeformed mesh,
// carried with the object into the world.
struct Session::Pass {
  void (*evaluate)(LWInstance, LWDisplacementAccess*);
  LWInstance instance;
  const std::vector<Vec3>* own;
  const std::vector<Vec3>* normals;
  const Placement* placement;
  std::vector<Vec3>* world;
  LWMeshInfo* info;

  static void run(void* context, size_t begin, size_t end) {
    const Pass& pass = *static_cast<const Pass*>(context);
    for (size_t i = begin; i < end; ++i) {
      LWDisplacementAccess access{};
      const Vec3& own = (*pass.own)[i];
      Vec3& world = (*pass.world)[i];
      const Vec3 normal = pass.placement->normalToWorld((*pass.normals)[i]);
      for (int c = 0; c < 3; ++c) {
        access.oPos[c] = own[c];
        access.source[c] = world[c];
        access.wNorm[c] = normal[c];
      }
      access.point = SceneServices::pointId(i);
      access.info = pass.info;
      pass.evaluate(pass.instance, &access);
      world = {access.source[0], access.source[1], access.source[2]};
    }
  }
};

namespace {

// The names of the servers of one class the module offers, for a message.
std::string offeredNames(const LoadedModule& module, std::string_view className) {
  std::string names;
  for (const ServerInfo& server : module.servers()) {
    if (server.className == className) names += (names.empty() ? "\"" : ", \"") + server.name + "\"";
  }
  return names.empty() ? "none" : names;
}

const HostGeneration& generationFor(const Scene& scene, const SessionOptions& options) {
  if (options.generation != nullptr) return *options.generation;
  if (scene.host.empty()) return newestGeneration();
  try {
    return generationNamed(scene.host);
  } catch (const UnknownGeneration& error) {
    failAt(scene.file, "/host", error.what());
  }
}

// Why an activation failed, in the module's words where it gave any: the names it asked for
// that this host does not offer.
std::string refusal(int result, const ServiceRegistry& registry, const HostGeneration& generation) {
  std::string text = "code " + std::to_string(result);
  const std::vector<std::string> missed = registry.missedNames();
  if (result != AFUNC_BADGLOBAL || missed.empty()) return text;
  text += ": it asked for ";
  for (size_t k = 0; k < missed.size(); ++k) text += (k == 0 ? "\"" : ", \"") + missed[k] + "\"";
  return text + ", which LightWave 3D " + generation.release + " does not offer";
}

// Places an object's own points in the world, for the first deformer to start from.
struct PlacePoints {
  const Placement* placement;
  const std::vector<Vec3>* own;
  std::vector<Vec3>* world;

  static void run(void* context, size_t begin, size_t end) {
    const PlacePoints& place = *static_cast<const PlacePoints*>(context);
    for (size_t i = begin; i < end; ++i) (*place.world)[i] = place.placement->apply((*place.own)[i]);
  }
};

}  // namespace

Session::Session(const Scene& scene, const SessionOptions& options)
    : scene_(scene),
      generation_(generationFor(scene, options)),
      warn_(options.warn),
      module_(options.module != nullptr
                  ? options.module
                  : LoadedModule::openFresh(options.modulePath.empty() ? defaultModulePath()
                                                                       : options.modulePath)),
      services_(scene),
      nodeEditor_(std::make_unique<NodeEditorService>()),
      pool_(options.threads) {
  nodeEditor_->setItemInfo(SceneServices::itemInfo());
  offerNodeEditor();
  panels_.registerInto(registry_, generation_);
  services_.setLocale(options.language);
  services_.registerInto(registry_, generation_);
  registry_.makeCurrent();
  try {
    createInstances();
  } catch (...) {
    destroyInstances();
    throw;
  }
}

Session::~Session() {
  // The instances go while this session answers the module: what they destroy is this session's.
  try {
    makeCurrent();
  } catch (...) {
  }
  destroyInstances();
}

void Session::reset() {
  // The instances go while this session answers the module, as they came.
  makeCurrent();
  destroyInstances();
  try {
    panels_.destroyAll();  // what the module left open, as if the user closed it
  } catch (...) {
  }
  services_.takeUpdateRequests();
  services_.takeRefreshRequests();
  time_ = 0.0;
  frame_ = 0;
  frameBegun_ = false;
  try {
    createInstances();
  } catch (...) {
    destroyInstances();
    throw;
  }
}

// The node editor's tables answer for the service that offered them last, so a session offers
// its own again whenever it becomes current.
void Session::offerNodeEditor() { nodeEditor_->registerInto(registry_, generation_); }

void Session::makeCurrent() {
  offerNodeEditor();
  registry_.makeCurrent();
  panels_.makeCurrent();
  services_.makeCurrent();
}

void Session::refuseUnlessOffered(const DeformerSpec& deformer, const char* className,
                                  const char* what) const {
  if (module_->findServer(className, deformer.server) != nullptr) return;
  failAt(scene_.file, deformer.place + "/server",
         displayPath(module_->path().filename()) + " offers no " + what + " \"" + deformer.server +
             "\"; it offers " + offeredNames(*module_, className));
}

const ActiveHandler& Session::handlerFor(const DeformerSpec& deformer) {
  for (const auto& active : handlers_) {
    if (active->server == deformer.server) return *active;
  }
  refuseUnlessOffered(deformer, LWDISPLACEMENT_HCLASS, "displacement handler");
  auto active = std::make_unique<ActiveHandler>();
  active->server = deformer.server;
  registry_.forgetMissed();
  const int result = module_->activate(LWDISPLACEMENT_HCLASS, deformer.server, generation_.handlerVersion,
                                       &active->records, ServiceRegistry::globalFunction());
  if (result != AFUNC_OK || active->instanceFuncs.create == nullptr || active->records.evaluate == nullptr ||
      active->renderFuncs.newTime == nullptr) {
    throw ModuleError(displayPath(module_->path()) + ": the displacement handler \"" + deformer.server +
                      "\" refused activation (" + refusal(result, registry_, generation_) + ")");
  }
  handlers_.push_back(std::move(active));
  return *handlers_.back();
}

std::vector<int> Session::usedItems(size_t object) const {
  std::vector<int> used;
  const DeformedObject& deformed = objects_[object];
  for (size_t d = 0; d < deformed.instances.size(); ++d) {
    const auto useItems = deformed.handlers[d]->itemFuncs.useItems;
    if (useItems == nullptr) continue;
    for (const LWItemID* id = useItems(deformed.instances[d]); id != nullptr && *id != nullptr; ++id) {
      const int item = scene_.indexOf(*id);
      if (item >= 0 && std::find(used.begin(), used.end(), item) == used.end()) used.push_back(item);
    }
  }
  return used;
}

std::vector<LWItemID> Session::unknownItems(size_t object) const {
  std::vector<LWItemID> unknown;
  const DeformedObject& deformed = objects_[object];
  for (size_t d = 0; d < deformed.instances.size(); ++d) {
    const auto useItems = deformed.handlers[d]->itemFuncs.useItems;
    if (useItems == nullptr) continue;
    for (const LWItemID* id = useItems(deformed.instances[d]); id != nullptr && *id != nullptr; ++id) {
      if (scene_.indexOf(*id) < 0 && std::find(unknown.begin(), unknown.end(), *id) == unknown.end())
        unknown.push_back(*id);
    }
  }
  return unknown;
}

std::vector<int> Session::pivotItems(size_t object) const {
  std::vector<int> pivots = usedItems(object);
  for (const LWInstance instance : objects_[object].instances) {
    for (const LWItemID read : nodeEditor_->itemsRead(nodeEditor_->editorOf(instance))) {
      std::erase(pivots, scene_.indexOf(read));
    }
  }
  return pivots;
}

void Session::removeItem(Scene& scene, int item) {
  if (&scene != &scene_) throw std::invalid_argument("the item must be removed from the session's own scene");
  makeCurrent();
  const std::vector<LWItemID> pairs = scene.removeItem(item);
  for (const DeformedObject& object : objects_) {
    for (size_t k = 0; k < object.instances.size(); ++k) {
      const auto changeID = object.handlers[k]->itemFuncs.changeID;
      if (changeID != nullptr) changeID(object.instances[k], pairs.data());
    }
  }
}

void Session::createInstances() {
  for (size_t item = 0; item < scene_.items.size(); ++item) {
    const SceneItem& sceneItem = scene_.items[item];
    if (sceneItem.deformers.empty()) continue;
    objects_.push_back({static_cast<int>(item), {}, {}, {}});
    DeformedObject& object = objects_.back();
    for (const DeformerSpec& deformer : sceneItem.deformers) {
      const ActiveHandler& handler = handlerFor(deformer);
      const LWInstanceFuncs& funcs = handler.instanceFuncs;
      LWError error = nullptr;
      LWInstance instance = funcs.create(funcs.priv, scene_.idOf(static_cast<int>(item)), &error);
      if (instance == nullptr) {
        failAt(
            scene_.file, deformer.place,
            std::string("the module could not create the instance: ") + (error ? error : "no reason given"));
      }
      object.instances.push_back(instance);
      object.deformers.push_back(&deformer);
      object.handlers.push_back(&handler);
      // The instance's editor is the one made with the instance as its user data.
      NodeEditorID editor = nodeEditor_->editorOf(instance);
      if (!deformer.state.empty() && funcs.load != nullptr) loadState(instance, funcs, deformer, sceneItem);
      if (deformer.panel)
        applyPanel(objects_.size() - 1, object.instances.size() - 1, *deformer.panel, deformer.place);
      if (deformer.nodes) {
        if (editor == nullptr)
          failAt(scene_.file, deformer.place + "/nodes", "the instance has no node editor");
        try {
          nodeEditor_->buildNetwork(editor, *deformer.nodes);
        } catch (const NodeNetworkError& networkError) {
          failAt(scene_.file, deformer.place + "/nodes", networkError.what());
        }
      }
    }
  }
}

namespace {

// The item a word the unsigned reader could not take names when it is read in decimal, as
// scenes of earlier builds wrote ids, with that id; or nullopt. Every item id read in decimal has
// 9 or 10 digits and so, read in hexadecimal, more than 32 bits: such a word is never read as
// another item, only refused.
struct DecimalId {
  uint32_t id;
  int item;
};
std::optional<DecimalId> decimalItemId(const Scene& scene, std::string_view word) {
  uint64_t value = 0;
  if (word.empty() || word.size() > 10) return std::nullopt;
  for (char c : word) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > 0xFFFFFFFFu) return std::nullopt;
  const int item = scene.indexOf(reinterpret_cast<LWItemID>(static_cast<uintptr_t>(value)));
  if (item < 0) return std::nullopt;
  return DecimalId{static_cast<uint32_t>(value), item};
}

std::string problemText(const BlockReader::Problem& problem) {
  const std::string found = "\"" + problem.word + "\"";
  switch (problem.flaw) {
    case BlockReader::Flaw::WrongKind:
      return std::string(problem.expected) + " was read, and " + found + " stands there";
    case BlockReader::Flaw::NeverClosed:
      return problem.word.empty() ? "the text ends inside a block" : "a text in quotes is never closed";
    case BlockReader::Flaw::Stray:
      return found + " stands outside any block the module read";
  }
  return "";
}

}  // namespace

// The scene's saved state through the instance's load. An item id written in decimal stops the
// run (read in hexadecimal it is no item); anything else the load could not take whole is told
// in one line and the run goes on with what was loaded, as Layout goes on.
void Session::loadState(LWInstance instance, const LWInstanceFuncs& funcs, const DeformerSpec& deformer,
                        const SceneItem& item) {
  BlockReader reader(deformer.state);
  const LWError loadError = funcs.load(instance, reader.state());
  const std::string place = deformer.place + "/state";
  for (const BlockReader::Problem& miss : reader.unsignedMisses()) {
    if (const auto decimal = decimalItemId(scene_, miss.word)) {
      failAt(scene_.file, place,
             reader.placeOf(miss.offset) + ": the item id " + miss.word +
                 " is written in decimal; a saved state writes unsigned numbers in hexadecimal, as Layout "
                 "does: write " +
                 hexDigits(decimal->id) + " for \"" + scene_.items[static_cast<size_t>(decimal->item)].name +
                 "\"");
    }
  }
  if (loadError != nullptr)
    failAt(scene_.file, place, std::string("the module could not load it: ") + loadError);
  reader.noteLeftOver();
  if (!warn_ || !reader.firstProblem()) return;
  const int more = reader.problemCount() - 1;
  warn_(oneLine(displayPath(scene_.file) + ": " + place + " (object \"" + item.name + "\"): " +
                reader.placeOf(reader.firstProblem()->offset) + ": " + problemText(*reader.firstProblem()) +
                (more > 0 ? " (and " + std::to_string(more) + " more)" : "") + "; the rest was loaded"));
}

// A scene's "panel" settings go through the panel as a user's edits would, one by one.
void Session::applyPanel(size_t object, size_t deformer, const nlohmann::json& settings,
                         const std::string& place) {
  const LWXPanelID panel = openPanel(object, deformer);
  try {
    PanelView view(panels_, panel);
    for (const auto& [label, value] : settings.items()) view.setJson(label, value);
  } catch (const PanelError& error) {
    panels_.destroy(panel);
    failAt(scene_.file, place + "/panel", error.what());
  }
  panels_.destroy(panel);
}

LWXPanelID Session::openPanel(size_t object, size_t deformer) {
  makeCurrent();
  const DeformedObject& deformed = objects_.at(object);
  const DeformerSpec& named = *deformed.deformers.at(deformer);
  refuseUnlessOffered(named, LWDISPLACEMENT_ICLASS, "displacement interface");
  LWInterface request{deformed.instances.at(deformer), nullptr, nullptr, nullptr};
  registry_.forgetMissed();
  const int result = module_->activate(LWDISPLACEMENT_ICLASS, named.server, generation_.interfaceVersion,
                                       &request, ServiceRegistry::globalFunction());
  if (result != AFUNC_OK || request.panel == nullptr || !panels_.isOpen(request.panel)) {
    throw ModuleError(displayPath(module_->path()) + ": the interface \"" + named.server +
                      "\" built no panel (" + refusal(result, registry_, generation_) + ")");
  }
  return request.panel;
}

void Session::beginRender(int mode) {
  makeCurrent();
  rendering_ = true;
  for (const DeformedObject& object : objects_) {
    for (size_t k = 0; k < object.instances.size(); ++k) {
      const LWRenderFuncs& render = object.handlers[k]->renderFuncs;
      if (render.init == nullptr) continue;
      if (LWError error = render.init(object.instances[k], mode)) {
        throw std::runtime_error(scene_.items[static_cast<size_t>(object.item)].name +
                                 ": the render could not start: " + error);
      }
    }
  }
}

void Session::endRender() noexcept {
  if (!rendering_) return;
  rendering_ = false;
  makeCurrent();
  for (const DeformedObject& object : objects_) {
    for (size_t k = 0; k < object.instances.size(); ++k) {
      const LWRenderFuncs& render = object.handlers[k]->renderFuncs;
      if (render.cleanup != nullptr) render.cleanup(object.instances[k]);
    }
  }
}

void Session::destroyInstances() noexcept {
  // A render still going ends before its instances do.
  endRender();
  // An instance's panels stay open: destroying those the host has not closed is the instance's
  // own part of its destroy, as in Layout.
  for (DeformedObject& object : objects_) {
    for (size_t k = 0; k < object.instances.size(); ++k) {
      const LWInstanceFuncs& funcs = object.handlers[k]->instanceFuncs;
      if (funcs.destroy != nullptr) funcs.destroy(object.instances[k]);
    }
    object.instances.clear();
  }
  objects_.clear();
}

void Session::preparePoints(FramePoints& points) const {
  points.resize(objects_.size());
  for (size_t k = 0; k < objects_.size(); ++k) {
    points[k].resize(scene_.items[static_cast<size_t>(objects_[k].item)].points.size());
  }
}

void Session::evaluateFrame(int frame, FramePoints& points) {
  beginFrame(frame);
  deformPoints(points);
}

void Session::announceTime(const DeformedObject& object, size_t deformer) const {
  if (LWError error =
          object.handlers[deformer]->renderFuncs.newTime(object.instances[deformer], frame_, time_)) {
    throw std::runtime_error(scene_.items[static_cast<size_t>(object.item)].name + ": frame " +
                             std::to_string(frame_) + ": " + error);
  }
}

void Session::beginFrame(int frame) {
  makeCurrent();
  time_ = frame / scene_.fps;
  frame_ = frame;
  frameBegun_ = true;
  // Every instance sees this newTime, so requests made before it are answered by it.
  services_.takeRefreshRequests();
  for (const DeformedObject& object : objects_) {
    for (size_t k = 0; k < object.instances.size(); ++k) announceTime(object, k);
  }
}

void Session::renewUpdatedInstances() {
  const std::vector<LWInstance> updated = services_.takeRefreshRequests();
  if (!frameBegun_) return;  // no frame yet: the first beginFrame announces its time to all
  for (const DeformedObject& object : objects_) {
    for (size_t k = 0; k < object.instances.size(); ++k) {
      if (std::find(updated.begin(), updated.end(), object.instances[k]) != updated.end()) {
        announceTime(object, k);
      }
    }
  }
}

void Session::deformPoints(FramePoints& points) {
  renewUpdatedInstances();
  preparePoints(points);
  const LWTime time = time_;
  for (size_t k = 0; k < objects_.size(); ++k) {
    const DeformedObject& object = objects_[k];
    const SceneItem& item = scene_.items[static_cast<size_t>(object.item)];
    const Placement placement = scene_.meshPlacement(object.item, time);
    PlacePoints place{&placement, &item.points, &points[k]};
    pool_.run(item.points.size(), &PlacePoints::run, &place);
    for (size_t d = 0; d < object.instances.size(); ++d) {
      Pass pass{object.handlers[d]->records.evaluate, object.instances[d], &item.points,
                &services_.pointNormals(object.item), &placement,          &points[k],
                services_.meshInfo(object.item)};
      pool_.run(item.points.size(), &Pass::run, &pass);
    }
  }
}

std::string Session::savedState(size_t object, size_t deformer) {
  makeCurrent();
  BlockWriter writer;
  const DeformedObject& deformed = objects_.at(object);
  // A handler that saves nothing leaves the deformer without state.
  const LWInstanceFuncs& funcs = deformed.handlers.at(deformer)->instanceFuncs;
  if (funcs.save == nullptr) return "";
  LWError error = funcs.save(deformed.instances.at(deformer), writer.state());
  if (error != nullptr || !writer.complete()) {
    failAt(scene_.file, deformed.deformers.at(deformer)->place,
           std::string("the module could not save the instance: ") + (error ? error : "out of memory"));
  }
  return writer.text();
}

}  // namespace tarrow::host
