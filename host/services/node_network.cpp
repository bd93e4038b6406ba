#include "host/services/node_network.h"

#include <algorithm>
#include <string_view>

namespace tarrow::host {
namespace {

constexpr int kMaxOutputsPerNode = 16;  // more than any kind has (SpotInfo: 9)
constexpr std::size_t kMaxIdLength = 255;

[[noreturn]] void fail(const std::string& message) { throw NodeNetworkError(message); }

std::string nodeLabel(const Node& node) {
  return "node \"" + node.id + "\" (" + nodeKindName(node.kind) + ")";
}

ValueType typeTaken(ConnectionType type) {
  return type == NOT_VECTOR || type == NOT_COLOR ? ValueType::Vector : ValueType::Scalar;
}

const char* typeName(ValueType type) { return type == ValueType::Vector ? "a vector" : "a scalar"; }

const std::string& requiredText(const nlohmann::json& object, const char* member, const std::string& where) {
  auto found = object.find(member);
  if (found == object.end() || !found->is_string()) {
    fail(where + ": needs a text \"" + member + "\"");
  }
  return found->get_ref<const std::string&>();
}

Node readNode(const nlohmann::json& description, std::size_t position) {
  std::string where = "node #" + std::to_string(position + 1);
  if (!description.is_object()) fail(where + ": not an object");
  Node node;
  node.id = requiredText(description, "id", where);
  if (node.id.empty() || node.id.size() > kMaxIdLength || node.id.find('.') != std::string::npos) {
    fail(where + ": id \"" + node.id + "\" must be 1 to 255 characters without '.'");
  }
  const std::string& type = requiredText(description, "type", "node \"" + node.id + "\"");
  auto kind = nodeKindByName(type);
  if (!kind) fail("node \"" + node.id + "\": unknown kind \"" + type + "\"");
  node.kind = *kind;
  readNodeParameters(node, description);
  return node;
}

// Items are looked up by name at every update, so a renamed or new item is found then.
LWItemID findItem(const LWItemInfo& itemInfo, const std::string& name) {
  for (LWItemType type : {LWI_OBJECT, LWI_LIGHT, LWI_CAMERA}) {
    for (LWItemID item = itemInfo.first(type, LWITEM_NULL); item != LWITEM_NULL; item = itemInfo.next(item)) {
      const char* itemName = itemInfo.name(item);
      if (itemName != nullptr && name == itemName) return item;
    }
  }
  return LWITEM_NULL;
}

// The number of inputs a node uses; never more than it has room for.
int inputsOf(const Node& node) {
  return std::min(nodeInputCount(node.kind), static_cast<int>(node.inputs.size()));
}

struct NetworkLists {
  const nlohmann::json& nodes;
  const nlohmann::json& connections;
};

// The lists of a network's description; either may be left out.
NetworkLists networkLists(const nlohmann::json& description) {
  if (!description.is_object()) fail("node network: not an object");
  for (const auto& [key, value] : description.items()) {
    if (key != "nodes" && key != "connections") fail("node network: unknown member \"" + key + "\"");
  }
  static const nlohmann::json none = nlohmann::json::array();
  const auto& nodes = description.contains("nodes") ? description["nodes"] : none;
  const auto& connections = description.contains("connections") ? description["connections"] : none;
  if (!nodes.is_array() || !connections.is_array()) {
    fail("node network: \"nodes\" and \"connections\" must be lists");
  }
  if (nodes.size() > static_cast<std::size_t>(kMaxNetworkNodes)) {
    fail("node network: " + std::to_string(nodes.size()) + " nodes, at most " +
         std::to_string(kMaxNetworkNodes) + " are allowed");
  }
  return {nodes, connections};
}

using OutputTypes = std::vector<std::array<ValueType, kMaxOutputsPerNode>>;

// The type of every output of every node. A depth-first walk along the links into each node: a
// node met again while it is still being walked closes a cycle. Types are settled in the order
// the walk finishes nodes.
OutputTypes settleOutputTypes(const std::vector<Node>& nodes) {
  enum class Mark { Unseen, Walking, Done };
  std::vector<Mark> marks(nodes.size(), Mark::Unseen);
  OutputTypes outputTypes(nodes.size());
  auto walk = [&](auto& self, int index) -> void {
    if (marks[index] == Mark::Done) return;
    const Node& node = nodes[index];
    if (marks[index] == Mark::Walking) fail(nodeLabel(node) + ": is part of a cycle");
    marks[index] = Mark::Walking;
    std::array<std::optional<ValueType>, 2> inputTypes;
    for (int i = 0; i < inputsOf(node); ++i) {
      const PortRef& from = node.inputs[i];
      if (!from.connected()) continue;
      self(self, from.node);
      inputTypes[i] = outputTypes[from.node][from.port];
    }
    for (int o = 0; o < nodeOutputCount(node.kind); ++o) {
      outputTypes[index][o] = nodeOutputType(node, o, inputTypes);
    }
    marks[index] = Mark::Done;
  };
  for (int i = 0; i < static_cast<int>(nodes.size()); ++i) walk(walk, i);
  return outputTypes;
}

}  // namespace

NodeNetwork NodeNetwork::fromJson(const nlohmann::json& description,
                                  std::span<const EditorInputSignature> inputs, UnknownInputs unknownInputs) {
  const auto [nodes, connections] = networkLists(description);
  NodeNetwork network;
  for (std::size_t i = 0; i < nodes.size(); ++i) network.addNode(readNode(nodes[i], i));
  for (std::size_t c = 0; c < connections.size(); ++c) {
    network.addConnection(connections[c], "connection #" + std::to_string(c + 1), inputs, unknownInputs);
  }
  network.checkAndCompile(inputs, unknownInputs);
  return network;
}

void NodeNetwork::addNode(Node node) {
  for (const auto& other : nodes_) {
    if (other.id == node.id) fail("node \"" + node.id + "\": the id is used twice");
  }
  nodes_.push_back(std::move(node));
}

int NodeNetwork::nodeIndex(std::string_view id, const std::string& where) const {
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    if (nodes_[i].id == id) return static_cast<int>(i);
  }
  fail(where + ": unknown node \"" + std::string(id) + "\"");
}

