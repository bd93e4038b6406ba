// Node networks of the stand-in host driving the lag rate, the pivot and the weight, through the
// module file: against the same values given as settings, against the test's own reading of the
// lag, and across a saved scene.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/loader/host_generation.h"
#include "host/loader/module_loader.h"
#include "host/run/obj_writer.h"
#include "host/run/scene_run.h"
#include "host/run/session.h"
#include "host/scene/scene_file.h"
#include "host/services/node_editor.h"
#include "scratch_folder_test.h"

namespace tarrow::host {
namespace {

using json = nlohmann::json;
using V3 = std::array<double, 3>;

// ---- The test's own reading of motion and lag -------------------------------------------------

V3 plus(const V3& a, const V3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
V3 minus(const V3& a, const V3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
V3 scaled(const V3& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
double dot(const V3& a, const V3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double length(const V3& a) { return std::sqrt(dot(a, a)); }

struct Key {
  double time;
  V3 position;
  V3 angles;  // heading, pitch, bank in degrees
};

std::vector<Key> keysOf(const json& item) {
  std::vector<Key> keys;
  for (const json& k : item.value("motion", json::array())) {
    keys.push_back({k.at("time").get<double>(), k.value("position", V3{}), k.value("rotation", V3{})});
  }
  return keys;
}

// Bank about z first, then pitch about x (positive tilts forward down), then heading about y.
V3 turned(const V3& angles, V3 v) {
  const double toRadians = std::acos(-1.0) / 180.0;
  const double b = angles[2] * toRadians, p = angles[1] * toRadians, h = angles[0] * toRadians;
  v = {v[0] * std::cos(b) - v[1] * std::sin(b), v[0] * std::sin(b) + v[1] * std::cos(b), v[2]};
  v = {v[0], v[1] * std::cos(p) - v[2] * std::sin(p), v[1] * std::sin(p) + v[2] * std::cos(p)};
  return {v[0] * std::cos(h) + v[2] * std::sin(h), v[1], -v[0] * std::sin(h) + v[2] * std::cos(h)};
}

// An unparented item's world frame at a time: keys interpolated linearly, held at the ends.
struct Frame {
  V3 right, up, forward, position;

  V3 carry(const V3& local) const {
    return plus(plus(plus(scaled(right, local[0]), scaled(up, local[1])), scaled(forward, local[2])),
                position);
  }
};

Frame frameAt(const std::vector<Key>& keys, double t) {
  V3 position{}, angles{};
  if (!keys.empty()) {
    size_t next = 0;
    while (next < keys.size() && keys[next].time <= t) ++next;
    if (next == 0 || next == keys.size()) {
      const Key& held = next == 0 ? keys.front() : keys.back();
      position = held.position;
      angles = held.angles;
    } else {
      const Key& a = keys[next - 1];
      const Key& b = keys[next];
      const double s = (t - a.time) / (b.time - a.time);
      position = plus(a.position, scaled(minus(b.position, a.position), s));
      angles = plus(a.angles, scaled(minus(b.angles, a.angles), s));
    }
  }
  return {turned(angles, {1, 0, 0}), turned(angles, {0, 1, 0}), turned(angles, {0, 0, 1}), position};
}

// The lagged point: its offset from the pivot, read along the object's axes now, laid along the
// sampled item's axes at the delayed time and added to that item's position then.
// The point kept in the object's own frame (its axes are unit and at right angles here), delayed
// by its distance from the pivot: wherever the pivot is, the object carries the point.
V3 lagged(const V3& world, const V3& pivot, const Frame& objectNow, const std::vector<Key>& sampled,
          double now, double lagRate, double weight) {
  const double delayed = now - length(minus(world, pivot)) * weight * lagRate;
  const V3 d = minus(world, objectNow.position);
  const V3 local{dot(d, objectNow.right), dot(d, objectNow.up), dot(d, objectNow.forward)};
  return frameAt(sampled, delayed).carry(local);
}

// Linear between sorted keys, the end values held beyond them.
double gradient(const std::vector<std::array<double, 2>>& keys, double x) {
  if (x <= keys.front()[0]) return keys.front()[1];
  for (size_t i = 1; i < keys.size(); ++i) {
    if (x <= keys[i][0]) {
      const auto& a = keys[i - 1];
      const auto& b = keys[i];
      return a[1] + (b[1] - a[1]) * (x - a[0]) / (b[0] - a[0]);
    }
  }
  return keys.back()[1];
}

// ---- Scenes -----------------------------------------------------------------------------------

// A strand of five points on an object that slides, climbs and turns in its first second, and a
// "Ball" that moves on a path of its own.
json strandScene(const json& deformer, const std::optional<json>& weightMaps = std::nullopt) {
  json scene = json::parse(R"({"fps": 10, "frames": [0, 14], "items": [
    {"name": "Strand", "type": "object",
     "motion": [{"time": 0, "position": [0, 0, 0], "rotation": [0, 0, 0]},
                {"time": 0.6, "position": [1, 0.5, 0.5], "rotation": [40, 10, -5]},
                {"time": 1, "position": [2, 0, 1], "rotation": [90, 0, 20]}],
     "points": [[0, 0, 0], [0.25, 0, -1], [0, 0.5, -2], [-0.5, 0, -3], [0, 0, -4]],
     "polygons": [[0, 1, 2], [2, 3, 4]]},
    {"name": "Ball", "type": "object",
     "motion": [{"time": 0, "position": [3, 1, 0], "rotation": [0, 0, 0]},
                {"time": 1, "position": [-1, 2, 3], "rotation": [-60, 30, 0]}],
     "points": []}]})");
  json& strand = scene["items"][0];
  if (weightMaps) strand["weightMaps"] = *weightMaps;
  strand["deformers"] = json::array({deformer});
  return scene;
}

json tarrow(const std::string& state, const std::optional<json>& nodes = std::nullopt) {
  json deformer{{"server", "Tarrow_plus"}, {"state", state}};
  if (nodes) deformer["nodes"] = *nodes;
  return deformer;
}

json constantInto(const std::string& id, const json& value, const std::string& input) {
  return {{"id", id}, {"type", "Constant"}, {"value", value}, {"to", input}};
}

// Nodes given as {id, type, value, to}: each a Constant linked into an editor input.
json constantsNetwork(const std::vector<json>& constants) {
  json network{{"nodes", json::array()}, {"connections", json::array()}};
  for (const json& c : constants) {
    network["nodes"].push_back({{"id", c["id"]}, {"type", "Constant"}, {"value", c["value"]}});
    network["connections"].push_back({{"from", c["id"]}, {"to", c["to"]}});
  }
  return network;
}

std::string readFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The source tree, as CTest tells the tests; run by hand, from the source tree itself.
std::filesystem::path sourceDir() {
  const char* dir = std::getenv("TARROW_SOURCE_DIR");
  return dir != nullptr ? std::filesystem::path(dir) : std::filesystem::current_path();
}

class NodeInputsTest : public integration::ScratchFolderTest {
 protected:
  static Scene sceneOf(const json& document, const std::string& name = "scene.json") {
    return parseScene(document.dump(), name);
  }

  // The OBJ text of every deformed object at each frame of the scene's range, in order.
  static std::vector<std::string> objFrames(const Scene& scene, const HostGeneration* generation = nullptr,
                                            int threads = 2) {
    SessionOptions options{defaultModulePath(), threads};
    options.generation = generation;
    Session session(scene, options);
    std::vector<std::string> texts;
    FramePoints points;
    for (int frame = scene.firstFrame; frame <= scene.lastFrame; ++frame) {
      session.evaluateFrame(frame, points);
      for (size_t k = 0; k < points.size(); ++k) {
        std::string text;
        appendObj(text, points[k],
                  scene.items[static_cast<size_t>(session.deformedObjects()[k].item)].polygons);
        texts.push_back(std::move(text));
      }
    }
    return texts;
  }
};

// ---- Constants against settings ---------------------------------------------------------------

TEST_F(NodeInputsTest, ConstantNodesGiveTheSameFramesAsTheSameValuesAsSettings) {
  struct Case {
    const char* name;
    double lagRate;
    std::optional<double> mapWeight;  // settings side: a map of this value, or no map (weight 1)
  };
  // Values a float holds exactly, so that the map's widened weight equals the node's.
  const Case cases[] = {
      {"no weight map, weight 1", 0.25, std::nullopt},
      {"a map of constant weights", 0.25, 0.75},
      {"a negative rate, half weight", -0.375, 0.5},
  };
  const auto rigid = objFrames(sceneOf(strandScene(tarrow("{ LagRate 0 }\n"))));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const double weight = c.mapWeight.value_or(1.0);
    std::string settingsState = "{ Version 1 }\n{ LagRate " + json(c.lagRate).dump() + " }\n";
    std::optional<json> settingsMaps;
    if (c.mapWeight) {
      settingsState += "{ WeightMap 1 \"Even\" }\n";
      settingsMaps = json{{"Even", json::array({weight, weight, weight, weight, weight})}};
    }
    // The node side's own settings differ from the nodes' values (no lag, a map of other
    // weights), so frames that matched while the nodes were ignored could not come about.
    const json decoyMap{{"Decoy", json::array({0.125, 0.125, 0.125, 0.125, 0.125})}};
    const json network = constantsNetwork(
        {constantInto("rate", c.lagRate, "Lag Rate (s/m)"), constantInto("weight", weight, "Weight")});
    const std::string nodeState = "{ Version 1 }\n{ LagRate 0 }\n{ WeightMap 1 \"Decoy\" }\n{ UseNode 1 }\n";

    const auto bySettings = objFrames(sceneOf(strandScene(tarrow(settingsState), settingsMaps)));
    const auto byNodes = objFrames(sceneOf(strandScene(tarrow(nodeState, network), decoyMap)));
    ASSERT_EQ(bySettings.size(), 15u);
    EXPECT_EQ(byNodes, bySettings);
    EXPECT_NE(bySettings, rigid) << "the lag must show in the frames compared";
  }
}

// ---- A pivot from a node ----------------------------------------------------------------------

TEST_F(NodeInputsTest, APivotFromANodeSamplesTheObjectAtTheDelayedTime) {
  const V3 nodePivot{1.0, 0.5, -2.0};
  const double lagRate = 0.2;
  // A pivot item in parent coordinates is chosen too; with the pivot input connected it plays no part.
  const std::string state =
      "{ Version 1 }\n{ LagRate 0.2 }\n{ PivotItem 2 10000001 }\n{ PivotLocal 1 }\n{ UseNode 1 }\n";
  const json network = constantsNetwork({constantInto("pivot", json(nodePivot), "Pivot Position")});
  const json document = strandScene(tarrow(state, network));
  const Scene scene = sceneOf(document);

  const json& strand = document["items"][0];
  const std::vector<Key> motion = keysOf(strand);
  Session session(scene, {defaultModulePath(), 1});
  FramePoints points;
  for (int frame = 0; frame <= 14; ++frame) {
    SCOPED_TRACE(frame);
    const double now = frame / 10.0;
    session.evaluateFrame(frame, points);
    ASSERT_EQ(points.size(), 1u);
    const Frame objectNow = frameAt(motion, now);
    for (size_t i = 0; i < points[0].size(); ++i) {
      const V3 world = objectNow.carry(strand["points"][i].get<V3>());
      const V3 expected = lagged(world, nodePivot, objectNow, motion, now, lagRate, 1.0);
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(points[0][i][c], expected[c], 1e-9) << "point " << i;
    }
  }

  // The same state without node inputs follows the Ball: the frames differ.
  json withoutNodes = strandScene(tarrow(state.substr(0, state.find("{ UseNode"))));
  EXPECT_NE(objFrames(sceneOf(withoutNodes)), objFrames(scene));
}

// ---- What the sample record gives nodes ------------------------------------------------------

// Nodes that take the point into the object's coordinates through the record's toLocal, and
// back through toWorld, on an object whose pivot point was moved: any difference from the
// record's own positions becomes the weight, and so a lag. Each point must stay where the host
// puts it, at A (oP - pivot) + P.
TEST_F(NodeInputsTest, NodesReadTheMeshAboutAMovedPivotPoint) {
  const V3 pivot{0.5, -0.25, 1.5};
  const json network = json::parse(R"({
    "nodes": [{"id": "spot", "type": "SpotInfo"},
              {"id": "local", "type": "Math", "op": "distance"},
              {"id": "world", "type": "Math", "op": "distance"},
              {"id": "sum", "type": "Math", "op": "add"}],
    "connections": [{"from": "spot.localPosition", "to": "local.a"}, {"from": "spot.oPos", "to": "local.b"},
                    {"from": "spot.objectToWorld", "to": "world.a"},
                    {"from": "spot.worldPosition", "to": "world.b"},
                    {"from": "local", "to": "sum.a"}, {"from": "world", "to": "sum.b"},
                    {"from": "sum", "to": "Weight"}]})");
  json document = strandScene(tarrow("{ Version 1 }\n{ LagRate 0.5 }\n{ UseNode 1 }\n", network));
  json& strand = document["items"][0];
  strand["pivot"] = pivot;
  const Scene scene = sceneOf(document);
  const std::vector<Key> motion = keysOf(strand);
  for (const HostGeneration& generation : hostGenerations()) {
    SCOPED_TRACE(generation.release);
    SessionOptions options{defaultModulePath(), 2};
    options.generation = &generation;
    Session session(scene, options);
    FramePoints points;
    for (int frame = 0; frame <= 14; frame += 2) {
      SCOPED_TRACE(frame);
      session.evaluateFrame(frame, points);
      const Frame objectNow = frameAt(motion, frame / 10.0);
      for (size_t i = 0; i < points[0].size(); ++i) {
        const V3 expected = objectNow.carry(minus(strand["points"][i].get<V3>(), pivot));
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(points[0][i][c], expected[c], 1e-9) << "point " << i;
      }
    }
  }
}

// A node calling every function of the record (light, rays, colours, buffers, samples) finds
// nothing on any release, so its count as the weight leaves every point where the host puts it.
TEST_F(NodeInputsTest, ANodeCallingTheRecordsFunctionsFindsNothingOnEveryRelease) {
  const auto rigid = objFrames(sceneOf(strandScene(tarrow("{ LagRate 0 }\n"))));
  auto weightFrom = [](const json& node, const std::string& output) {
    json network{{"nodes", json::array({node})},
                 {"connections", json::array({{{"from", "n." + output}, {"to", "Weight"}}})}};
    return strandScene(tarrow("{ Version 1 }\n{ LagRate 0.5 }\n{ UseNode 1 }\n", network));
  };
  const Scene calls = sceneOf(weightFrom({{"id", "n"}, {"type", "RenderCalls"}}, "found"));
  for (const HostGeneration& generation : hostGenerations()) {
    SCOPED_TRACE(generation.release);
    EXPECT_EQ(objFrames(calls, &generation), rigid);
  }
  EXPECT_NE(objFrames(sceneOf(weightFrom({{"id", "n"}, {"type", "Constant"}, {"value", 1}}, "value"))), rigid)
      << "a weight of 1 must show as a lag";
}

// Random numbers drawn by nodes depend on the point only: one thread or several give the same
// frames. A lag rate from them differs from point to point, so the frames show them.
TEST_F(NodeInputsTest, RandomNumbersOfNodesAreTheSameOnAnyNumberOfThreads) {
  const json network{{"nodes", json::array({{{"id", "dice"}, {"type", "RenderCalls"}}})},
                     {"connections", json::array({{{"from", "dice.random"}, {"to", "Lag Rate (s/m)"}}})}};
  json document = strandScene(tarrow("{ Version 1 }\n{ UseNode 1 }\n", network));
  json& points = document["items"][0]["points"];
  points = json::array();
  for (int i = 0; i < 64; ++i) points.push_back({0.05 * (i % 7), 0.1 * (i % 3), -0.0625 * i});
  document["items"][0].erase("polygons");
  const Scene scene = sceneOf(document);
  const HostGeneration& release2015 = generationNamed("2015");
  const auto alone = objFrames(scene, &release2015, 1);
  EXPECT_EQ(objFrames(scene, &release2015, 4), alone);
  document["items"][0]["deformers"][0]["state"] = "{ LagRate 0 }\n";
  document["items"][0]["deformers"][0].erase("nodes");
  EXPECT_NE(alone, objFrames(sceneOf(document), &release2015, 1)) << "the numbers must show as a lag";
}

// ---- The bundled gradient example -------------------------------------------------------------

TEST_F(NodeInputsTest, GradientExampleFadesTheLagWithDistanceFromTheAttractor) {
  const std::filesystem::path file = sourceDir() / "examples" / "gradient.json";
  ASSERT_TRUE(std::filesystem::exists(file)) << file << " (TARROW_SOURCE_DIR names the source tree)";
  const json document = json::parse(readFile(file));
  const Scene scene = loadScene(file);

  // What the example is made of: the network's item, its gradient keys, and the lag rate.
  const json* swimmer = nullptr;
  const json* deformer = nullptr;
  for (const json& item : document["items"]) {
    if (item.contains("deformers") && item["deformers"][0].contains("nodes")) {
      swimmer = &item;
      deformer = &item["deformers"][0];
    }
  }
  ASSERT_NE(swimmer, nullptr) << "the example has a deformer with a node network";
  std::string attractorName;
  std::vector<std::array<double, 2>> keys;
  for (const json& node : (*deformer)["nodes"]["nodes"]) {
    if (node["type"] == "ItemInfo") attractorName = node["item"];
    if (node["type"] == "Gradient") keys = node["keys"].get<std::vector<std::array<double, 2>>>();
  }
  ASSERT_FALSE(keys.empty());
  const std::string state = (*deformer)["state"];
  ASSERT_NE(state.find("{ UseNode 1 }"), std::string::npos);
  const auto rateAt = state.find("{ LagRate ");
  ASSERT_NE(rateAt, std::string::npos);
  const double lagRate = std::stod(state.substr(rateAt + 10));
  ASSERT_GT(lagRate, 0.0);
  std::vector<Key> attractorMotion;
  bool found = false;
  for (const json& item : document["items"]) {
    if (item["name"] == attractorName) {
      attractorMotion = keysOf(item);
      found = true;
    }
  }
  ASSERT_TRUE(found) << attractorName;

  const std::vector<Key> motion = keysOf(*swimmer);
  const double fps = document["fps"];
  Session session(scene, {defaultModulePath(), 2});
  size_t object = 0;
  while (scene.items[static_cast<size_t>(session.deformedObjects().at(object).item)].name !=
         (*swimmer)["name"])
    ++object;

  int full = 0, partial = 0, none = 0;
  FramePoints points;
  for (int frame = scene.firstFrame; frame <= scene.lastFrame; frame += 5) {
    SCOPED_TRACE(frame);
    const double now = frame / fps;
    session.evaluateFrame(frame, points);
    const Frame objectNow = frameAt(motion, now);
    const V3 attractor = frameAt(attractorMotion, now).position;
    for (size_t i = 0; i < points[object].size(); ++i) {
      const V3 world = objectNow.carry((*swimmer)["points"][i].get<V3>());
      const double weight = gradient(keys, length(minus(world, attractor)));
      if (weight == keys.front()[1]) {
        ++full;
      } else if (weight == keys.back()[1]) {
        ++none;
      } else {
        ++partial;
      }
      const V3 expected = lagged(world, objectNow.position, objectNow, motion, now, lagRate, weight);
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(points[object][i][c], expected[c], 1e-9) << "point " << i;
    }
  }
  // The frames checked reach every part of the gradient: both ends and the slope between.
  EXPECT_GT(full, 0);
  EXPECT_GT(partial, 0);
  EXPECT_GT(none, 0);
}

// The example's ItemInfo node reads the Attractor, so Layout must re-evaluate the swimmer when the
// Attractor moves; and a node's own edit (a Gradient's keys) must reach the host as the
// connections do. In the 2015.3 layout of the editor's table and in the newer one.
TEST_F(NodeInputsTest, TheNetworksItemsAndEditsReachTheHost) {
  const Scene scene = loadScene(sourceDir() / "examples" / "gradient.json");
  int attractor = -1;
  for (int k = 0; k < static_cast<int>(scene.items.size()); ++k) {
    if (scene.items[static_cast<size_t>(k)].name == "Attractor") attractor = k;
  }
  ASSERT_GE(attractor, 0);
  constexpr size_t kSwimmer = 0;  // the example's one deformed object
  for (const char* release : {"2015", "2025"}) {
    SCOPED_TRACE(release);
    Session session(
        scene, {.modulePath = defaultModulePath(), .threads = 1, .generation = &generationNamed(release)});
    EXPECT_EQ(session.usedItems(kSwimmer), std::vector<int>{attractor});
    EXPECT_TRUE(session.pivotItems(kSwimmer).empty());  // the pictures ring the swimmer itself

    const LWInstance swimmer = session.deformedObjects()[kSwimmer].instances.at(0);
    const LWXPanelID panel = session.openPanel(kSwimmer, 0);
    const int refreshesBefore = session.panels().find(panel).value().refreshes;
    session.services().takeUpdateRequests();
    session.nodeEditor().setNodeParameters(
        session.nodeEditor().editorOf(swimmer), "fade",
        {{"keys", json::array({json::array({0.5, 1}), json::array({1.5, 0})})}});
    EXPECT_EQ(session.services().takeUpdateRequests(), std::vector<LWInstance>{swimmer});
    EXPECT_EQ(session.panels().find(panel).value().refreshes, refreshesBefore + 1);
  }
}

// ---- Saved scenes -----------------------------------------------------------------------------

TEST_F(NodeInputsTest, ASavedSceneWithANetworkRunsToTheSameFiles) {
  const json pivotNetwork =
      constantsNetwork({constantInto("pivot", json::array({1, 0.5, -2}), "Pivot Position"),
                        constantInto("rate", 0.3, "Lag Rate (s/m)")});
  struct Case {
    const char* name;
    std::filesystem::path scene;
  };
  const Case cases[] = {
      {"the gradient example", sourceDir() / "examples" / "gradient.json"},
      {"vector and scalar constants",
       write("constants.json", strandScene(tarrow("{ Version 1 }\n{ UseNode 1 }\n", pivotNetwork)).dump(2))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::filesystem::path work = folder_ / c.scene.stem();
    std::filesystem::create_directories(work);
    RunOptions first;
    first.scene = c.scene;
    first.outDir = work / "first";
    first.threads = 2;
    first.picture = false;
    first.saveScene = work / "saved.json";
    const RunSummary summary = runScene(first);
    ASSERT_GT(summary.frames, 0);

    const json saved = json::parse(readFile(*first.saveScene));
    for (const json& item : saved["items"]) {
      for (const json& d : item.value("deformers", json::array())) {
        EXPECT_FALSE(d.contains("nodes")) << "the network travels inside the state";
      }
    }
    EXPECT_NE(readFile(*first.saveScene).find("NodeTree"), std::string::npos);

    RunOptions second = first;
    second.scene = *first.saveScene;
    second.outDir = work / "second";
    second.saveScene.reset();
    runScene(second);
    int compared = 0;
    for (const auto& entry : std::filesystem::directory_iterator(first.outDir)) {
      const std::string a = readFile(entry.path());
      EXPECT_FALSE(a.empty()) << entry.path().filename();
      EXPECT_EQ(a, readFile(second.outDir / entry.path().filename())) << entry.path().filename();
      ++compared;
    }
    EXPECT_EQ(compared, static_cast<int>(std::distance(std::filesystem::directory_iterator(second.outDir),
                                                       std::filesystem::directory_iterator())));
    EXPECT_GT(compared, summary.frames - 1);
    EXPECT_EQ(expectSameOutputInEveryGeneration(first, c.scene.stem().string() + "-generations"),
              static_cast<std::size_t>(compared) + 1);
  }
}

// A session made, used and closed while another is open leaves the node editor answering for
// nobody; the first session, used again, must offer its own editor again.
TEST_F(NodeInputsTest, ASessionUsedAgainAfterAnotherRanKeepsItsNetwork) {
  const Scene scene = loadScene(sourceDir() / "examples" / "gradient.json");
  const int later = (scene.firstFrame + scene.lastFrame) / 2;
  constexpr size_t kSwimmer = 0;  // the example's one deformed object
  std::string expected;
  FramePoints points;
  {
    Session reference(scene, {defaultModulePath(), 1});
    reference.evaluateFrame(later, points);
    appendObj(expected, points[kSwimmer],
              scene.items[static_cast<size_t>(reference.deformedObjects()[kSwimmer].item)].polygons);
  }

  Session first(scene, {defaultModulePath(), 1});
  const std::string state = first.savedState(kSwimmer, 0);
  first.evaluateFrame(scene.firstFrame, points);
  {
    Session other(scene, {defaultModulePath(), 1});
    other.evaluateFrame(scene.lastFrame, points);
  }
  EXPECT_EQ(first.savedState(kSwimmer, 0), state);
  first.evaluateFrame(later, points);
  std::string text;
  appendObj(text, points[kSwimmer],
            scene.items[static_cast<size_t>(first.deformedObjects()[kSwimmer].item)].polygons);
  EXPECT_EQ(text, expected) << "the network's ItemInfo node is updated for the frame";
}

}  // namespace
}  // namespace tarrow::host
