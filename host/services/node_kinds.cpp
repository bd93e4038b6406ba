#include "host/services/node_kinds.h"

#include <algorithm>
#include <cmath>

#include <nlohmann/json.hpp>

#include "host/base/number_text.h"

namespace tarrow::host {
namespace {

struct KindInfo {
  NodeKind kind;
  const char* name;
  std::vector<const char*> inputs;
  std::vector<const char*> outputs;
};

const std::array<KindInfo, 5>& kindTable() {
  static const std::array<KindInfo, 5> table{{
      {NodeKind::Constant, "Constant", {}, {"value"}},
      {NodeKind::SpotInfo,
       "SpotInfo",
       {},
       {"oPos", "worldPosition", "raySource", "rayDirection", "rayLength", "spotSize", "weight"}},
      {NodeKind::ItemInfo, "ItemInfo", {}, {"position"}},
      {NodeKind::Math, "Math", {"a", "b"}, {"result"}},
      {NodeKind::Gradient, "Gradient", {"input"}, {"value"}},
  }};
  return table;
}

const KindInfo& infoOf(NodeKind kind) { return kindTable()[static_cast<std::size_t>(kind)]; }

// SpotInfo's outputs, in the order of its output table.
enum SpotOutput { kOPos, kWorldPosition, kRaySource, kRayDirection, kRayLength, kSpotSize, kWeight };

constexpr std::array<const char*, 8> kMathOpNames{"add", "subtract", "multiply", "divide",
                                                  "min", "max",      "length",   "distance"};

std::string formatValue(const NodeValue& value, ValueType type) {
  if (type == ValueType::Scalar) return numberText(value.v[0]);
  std::string text("(");
  text.append(numberText(value.v[0])).append(", ").append(numberText(value.v[1]));
  return text.append(", ").append(numberText(value.v[2])).append(")");
}

[[noreturn]] void badParameter(const Node& node, const std::string& what) {
  throw NodeNetworkError("node \"" + node.id + "\" (" + nodeKindName(node.kind) + "): " + what);
}

double finiteNumber(const Node& node, const nlohmann::json& value, const char* parameter) {
  if (!value.is_number() || !std::isfinite(value.get<double>())) {
    badParameter(node, std::string("parameter \"") + parameter + "\" needs finite numbers");
  }
  return value.get<double>();
}

const nlohmann::json& required(const Node& node, const nlohmann::json& description,
                               const char* parameter) {
  auto found = description.find(parameter);
  if (found == description.end()) {
    badParameter(node, std::string("parameter \"") + parameter + "\" is missing");
  }
  return *found;
}

void readConstant(Node& node, const nlohmann::json& value) {
  if (value.is_array()) {
    if (value.size() != 3) badParameter(node, "parameter \"value\" needs one number or three");
    for (int i = 0; i < 3; ++i) node.value.v[i] = finiteNumber(node, value[i], "value");
    node.valueType = ValueType::Vector;
  } else {
    node.value = NodeValue{{finiteNumber(node, value, "value"), 0.0, 0.0}};
    node.valueType = ValueType::Scalar;
  }
}

void readKeys(Node& node, const nlohmann::json& keys) {
  if (!keys.is_array() || keys.empty()) {
    badParameter(node, "parameter \"keys\" needs a list of [key, value] pairs");
  }
  node.keys.clear();
  for (const auto& pair : keys) {
    if (!pair.is_array() || pair.size() != 2) {
      badParameter(node, "parameter \"keys\" needs a list of [key, value] pairs");
    }
    GradientKey key{finiteNumber(node, pair[0], "keys"), finiteNumber(node, pair[1], "keys")};
    if (!node.keys.empty() && key.key < node.keys.back().key) {
      badParameter(node, "parameter \"keys\" is not sorted by key");
    }
    node.keys.push_back(key);
  }
}

double gradientAt(const std::vector<GradientKey>& keys, double x) {
  // A NaN input fails every comparison and takes the first key's value.
  if (!(x > keys.front().key)) return keys.front().value;
  if (x >= keys.back().key) return keys.back().value;
  auto upper = std::upper_bound(keys.begin(), keys.end(), x,
                                [](double at, const GradientKey& key) { return at < key.key; });
  const GradientKey& high = *upper;
  const GradientKey& low = *(upper - 1);
  double t = (x - low.key) / (high.key - low.key);
  return low.value + t * (high.value - low.value);
}

NodeValue vector3(const double* v) { return NodeValue{{v[0], v[1], v[2]}}; }
NodeValue scalar(double v) { return NodeValue{{v, 0.0, 0.0}}; }

double lengthOf(const NodeValue& a) {
  return std::sqrt(a.v[0] * a.v[0] + a.v[1] * a.v[1] + a.v[2] * a.v[2]);
}

NodeValue spotOutput(int output, const LWNodalAccess* sample) {
  if (sample == nullptr) return NodeValue{};
  switch (output) {
    case kOPos: return vector3(sample->oPos);
    case kWorldPosition: return vector3(sample->wPos);
    case kRaySource: return vector3(sample->raySource);
    case kRayDirection: return vector3(sample->rayDir);
    case kRayLength: return scalar(sample->rayLength);
    case kSpotSize: return scalar(sample->spotSize);
    case kWeight: return scalar(static_cast<double>(sample->weights[0]));
    default: return NodeValue{};
  }
}

NodeValue mathResult(MathOp op, const NodeValue& a, const NodeValue& b) {
  NodeValue result{};
  switch (op) {
    case MathOp::Length: return scalar(lengthOf(a));
    case MathOp::Distance:
      return scalar(lengthOf(NodeValue{{a.v[0] - b.v[0], a.v[1] - b.v[1], a.v[2] - b.v[2]}}));
    default: break;
  }
  for (int i = 0; i < 3; ++i) {
    double x = a.v[i];
    double y = b.v[i];
    switch (op) {
      case MathOp::Add: result.v[i] = x + y; break;
      case MathOp::Subtract: result.v[i] = x - y; break;
      case MathOp::Multiply: result.v[i] = x * y; break;
      case MathOp::Divide: result.v[i] = y == 0.0 ? 0.0 : x / y; break;
      case MathOp::Min: result.v[i] = std::min(x, y); break;
      case MathOp::Max: result.v[i] = std::max(x, y); break;
      default: break;
    }
  }
  return result;
}

}  // namespace

std::optional<NodeKind> nodeKindByName(std::string_view name) {
  for (const auto& info : kindTable()) {
    if (name == info.name) return info.kind;
  }
  return std::nullopt;
}

const char* nodeKindName(NodeKind kind) { return infoOf(kind).name; }

int nodeInputCount(NodeKind kind) { return static_cast<int>(infoOf(kind).inputs.size()); }

const char* nodeInputName(NodeKind kind, int input) { return infoOf(kind).inputs.at(input); }

int nodeInputIndex(NodeKind kind, std::string_view name) {
  const auto& inputs = infoOf(kind).inputs;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    if (name == inputs[i]) return static_cast<int>(i);
  }
  return -1;
}