// "id" names the only output of a node that has one, "id.output" any output.
PortRef NodeNetwork::outputNamed(const std::string& from, const std::string& where) const {
  const auto dot = from.find('.');
  PortRef source{nodeIndex(std::string_view(from).substr(0, dot), where), 0};
  const Node& node = nodes_[source.node];
  if (dot != std::string::npos) {
    source.port = nodeOutputIndex(node.kind, std::string_view(from).substr(dot + 1));
    if (source.port < 0) fail(nodeLabel(node) + ": no output \"" + from.substr(dot + 1) + "\"");
  } else if (nodeOutputCount(node.kind) != 1) {
    fail(nodeLabel(node) + ": has several outputs; name one, as in \"" + from + "." +
         nodeOutputName(node.kind, 0) + "\"");
  }
  return source;
}

// A link goes to an input of the editor when "to" is one's name, else to "id.input" of a node.
void NodeNetwork::addConnection(const nlohmann::json& link, const std::string& where,
                                std::span<const EditorInputSignature> inputs, UnknownInputs unknownInputs) {
  if (!link.is_object()) fail(where + ": not an object");
  const std::string& from = requiredText(link, "from", where);
  const std::string& to = requiredText(link, "to", where);
  const PortRef source = outputNamed(from, where);
  const Node& sourceNode = nodes_[source.node];

  if (std::any_of(inputs.begin(), inputs.end(),
                  [&](const EditorInputSignature& input) { return input.name == to; })) {
    for (const auto& existing : editorLinks_) {
      if (existing.input == to) fail(nodeLabel(sourceNode) + ": editor input \"" + to + "\" is fed twice");
    }
    editorLinks_.push_back({to, source});
    return;
  }
  const auto toDot = to.rfind('.');
  if (toDot == std::string::npos) {
    if (unknownInputs == UnknownInputs::Drop) return;
    fail(nodeLabel(sourceNode) + ": \"" + to + "\" is not an input of this editor");
  }
  Node& target = nodes_[nodeIndex(std::string_view(to).substr(0, toDot), where)];
  const int input = nodeInputIndex(target.kind, std::string_view(to).substr(toDot + 1));
  if (input < 0) fail(nodeLabel(target) + ": no input \"" + to.substr(toDot + 1) + "\"");
  if (target.inputs[input].connected()) {
    fail(nodeLabel(target) + ": input \"" + to.substr(toDot + 1) + "\" is fed twice");
  }
  target.inputs[input] = source;
}

