#include "fake_host.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace fake {
namespace {

std::string format(const char* pattern, const std::string& a) {
  char line[256];
  std::snprintf(line, sizeof line, pattern, a.c_str());
  return line;
}

std::string idText(LWID id) {
  const char chars[5] = {static_cast<char>(id >> 24), static_cast<char>(id >> 16), static_cast<char>(id >> 8),
                         static_cast<char>(id), 0};
  return chars;
}

// Item info: the objects of the host's list, in order.
LWItemID itemFirst(LWItemType type, LWItemID) {
  const Host& h = host();
  return type == LWI_OBJECT && !h.objects.empty() ? h.objects.front().first : nullptr;
}
LWItemID itemNext(LWItemID item) {
  const auto& objects = host().objects;
  for (std::size_t k = 0; k + 1 < objects.size(); ++k) {
    if (objects[k].first == item) return objects[k + 1].first;
  }
  return nullptr;
}
LWItemID itemParent(LWItemID item) {
  const auto& parents = host().parents;
  const auto found = parents.find(item);
  return found == parents.end() ? nullptr : found->second;
}
const char* itemName(LWItemID item) {
  for (const auto& [id, name] : host().objects) {
    if (id == item) return name.c_str();
  }
  return "";
}

// Scene objects: the weight maps.
int objectNumVMaps(LWID type) { return type == LWVMAP_WGHT ? static_cast<int>(host().weightMaps.size()) : 0; }
const char* objectVMapName(LWID type, int index) {
  if (host().recording) host().vmapNameIndices.push_back(index);
  const auto& maps = host().weightMaps;
  if (type != LWVMAP_WGHT || index < 0 || index >= static_cast<int>(maps.size()) || !maps[index]) {
    return nullptr;
  }
  return maps[static_cast<std::size_t>(index)]->c_str();
}

// XPanel.
LWXPanelID panelCreate(int type, LWXPanelControl* controls) {
  Host& h = host();
  std::lock_guard<std::mutex> lock(h.panelMutex);
  if (h.refusePanels) return nullptr;
  Panel& made = h.panels.emplace_back();
  made.type = type;
  made.controls = controls;
  made.calls.push_back("create");
  return reinterpret_cast<LWXPanelID>(&made);
}
void panelDestroy(LWXPanelID id) {
  std::lock_guard<std::mutex> lock(host().panelMutex);
  host().panel(id).calls.push_back("destroy");
}
void panelDescribe(LWXPanelID id, LWXPanelDataDesc* data, LWXPanelGetFunc* get, LWXPanelSetFunc* set) {
  std::lock_guard<std::mutex> lock(host().panelMutex);
  Panel& p = host().panel(id);
  p.dataDesc = data;
  p.get = get;
  p.set = set;
  p.calls.push_back("describe");
}
void panelHint(LWXPanelID id, uint32_t hintId, LWXPanelHint* hints) {
  std::lock_guard<std::mutex> lock(host().panelMutex);
  Panel& p = host().panel(id);
  p.hintId = hintId;
  p.hints = hints;
  p.calls.push_back("hint");
}
void* panelGetData(LWXPanelID id, uint32_t dataId) {
  std::lock_guard<std::mutex> lock(host().panelMutex);
  const auto& data = host().panel(id).data;
  const auto found = data.find(dataId);
  return found != data.end() ? found->second : nullptr;
}
void panelSetData(LWXPanelID id, uint32_t dataId, void* data) {
  std::lock_guard<std::mutex> lock(host().panelMutex);
  Panel& p = host().panel(id);
  p.data[dataId] = data;
  p.calls.push_back("setData");
}
void panelViewInst(LWXPanelID id, void* inst) {
  std::lock_guard<std::mutex> lock(host().panelMutex);
  Panel& p = host().panel(id);
  p.inst = inst;
  p.calls.push_back("viewInst");
}
void itemParam(LWItemID id, LWItemParam code, LWTime time, double vector[3]) {
  Host& h = host();
  const Vec3 value = h.param(id, code, time);
  vector[0] = value[0];
  vector[1] = value[1];
  vector[2] = value[2];
  if (h.recording) {
    h.paramCalls.push_back({id, code, time});
  }
}
LWChanGroupID itemChanGroup(LWItemID id) {
  host().record("chanGroup(" + text(id) + ")");
  return handle<LWChanGroupID>(reinterpret_cast<std::uintptr_t>(id) + 0xC000);
}

LWItemID sceneRenderCamera(LWTime) {
  ++host().renderCameraCalls;
  return host().renderCamera;
}

// Node editor.
NodeEditorID editorCreate(const char* name, const char* title, LWRootNode* root, LWInputNode* input,
                          void* userData, NodeEditorID parent) {
  Host& h = host();
  static const LWRootNode zero{};
  const bool zeroRoot = root != nullptr && std::memcmp(root, &zero, sizeof zero) == 0;
  h.record(std::string("create(") + name + "," + title + "," + (zeroRoot ? "zero64" : "other") + "," +
           text(input) + "," + text(userData) + "," + text(parent) + ")");
  const auto editor = handle<NodeEditorID>(0xE000 + static_cast<std::uintptr_t>(++h.editorsMade));
  h.editorUserData[editor] = userData;
  return editor;
}
void editorDestroy(NodeEditorID editor) {
  Host& h = host();
  h.record("destroy(" + text(editor) + ")");
  if (!h.inputEventsOnDestroy) return;
  for (const auto& [input, owner] : h.inputEvents) {
    if (owner.first != editor || owner.second == nullptr) continue;
    ++h.inputEventsSent;
    owner.second(h.editorUserData[editor], input, NIE_INPUTNODEDESTROY, h.inputTypes[input]);
  }
  // Its nodes going changes the network's output too.
  if (nodeEditorUpdateFunc* update = h.updateFuncs[editor]) update(editor);
}
LWError editorCopy(NodeEditorID to, NodeEditorID from) {
  host().record("copy(" + text(to) + "," + text(from) + ")");
  return "ignored";
}
LWError editorSave(NodeEditorID editor, const LWSaveState* out) {
  host().record("save(" + text(editor) + ")");
  out->writeStr(out->writeData, "network");
  return host().nodeSaveResult;
}
LWError editorLoad(NodeEditorID editor, const LWLoadState*) {
  host().record("load(" + text(editor) + ")");
  return host().nodeLoadResult;
}
NodeInputID editorAddInput(NodeEditorID editor, ConnectionType type, const char* name,
                           NodeInputEvent* event) {
  Host& h = host();
  h.record("addInput(" + text(editor) + "," + std::to_string(type) + "," + name + "," +
           text(reinterpret_cast<const void*>(event)) + ")");
  const auto input = handle<NodeInputID>(0x1100 + static_cast<std::uintptr_t>(++h.inputsMade));
  h.inputTypes[input] = type;
  h.inputEvents[input] = {editor, event};
  return input;
}
NodeID editorRoot(NodeEditorID editor) {
  host().record("getRootNodeID(" + text(editor) + ")");
  return handle<NodeID>(reinterpret_cast<std::uintptr_t>(editor) + 0xA0000);
}
void editorEnvGroup(NodeEditorID editor, LWChanGroupID group) {
  host().record("setEnvGroup(" + text(editor) + "," + text(group) + ")");
}
void editorUpdateFunc(NodeEditorID editor, nodeEditorUpdateFunc* func) {
  host().record("setUpdateFunc(" + text(editor) + "," + (func != nullptr ? "func" : "null") + ")");
  host().updateFuncs[editor] = func;
}
void* editorGetUserData(NodeEditorID editor) {
  const auto found = host().editorUserData.find(editor);
  return found != host().editorUserData.end() ? found->second : nullptr;
}
void* const* editorUsedItems(NodeEditorID editor) {
  if (host().recording) host().record("usedItems(" + text(editor) + ")");
  auto& list = host().usedItems[editor];
  if (list.empty() || list.back() != nullptr) list.push_back(nullptr);
  return list.data();
}
void editorAutosize(NodeEditorID editor, nodeAutoSizeFunc* func) {
  host().record("setAutosize(" + text(editor) + "," + text(reinterpret_cast<const void*>(func)) + ")");
}
LWError editorNewTime(NodeEditorID editor, LWFrame frame, LWTime time) {
  if (host().recording) {
    host().record("newTime(" + text(editor) + "," + std::to_string(frame) + "," + std::to_string(time) + ")");
  }
  return nullptr;
}
LWError editorInit(NodeEditorID editor, int mode) {
  host().record("init(" + text(editor) + "," + std::to_string(mode) + ")");
  return host().nodeInitResult;
}
void editorCleanup(NodeEditorID editor) { host().record("cleanup(" + text(editor) + ")"); }
int editorOpen(NodeEditorID editor) {
  host().record("OpenNodeEditor(" + text(editor) + ")");
  return 1;
}
void rootPreviewType(NodeID node, int previewType) {
  host().record("setNodePreviewType(" + text(node) + "," + std::to_string(previewType) + ")");
}

// Node inputs.
int inputCheck(NodeInputID input) {
  Host& h = host();
  if (h.recording) {
    h.inputCalls.push_back("check(" + text(input) + ")");
  }
  return h.connectedInputs.count(input) != 0 ? 1 : 0;
}
int inputEvaluate(NodeInputID input, LWNodalAccess* sample, void* value) {
  Host& h = host();
  if (h.recording) {
    h.inputCalls.push_back("evaluate(" + text(input) + ")");
    h.samples.push_back(*sample);
  }
  const auto found = h.inputValues.find(input);
  const Vec3 answer = found != h.inputValues.end() ? found->second : Vec3{};
  const bool vector = h.inputTypes.at(input) == NOT_VECTOR;
  std::memcpy(value, answer.data(), vector ? 3 * sizeof(double) : sizeof(double));
  return 1;
}

void viewRefresh(LWXPanelID panel) { host().viewRefreshes.push_back(panel); }
void instUpdate(const char* className, LWInstance instance) {
  host().instUpdates.emplace_back(className, instance);
}

// Mesh info.
LWVMapID meshLookup(LWMeshInfo* info, LWID type, const char* name) {
  auto* mesh = static_cast<Mesh*>(info->priv);
  ++mesh->lookups;
  if (host().recording) {
    mesh->lookupNames.push_back(idText(type) + ":" + name);
  }
  return type == LWVMAP_WGHT && mesh->mapName == name ? mesh->mapId : nullptr;
}
LWVMapID meshSelectingLookup(LWMeshInfo* info, LWID type, const char* name) {
  ++static_cast<Mesh*>(info->priv)->selectingLookups;
  return meshLookup(info, type, name);
}
int meshRead(LWMeshInfo* info, LWPntID pnt, float* vector, LWVMapID map) {
  auto* mesh = static_cast<Mesh*>(info->priv);
  if (host().recording) {
    mesh->readMaps.push_back(map);
  }
  const auto found = mesh->weights.find(pnt);
  if (map != mesh->mapId || found == mesh->weights.end()) {
    return 0;
  }
  *vector = found->second;
  return 1;
}

}  // namespace

