// What each kind of node computes, checked through networks that feed an editor input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "host/services/node_network.h"

namespace tarrow::host {
namespace {

using nlohmann::json;

const std::vector<EditorInputSignature> kInputs{{"S", NOT_SCALAR}, {"V", NOT_VECTOR}};

struct Vec {
  double x, y, z;
};

LWNodalAccess sampleRecord() {
  LWNodalAccess sample;
  std::memset(&sample, 0, sizeof sample);
  const double oPos[3]{1, 2, 3}, wPos[3]{4, 5, 6}, source[3]{7, 8, 9}, direction[3]{0, 0.6, 0.8};
  std::memcpy(sample.oPos, oPos, sizeof oPos);
  std::memcpy(sample.wPos, wPos, sizeof wPos);
  std::memcpy(sample.raySource, source, sizeof source);
  std::memcpy(sample.rayDir, direction, sizeof direction);
  sample.rayLength = 12.5;
  sample.spotSize = 0.001;
  sample.weights[0] = 0.25f;
  return sample;
}

// Builds a network whose node "out" (output `port`) feeds input S or V, and evaluates it.
double scalarOf(json nodes, json links, const std::string& port = "out",
                const LWNodalAccess* sample = nullptr) {
  links.push_back({{"from", port}, {"to", "S"}});
  auto network = NodeNetwork::fromJson({{"nodes", nodes}, {"connections", links}}, kInputs);
  double value = -999;
  EXPECT_EQ(network.evaluate(0, sample, &value), 1);
  return value;
}

Vec vectorOf(json nodes, json links, const std::string& port = "out", const LWNodalAccess* sample = nullptr) {
  links.push_back({{"from", port}, {"to", "V"}});
  auto network = NodeNetwork::fromJson({{"nodes", nodes}, {"connections", links}}, kInputs);
  double value[3]{-999, -999, -999};
  EXPECT_EQ(network.evaluate(1, sample, value), 1);
  return {value[0], value[1], value[2]};
}

json constant(const std::string& id, json value) {
  return {{"id", id}, {"type", "Constant"}, {"value", std::move(value)}};
}

TEST(NodeKinds, ConstantGivesItsScalarOrVector) {
  EXPECT_EQ(scalarOf({constant("out", 0.3)}, json::array()), 0.3);
  Vec v = vectorOf({constant("out", {1.5, -2, 3})}, json::array(), "out.value");
  EXPECT_EQ(v.x, 1.5);
  EXPECT_EQ(v.y, -2);
  EXPECT_EQ(v.z, 3);
}

TEST(NodeKinds, SpotInfoReadsTheSampleRecord) {
  const LWNodalAccess sample = sampleRecord();
  json spot = json::array({{{"id", "s"}, {"type", "SpotInfo"}}});
  struct VectorCase {
    const char* output;
    Vec expected;
  };
  for (const auto& c : {VectorCase{"oPos", {1, 2, 3}}, VectorCase{"worldPosition", {4, 5, 6}},
                        VectorCase{"raySource", {7, 8, 9}}, VectorCase{"rayDirection", {0, 0.6, 0.8}}}) {
    Vec v = vectorOf(spot, json::array(), std::string("s.") + c.output, &sample);
    EXPECT_EQ(v.x, c.expected.x) << c.output;
    EXPECT_EQ(v.y, c.expected.y) << c.output;
    EXPECT_EQ(v.z, c.expected.z) << c.output;
  }
  EXPECT_EQ(scalarOf(spot, json::array(), "s.rayLength", &sample), 12.5);
  EXPECT_EQ(scalarOf(spot, json::array(), "s.spotSize", &sample), 0.001);
  EXPECT_EQ(scalarOf(spot, json::array(), "s.weight", &sample), 0.25);
  EXPECT_EQ(scalarOf(spot, json::array(), "s.rayLength", nullptr), 0.0) << "no sample reads as zero";
}

struct MathCase {
  const char* op;
  json a, b;  // null: unconnected
  json expected;
};

class MathNode : public ::testing::TestWithParam<MathCase> {};

TEST_P(MathNode, ComputesItsOperation) {
  const MathCase& c = GetParam();
  json nodes = {{{"id", "out"}, {"type", "Math"}, {"op", c.op}}};
  json links = json::array();
  if (!c.a.is_null()) {
    nodes.push_back(constant("a", c.a));
    links.push_back({{"from", "a"}, {"to", "out.a"}});
  }
  if (!c.b.is_null()) {
    nodes.push_back(constant("b", c.b));
    links.push_back({{"from", "b"}, {"to", "out.b"}});
  }
  if (c.expected.is_array()) {
    Vec v = vectorOf(nodes, links);
    EXPECT_DOUBLE_EQ(v.x, c.expected[0].get<double>());
    EXPECT_DOUBLE_EQ(v.y, c.expected[1].get<double>());
    EXPECT_DOUBLE_EQ(v.z, c.expected[2].get<double>());
  } else {
    EXPECT_DOUBLE_EQ(scalarOf(nodes, links), c.expected.get<double>());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, MathNode,
    ::testing::Values(MathCase{"add", 1.5, 2.0, 3.5}, MathCase{"subtract", 1.5, 2.0, -0.5},
                      MathCase{"multiply", 1.5, -2.0, -3.0}, MathCase{"divide", 3.0, 4.0, 0.75},
                      MathCase{"divide", 3.0, 0.0, 0.0}, MathCase{"divide", 3.0, nullptr, 0.0},
                      MathCase{"min", 1.5, -2.0, -2.0}, MathCase{"max", 1.5, -2.0, 1.5},
                      MathCase{"length", -4.0, nullptr, 4.0}, MathCase{"distance", 1.0, 4.5, 3.5},
                      MathCase{"add", nullptr, nullptr, 0.0}, MathCase{"subtract", nullptr, 2.0, -2.0},
                      MathCase{"add", json{1, 2, 3}, json{10, 20, 30}, json{11, 22, 33}},
                      MathCase{"multiply", json{1, 2, 3}, json{2, 0.5, -1}, json{2, 1, -3}},
                      MathCase{"divide", json{1, 2, 3}, json{2, 0, -1}, json{0.5, 0, -3}},
                      MathCase{"min", json{1, 5, 3}, json{2, 0, 3}, json{1, 0, 3}},
                      MathCase{"max", json{1, 5, 3}, json{2, 0, 3}, json{2, 5, 3}},
                      MathCase{"subtract", json{1, 2, 3}, nullptr, json{1, 2, 3}},
                      MathCase{"length", json{3, 4, 12}, nullptr, 13.0},
                      MathCase{"distance", json{1, 1, 1}, json{4, 5, 1}, 5.0}));

TEST(NodeKinds, GradientInterpolatesBetweenKeysAndClampsAtTheEnds) {
  const json keys = {{0.0, 1.0}, {2.0, 0.0}, {2.0, 5.0}, {4.0, 7.0}};
  struct Case {
    double input, expected;
  };
  for (const Case& c : {Case{-10, 1.0}, Case{0, 1.0}, Case{0.5, 0.75}, Case{1.5, 0.25}, Case{2, 5.0},
                        Case{3, 6.0}, Case{4, 7.0}, Case{100, 7.0}}) {
    json nodes = {constant("x", c.input), {{"id", "out"}, {"type", "Gradient"}, {"keys", keys}}};
    EXPECT_DOUBLE_EQ(scalarOf(nodes, {{{"from", "x"}, {"to", "out.input"}}}), c.expected) << "at " << c.input;
  }
  json unconnected = {{{"id", "out"}, {"type", "Gradient"}, {"keys", {{-1.0, 2.0}, {1.0, 4.0}}}}};
  EXPECT_DOUBLE_EQ(scalarOf(unconnected, json::array()), 3.0) << "an unconnected input reads 0";
}

TEST(NodeKinds, NetworksChainNodesAndShareOutputs) {
  // Gradient of the distance between the spot and a fixed point: the lag fades with distance.
  const LWNodalAccess sample = sampleRecord();  // world position (4, 5, 6)
  json nodes = {{{"id", "spot"}, {"type", "SpotInfo"}},
                constant("centre", {4, 1, 3}),
                {{"id", "d"}, {"type", "Math"}, {"op", "distance"}},
                {{"id", "twice"}, {"type", "Math"}, {"op", "add"}},
                {{"id", "out"}, {"type", "Gradient"}, {"keys", {{0.0, 1.0}, {20.0, 0.0}}}}};
  json links = {{{"from", "spot.worldPosition"}, {"to", "d.a"}},
                {{"from", "centre"}, {"to", "d.b"}},
                {{"from", "d"}, {"to", "twice.a"}},
                {{"from", "d.result"}, {"to", "twice.b"}},
                {{"from", "twice"}, {"to", "out.input"}}};
  EXPECT_DOUBLE_EQ(scalarOf(nodes, links, "out", &sample), 0.5);  // distance 5, doubled: 10
}

}  // namespace
}  // namespace tarrow::host