void NodeNetwork::checkAndCompile(std::span<const EditorInputSignature> inputs, UnknownInputs unknownInputs) {
  const OutputTypes outputTypes = settleOutputTypes(nodes_);
  plans_.assign(inputs.size(), std::nullopt);
  std::vector<EditorLink> kept;
  for (const auto& link : editorLinks_) {
    auto input = std::find_if(inputs.begin(), inputs.end(),
                              [&](const EditorInputSignature& s) { return s.name == link.input; });
    const Node& source = nodes_[link.from.node];
    if (input == inputs.end()) {
      if (unknownInputs == UnknownInputs::Drop) continue;
      fail(nodeLabel(source) + ": \"" + link.input + "\" is not an input of this editor");
    }
    ValueType given = outputTypes[link.from.node][link.from.port];
    if (given != typeTaken(input->type)) {
      if (unknownInputs == UnknownInputs::Drop) continue;
      fail(nodeLabel(source) + ": output \"" + nodeOutputName(source.kind, link.from.port) + "\" is " +
           typeName(given) + " but editor input \"" + link.input + "\" takes " +
           typeName(typeTaken(input->type)));
    }
    plans_[input - inputs.begin()] = planFor(link, given);
    kept.push_back(link);
  }
  editorLinks_ = std::move(kept);
}

// The steps that compute what feeds the editor input: every node output it needs once, after
// the steps of that node's inputs.
NodeNetwork::Plan NodeNetwork::planFor(const EditorLink& link, ValueType type) const {
  Plan plan{{}, type, link.from};
  std::vector<int> stepOf(nodes_.size() * kMaxOutputsPerNode, -1);
  auto addSteps = [&](auto& self, PortRef port) -> int {
    int& known = stepOf[port.node * kMaxOutputsPerNode + port.port];
    if (known >= 0) return known;
    const Node& node = nodes_[port.node];
    Step step{port.node, port.port, {-1, -1}};
    for (int i = 0; i < inputsOf(node); ++i) {
      if (node.inputs[i].connected()) step.args[i] = self(self, node.inputs[i]);
    }
    plan.steps.push_back(step);
    known = static_cast<int>(plan.steps.size()) - 1;
    return known;
  };
  addSteps(addSteps, link.from);
  if (plan.steps.size() > static_cast<std::size_t>(kMaxPlanSteps)) {
    fail(nodeLabel(nodes_[link.from.node]) + ": editor input \"" + link.input + "\" needs more than " +
         std::to_string(kMaxPlanSteps) + " evaluation steps");
  }
  return plan;
}

nlohmann::json NodeNetwork::toJson() const {
  auto nodes = nlohmann::json::array();
  auto connections = nlohmann::json::array();
  for (const auto& node : nodes_) {
    nlohmann::json description{{"id", node.id}, {"type", nodeKindName(node.kind)}};
    writeNodeParameters(node, description);
    nodes.push_back(std::move(description));
    for (int i = 0; i < inputsOf(node); ++i) {
      if (!node.inputs[i].connected()) continue;
      connections.push_back(
          {{"from", portText(node.inputs[i])}, {"to", node.id + "." + nodeInputName(node.kind, i)}});
    }
  }
  for (const auto& link : editorLinks_) {
    connections.push_back({{"from", portText(link.from)}, {"to", link.input}});
  }
  return {{"nodes", std::move(nodes)}, {"connections", std::move(connections)}};
}

NodeNetwork NodeNetwork::copyFor(std::span<const EditorInputSignature> inputs) const {
  NodeNetwork copy;
  copy.nodes_ = nodes_;
  copy.editorLinks_ = editorLinks_;
  copy.checkAndCompile(inputs, UnknownInputs::Drop);
  return copy;
}

void NodeNetwork::addEditorInput() { plans_.emplace_back(std::nullopt); }

