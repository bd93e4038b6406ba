// A stand-in for the host's services, records and block store, as the module's unit tests need it.
// Everything the module calls lands here and is recorded, and every answer is configurable.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "sdk/lwserver.h"

namespace fake {

using Vec3 = std::array<double, 3>;

template <typename Handle>
Handle handle(std::uintptr_t value) {
  return reinterpret_cast<Handle>(value);
}
inline LWItemID item(std::uintptr_t value) { return handle<LWItemID>(value); }
inline LWPntID point(std::uintptr_t value) { return handle<LWPntID>(value); }

// Formats a pointer the way the call records show it.
std::string text(const void* pointer);

// An item parameter as a function of time: base + velocity * t, component by component.
struct Motion {
  Vec3 base{};
  Vec3 velocity{};
  Vec3 at(LWTime time) const {
    return {base[0] + velocity[0] * time, base[1] + velocity[1] * time, base[2] + velocity[2] * time};
  }
};

// A panel as the fake XPanel service keeps it: what the module handed over, as it was handed.
struct Panel {
  int type = 0;
  LWXPanelControl* controls = nullptr;
  uint32_t hintId = 0;
  LWXPanelHint* hints = nullptr;
  LWXPanelDataDesc* dataDesc = nullptr;
  LWXPanelGetFunc* get = nullptr;
  LWXPanelSetFunc* set = nullptr;
  void* inst = nullptr;
  std::map<uint32_t, void*> data;
  std::vector<std::string> calls;  // "create", "hint", "describe", "viewInst", "setData", in order
};

struct ParamCall {
  LWItemID item;
  int code;
  LWTime time;
  bool operator==(const ParamCall&) const = default;
};

// One host with every service the module asks for. A single process-wide object, because the
// module keeps the service pointers it acquired first for the rest of the process.
class Host {
 public:
  LWItemInfo itemInfo{};
  LWSceneInfo sceneInfo{};
  LWObjectFuncs objectFuncs{};
  LWXPanelFuncs xpanel{};
  LWNodeEditorFuncs nodeEditor{};
  LWNodeInputFuncs nodeInput{};
  LWNodeFuncs nodeFuncs{};

  // Answers.
  std::map<std::pair<LWItemID, int>, Motion> params;
  LWItemID renderCamera = nullptr;
  std::uintptr_t localeAnswer = LANGID_USENGLISH;
  std::set<NodeInputID> connectedInputs;
  std::map<NodeInputID, Vec3> inputValues;  // the first component for scalar inputs
  LWError nodeSaveResult = nullptr;
  LWError nodeLoadResult = nullptr;
  LWError nodeInitResult = nullptr;
  // The scene's objects in the host's order, and its weight maps (nullopt: vmapName gives null).
  std::vector<std::pair<LWItemID, std::string>> objects;
  std::map<LWItemID, LWItemID> parents;  // an item's parent; null for any other
  std::vector<std::optional<std::string>> weightMaps;
  bool refusePanels = false;
  // The editor reports each of its inputs going (NIE_INPUTNODEDESTROY) when it is destroyed,
  // then calls its update function.
  bool inputEventsOnDestroy = false;
  // Off while threads evaluate at once or while allocations are counted.
  bool recording = true;

  // Records.
  std::vector<std::string> globalRequests;
  std::vector<ParamCall> paramCalls;
  std::vector<std::string> editorCalls;  // node editor, node funcs, item chanGroup, in order
  std::vector<std::string> inputCalls;   // node input check and evaluate, in order
  std::vector<LWNodalAccess> samples;    // what each node input evaluation was given
  std::vector<std::pair<std::string, LWInstance>> instUpdates;
  std::vector<LWXPanelID> viewRefreshes;
  std::vector<int> vmapNameIndices;  // each index vmapName was asked for
  int inputEventsSent = 0;
  std::atomic<int> renderCameraCalls{0};
  std::deque<Panel> panels;  // a panel's handle is the address of its record
  std::mutex panelMutex;     // panels may be built from several threads at once

  Panel& panel(LWXPanelID id) { return *reinterpret_cast<Panel*>(id); }

  void reset();

  // Whatever the module gets from these handles.
  int editorsMade = 0;
  int inputsMade = 0;
  std::map<NodeInputID, ConnectionType> inputTypes;
  std::map<NodeEditorID, void*> editorUserData;
  std::map<NodeInputID, std::pair<NodeEditorID, NodeInputEvent*>> inputEvents;
  std::map<NodeEditorID, nodeEditorUpdateFunc*> updateFuncs;
  // What each editor's usedItems answers (the end mark is added).
  std::map<NodeEditorID, std::vector<void*>> usedItems;
  NodeEditorID lastEditor() const;

  void setParam(LWItemID id, int code, Motion motion) { params[{id, code}] = motion; }
  // Unit right, up and forward vectors and a position, constant in time, for both coordinate kinds.
  void placeStill(LWItemID id, Vec3 position);
  Vec3 param(LWItemID id, int code, LWTime time) const;
  void record(std::string call);

 private:
  std::mutex mutex_;
};

Host& host();
void* global(const char* name, int useCode);

// The object's mesh with one weight map.
class Mesh {
 public:
  explicit Mesh(std::string mapName = "Weight");
  LWMeshInfo info{};
  std::string mapName;
  LWVMapID mapId = handle<LWVMapID>(0x7A00);
  std::map<LWPntID, float> weights;
  std::atomic<int> lookups{0};           // by pntVIDLookup
  std::atomic<int> selectingLookups{0};  // by pntVLookup, which selects the map in the record
  std::vector<std::string> lookupNames;  // only while the host records
  std::vector<LWVMapID> readMaps;        // map id of each per-point read, while recording
};

// A block, as the host's scene file would hold it.
struct Value {
  char kind;  // 'i' I4, 'u' U4, 'd' DP, 's' text
  int32_t i = 0;
  uint32_t u = 0;
  double d = 0;
  std::string s;
};
struct Block {
  LWID id = 0;
  std::string token;
  int leaf = 1;
  std::vector<Value> values;
  std::vector<Block> children;
};

// Block writer that keeps what it was given and a line per operation.
class BlockWriter {
 public:
  BlockWriter();
  LWSaveState state{};
  std::vector<Block> blocks;
  std::vector<std::string> log;
  std::vector<const LWBlockIdent*> idents;

 private:
  std::vector<Block*> open_;
  Block& current();
  friend struct WriterAccess;
};

// Block reader over a list of top-level blocks.
class BlockReader {
 public:
  explicit BlockReader(std::vector<Block> blocks);
  LWLoadState state{};
  std::vector<Block> blocks;
  std::vector<std::string> log;  // "find XXXX", "end", value reads

 private:
  std::size_t next_ = 0;
  Block* current_ = nullptr;
  std::size_t cursor_ = 0;
  friend struct ReaderAccess;
};

// A leaf block by its four identifier characters, e.g. leaf("LAGR", {dp(0.5)}).
Block leaf(const char* id4, std::vector<Value> values);
Value i4(int32_t v);
Value u4(uint32_t v);
Value dp(double v);
Value str(std::string v);

}  // namespace fake
