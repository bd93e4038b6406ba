#include "host/services/node_editor.h"

#include <algorithm>
#include <atomic>
#include <iostream>
#include <map>
#include <mutex>
#include <span>

#include "host/loader/unprovided.h"
#include "host/services/node_blocks.h"
#include "host/services/node_network.h"

namespace tarrow::host {

const char* const kNodeLoadMalformed = "Couldn't load the node network: its blocks are malformed.";
const char* const kNodeLoadInvalid = "Couldn't load the node network: its nodes don't make a valid network.";
const char* const kNodeUnknownEditor = "Unknown node editor.";
const char* const kNodeUnknownMode = "Unknown render mode.";

namespace {

const char* const kNodeEditorFailure = "The node editor couldn't complete the operation.";

struct EditorRecord;

struct EditorInput {
  EditorRecord* owner;
  int index;
  std::string name;
  ConnectionType type;
  NodeInputEvent* event;
};

struct RootNode {
  EditorRecord* owner;
};

struct EditorRecord {
  std::string name, title;
  void* userData = nullptr;
  LWChanGroupID group = nullptr;
  RootNode root{this};
  int previewType = NPT_RENDER;
  nodeEditorUpdateFunc* updateFunc = nullptr;
  nodeAutoSizeFunc* autosize = nullptr;              // set through the 2015.3 table
  lw2018::nodeAutoSizeFunc* autosize2018 = nullptr;  // set through the table of 2018 on
  void* autosizeData = nullptr;
  // Between the editor's init and cleanup: its nodes are ready for evaluation.
  std::atomic<bool> rendering{false};
  int inits = 0;
  int cleanups = 0;
  mutable std::atomic<long long> unpreparedEvaluations{0};
  bool rangesKnown = false;
  double ranges[3][2]{};
  std::vector<std::unique_ptr<EditorInput>> inputs;
  NodeNetwork network;
  std::vector<void*> usedItems{nullptr};  // the list usedItems last handed out, ended by a null
  int updates = 0;
  std::string loadError;

  NodeEditorID handle() { return reinterpret_cast<NodeEditorID>(this); }

  std::vector<EditorInputSignature> signatures() const {
    std::vector<EditorInputSignature> result;
    for (const auto& input : inputs) result.push_back({input->name, input->type});
    return result;
  }
};

// A callback into the module, made once the service's lock is released: the module may well
// call back into the service (check, evaluate, another editor's operation).
struct PendingEvent {
  NodeInputEvent* event;
  void* userData;
  NodeInputID input;
  int nodalEvent;
  ConnectionType connectionType;
};

std::string typeText(ConnectionType type) {
  switch (type) {
    case NOT_SCALAR:
      return "scalar";
    case NOT_VECTOR:
      return "vector";
    case NOT_COLOR:
      return "color";
    default:
      return "type " + std::to_string(type);
  }
}

std::string formatRanges(const double (&ranges)[3][2]) {
  std::string text;
  for (int i = 0; i < 3; ++i) {
    text += (i == 0 ? "" : ", ") + std::to_string(ranges[i][0]) + " .. " + std::to_string(ranges[i][1]);
  }
  return text;
}

}  // namespace

class NodeEditorService::Impl {
 public:
  mutable std::mutex mutex;
  std::map<const void*, std::unique_ptr<EditorRecord>> editors;
  const LWItemInfo* itemInfo = nullptr;
  const HostGeneration* generation = &hostGenerations().front();
  std::function<void(const std::string&)> sink = [](const std::string& text) { std::cout << text; };

  // Callers hold the lock.
  EditorRecord* find(NodeEditorID editor) const {
    auto found = editors.find(editor);
    return found == editors.end() ? nullptr : found->second.get();
  }

  EditorRecord& require(NodeEditorID editor) const {
    EditorRecord* record = find(editor);
    if (record == nullptr) throw NodeNetworkError("node editor: unknown editor");
    return *record;
  }

