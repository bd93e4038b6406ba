// A node editor's network: its nodes, their links, and the links into the editor's own inputs,
// checked and compiled into one evaluation plan per editor input when it is built.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/services/node_kinds.h"
#include "sdk/lwrender.h"

namespace tarrow::host {

// At most this many nodes in one network, so that an evaluation's scratch values fit in a fixed
// array on the evaluating thread's stack.
constexpr int kMaxNetworkNodes = 128;
constexpr int kMaxPlanSteps = 256;

// An input of the editor that owns the network, as the network sees it.
struct EditorInputSignature {
  std::string name;
  ConnectionType type = NOT_SCALAR;
};

class NodeNetwork {
 public:
  // How links into editor inputs that the editor lacks are treated.
  enum class UnknownInputs { Refuse, Drop };

  NodeNetwork() = default;

  // Builds a network from its scene description {"nodes": [...], "connections": [...]} for an
  // editor with the given inputs. Throws NodeNetworkError naming the node at fault.
  static NodeNetwork fromJson(const nlohmann::json& description, std::span<const EditorInputSignature> inputs,
                              UnknownInputs unknownInputs = UnknownInputs::Refuse);
  // The scene description; fromJson of it rebuilds an equal network.
  nlohmann::json toJson() const;

  // The same nodes and links for another editor: its links into editor inputs follow the input
  // names, and those the other editor cannot take are left out. Item positions are kept.
  NodeNetwork copyFor(std::span<const EditorInputSignature> inputs) const;
  // Makes room for an input added to the editor after the network was built (unconnected).
  void addEditorInput();

  // What feeds the editor's input, as "node.output", or empty when nothing does.
  std::string sourceOf(int editorInput) const;
  bool connected(int editorInput) const noexcept;
  // Writes the value of the editor input for the sample into out (one double for a scalar
  // input, three for a vector one) and returns 1; returns 0 and writes nothing when the input is
  // not connected. Reads the network only, so evaluations may overlap.
  int evaluate(int editorInput, const LWNodalAccess* sample, double* out,
               lw2018::LWShadingGeometry* geometry = nullptr) const noexcept;

  // Caches the world position at time of each ItemInfo node's item (zero when none has the name).
  void updateItems(const LWItemInfo* itemInfo, LWTime time);
  // The items the ItemInfo nodes name, each once, in node order; names of no item are left out.
  std::vector<LWItemID> usedItems(const LWItemInfo& itemInfo) const;

  // The same network with one node's parameters changed, as the node's own panel would change
  // them: members of parameters replace the node's (its id and kind stay). Throws
  // NodeNetworkError for a node not in the network or parameters the node cannot take. The
  // ItemInfo nodes keep their cached positions until the next update.
  NodeNetwork withParameters(const std::string& nodeId, const nlohmann::json& parameters,
                             std::span<const EditorInputSignature> inputs) const;

  const std::vector<Node>& nodes() const { return nodes_; }
  std::string describeNodes() const;

 private:
  struct EditorLink {
    std::string input;
    PortRef from;
  };
  // One output of one node computed; args are earlier steps' indices, or -1 for unconnected.
  struct Step {
    int node;
    int output;
    int args[2];
  };
  struct Plan {
    std::vector<Step> steps;  // the last step is the editor input's value
    ValueType type;
    PortRef from;
  };

  std::string portText(const PortRef& port) const;
  // Building from a description; each throws NodeNetworkError. where names the connection.
  void addNode(Node node);
  int nodeIndex(std::string_view id, const std::string& where) const;
  PortRef outputNamed(const std::string& from, const std::string& where) const;
  void addConnection(const nlohmann::json& link, const std::string& where,
                     std::span<const EditorInputSignature> inputs, UnknownInputs unknownInputs);
  // Checks the types along every link and compiles a plan for each editor input that is fed;
  // links to inputs the editor lacks or cannot take are refused, or dropped as unknownInputs says.
  void checkAndCompile(std::span<const EditorInputSignature> inputs, UnknownInputs unknownInputs);
  Plan planFor(const EditorLink& link, ValueType type) const;

  std::vector<Node> nodes_;
  std::vector<EditorLink> editorLinks_;
  std::vector<std::optional<Plan>> plans_;  // indexed like the editor's inputs
};

}  // namespace tarrow::host