std::string NodeNetwork::portText(const PortRef& port) const {
  const Node& node = nodes_[port.node];
  return node.id + "." + nodeOutputName(node.kind, port.port);
}

std::string NodeNetwork::sourceOf(int editorInput) const {
  if (!connected(editorInput)) return "";
  return portText(plans_[editorInput]->from);
}

bool NodeNetwork::connected(int editorInput) const noexcept {
  return editorInput >= 0 && static_cast<std::size_t>(editorInput) < plans_.size() &&
         plans_[editorInput].has_value();
}

int NodeNetwork::evaluate(int editorInput, const LWNodalAccess* sample, double* out,
                          lw2018::LWShadingGeometry* geometry) const noexcept {
  const NodeSample records{sample, geometry};
  if (!connected(editorInput) || out == nullptr) return 0;
  const Plan& plan = *plans_[editorInput];
  static constexpr NodeValue kZero{};
  NodeValue values[kMaxPlanSteps];
  for (std::size_t i = 0; i < plan.steps.size(); ++i) {
    const Step& step = plan.steps[i];
    const NodeValue& a = step.args[0] >= 0 ? values[step.args[0]] : kZero;
    const NodeValue& b = step.args[1] >= 0 ? values[step.args[1]] : kZero;
    values[i] = computeNodeOutput(nodes_[step.node], step.output, a, b, records);
  }
  const NodeValue& result = values[plan.steps.size() - 1];
  out[0] = result.v[0];
  if (plan.type == ValueType::Vector) {
    out[1] = result.v[1];
    out[2] = result.v[2];
  }
  return 1;
}

void NodeNetwork::updateItems(const LWItemInfo* itemInfo, LWTime time) {
  for (auto& node : nodes_) {
    if (node.kind != NodeKind::ItemInfo) continue;
    node.itemPosition = NodeValue{};
    LWItemID item = itemInfo != nullptr ? findItem(*itemInfo, node.item) : LWITEM_NULL;
    if (item != LWITEM_NULL) itemInfo->param(item, LWIP_W_POSITION, time, node.itemPosition.v);
  }
}

std::vector<LWItemID> NodeNetwork::usedItems(const LWItemInfo& itemInfo) const {
  std::vector<LWItemID> items;
  for (const auto& node : nodes_) {
    if (node.kind != NodeKind::ItemInfo) continue;
    LWItemID item = findItem(itemInfo, node.item);
    if (item != LWITEM_NULL && std::find(items.begin(), items.end(), item) == items.end())
      items.push_back(item);
  }
  return items;
}

NodeNetwork NodeNetwork::withParameters(const std::string& nodeId, const nlohmann::json& parameters,
                                        std::span<const EditorInputSignature> inputs) const {
  if (!parameters.is_object()) fail("node \"" + nodeId + "\": parameters must be an object");
  nlohmann::json description = toJson();
  auto& nodes = description["nodes"];
  auto found = std::find_if(nodes.begin(), nodes.end(),
                            [&](const nlohmann::json& node) { return node["id"] == nodeId; });
  if (found == nodes.end()) fail("no node \"" + nodeId + "\" in the network");
  for (const auto& [key, value] : parameters.items()) {
    if (key == "id" || key == "type") fail("node \"" + nodeId + "\": its " + key + " cannot change");
    (*found)[key] = value;
  }
  NodeNetwork changed = fromJson(description, inputs);
  for (std::size_t k = 0; k < nodes_.size(); ++k) {
    if (changed.nodes_[k].item == nodes_[k].item) changed.nodes_[k].itemPosition = nodes_[k].itemPosition;
  }
  return changed;
}

std::string NodeNetwork::describeNodes() const {
  std::string text;
  for (const auto& node : nodes_) {
    text += "  " + node.id + ": " + nodeKindName(node.kind);
    std::string parameters = describeNodeParameters(node);
    if (!parameters.empty()) text += ", " + parameters;
    for (int i = 0; i < inputsOf(node); ++i) {
      text += std::string(", ") + nodeInputName(node.kind, i) + " <- " +
              (node.inputs[i].connected() ? portText(node.inputs[i]) : "(unconnected)");
    }
    text += "\n";
  }
  return text;
}

}  // namespace tarrow::host