  std::string describe(const EditorRecord& record) const {
    std::string text = "Node editor \"" + record.name + "\" of \"" + record.title + "\"\n";
    text += "Inputs:\n";
    for (const auto& input : record.inputs) {
      std::string source = record.network.sourceOf(input->index);
      text += "  " + input->name + " (" + typeText(input->type) + ")" +
              (source.empty() ? ": unconnected" : " <- " + source) + "\n";
    }
    text += record.network.nodes().empty() ? "Nodes: none\n" : "Nodes:\n" + record.network.describeNodes();
    if (record.rangesKnown) text += "Preview ranges: " + formatRanges(record.ranges) + "\n";
    return text;
  }

  // The table entries. Each is reached through a noexcept wrapper that turns a failure into the
  // host's answer for it.
  // Of the root description only the preview type is kept: a deformer's root has no entries.
  // Without one, the editor previews as the generation renders.
  template <typename Root>
  NodeEditorID create(const char* name, const char* title, const Root* root, void* userData) {
    auto record = std::make_unique<EditorRecord>();
    record->name = name != nullptr ? name : "";
    record->title = title != nullptr ? title : "";
    record->userData = userData;
    record->previewType = root != nullptr ? root->previewType : generation->previewRender;
    NodeEditorID handle = record->handle();
    std::lock_guard lock(mutex);
    editors.emplace(handle, std::move(record));
    return handle;
  }

  void destroy(NodeEditorID editor) {
    std::unique_ptr<EditorRecord> doomed;
    std::lock_guard lock(mutex);
    auto found = editors.find(editor);
    if (found == editors.end()) return;
    doomed = std::move(found->second);
    editors.erase(found);
  }

  LWError copy(NodeEditorID to, NodeEditorID from) {
    std::lock_guard lock(mutex);
    EditorRecord* target = find(to);
    EditorRecord* source = find(from);
    if (target == nullptr || source == nullptr) return kNodeUnknownEditor;
    if (target == source) return nullptr;
    auto signatures = target->signatures();
    target->network = source->network.copyFor(signatures);
    return nullptr;
  }

  LWError save(NodeEditorID editor, const LWSaveState* state) {
    std::lock_guard lock(mutex);
    EditorRecord* record = find(editor);
    if (record == nullptr) return kNodeUnknownEditor;
    if (state == nullptr) return kNodeEditorFailure;
    saveNodeNetwork(record->network.toJson(), *state);
    return nullptr;
  }

  LWError load(NodeEditorID editor, const LWLoadState* state) {
    std::lock_guard lock(mutex);
    EditorRecord* record = find(editor);
    if (record == nullptr) return kNodeUnknownEditor;
    if (state == nullptr) return kNodeEditorFailure;
    nlohmann::json description;
    try {
      description = loadNodeNetwork(*state);
    } catch (const NodeNetworkError& error) {
      record->loadError = error.what();
      return kNodeLoadMalformed;
    }
    try {
      auto signatures = record->signatures();
      record->network = NodeNetwork::fromJson(description, signatures);
    } catch (const NodeNetworkError& error) {
      record->loadError = error.what();
      return kNodeLoadInvalid;
    }
    record->loadError.clear();
    return nullptr;
  }

  NodeInputID addInput(NodeEditorID editor, ConnectionType type, const char* name, NodeInputEvent* event) {
    std::lock_guard lock(mutex);
    EditorRecord* record = find(editor);
    if (record == nullptr) return nullptr;
    int index = static_cast<int>(record->inputs.size());
    record->inputs.push_back(
        std::make_unique<EditorInput>(EditorInput{record, index, name != nullptr ? name : "", type, event}));
    record->network.addEditorInput();
    return reinterpret_cast<NodeInputID>(record->inputs.back().get());
  }

  NodeID rootNode(NodeEditorID editor) const {
    std::lock_guard lock(mutex);
    EditorRecord* record = find(editor);
    return record != nullptr ? reinterpret_cast<NodeID>(&record->root) : nullptr;
  }