std::string text(const void* pointer) {
  if (pointer == nullptr) {
    return "null";
  }
  char line[32];
  std::snprintf(line, sizeof line, "%#llx",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(pointer)));
  return line;
}

Host& host() {
  static Host* const instance = [] {
    auto* h = new Host;
    h->itemInfo.first = itemFirst;
    h->itemInfo.next = itemNext;
    h->itemInfo.parent = itemParent;
    h->itemInfo.name = itemName;
    h->itemInfo.param = itemParam;
    h->itemInfo.chanGroup = itemChanGroup;
    h->sceneInfo.renderCamera = sceneRenderCamera;
    h->objectFuncs.numVMaps = objectNumVMaps;
    h->objectFuncs.vmapName = objectVMapName;
    h->xpanel.version = 2;
    h->xpanel.create = panelCreate;
    h->xpanel.destroy = panelDestroy;
    h->xpanel.describe = panelDescribe;
    h->xpanel.hint = panelHint;
    h->xpanel.getData = panelGetData;
    h->xpanel.setData = panelSetData;
    h->xpanel.viewInst = panelViewInst;
    h->xpanel.viewRefresh = viewRefresh;
    LWNodeEditorFuncs& editors = h->nodeEditor;
    editors.create = editorCreate;
    editors.destroy = editorDestroy;
    editors.copy = editorCopy;
    editors.save = editorSave;
    editors.load = editorLoad;
    editors.newTime = editorNewTime;
    editors.init = editorInit;
    editors.cleanup = editorCleanup;
    editors.addInput = editorAddInput;
    editors.setEnvGroup = editorEnvGroup;
    editors.setUpdateFunc = editorUpdateFunc;
    editors.getUserData = editorGetUserData;
    editors.usedItems = editorUsedItems;
    editors.setAutosize = editorAutosize;
    editors.OpenNodeEditor = editorOpen;
    editors.getRootNodeID = editorRoot;
    h->nodeInput.evaluate = inputEvaluate;
    h->nodeInput.check = inputCheck;
    h->nodeFuncs.setNodePreviewType = rootPreviewType;
    return h;
  }();
  return *instance;
}