int nodeOutputCount(NodeKind kind) { return static_cast<int>(infoOf(kind).outputs.size()); }

const char* nodeOutputName(NodeKind kind, int output) { return infoOf(kind).outputs.at(output); }

int nodeOutputIndex(NodeKind kind, std::string_view name) {
  const auto& outputs = infoOf(kind).outputs;
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (name == outputs[i]) return static_cast<int>(i);
  }
  return -1;
}

ValueType nodeOutputType(const Node& node, int output,
                         const std::array<std::optional<ValueType>, 2>& inputTypes) {
  switch (node.kind) {
    case NodeKind::Constant: return node.valueType;
    case NodeKind::SpotInfo: return output < kRayLength ? ValueType::Vector : ValueType::Scalar;
    case NodeKind::ItemInfo: return ValueType::Vector;
    case NodeKind::Gradient:
      if (inputTypes[0] == ValueType::Vector) {
        badParameter(node, "input \"input\" takes a scalar, not a vector");
      }
      return ValueType::Scalar;
    case NodeKind::Math: {
      const auto& [a, b] = inputTypes;
      if (a && b && *a != *b) badParameter(node, "inputs \"a\" and \"b\" mix a scalar and a vector");
      if (node.op == MathOp::Length || node.op == MathOp::Distance) return ValueType::Scalar;
      return a ? *a : b.value_or(ValueType::Scalar);
    }
  }
  return ValueType::Scalar;
}