  template <typename Change>
  void change(NodeEditorID editor, Change apply) {
    std::lock_guard lock(mutex);
    if (EditorRecord* record = find(editor)) apply(*record);
  }

  void setPreviewType(NodeID node, int previewType) {
    std::lock_guard lock(mutex);
    for (auto& [handle, record] : editors) {
      if (reinterpret_cast<NodeID>(&record->root) == node) record->previewType = previewType;
    }
  }

  // The render contract: init before the nodes are evaluated, with one of the generation's modes.
  LWError init(NodeEditorID editor, int mode) {
    std::lock_guard lock(mutex);
    EditorRecord* record = find(editor);
    if (record == nullptr) return kNodeUnknownEditor;
    if (mode < LWINIT_PREVIEW || mode > generation->lastInitMode) return kNodeUnknownMode;
    ++record->inits;
    record->rendering.store(true, std::memory_order_release);
    return nullptr;
  }

  void cleanup(NodeEditorID editor) {
    std::lock_guard lock(mutex);
    if (EditorRecord* record = find(editor)) {
      ++record->cleanups;
      record->rendering.store(false, std::memory_order_release);
    }
  }

  LWError newTime(NodeEditorID editor, LWTime time) {
    std::lock_guard lock(mutex);
    EditorRecord* record = find(editor);
    if (record == nullptr) return kNodeUnknownEditor;
    ++record->updates;
    record->network.updateItems(itemInfo, time);
    return nullptr;
  }

  void* userData(NodeEditorID editor) const {
    std::lock_guard lock(mutex);
    EditorRecord* record = find(editor);
    return record != nullptr ? record->userData : nullptr;
  }

  // The host's list, kept with the editor until its next usedItems.
  void* const* usedItems(NodeEditorID editor) {
    std::lock_guard lock(mutex);
    EditorRecord* record = find(editor);
    if (record == nullptr) return nullptr;
    std::vector<void*> list;
    if (itemInfo != nullptr) {
      for (LWItemID item : record->network.usedItems(*itemInfo)) list.push_back(item);
    }
    list.push_back(nullptr);
    record->usedItems = std::move(list);
    return record->usedItems.data();
  }