void* global(const char* name, int useCode) {
  Host& h = host();
  if (h.recording) {
    h.globalRequests.push_back(std::string(name) + "/" + std::to_string(useCode));
  }
  // Compared in place: the module may ask while allocations are counted.
  const auto is = [name](const char* service) { return std::strcmp(name, service) == 0; };
  if (is(LWITEMINFO_GLOBAL)) return &h.itemInfo;
  if (is(LWSCENEINFO_GLOBAL)) return &h.sceneInfo;
  if (is(LWOBJECTFUNCS_GLOBAL)) return &h.objectFuncs;
  if (is(LWXPANELFUNCS_GLOBAL)) return &h.xpanel;
  if (is(LWNODEEDITORFUNCS_GLOBAL)) return &h.nodeEditor;
  if (is(LWNODEINPUTFUNCS_GLOBAL)) return &h.nodeInput;
  if (is(LWNODEFUNCS_GLOBAL)) return &h.nodeFuncs;
  if (is(LWINSTUPDATE_GLOBAL)) return reinterpret_cast<void*>(&instUpdate);
  if (is(LWLOCALEINFO_GLOBAL)) return reinterpret_cast<void*>(h.localeAnswer);
  return nullptr;
}

void Host::reset() {
  params.clear();
  renderCamera = nullptr;
  localeAnswer = LANGID_USENGLISH;
  connectedInputs.clear();
  inputValues.clear();
  nodeSaveResult = nullptr;
  nodeLoadResult = nullptr;
  nodeInitResult = nullptr;
  recording = true;
  globalRequests.clear();
  paramCalls.clear();
  editorCalls.clear();
  inputCalls.clear();
  samples.clear();
  instUpdates.clear();
  viewRefreshes.clear();
  vmapNameIndices.clear();
  inputEventsSent = 0;
  inputEventsOnDestroy = false;
  renderCameraCalls = 0;
  objects.clear();
  parents.clear();
  weightMaps.clear();
  refusePanels = false;
  panels.clear();
  usedItems.clear();
}