void readNodeParameters(Node& node, const nlohmann::json& description) {
  static const std::array<std::vector<const char*>, 5> parameters{{
      {"value"}, {}, {"item"}, {"op"}, {"keys"}}};
  const auto& allowed = parameters[static_cast<std::size_t>(node.kind)];
  for (const auto& entry : description.items()) {
    const std::string& key = entry.key();
    if (key == "id" || key == "type") continue;
    if (std::find_if(allowed.begin(), allowed.end(), [&](const char* p) { return key == p; }) ==
        allowed.end()) {
      badParameter(node, "unknown parameter \"" + key + "\"");
    }
  }
  switch (node.kind) {
    case NodeKind::Constant: readConstant(node, required(node, description, "value")); break;
    case NodeKind::SpotInfo: break;
    case NodeKind::ItemInfo: {
      const auto& item = required(node, description, "item");
      if (!item.is_string() || item.get_ref<const std::string&>().empty() ||
          item.get_ref<const std::string&>().size() > 255) {
        badParameter(node, "parameter \"item\" needs an item's name of at most 255 bytes");
      }
      node.item = item.get<std::string>();
      break;
    }
    case NodeKind::Math: {
      const auto& op = required(node, description, "op");
      auto name = op.is_string() ? op.get<std::string>() : std::string();
      auto found = std::find(kMathOpNames.begin(), kMathOpNames.end(), name);
      if (found == kMathOpNames.end()) {
        badParameter(node, "parameter \"op\" is none of add, subtract, multiply, divide, min, "
                           "max, length, distance");
      }
      node.op = static_cast<MathOp>(found - kMathOpNames.begin());
      break;
    }
    case NodeKind::Gradient: readKeys(node, required(node, description, "keys")); break;
  }
}

void writeNodeParameters(const Node& node, nlohmann::json& description) {
  switch (node.kind) {
    case NodeKind::Constant:
      if (node.valueType == ValueType::Scalar) {
        description["value"] = node.value.v[0];
      } else {
        description["value"] = {node.value.v[0], node.value.v[1], node.value.v[2]};
      }
      break;
    case NodeKind::SpotInfo: break;
    case NodeKind::ItemInfo: description["item"] = node.item; break;
    case NodeKind::Math: description["op"] = kMathOpNames[static_cast<std::size_t>(node.op)]; break;
    case NodeKind::Gradient: {
      auto keys = nlohmann::json::array();
      for (const auto& key : node.keys) keys.push_back({key.key, key.value});
      description["keys"] = std::move(keys);
      break;
    }
  }
}

std::string describeNodeParameters(const Node& node) {
  switch (node.kind) {
    case NodeKind::Constant: return std::string("value ").append(formatValue(node.value, node.valueType));
    case NodeKind::SpotInfo: return "";
    case NodeKind::ItemInfo:
      return std::string("item \"").append(node.item).append("\" at ").append(
          formatValue(node.itemPosition, ValueType::Vector));
    case NodeKind::Math: return std::string("op ") + kMathOpNames[static_cast<std::size_t>(node.op)];
    case NodeKind::Gradient: {
      std::string text = "keys";
      for (const auto& key : node.keys) {
        text.append(" ").append(numberText(key.key)).append(":").append(numberText(key.value));
      }
      return text;
    }
  }
  return "";
}

NodeValue computeNodeOutput(const Node& node, int output, const NodeValue& a, const NodeValue& b,
                            const LWNodalAccess* sample) noexcept {
  switch (node.kind) {
    case NodeKind::Constant: return node.value;
    case NodeKind::SpotInfo: return spotOutput(output, sample);
    case NodeKind::ItemInfo: return node.itemPosition;
    case NodeKind::Math: return mathResult(node.op, a, b);
    case NodeKind::Gradient: return scalar(gradientAt(node.keys, a.v[0]));
  }
  return NodeValue{};
}

}  // namespace tarrow::host