  // The window shows the network and the preview ranges the autosize function gives.
  int openNodeEditor(NodeEditorID editor) {
    nodeAutoSizeFunc* autosize = nullptr;
    lw2018::nodeAutoSizeFunc* autosize2018 = nullptr;
    void* userData = nullptr;
    void* autosizeData = nullptr;
    {
      std::lock_guard lock(mutex);
      EditorRecord* record = find(editor);
      if (record == nullptr) return 0;
      autosize = record->autosize;
      autosize2018 = record->autosize2018;
      userData = record->userData;
      autosizeData = record->autosizeData;
    }
    double ranges[3][2]{};
    if (autosize != nullptr) autosize(editor, userData, ranges);
    // What the newer callback returns has no meaning the host documents: it is not looked at.
    if (autosize2018 != nullptr) autosize2018(editor, userData, autosizeData, ranges);
    std::string text;
    std::function<void(const std::string&)> show;
    {
      std::lock_guard lock(mutex);
      EditorRecord* record = find(editor);
      if (record == nullptr) return 0;
      if (autosize != nullptr || autosize2018 != nullptr) {
        std::copy(&ranges[0][0], &ranges[0][0] + 6, &record->ranges[0][0]);
        record->rangesKnown = true;
      }
      text = describe(*record);
      show = sink;
    }
    if (show) show(text);
    return 1;
  }
};

namespace {

std::atomic<NodeEditorService::Impl*> currentService{nullptr};

NodeEditorService::Impl* current() { return currentService.load(std::memory_order_acquire); }

template <typename Result, typename Operation>
Result guarded(Result onFailure, Operation operation) noexcept {
  NodeEditorService::Impl* service = current();
  if (service == nullptr) return onFailure;
  try {
    return operation(*service);
  } catch (...) {
    return onFailure;
  }
}

template <typename Operation>
void guardedVoid(Operation operation) noexcept {
  NodeEditorService::Impl* service = current();
  if (service == nullptr) return;
  try {
    operation(*service);
  } catch (...) {
    // The host's void entries have no way to report a failure; the editor stays as it was.
  }
}

template <typename Root, typename Input>
NodeEditorID editorCreate(const char* name, const char* title, Root* root, Input* /*input*/, void* userData,
                          NodeEditorID /*parent*/) noexcept {
  return guarded<NodeEditorID>(nullptr, [&](auto& s) { return s.create(name, title, root, userData); });
}

void editorDestroy(NodeEditorID editor) noexcept {
  guardedVoid([&](auto& s) { s.destroy(editor); });
}

void editorSetUpdateFunc(NodeEditorID editor, nodeEditorUpdateFunc* update) noexcept {
  guardedVoid([&](auto& s) { s.change(editor, [&](EditorRecord& r) { r.updateFunc = update; }); });
}

LWError editorCopy(NodeEditorID to, NodeEditorID from) noexcept {
  return guarded<LWError>(kNodeEditorFailure, [&](auto& s) { return s.copy(to, from); });
}

LWError editorSave(NodeEditorID editor, const LWSaveState* state) noexcept {
  return guarded<LWError>(kNodeEditorFailure, [&](auto& s) { return s.save(editor, state); });
}

LWError editorLoad(NodeEditorID editor, const LWLoadState* state) noexcept {
  return guarded<LWError>(kNodeEditorFailure, [&](auto& s) { return s.load(editor, state); });
}

LWError editorInit(NodeEditorID editor, int mode) noexcept {
  return guarded<LWError>(kNodeEditorFailure, [&](auto& s) { return s.init(editor, mode); });
}

void editorCleanup(NodeEditorID editor) noexcept {
  guardedVoid([&](auto& s) { s.cleanup(editor); });
}

LWError editorNewTime(NodeEditorID editor, LWFrame /*frame*/, LWTime time) noexcept {
  return guarded<LWError>(kNodeEditorFailure, [&](auto& s) { return s.newTime(editor, time); });
}

NodeInputID editorAddInput(NodeEditorID editor, ConnectionType type, const char* name,
                           NodeInputEvent* event) noexcept {
  return guarded<NodeInputID>(nullptr, [&](auto& s) { return s.addInput(editor, type, name, event); });
}

void editorSetEnvGroup(NodeEditorID editor, LWChanGroupID group) noexcept {
  guardedVoid([&](auto& s) { s.change(editor, [&](EditorRecord& r) { r.group = group; }); });
}

void editorSetAutosize(NodeEditorID editor, nodeAutoSizeFunc* autosize) noexcept {
  guardedVoid([&](auto& s) { s.change(editor, [&](EditorRecord& r) { r.autosize = autosize; }); });
}

void editorSetAutosize2018(NodeEditorID editor, lw2018::nodeAutoSizeFunc* autosize, void* data) noexcept {
  guardedVoid([&](auto& s) {
    s.change(editor, [&](EditorRecord& r) {
      r.autosize2018 = autosize;
      r.autosizeData = data;
    });
  });
}

void* editorGetUserData(NodeEditorID editor) noexcept {
  return guarded<void*>(nullptr, [&](auto& s) { return s.userData(editor); });
}

void* const* editorUsedItems(NodeEditorID editor) noexcept {
  // A list the host could not make is an empty one, never a null the module would read from.
  static void* const kNoItems[] = {nullptr};
  return guarded<void* const*>(kNoItems, [&](auto& s) {
    void* const* list = s.usedItems(editor);
    return list != nullptr ? list : kNoItems;
  });
}

int editorOpen(NodeEditorID editor) noexcept {
  return guarded<int>(0, [&](auto& s) { return s.openNodeEditor(editor); });
}

NodeID editorRootNode(NodeEditorID editor) noexcept {
  return guarded<NodeID>(nullptr, [&](auto& s) { return s.rootNode(editor); });
}

// check and evaluate run for every point, possibly on several threads: they take no lock and
// trust the input handle, which the editor that made it owns until it is destroyed.
int inputCheck(NodeInputID input) noexcept {
  const auto* record = reinterpret_cast<const EditorInput*>(input);
  return record != nullptr && record->owner->network.connected(record->index) ? 1 : 0;
}

// An input evaluated while its editor is not between init and cleanup is counted: Layout's
// nodes would be evaluated unprepared.
const EditorInput* evaluated(NodeInputID input) noexcept {
  const auto* record = reinterpret_cast<const EditorInput*>(input);
  if (record != nullptr && !record->owner->rendering.load(std::memory_order_relaxed)) {
    record->owner->unpreparedEvaluations.fetch_add(1, std::memory_order_relaxed);
  }
  return record;
}

int inputEvaluate(NodeInputID input, LWNodalAccess* sample, void* value) noexcept {
  const EditorInput* record = evaluated(input);
  if (record == nullptr) return 0;
  return record->owner->network.evaluate(record->index, sample, static_cast<double*>(value));
}

// The shading geometry of 2018 on, as the stand-in node kinds read it: the members of the 2015.3
// record they read, from their counterparts. It has no spot size, and the ray's source is the
// spot moved back along I by the distance. The record itself goes along for the kinds that
// read its transforms or call its functions.
int inputEvaluate2018(NodeInputID input, lw2018::LWShadingGeometry* sg, void* value) noexcept {
  const EditorInput* record = evaluated(input);
  if (record == nullptr) return 0;
  if (sg == nullptr)
    return record->owner->network.evaluate(record->index, nullptr, static_cast<double*>(value));
  LWNodalAccess spot;
  for (int i = 0; i < 3; ++i) {
    spot.oPos[i] = sg->oP[i];
    spot.wPos[i] = sg->P[i];
    spot.rayDir[i] = -sg->shading.I[i];
    spot.raySource[i] = sg->P[i] + sg->shading.I[i] * sg->dist;
  }
  spot.rayLength = sg->dist;
  spot.spotSize = 0.0;
  spot.weights[0] = static_cast<float>(sg->bary[0]);
  return record->owner->network.evaluate(record->index, &spot, static_cast<double*>(value), sg);
}

void nodeSetPreviewType(NodeID node, int previewType) noexcept {
  guardedVoid([&](auto& s) { s.setPreviewType(node, previewType); });
}

const LWNodeEditorFuncs kEditorFuncs{
    .create = &editorCreate<LWRootNode, LWInputNode>,
    .destroy = &editorDestroy,
    .rename = TARROW_UNPROVIDED(LWNodeEditorFuncs, rename),
    .setUpdateFunc = &editorSetUpdateFunc,
    .copy = &editorCopy,
    .save = &editorSave,
    .load = &editorLoad,
    .init = &editorInit,
    .newTime = &editorNewTime,
    .cleanup = &editorCleanup,
    .addInput = &editorAddInput,
    .remInput = TARROW_UNPROVIDED(LWNodeEditorFuncs, remInput),
    .addOutput = TARROW_UNPROVIDED(LWNodeEditorFuncs, addOutput),
    .remOutput = TARROW_UNPROVIDED(LWNodeEditorFuncs, remOutput),
    .setEnvGroup = &editorSetEnvGroup,
    .setAutosize = &editorSetAutosize,
    .setUserData = TARROW_UNPROVIDED(LWNodeEditorFuncs, setUserData),
    .getUserData = &editorGetUserData,
    .numberOfNodes = TARROW_UNPROVIDED(LWNodeEditorFuncs, numberOfNodes),
    .getInputByName = TARROW_UNPROVIDED(LWNodeEditorFuncs, getInputByName),
    .getInputByIndex = TARROW_UNPROVIDED(LWNodeEditorFuncs, getInputByIndex),
    .getState = TARROW_UNPROVIDED(LWNodeEditorFuncs, getState),
    .setState = TARROW_UNPROVIDED(LWNodeEditorFuncs, setState),
    .OpenNodeEditor = &editorOpen,
    .isOpenNodeEditor = TARROW_UNPROVIDED(LWNodeEditorFuncs, isOpenNodeEditor),
    .getRootNodeID = &editorRootNode,
    .getInputNodeID = TARROW_UNPROVIDED(LWNodeEditorFuncs, getInputNodeID),
    .getEditorID = TARROW_UNPROVIDED(LWNodeEditorFuncs, getEditorID),
    .getParentEditorID = TARROW_UNPROVIDED(LWNodeEditorFuncs, getParentEditorID),
    .connect = TARROW_UNPROVIDED(LWNodeEditorFuncs, connect),
    .addNode = TARROW_UNPROVIDED(LWNodeEditorFuncs, addNode),
    .destroyNode = TARROW_UNPROVIDED(LWNodeEditorFuncs, destroyNode),
    .setXY = TARROW_UNPROVIDED(LWNodeEditorFuncs, setXY),
    .setContext = TARROW_UNPROVIDED(LWNodeEditorFuncs, setContext),
    .getContext = TARROW_UNPROVIDED(LWNodeEditorFuncs, getContext),
    .usedItems = &editorUsedItems,
};

// The editor table of 2018 on: the same entries, in its layout.
#define TARROW_UNPROVIDED_2018(member)                       \
  (&::tarrow::host::Unprovided<"LWNodeEditorFuncs", #member, \
                               decltype(lw2018::LWNodeEditorFuncs::member)>::call)
const lw2018::LWNodeEditorFuncs kEditorFuncs2018{
    .create = &editorCreate<lw2018::LWRootNode, lw2018::LWInputNode>,
    .destroy = &editorDestroy,
    .rename = TARROW_UNPROVIDED_2018(rename),
    .setUpdateFunc = &editorSetUpdateFunc,
    .copy = &editorCopy,
    .save = &editorSave,
    .load = &editorLoad,
    .init = &editorInit,
    .newTime = &editorNewTime,
    .cleanup = &editorCleanup,
    .addInput = &editorAddInput,
    .remInput = TARROW_UNPROVIDED_2018(remInput),
    .addOutput = TARROW_UNPROVIDED_2018(addOutput),
    .remOutput = TARROW_UNPROVIDED_2018(remOutput),
    .setEnvGroup = &editorSetEnvGroup,
    .setAutosize = &editorSetAutosize2018,
    .setUserData = TARROW_UNPROVIDED_2018(setUserData),
    .getUserData = &editorGetUserData,
    .numberOfNodes = TARROW_UNPROVIDED_2018(numberOfNodes),
    .nodeByIndex = TARROW_UNPROVIDED_2018(nodeByIndex),
    .numInputs = TARROW_UNPROVIDED_2018(numInputs),
    .getInputByName = TARROW_UNPROVIDED_2018(getInputByName),
    .getInputByIndex = TARROW_UNPROVIDED_2018(getInputByIndex),
    .getState = TARROW_UNPROVIDED_2018(getState),
    .setState = TARROW_UNPROVIDED_2018(setState),
    .OpenNodeEditor = &editorOpen,
    .isOpenNodeEditor = TARROW_UNPROVIDED_2018(isOpenNodeEditor),
    .currentNodeEditorID = TARROW_UNPROVIDED_2018(currentNodeEditorID),
    .getRootNodeID = &editorRootNode,
    .getInputNodeID = TARROW_UNPROVIDED_2018(getInputNodeID),
    .getEditorID = TARROW_UNPROVIDED_2018(getEditorID),
    .getParentEditorID = TARROW_UNPROVIDED_2018(getParentEditorID),
    .connect = TARROW_UNPROVIDED_2018(connect),
    .addNode = TARROW_UNPROVIDED_2018(addNode),
    .destroyNode = TARROW_UNPROVIDED_2018(destroyNode),
    .setXY = TARROW_UNPROVIDED_2018(setXY),
    .setContext = TARROW_UNPROVIDED_2018(setContext),
    .getContext = TARROW_UNPROVIDED_2018(getContext),
    .usedItems = &editorUsedItems,
    .reset = TARROW_UNPROVIDED_2018(reset),
};
#undef TARROW_UNPROVIDED_2018

const LWNodeInputFuncs kInputFuncs = withUnprovidedLaterMembers<"LWNodeInputFuncs">(LWNodeInputFuncs{
    .create = TARROW_UNPROVIDED(LWNodeInputFuncs, create),
    .destroy = TARROW_UNPROVIDED(LWNodeInputFuncs, destroy),
    .evaluate = &inputEvaluate,
    .check = &inputCheck,
    .laterMembers = {},
});

const lw2018::LWNodeInputFuncs kInputFuncs2018 =
    withUnprovidedLaterMembers<"LWNodeInputFuncs">(lw2018::LWNodeInputFuncs{
        .create = TARROW_UNPROVIDED(LWNodeInputFuncs, create),
        .destroy = TARROW_UNPROVIDED(LWNodeInputFuncs, destroy),
        .evaluate = &inputEvaluate2018,
        .check = &inputCheck,
        .laterMembers = {},
    });

// As long as 2025's; the members past a generation's own are never reached by its modules.
const LongerTable<"LWNodeFuncs", LWNodeFuncs, 2> kNodeFuncs(LWNodeFuncs{
    .nodeName = TARROW_UNPROVIDED(LWNodeFuncs, nodeName),
    .serverUserName = TARROW_UNPROVIDED(LWNodeFuncs, serverUserName),
    .chanGrp = TARROW_UNPROVIDED(LWNodeFuncs, chanGrp),
    .setNodeColor = TARROW_UNPROVIDED(LWNodeFuncs, setNodeColor),
    .setNodeColor3 = TARROW_UNPROVIDED(LWNodeFuncs, setNodeColor3),
    .setNodePreviewType = &nodeSetPreviewType,
    .laterMembers = {},
});
static_assert(sizeof(kNodeFuncs) == sizeof(lw2025::LWNodeFuncs));

}  // namespace

NodeEditorService::NodeEditorService() : impl_(std::make_unique<Impl>()) {}

NodeEditorService::~NodeEditorService() {
  Impl* self = impl_.get();
  currentService.compare_exchange_strong(self, nullptr);
}

void NodeEditorService::registerInto(ServiceRegistry& registry, const HostGeneration& generation) {
  const bool layout2018 = generation.nodes == NodeLayout::k2018;
  const void* editorFuncs = layout2018 ? static_cast<const void*>(&kEditorFuncs2018) : &kEditorFuncs;
  const void* inputFuncs = layout2018 ? static_cast<const void*>(&kInputFuncs2018) : &kInputFuncs;
  registry.provide(generation.nodeEditor, const_cast<void*>(editorFuncs));
  registry.provide(generation.nodeInput, const_cast<void*>(inputFuncs));
  registry.provide(generation.nodeFuncs, const_cast<LWNodeFuncs*>(&kNodeFuncs.rows));
  {
    std::lock_guard lock(impl_->mutex);
    impl_->generation = &generation;
  }
  currentService.store(impl_.get(), std::memory_order_release);
}

void NodeEditorService::setItemInfo(const LWItemInfo* itemInfo) {
  std::lock_guard lock(impl_->mutex);
  impl_->itemInfo = itemInfo;
}

void NodeEditorService::setWindowSink(std::function<void(const std::string&)> sink) {
  std::lock_guard lock(impl_->mutex);
  impl_->sink = std::move(sink);
}

std::optional<NodeEditorService::EditorView> NodeEditorService::view(NodeEditorID editor) const {
  std::lock_guard lock(impl_->mutex);
  const EditorRecord* record = impl_->find(editor);
  if (record == nullptr) return std::nullopt;
  EditorView result{record->name,
                    record->title,
                    record->userData,
                    record->group,
                    record->previewType,
                    record->updateFunc != nullptr,
                    record->autosize != nullptr || record->autosize2018 != nullptr,
                    {},
                    {},
                    record->updates,
                    record->loadError,
                    record->inits,
                    record->cleanups,
                    record->unpreparedEvaluations.load(std::memory_order_relaxed)};
  std::copy(&record->ranges[0][0], &record->ranges[0][0] + 6, &result.ranges[0][0]);
  for (const auto& input : record->inputs) {
    result.inputs.push_back({reinterpret_cast<NodeInputID>(input.get()), input->name, input->type,
                             input->event, record->userData, record->network.connected(input->index)});
  }
  return result;
}

std::size_t NodeEditorService::liveEditors() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->editors.size();
}

