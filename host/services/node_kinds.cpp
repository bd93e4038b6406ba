#include "host/services/node_kinds.h"

#include <algorithm>
#include <cmath>

#include <nlohmann/json.hpp>

#include "host/base/number_text.h"

namespace tarrow::host {
namespace {

// SpotInfo's outputs, in the order of its output table.
enum class SpotOutput {
  OPos,
  WorldPosition,
  RaySource,
  RayDirection,
  LocalPosition,
  ObjectToWorld,
  RayLength,
  SpotSize,
  Weight
};
enum class RenderOutput { Found, Random };

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

const nlohmann::json& required(const Node& node, const nlohmann::json& description, const char* parameter) {
  auto found = description.find(parameter);
  if (found == description.end()) {
    badParameter(node, std::string("parameter \"") + parameter + "\" is missing");
  }
  return *found;
}

// Each parameter of a kind: read from its member of the scene's node object, written back to
// it, and described for the node editor's window.
struct ParameterInfo {
  const char* name;
  void (*read)(Node& node, const nlohmann::json& value);
  void (*write)(const Node& node, nlohmann::json& value);
  std::string (*describe)(const Node& node);
};

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

void writeConstant(const Node& node, nlohmann::json& value) {
  if (node.valueType == ValueType::Scalar) {
    value = node.value.v[0];
  } else {
    value = {node.value.v[0], node.value.v[1], node.value.v[2]};
  }
}

std::string describeConstant(const Node& node) {
  return std::string("value ").append(formatValue(node.value, node.valueType));
}

void readItem(Node& node, const nlohmann::json& value) {
  if (!value.is_string() || value.get_ref<const std::string&>().empty() ||
      value.get_ref<const std::string&>().size() > 255) {
    badParameter(node, "parameter \"item\" needs an item's name of at most 255 bytes");
  }
  node.item = value.get<std::string>();
}

void writeItem(const Node& node, nlohmann::json& value) { value = node.item; }

std::string describeItem(const Node& node) {
  return std::string("item \"").append(node.item).append("\" at ").append(
      formatValue(node.itemPosition, ValueType::Vector));
}

void readOp(Node& node, const nlohmann::json& value) {
  auto name = value.is_string() ? value.get<std::string>() : std::string();
  auto found = std::find(kMathOpNames.begin(), kMathOpNames.end(), name);
  if (found == kMathOpNames.end()) {
    badParameter(node,
                 "parameter \"op\" is none of add, subtract, multiply, divide, min, "
                 "max, length, distance");
  }
  node.op = static_cast<MathOp>(found - kMathOpNames.begin());
}

void writeOp(const Node& node, nlohmann::json& value) {
  value = kMathOpNames[static_cast<std::size_t>(node.op)];
}

std::string describeOp(const Node& node) {
  return std::string("op ") + kMathOpNames[static_cast<std::size_t>(node.op)];
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

void writeKeys(const Node& node, nlohmann::json& value) {
  value = nlohmann::json::array();
  for (const auto& key : node.keys) value.push_back({key.key, key.value});
}

std::string describeKeys(const Node& node) {
  std::string text = "keys";
  for (const auto& key : node.keys) {
    text.append(" ").append(numberText(key.key)).append(":").append(numberText(key.value));
  }
  return text;
}

// Every kind of node, in NodeKind order: its name in scenes, the names of its inputs and
// outputs (a port's number is its place here) and its parameters.
struct KindInfo {
  NodeKind kind;
  const char* name;
  std::vector<const char*> inputs;
  std::vector<const char*> outputs;
  std::vector<ParameterInfo> parameters;
};

const std::array<KindInfo, 6>& kindTable() {
  static const std::array<KindInfo, 6> table{{
      {NodeKind::Constant,
       "Constant",
       {},
       {"value"},
       {{"value", readConstant, writeConstant, describeConstant}}},
      {NodeKind::SpotInfo,
       "SpotInfo",
       {},
       {"oPos", "worldPosition", "raySource", "rayDirection", "localPosition", "objectToWorld", "rayLength",
        "spotSize", "weight"},
       {}},
      {NodeKind::ItemInfo, "ItemInfo", {}, {"position"}, {{"item", readItem, writeItem, describeItem}}},
      {NodeKind::Math, "Math", {"a", "b"}, {"result"}, {{"op", readOp, writeOp, describeOp}}},
      {NodeKind::Gradient, "Gradient", {"input"}, {"value"}, {{"keys", readKeys, writeKeys, describeKeys}}},
      {NodeKind::RenderCalls, "RenderCalls", {}, {"found", "random"}, {}},
  }};
  return table;
}

const KindInfo& infoOf(NodeKind kind) { return kindTable()[static_cast<std::size_t>(kind)]; }

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

double lengthOf(const NodeValue& a) { return std::sqrt(a.v[0] * a.v[0] + a.v[1] * a.v[1] + a.v[2] * a.v[2]); }

// A point taken through a 4 x 4 row-vector transform of the shading geometry: p * m.
NodeValue transformed(const double* p, const double (&m)[4][4]) {
  NodeValue out{};
  for (int c = 0; c < 3; ++c) out.v[c] = p[0] * m[0][c] + p[1] * m[1][c] + p[2] * m[2][c] + m[3][c];
  return out;
}

NodeValue spotOutput(int output, const NodeSample& record) {
  const LWNodalAccess* sample = record.spot;
  if (sample == nullptr) return NodeValue{};
  switch (static_cast<SpotOutput>(output)) {
    case SpotOutput::OPos:
      return vector3(sample->oPos);
    case SpotOutput::WorldPosition:
      return vector3(sample->wPos);
    case SpotOutput::RaySource:
      return vector3(sample->raySource);
    case SpotOutput::RayDirection:
      return vector3(sample->rayDir);
    // 2015.3's record holds no translation: the mesh's own coordinates are oPos.
    case SpotOutput::LocalPosition:
      return record.geometry != nullptr ? transformed(record.geometry->P, record.geometry->toLocal)
                                        : vector3(sample->oPos);
    case SpotOutput::ObjectToWorld:
      return record.geometry != nullptr ? transformed(record.geometry->oP, record.geometry->toWorld)
                                        : vector3(sample->wPos);
    case SpotOutput::RayLength:
      return scalar(sample->rayLength);
    case SpotOutput::SpotSize:
      return scalar(sample->spotSize);
    case SpotOutput::Weight:
      return scalar(static_cast<double>(sample->weights[0]));
    default:
      return NodeValue{};
  }
}

// RenderCalls: each of the record's functions called once, as a node would, with every colour
// starting white and every sample counted, so that a function which leaves them alone counts.
// "found" is how many answers found something: a ray that hit, light that reached the point, a
// colour that is not black, a sample taken, a render-buffer value that is not zero.
struct Found {
  int count = 0;
  double color[3] = {1, 1, 1};

  void add(bool something) { count += something ? 1 : 0; }
  // The colour last written: counted unless black, then white again for the next call.
  void addColor() {
    add(color[0] != 0.0 || color[1] != 0.0 || color[2] != 0.0);
    color[0] = color[1] = color[2] = 1.0;
  }
};

void countSample(int* samples) { ++*samples; }

double foundBy(const LWNodalAccess& s) {
  Found found;
  const double* at = s.wPos;
  const double* along = s.rayDir;
  double toLight[3];
  found.add(s.rayCast(at, along) >= 0.0);
  found.add(s.rayShade(at, along, nullptr) >= 0.0);
  found.add(s.rayTrace(at, along, found.color) >= 0.0);
  found.addColor();
  found.add(s.rayTraceMode(at, along, found.color, 1.0, 0) >= 0.0);
  found.addColor();
  found.add(s.illuminate(LWITEM_NULL, at, toLight, found.color) != 0);
  found.addColor();
  found.add(s.illuminateNormal(LWITEM_NULL, s.render, at, toLight, s.wNorm, found.color) != 0);
  found.addColor();
  int samples = 0;
  auto* sampler = reinterpret_cast<LWNodalSampler>(&countSample);
  found.add(s.illuminateSample(LWITEM_NULL, at, toLight, sampler, &samples) > 0.0);
  found.add(s.illuminateSampleNormal(LWITEM_NULL, s.render, at, toLight, s.wNorm, sampler, &samples) > 0.0);
  found.count += samples;
  // The trace record's layout is the host's and not declared: none is handed over.
  s.rayTraceData(s.render, nullptr);
  s.rayTraceShade(nullptr);
  double values[4] = {1, 1, 1, 1};
  s.getVal(s.render, 0, 4, values);
  for (double value : values) found.add(value != 0.0);
  s.setVal(s.render, 0, 4, values);
  const unsigned int range = s.getSamplerRange(s.samplerState);
  double pair[2];
  for (unsigned int k = 0; k < range && k < 4; ++k) {
    s.getSample2D(s.samplerState, k, pair);
    s.getSample1D(s.samplerState, k);
  }
  return found.count;
}

double foundBy(lw2018::LWShadingGeometry& g) {
  Found found;
  const lw2018::LWShadingFuncs& f = g.shadingFuncs;
  found.add(f.shade(g.ray, &g, found.color) != 0.0);
  found.addColor();
  found.add(f.setupBSDF(g.ray, &g) != 0);
  found.add(f.F(g.ray, &g, g.shading.I, g.shading.I, 0, found.color) != 0.0);
  found.addColor();
  const double middle[3] = {0.5, 0.5, 0.5};
  f.sampleF(g.ray, &g, middle, nullptr, 0);
  f.Le(g.ray, &g, found.color);
  found.addColor();
  return found.count;
}

NodeValue renderOutput(int output, const NodeSample& sample) {
  if (static_cast<RenderOutput>(output) == RenderOutput::Found) {
    if (sample.geometry != nullptr) return scalar(foundBy(*sample.geometry));
    return sample.spot != nullptr ? scalar(foundBy(*sample.spot)) : NodeValue{};
  }
  // Only 2015.3's record draws random numbers.
  if (sample.geometry != nullptr || sample.spot == nullptr) return NodeValue{};
  return scalar(static_cast<double>(sample.spot->randomFloat(sample.spot->randomData)));
}

NodeValue mathResult(MathOp op, const NodeValue& a, const NodeValue& b) {
  NodeValue result{};
  switch (op) {
    case MathOp::Length:
      return scalar(lengthOf(a));
    case MathOp::Distance:
      return scalar(lengthOf(NodeValue{{a.v[0] - b.v[0], a.v[1] - b.v[1], a.v[2] - b.v[2]}}));
    default:
      break;
  }
  for (int i = 0; i < 3; ++i) {
    double x = a.v[i];
    double y = b.v[i];
    switch (op) {
      case MathOp::Add:
        result.v[i] = x + y;
        break;
      case MathOp::Subtract:
        result.v[i] = x - y;
        break;
      case MathOp::Multiply:
        result.v[i] = x * y;
        break;
      case MathOp::Divide:
        result.v[i] = y == 0.0 ? 0.0 : x / y;
        break;
      case MathOp::Min:
        result.v[i] = std::min(x, y);
        break;
      case MathOp::Max:
        result.v[i] = std::max(x, y);
        break;
      default:
        break;
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
    case NodeKind::Constant:
      return node.valueType;
    case NodeKind::SpotInfo:
      return output < static_cast<int>(SpotOutput::RayLength) ? ValueType::Vector : ValueType::Scalar;
    case NodeKind::RenderCalls:
      return ValueType::Scalar;
    case NodeKind::ItemInfo:
      return ValueType::Vector;
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
  const auto& parameters = infoOf(node.kind).parameters;
  for (const auto& entry : description.items()) {
    const std::string& key = entry.key();
    if (key == "id" || key == "type") continue;
    if (std::none_of(parameters.begin(), parameters.end(),
                     [&](const ParameterInfo& parameter) { return key == parameter.name; })) {
      badParameter(node, "unknown parameter \"" + key + "\"");
    }
  }
  for (const auto& parameter : parameters) parameter.read(node, required(node, description, parameter.name));
}

void writeNodeParameters(const Node& node, nlohmann::json& description) {
  for (const auto& parameter : infoOf(node.kind).parameters)
    parameter.write(node, description[parameter.name]);
}

std::string describeNodeParameters(const Node& node) {
  std::string text;
  for (const auto& parameter : infoOf(node.kind).parameters) {
    if (!text.empty()) text += ", ";
    text += parameter.describe(node);
  }
  return text;
}

NodeValue computeNodeOutput(const Node& node, int output, const NodeValue& a, const NodeValue& b,
                            const NodeSample& sample) noexcept {
  switch (node.kind) {
    case NodeKind::Constant:
      return node.value;
    case NodeKind::SpotInfo:
      return spotOutput(output, sample);
    case NodeKind::ItemInfo:
      return node.itemPosition;
    case NodeKind::Math:
      return mathResult(node.op, a, b);
    case NodeKind::Gradient:
      return scalar(gradientAt(node.keys, a.v[0]));
    case NodeKind::RenderCalls:
      return renderOutput(output, sample);
  }
  return NodeValue{};
}

}  // namespace tarrow::host