NodeEditorID Host::lastEditor() const {
  return handle<NodeEditorID>(0xE000 + static_cast<std::uintptr_t>(editorsMade));
}

void Host::placeStill(LWItemID id, Vec3 position) {
  for (int code : {LWIP_POSITION, LWIP_W_POSITION}) setParam(id, code, {position, {}});
  for (int code : {LWIP_RIGHT, LWIP_W_RIGHT}) setParam(id, code, {{1, 0, 0}, {}});
  for (int code : {LWIP_UP, LWIP_W_UP}) setParam(id, code, {{0, 1, 0}, {}});
  for (int code : {LWIP_FORWARD, LWIP_W_FORWARD}) setParam(id, code, {{0, 0, 1}, {}});
}

Vec3 Host::param(LWItemID id, int code, LWTime time) const {
  const auto found = params.find({id, code});
  return found != params.end() ? found->second.at(time) : Vec3{};
}

void Host::record(std::string call) {
  std::lock_guard<std::mutex> lock(mutex_);
  editorCalls.push_back(std::move(call));
}

Mesh::Mesh(std::string name) : mapName(std::move(name)) {
  info.priv = this;
  info.pntVLookup = meshSelectingLookup;
  info.pntVIDLookup = meshLookup;
  info.pntVIDGet = meshRead;
}

// Writer.
struct WriterAccess {
  static BlockWriter& of(void* data) { return *static_cast<BlockWriter*>(data); }
  static void add(void* data, Value value, std::string line) {
    BlockWriter& w = of(data);
    w.current().values.push_back(std::move(value));
    w.log.push_back(std::move(line));
  }
  static void writeI4(void* data, const int32_t* v, int count) {
    for (int k = 0; k < count; ++k) add(data, i4(v[k]), "I4 " + std::to_string(v[k]));
  }
  static void writeU4(void* data, const uint32_t* v, int count) {
    for (int k = 0; k < count; ++k) add(data, u4(v[k]), "U4 " + std::to_string(v[k]));
  }
  static void writeDP(void* data, const double* v, int count) {
    for (int k = 0; k < count; ++k) {
      char line[64];
      std::snprintf(line, sizeof line, "DP %.17g", v[k]);
      add(data, dp(v[k]), line);
    }
  }
  static void writeStr(void* data, const char* s) { add(data, str(s), format("Str \"%s\"", s)); }
  static void beginBlk(void* data, const LWBlockIdent* ident, int isLeaf) {
    BlockWriter& w = of(data);
    Block block{ident->id, ident->token, isLeaf, {}, {}};
    std::vector<Block>& level = w.open_.empty() ? w.blocks : w.open_.back()->children;
    level.push_back(std::move(block));
    w.open_.push_back(&level.back());
    w.idents.push_back(ident);
    w.log.push_back("begin " + idText(ident->id) + " " + ident->token + " " + std::to_string(isLeaf));
  }
  static void endBlk(void* data) {
    BlockWriter& w = of(data);
    w.open_.pop_back();
    w.log.push_back("end");
  }
  static int depth(void* data) { return static_cast<int>(of(data).open_.size()); }
};

