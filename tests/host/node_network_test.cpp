// Building networks from scene descriptions: what is refused and how, and what survives a copy.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/services/node_network.h"

namespace tarrow::host {
namespace {

using nlohmann::json;

const std::vector<EditorInputSignature> kInputs{
    {"Lag Rate (s/m)", NOT_SCALAR}, {"Pivot Position", NOT_VECTOR}, {"Weight", NOT_SCALAR}};

struct BadNetwork {
  const char* what;
  json network;
  const char* named;  // the text the one-line error must contain
};

class BadNetworks : public ::testing::TestWithParam<BadNetwork> {};

TEST_P(BadNetworks, AreRefusedWithAOneLineErrorNamingTheNode) {
  const BadNetwork& c = GetParam();
  try {
    NodeNetwork::fromJson(c.network, kInputs);
    FAIL() << c.what << " was accepted";
  } catch (const NodeNetworkError& error) {
    std::string message = error.what();
    EXPECT_NE(message.find(c.named), std::string::npos) << c.what << ": " << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
  }
}

json node(const char* id, const char* type, json parameters = json::object()) {
  parameters["id"] = id;
  parameters["type"] = type;
  return parameters;
}

json link(const char* from, const char* to) { return {{"from", from}, {"to", to}}; }

const json kOne = node("one", "Constant", {{"value", 1.0}});
const json kVec = node("vec", "Constant", {{"value", {1, 2, 3}}});
const json kAdd = node("add", "Math", {{"op", "add"}});

INSTANTIATE_TEST_SUITE_P(
    Table, BadNetworks,
    ::testing::Values(
        BadNetwork{"unknown kind", {{"nodes", {node("n1", "Noise")}}}, "\"n1\": unknown kind \"Noise\""},
        BadNetwork{"duplicate id", {{"nodes", {kOne, kOne}}}, "\"one\": the id is used twice"},
        BadNetwork{"missing id", {{"nodes", {{{"type", "Constant"}, {"value", 1}}}}}, "node #1"},
        BadNetwork{"id with a dot", {{"nodes", {node("a.b", "SpotInfo")}}}, "\"a.b\""},
        BadNetwork{"unknown node in a link",
                   {{"nodes", {kOne}}, {"connections", {link("ghost", "Weight")}}},
                   "\"ghost\""},
        BadNetwork{"unknown output",
                   {{"nodes", {kOne}}, {"connections", {link("one.colour", "Weight")}}},
                   "\"one\" (Constant): no output \"colour\""},
        BadNetwork{"unnamed output of a node with several",
                   {{"nodes", {node("spot", "SpotInfo")}}, {"connections", {link("spot", "Weight")}}},
                   "\"spot\" (SpotInfo)"},
        BadNetwork{"unknown node input",
                   {{"nodes", {kOne, kAdd}}, {"connections", {link("one", "add.c")}}},
                   "\"add\" (Math): no input \"c\""},
        BadNetwork{
            "unknown editor input", {{"nodes", {kOne}}, {"connections", {link("one", "Colour")}}}, "\"one\""},
        BadNetwork{"input fed twice",
                   {{"nodes", {kOne, kAdd}}, {"connections", {link("one", "add.a"), link("one", "add.a")}}},
                   "\"add\" (Math): input \"a\" is fed twice"},
        BadNetwork{"editor input fed twice",
                   {{"nodes", {kOne}}, {"connections", {link("one", "Weight"), link("one", "Weight")}}},
                   "\"one\""},
        BadNetwork{"vector into a scalar editor input",
                   {{"nodes", {kVec}}, {"connections", {link("vec", "Weight")}}},
                   "\"vec\""},
        BadNetwork{"scalar into the vector editor input",
                   {{"nodes", {kOne}}, {"connections", {link("one", "Pivot Position")}}},
                   "\"one\""},
        BadNetwork{
            "scalar and vector mixed in Math",
            {{"nodes", {kOne, kVec, kAdd}}, {"connections", {link("one", "add.a"), link("vec", "add.b")}}},
            "\"add\" (Math)"},
        BadNetwork{"vector into a Gradient",
                   {{"nodes", {kVec, node("g", "Gradient", {{"keys", {{0, 0}}}})}},
                    {"connections", {link("vec", "g.input")}}},
                   "\"g\" (Gradient)"},
        BadNetwork{
            "cycle",
            {{"nodes", {kOne, node("m1", "Math", {{"op", "add"}}), node("m2", "Math", {{"op", "max"}})}},
             {"connections", {link("one", "m1.a"), link("m2", "m1.b"), link("m1", "m2.a")}}},
            "is part of a cycle"},
        BadNetwork{"self loop",
                   {{"nodes", {kAdd}}, {"connections", {link("add", "add.a")}}},
                   "\"add\" (Math): is part of a cycle"},
        BadNetwork{"missing parameter", {{"nodes", {node("c", "Constant")}}}, "\"c\" (Constant)"},
        BadNetwork{"value of two numbers",
                   {{"nodes", {node("c", "Constant", {{"value", {1, 2}}})}}},
                   "\"c\" (Constant)"},
        BadNetwork{"text value", {{"nodes", {node("c", "Constant", {{"value", "x"}})}}}, "\"c\" (Constant)"},
        BadNetwork{"unknown op", {{"nodes", {node("m", "Math", {{"op", "power"}})}}}, "\"m\" (Math)"},
        BadNetwork{"unknown parameter",
                   {{"nodes", {node("s", "SpotInfo", {{"size", 2}})}}},
                   "\"s\" (SpotInfo): unknown parameter"},
        BadNetwork{"unsorted keys",
                   {{"nodes", {node("g", "Gradient", {{"keys", {{1, 0}, {0, 1}}}})}}},
                   "\"g\" (Gradient)"},
        BadNetwork{
            "no keys", {{"nodes", {node("g", "Gradient", {{"keys", json::array()}})}}}, "\"g\" (Gradient)"},
        BadNetwork{
            "item without a name", {{"nodes", {node("i", "ItemInfo", {{"item", ""}})}}}, "\"i\" (ItemInfo)"},
        BadNetwork{"not an object", json::array(), "node network"},
        BadNetwork{"unknown member", {{"nodes", json::array()}, {"links", json::array()}}, "\"links\""}));

TEST(NodeNetwork, RefusesMoreNodesThanItCanEvaluate) {
  json nodes = json::array();
  for (int i = 0; i <= kMaxNetworkNodes; ++i) {
    std::string id = "n";
    id += std::to_string(i);
    nodes.push_back(node(id.c_str(), "SpotInfo"));
  }
  EXPECT_THROW(NodeNetwork::fromJson({{"nodes", nodes}}, kInputs), NodeNetworkError);
  nodes.erase(nodes.end() - 1);
  EXPECT_NO_THROW(NodeNetwork::fromJson({{"nodes", nodes}}, kInputs));
}

TEST(NodeNetwork, LongChainsEvaluateStepByStep) {
  // The deepest network allowed: every node adds one to the one before.
  json nodes = {kOne};
  json links = json::array();
  std::string previous = "one";
  for (int i = 1; i < kMaxNetworkNodes; ++i) {
    std::string id = "m";
    id += std::to_string(i);
    nodes.push_back(node(id.c_str(), "Math", {{"op", "add"}}));
    links.push_back({{"from", previous}, {"to", id + ".a"}});
    links.push_back({{"from", "one"}, {"to", id + ".b"}});
    previous = id;
  }
  links.push_back({{"from", previous}, {"to", "Weight"}});
  auto network = NodeNetwork::fromJson({{"nodes", nodes}, {"connections", links}}, kInputs);
  double weight = 0;
  ASSERT_EQ(network.evaluate(2, nullptr, &weight), 1);
  EXPECT_EQ(weight, kMaxNetworkNodes);
}

TEST(NodeNetwork, DescriptionRoundTripsAndNamesSources) {
  json description = {{"nodes",
                       {kOne, kVec, node("spot", "SpotInfo"), node("i", "ItemInfo", {{"item", "Null"}}),
                        node("g", "Gradient", {{"keys", {{0.0, 1.0}, {2.5, 0.0}}}}),
                        node("d", "Math", {{"op", "distance"}})}},
                      {"connections",
                       {link("spot.worldPosition", "d.a"), link("i", "d.b"), link("d", "g.input"),
                        link("g", "Weight"), link("vec.value", "Pivot Position")}}};
  auto network = NodeNetwork::fromJson(description, kInputs);
  auto again = NodeNetwork::fromJson(network.toJson(), kInputs);
  EXPECT_EQ(again.toJson(), network.toJson());
  EXPECT_EQ(network.sourceOf(0), "");
  EXPECT_EQ(network.sourceOf(1), "vec.value");
  EXPECT_EQ(network.sourceOf(2), "g.value");
  EXPECT_EQ(network.toJson()["nodes"].size(), 6u);
  EXPECT_EQ(network.toJson()["connections"].size(), 5u);
}

TEST(NodeNetwork, CopyFollowsInputNamesAndDropsWhatTheOtherEditorCannotTake) {
  json description = {
      {"nodes", {kOne, kVec}},
      {"connections", {link("one", "Weight"), link("vec", "Pivot Position"), link("one", "Lag Rate (s/m)")}}};
  auto network = NodeNetwork::fromJson(description, kInputs);
  // The other editor has its inputs in another order, lacks one, and types another differently.
  const std::vector<EditorInputSignature> other{{"Weight", NOT_SCALAR}, {"Pivot Position", NOT_SCALAR}};
  auto copy = network.copyFor(other);
  EXPECT_EQ(copy.sourceOf(0), "one.value");
  EXPECT_FALSE(copy.connected(1));
  double weight = 0;
  EXPECT_EQ(copy.evaluate(0, nullptr, &weight), 1);
  EXPECT_EQ(weight, 1.0);
  EXPECT_EQ(copy.toJson()["connections"].size(), 1u);
  EXPECT_EQ(copy.toJson()["nodes"], network.toJson()["nodes"]);
}

TEST(NodeNetwork, UnconnectedInputsWriteNothing) {
  auto network = NodeNetwork::fromJson({{"nodes", {kOne}}}, kInputs);
  double value[3]{7, 7, 7};
  for (int input : {-1, 0, 1, 2, 3}) {
    EXPECT_FALSE(network.connected(input));
    EXPECT_EQ(network.evaluate(input, nullptr, value), 0);
  }
  EXPECT_EQ(value[0], 7);
  EXPECT_EQ(value[1], 7);
  EXPECT_EQ(value[2], 7);
}

}  // namespace
}  // namespace tarrow::host
