// The kinds of node the stand-in host's node editor offers: their ports, parameters and values.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "sdk/lwnodes.h"
#include "sdk/lwnodes2018.h"

namespace tarrow::host {

// What a node network cannot be built from; what() is one line naming the node at fault.
class NodeNetworkError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class NodeKind : uint8_t { Constant, SpotInfo, ItemInfo, Math, Gradient, RenderCalls };
enum class ValueType : uint8_t { Scalar, Vector };
enum class MathOp : uint8_t { Add, Subtract, Multiply, Divide, Min, Max, Length, Distance };

// A scalar travels in v[0] with v[1] and v[2] zero, so componentwise operations, length and
// distance treat scalars and vectors alike.
struct NodeValue {
  double v[3];
};

struct GradientKey {
  double key;
  double value;
};

// One end of a link: a node's index in its network and the number of one of its ports.
struct PortRef {
  int node = -1;
  int port = 0;
  bool connected() const { return node >= 0; }
};

struct Node {
  std::string id;
  NodeKind kind = NodeKind::Constant;
  NodeValue value{};  // Constant
  ValueType valueType = ValueType::Scalar;
  std::string item;                 // ItemInfo: the item's name
  NodeValue itemPosition{};         // ItemInfo: world position as of the editor's last update
  MathOp op = MathOp::Add;          // Math
  std::vector<GradientKey> keys;    // Gradient, sorted by key
  std::array<PortRef, 2> inputs{};  // Math: a, b; Gradient: input
};

std::optional<NodeKind> nodeKindByName(std::string_view name);
const char* nodeKindName(NodeKind kind);

int nodeInputCount(NodeKind kind);
const char* nodeInputName(NodeKind kind, int input);
int nodeInputIndex(NodeKind kind, std::string_view name);  // -1 when the kind has no such input
int nodeOutputCount(NodeKind kind);
const char* nodeOutputName(NodeKind kind, int output);
int nodeOutputIndex(NodeKind kind, std::string_view name);  // -1 when the kind has no such output

// The type of an output whose inputs carry the given types (unconnected inputs are absent).
// Throws NodeNetworkError for inputs that do not fit together.
ValueType nodeOutputType(const Node& node, int output,
                         const std::array<std::optional<ValueType>, 2>& inputTypes);

// Reads the kind's parameters from a scene's node object (every member but "id" and "type").
void readNodeParameters(Node& node, const nlohmann::json& description);
void writeNodeParameters(const Node& node, nlohmann::json& description);
std::string describeNodeParameters(const Node& node);

// The sample record a network is evaluated with: 2015.3's (spot); or from 2018 on the shading
// geometry (geometry), whose members the kinds read are also given in spot.
struct NodeSample {
  const LWNodalAccess* spot = nullptr;
  lw2018::LWShadingGeometry* geometry = nullptr;
};

// One output's value for a sample; a and b are the values at the node's inputs (zero when
// unconnected). A sample without records reads as all zero.
NodeValue computeNodeOutput(const Node& node, int output, const NodeValue& a, const NodeValue& b,
                            const NodeSample& sample) noexcept;

}  // namespace tarrow::host
