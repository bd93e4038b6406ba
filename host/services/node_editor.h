// The stand-in host's node editor service: per-editor networks of nodes that drive the editor's
// inputs, offered to modules under the names and in the table layouts of the host's generation
// ("NodeEditorFuncs 4", "NodeInputFuncs 4" and "NodeFuncs" in 2015.3).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/loader/host_generation.h"
#include "host/loader/service_registry.h"
#include "host/services/node_kinds.h"
#include "sdk/lwnodes.h"
#include "sdk/lwnodes2018.h"
#include "sdk/lwrender.h"

namespace tarrow::host {

// Returned by load for saved blocks that do not make a network; the editor keeps its network.
extern const char* const kNodeLoadMalformed;
extern const char* const kNodeLoadInvalid;
// Returned by operations given an editor this service does not know.
extern const char* const kNodeUnknownEditor;
// Returned by init given a mode the generation does not have.
extern const char* const kNodeUnknownMode;

class NodeEditorService {
 public:
  NodeEditorService();
  NodeEditorService(const NodeEditorService&) = delete;
  NodeEditorService& operator=(const NodeEditorService&) = delete;
  ~NodeEditorService();  // destroys the editors still alive

  // Provides the three tables and makes this service the one they answer for: like the global
  // function, the tables are plain C and carry no pointer back to a service. Members the host
  // does not provide hold stoppers (host/loader/unprovided.h).
  // Without a generation, 2015.3's.
  void registerInto(ServiceRegistry& registry, const HostGeneration& generation = hostGenerations().front());
  void setItemInfo(const LWItemInfo* itemInfo);  // resolves ItemInfo nodes at each newTime
  void setWindowSink(std::function<void(const std::string&)> sink);  // where OpenNodeEditor shows

  struct InputView {
    NodeInputID id;
    std::string name;
    ConnectionType type;
    NodeInputEvent* event;
    void* userData;
    bool connected;
  };
  struct EditorView {
    std::string name, title;
    void* userData;
    LWChanGroupID group;
    int previewType;  // the root description's, then as setNodePreviewType changed it
    bool hasUpdateFunc, hasAutosize;
    double ranges[3][2];  // as the autosize function gave them when the window last opened
    std::vector<InputView> inputs;
    int updates;            // newTime calls so far
    std::string loadError;  // the full reason of the last failed load, empty after a good one
    int inits, cleanups;    // of the render contract
    // Input evaluations that came while the editor was not between init and cleanup.
    long long unpreparedEvaluations;
  };
  std::optional<EditorView> view(NodeEditorID editor) const;
  std::size_t liveEditors() const;
  // The editor created with this user data (a module passes its instance), or null.
  NodeEditorID editorOf(const void* userData) const;
  // The items the editor's ItemInfo nodes read, as its usedItems answers them (none for an
  // editor this service does not know).
  std::vector<LWItemID> itemsRead(NodeEditorID editor) const;

  // Replaces the editor's network with the one a scene describes. Throws NodeNetworkError naming
  // the node at fault and leaves the network as it was. Each editor input whose connection
  // changes gets its event (NIE_CONNECT or NIE_DISCONNECT, with the editor's user data and the
  // input's connection type) after the new network is in place; then the update function.
  void buildNetwork(NodeEditorID editor, const nlohmann::json& nodes);
  // A node's own value changed, as through its panel: the node's parameters (members of the
  // scene's node object but "id" and "type") replace its own, and the editor's update function
  // is called, as Layout does when a node announces its change. Throws NodeNetworkError naming
  // the node and leaves the network as it was; no connection changes, so no input event.
  void setNodeParameters(NodeEditorID editor, const std::string& nodeId, const nlohmann::json& parameters);
  nlohmann::json networkJson(NodeEditorID editor) const;
  std::string describeNetwork(NodeEditorID editor) const;

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace tarrow::host