BlockWriter::BlockWriter() {
  state.ioMode = LWIO_SCENE;
  state.writeData = this;
  state.writeI4 = WriterAccess::writeI4;
  state.writeU4 = WriterAccess::writeU4;
  state.writeDP = WriterAccess::writeDP;
  state.writeStr = WriterAccess::writeStr;
  state.beginBlk = WriterAccess::beginBlk;
  state.endBlk = WriterAccess::endBlk;
  state.depth = WriterAccess::depth;
  blocks.reserve(64);  // blocks are kept by address while open
}

Block& BlockWriter::current() {
  static Block outside;  // values written outside any block
  return open_.empty() ? outside : *open_.back();
}

// Reader.
struct ReaderAccess {
  static BlockReader& of(void* data) { return *static_cast<BlockReader*>(data); }
  static const Value* take(void* data, char kind) {
    BlockReader& r = of(data);
    if (r.current_ == nullptr || r.cursor_ >= r.current_->values.size() ||
        r.current_->values[r.cursor_].kind != kind) {
      r.log.push_back(std::string("miss ") + kind);
      return nullptr;
    }
    r.log.push_back(std::string("read ") + kind);
    return &r.current_->values[r.cursor_++];
  }
  static int readI4(void* data, int32_t* v, int count) {
    int got = 0;
    for (; got < count; ++got) {
      const Value* value = take(data, 'i');
      if (value == nullptr) break;
      v[got] = value->i;
    }
    return got;
  }
  static int readU4(void* data, uint32_t* v, int count) {
    int got = 0;
    for (; got < count; ++got) {
      const Value* value = take(data, 'u');
      if (value == nullptr) break;
      v[got] = value->u;
    }
    return got;
  }
  static int readDP(void* data, double* v, int count) {
    int got = 0;
    for (; got < count; ++got) {
      const Value* value = take(data, 'd');
      if (value == nullptr) break;
      v[got] = value->d;
    }
    return got;
  }
  static int readStr(void* data, char* buffer, int size) {
    const Value* value = take(data, 's');
    if (value == nullptr || size <= 0) return -1;
    const std::size_t length = std::min(value->s.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, value->s.data(), length);
    buffer[length] = '\0';
    return static_cast<int>(length);
  }
  static LWID findBlk(void* data, const LWBlockIdent* table) {
    BlockReader& r = of(data);
    while (r.next_ < r.blocks.size()) {
      Block& candidate = r.blocks[r.next_++];
      for (const LWBlockIdent* entry = table; entry->id != 0; ++entry) {
        if (entry->id == candidate.id) {
          r.current_ = &candidate;
          r.cursor_ = 0;
          r.log.push_back("find " + idText(candidate.id));
          return candidate.id;
        }
      }
    }
    r.log.push_back("find end");
    return 0;
  }
  static void endBlk(void* data) {
    BlockReader& r = of(data);
    r.current_ = nullptr;
    r.log.push_back("end");
  }
  static int depth(void* data) { return of(data).current_ != nullptr ? 1 : 0; }
};

BlockReader::BlockReader(std::vector<Block> list) : blocks(std::move(list)) {
  state.ioMode = LWIO_SCENE;
  state.readData = this;
  state.readI4 = ReaderAccess::readI4;
  state.readU4 = ReaderAccess::readU4;
  state.readDP = ReaderAccess::readDP;
  state.readStr = ReaderAccess::readStr;
  state.findBlk = ReaderAccess::findBlk;
  state.endBlk = ReaderAccess::endBlk;
  state.depth = ReaderAccess::depth;
}

Block leaf(const char* id4, std::vector<Value> values) {
  return Block{LWID_(id4[0], id4[1], id4[2], id4[3]), id4, 1, std::move(values), {}};
}
Value i4(int32_t v) { return Value{'i', v, 0, 0, {}}; }
Value u4(uint32_t v) { return Value{'u', 0, v, 0, {}}; }
Value dp(double v) { return Value{'d', 0, 0, v, {}}; }
Value str(std::string v) { return Value{'s', 0, 0, 0, std::move(v)}; }

}  // namespace fake