NodeEditorID NodeEditorService::editorOf(const void* userData) const {
  std::lock_guard lock(impl_->mutex);
  for (const auto& [handle, record] : impl_->editors) {
    if (record->userData == userData) return record->handle();
  }
  return nullptr;
}

std::vector<LWItemID> NodeEditorService::itemsRead(NodeEditorID editor) const {
  std::lock_guard lock(impl_->mutex);
  const EditorRecord* record = impl_->find(editor);
  if (record == nullptr || impl_->itemInfo == nullptr) return {};
  return record->network.usedItems(*impl_->itemInfo);
}

void NodeEditorService::buildNetwork(NodeEditorID editor, const nlohmann::json& nodes) {
  std::vector<PendingEvent> events;
  nodeEditorUpdateFunc* updateFunc = nullptr;
  {
    std::lock_guard lock(impl_->mutex);
    EditorRecord& record = impl_->require(editor);
    auto signatures = record.signatures();
    NodeNetwork next = NodeNetwork::fromJson(nodes, signatures);
    for (const auto& input : record.inputs) {
      std::string before = record.network.sourceOf(input->index);
      std::string after = next.sourceOf(input->index);
      if (before == after || input->event == nullptr) continue;
      events.push_back({input->event, record.userData, reinterpret_cast<NodeInputID>(input.get()),
                        after.empty() ? NIE_DISCONNECT : NIE_CONNECT, input->type});
    }
    record.network = std::move(next);
    updateFunc = record.updateFunc;
  }
  for (const auto& pending : events) {
    pending.event(pending.userData, pending.input, pending.nodalEvent, pending.connectionType);
  }
  if (updateFunc != nullptr) updateFunc(editor);
}

void NodeEditorService::setNodeParameters(NodeEditorID editor, const std::string& nodeId,
                                          const nlohmann::json& parameters) {
  nodeEditorUpdateFunc* updateFunc = nullptr;
  {
    std::lock_guard lock(impl_->mutex);
    EditorRecord& record = impl_->require(editor);
    auto signatures = record.signatures();
    record.network = record.network.withParameters(nodeId, parameters, signatures);
    updateFunc = record.updateFunc;
  }
  if (updateFunc != nullptr) updateFunc(editor);
}

nlohmann::json NodeEditorService::networkJson(NodeEditorID editor) const {
  std::lock_guard lock(impl_->mutex);
  return impl_->require(editor).network.toJson();
}

std::string NodeEditorService::describeNetwork(NodeEditorID editor) const {
  std::lock_guard lock(impl_->mutex);
  return impl_->describe(impl_->require(editor));
}

}  // namespace tarrow::host
