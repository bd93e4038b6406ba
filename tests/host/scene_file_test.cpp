#include "host/scene/scene_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include "host/base/atomic_file.h"
#include "host/base/unique_name.h"

namespace tarrow::host {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class SceneFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("tarrow-scene-file-" + uniqueSuffix());
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::filesystem::path write(const std::string& name, const std::string& text) {
    const auto file = folder_ / name;
    std::ofstream(file, std::ios::binary) << text;
    return file;
  }

  std::filesystem::path folder_;
};

// A valid scene with one spot to break: ITEM is replaced by the object's fields.
std::string sceneWith(const std::string& objectFields, const std::string& top = "") {
  return R"({"fps": 30, "frames": [0, 10], )" + top + R"("items": [
    {"name": "Cam", "type": "camera"},
    {"name": "Obj", "type": "object", )" +
         objectFields + R"(}]})";
}

TEST_F(SceneFileTest, ReadsItemsMotionGeometryWeightsAndDeformers) {
  const auto file = write("good.json", sceneWith(R"(
      "parent": "Cam",
      "pivot": [0.5, -1, 2],
      "motion": [{"time": 0, "position": [1, 2, 3], "rotation": [10, 20, 30], "scale": [2, -1, 0.5]},
                 {"time": 1.5, "position": [0, 0, 0], "scale": [3, -2, 0.25]}],
      "points": [[0, 0, 0], [1, 0, 0], [0, 1, 0]],
      "polygons": [[0, 1, 2]],
      "weightMaps": {"Tip": [0.5, null, 1]},
      "deformers": [{"server": "Tarrow_plus", "state": "{ LagRate 0.5 }", "nodes": {"nodes": []}, "panel": {"a": 1}}])",
                                                 R"("renderCamera": "Cam", )"));
  const Scene scene = loadScene(file);
  EXPECT_EQ(scene.fps, 30.0);
  EXPECT_EQ(scene.renderCamera, 0);
  ASSERT_EQ(scene.items.size(), 2u);
  const SceneItem& object = scene.items[1];
  EXPECT_EQ(object.parent, 0);
  EXPECT_EQ(object.pivot, (Vec3{0.5, -1, 2}));
  EXPECT_EQ(scene.items[0].pivot, (Vec3{0, 0, 0}));
  // Each key's values become keys of linear spans on every channel, held outside the keys;
  // angles are kept in degrees and come out in radians.
  const double expected[2][kChannelCount] = {{1, 2, 3, 10, 20, 30, 2, -1, 0.5},
                                             {0, 0, 0, 0, 0, 0, 3, -2, 0.25}};
  for (size_t c = 0; c < kChannelCount; ++c) {
    SCOPED_TRACE(c);
    const Envelope& channel = object.channels[c];
    ASSERT_EQ(channel.keys.size(), 2u);
    EXPECT_EQ(channel.pre, Behavior::kConstant);
    EXPECT_EQ(channel.post, Behavior::kConstant);
    for (size_t k = 0; k < 2; ++k) {
      EXPECT_EQ(channel.keys[k].time, k == 0 ? 0.0 : 1.5);
      EXPECT_EQ(channel.keys[k].value, expected[k][c]);
      EXPECT_EQ(channel.keys[k].span, SpanType::kLinear);
    }
    EXPECT_EQ(channel.unit, c >= kHeading && c <= kBank ? kRadiansPerDegree : 1.0);
  }
  EXPECT_EQ(object.points[1], (Vec3{1, 0, 0}));
  EXPECT_EQ(object.polygons, (std::vector<std::vector<int>>{{0, 1, 2}}));
  ASSERT_EQ(object.weightMaps.size(), 1u);
  EXPECT_EQ(object.weightMaps[0].values[0], 0.5f);
  EXPECT_FALSE(object.weightMaps[0].values[1].has_value());
  ASSERT_EQ(object.deformers.size(), 1u);
  EXPECT_EQ(object.deformers[0].state, "{ LagRate 0.5 }");
  EXPECT_EQ(object.deformers[0].place, "/items/1/deformers/0");
  EXPECT_TRUE(object.deformers[0].nodes.has_value());
  EXPECT_EQ((*object.deformers[0].panel)["a"], 1);
}

TEST_F(SceneFileTest, ReadsCurvesPerChannel) {
  const Scene scene = loadScene(write("curves.json", sceneWith(R"(
      "channels": {
        "x": {"keys": [{"time": 0, "value": 1, "tension": 0.5, "continuity": -1, "bias": 0.25},
                       {"time": 2, "value": 3, "span": "hermite", "in": 4, "out": 5},
                       {"time": 3, "value": -2, "span": "bezier2d", "in": [-0.5, 1], "out": [0.5, -1]},
                       {"time": 4, "value": 0, "span": "stepped"}],
              "pre": "oscillate", "post": "offsetRepeat"},
        "heading": {"keys": [{"time": 1, "value": 90, "span": "linear"}], "pre": "reset", "post": "linear"},
        "scaleY": {"keys": [{"time": 0, "value": -2, "span": "bezier1d"}], "post": "repeat"}})")));
  const Channels& channels = scene.items[1].channels;
  const Envelope& x = channels[kPositionX];
  ASSERT_EQ(x.keys.size(), 4u);
  EXPECT_EQ(x.pre, Behavior::kOscillate);
  EXPECT_EQ(x.post, Behavior::kOffsetRepeat);
  EXPECT_EQ(x.keys[0].span, SpanType::kTcb);  // when not given
  EXPECT_EQ(x.keys[0].params, (std::array<double, 6>{0.5, -1, 0.25, 0, 0, 0}));
  EXPECT_EQ(x.keys[1].span, SpanType::kHermite);
  EXPECT_EQ(x.keys[1].params, (std::array<double, 6>{0, 0, 0, 4, 5, 0}));
  EXPECT_EQ(x.keys[2].span, SpanType::kBezier2D);
  EXPECT_EQ(x.keys[2].params, (std::array<double, 6>{-0.5, 1, 0.5, -1, 0, 0}));
  EXPECT_EQ(x.keys[3].span, SpanType::kStepped);
  EXPECT_EQ(x.keys[3].time, 4.0);
  EXPECT_EQ(x.unit, 1.0);
  const Envelope& heading = channels[kHeading];
  EXPECT_EQ(heading.pre, Behavior::kReset);
  EXPECT_EQ(heading.post, Behavior::kLinear);
  EXPECT_EQ(heading.keys[0].value, 90.0);
  EXPECT_EQ(heading.unit, kRadiansPerDegree);  // JSON angles are in degrees
  EXPECT_EQ(channels[kScaleY].keys[0].span, SpanType::kBezier1D);
  EXPECT_EQ(channels[kScaleY].post, Behavior::kRepeat);
  EXPECT_TRUE(channels[kScaleX].keys.empty());
}

TEST_F(SceneFileTest, ReadsAMeshRelativeToTheScene) {
  // Coordinates read to the nearest double, as the OBJ files the host writes are: 0.3 is not
  // 3 * 0.1, which is what a reader that sums scaled digits gives.
  write("strip.obj", "# a strip\nv 0 0 0\nv 1 0 0\nv 0.3 0.7 -0.35\nv 0 1 0\nf 1 2 3 4\nf -4 -3/1 -2//1\n");
  const Scene scene = loadScene(write("meshed.json", sceneWith(R"("mesh": "strip.obj")")));
  const SceneItem& object = scene.items[1];
  EXPECT_EQ(object.points.size(), 4u);
  EXPECT_EQ(object.points[2], (Vec3{0.3, 0.7, -0.35}));
  EXPECT_EQ(object.polygons, (std::vector<std::vector<int>>{{0, 1, 2, 3}, {0, 1, 2}}));
}

struct BadScene {
  const char* what;
  std::string text;
  const char* place;    // what follows "FILE: "
  const char* message;  // part of what is wrong
};

TEST_F(SceneFileTest, BadScenesNameTheFileAndThePlace) {
  const std::string points = R"("points": [[0, 0, 0], [1, 0, 0], [0, 1, 0]])";
  const BadScene cases[] = {
      {"not JSON", "{\"fps\": 30,\n  \"frames\": [0, }", "line 2, column 17 (byte 29)", "not JSON"},
      {"number too large", sceneWith(points + R"(, "motion": [{"time": 1e999}])"),
       "line 3, column 104 (byte 185): ", "the number 1e999 is too large for a double"},
      {"missing fps", R"({"frames": [0, 1], "items": []})", "/: ", "missing field \"fps\""},
      {"missing name", R"({"fps": 30, "frames": [0, 1], "items": [{"type": "object"}]})",
       "/items/0: ", "missing field \"name\""},
      {"unknown type", sceneWith(points).replace(sceneWith(points).find("\"camera\""), 8, "\"lamp\""),
       "/items/0/type: ", "unknown type \"lamp\""},
      {"unknown parent", sceneWith(points + R"(, "parent": "Nobody")"),
       "/items/1/parent: ", "no item is named \"Nobody\""},
      {"parent loop",
       R"({"fps": 30, "frames": [0, 1], "items": [{"name": "A", "type": "object", "parent": "B"},
                          {"name": "B", "type": "object", "parent": "A"}]})",
       "/items/0/parent: ", "loop"},
      {"weight map length", sceneWith(points + R"(, "weightMaps": {"Tip": [1, 0.5]})"),
       "/items/1/weightMaps/Tip: ", "2 weights for 3 points"},
      {"polygon index", sceneWith(points + R"(, "polygons": [[0, 1, 2], [0, 3, 1]])"),
       "/items/1/polygons/1/1: ", "out of range"},
      {"keys out of order", sceneWith(points + R"(, "motion": [{"time": 0}, {"time": 0.5}, {"time": 0.5}])"),
       "/items/1/motion/2/time: ", "strictly increasing"},
      {"zero scale", sceneWith(points + R"(, "motion": [{"time": 0, "scale": [1, 0, 1]}])"),
       "/items/1/motion/0/scale/1: ", "must not be zero"},
      {"scale through zero",
       sceneWith(points + R"(, "motion": [{"time": 0}, {"time": 1, "scale": [1, 1, -1]}])"),
       "/items/1/motion/1/scale/2: ", "pass through zero"},
      {"mirror undone by a key without scale",
       sceneWith(points + R"(, "motion": [{"time": 0, "scale": [-1, 1, 1]}, {"time": 1}])"),
       "/items/1/motion/1: ", "pass through zero"},
      {"fps zero", sceneWith(points).replace(sceneWith(points).find("30"), 2, "0"),
       "/fps: ", "0 is out of bounds: must be from 0.001 to 1000"},
      {"fps absurd", sceneWith(points).replace(sceneWith(points).find("30"), 2, "1e300"),
       "/fps: ", "out of bounds"},
      {"key time absurd", sceneWith(points + R"(, "motion": [{"time": -1e300}])"),
       "/items/1/motion/0/time: ", "out of bounds"},
      {"position absurd", sceneWith(points + R"(, "motion": [{"time": 0, "position": [0, 1e30, 0]}])"),
       "/items/1/motion/0/position/1: ", "1e+30 is out of bounds"},
      {"angle absurd", sceneWith(points + R"(, "motion": [{"time": 0, "rotation": [0, 0, 1e200]}])"),
       "/items/1/motion/0/rotation/2: ", "out of bounds"},
      {"scale absurd", sceneWith(points + R"(, "motion": [{"time": 0, "scale": [1, 1e9, 1]}])"),
       "/items/1/motion/0/scale/1: ", "out of bounds"},
      {"pivot not a point", sceneWith(points + R"(, "pivot": [1, 2])"),
       "/items/1/pivot: ", "must be an array of three numbers"},
      {"pivot absurd", sceneWith(points + R"(, "pivot": [0, 0, 1e300])"),
       "/items/1/pivot/2: ", "out of bounds"},
      {"point absurd", sceneWith(R"("points": [[0, 0, 0], [1e300, 0, 0], [0, 1, 0]])"),
       "/items/1/points/1/0: ", "out of bounds"},
      {"weight absurd", sceneWith(points + R"(, "weightMaps": {"Tip": [1, 1e20, 0]})"),
       "/items/1/weightMaps/Tip/1: ", "out of bounds"},
      {"bytes not UTF-8 in a name",
       sceneWith(points).replace(sceneWith(points).find("Obj"), 3, "\xC3\x96\xFF"),
       "line 3, column 17 (byte 98): ", "last read: '\"\xC3\x96\\xFF'"},
      {"last frame first", R"({"fps": 30, "frames": [5, 1], "items": []})",
       "/frames/1: ", "before the first"},
      {"weight not a number", sceneWith(points + R"(, "weightMaps": {"Tip": [1, "x", 0]})"),
       "/items/1/weightMaps/Tip/1: ", "must be a number"},
      {"no server named", sceneWith(points + R"(, "deformers": [{"server": ""}])"),
       "/items/1/deformers/0/server: ", "must name a server"},
      {"typo in a field", sceneWith(points + R"(, "weightmaps": {})"),
       "/items/1/weightmaps: ", "unknown field"},
      {"name unfit for a file", sceneWith(points).replace(sceneWith(points).find("\"Obj\""), 5, "\"../x\""),
       "/items/1/name: ", "file name"},
      {"render camera not a camera", sceneWith(points, R"("renderCamera": "Obj", )"),
       "/renderCamera: ", "not a camera"},
      {"points on a light",
       R"({"fps": 30, "frames": [0, 1], "items": [{"name": "L", "type": "light", "points": []}]})",
       "/items/0/points: ", "only objects"},
      {"missing mesh", sceneWith(R"("mesh": "nowhere.obj")"), "/items/1/mesh: ", "cannot be read"},
      {"line break in a mesh path", sceneWith(R"("mesh": "a\nb.obj")"),
       "/items/1/mesh: ", "a\\nb.obj: cannot be read"},
      {"nested far too deeply",
       R"({"fps": 30, "frames": [0, 1], "items": [], "comment": )" + std::string(100000, '[') +
           std::string(100000, ']') + "}",
       "line 1, column 154 (byte 154): ", "nested deeper than 100 levels"},
      {"line break in a field name", sceneWith(points + R"(, "x\r\ny\u001b": 1)"),
       "/items/1/x\\r\\ny\\x1B: ", "unknown field"},
      {"motion and channels", sceneWith(points + R"(, "motion": [], "channels": {})"),
       "/items/1/channels: ", "either motion or channels"},
      {"unknown channel", sceneWith(points + R"(, "channels": {"roll": {"keys": []}})"),
       "/items/1/channels/roll: ", "unknown field"},
      {"channel keys out of order",
       sceneWith(points +
                 R"(, "channels": {"y": {"keys": [{"time": 1, "value": 0}, {"time": 0.5, "value": 1}]}})"),
       "/items/1/channels/y/keys/1/time: ", "strictly increasing"},
      {"unknown span type",
       sceneWith(points + R"(, "channels": {"x": {"keys": [{"time": 0, "value": 0, "span": "cubic"}]}})"),
       "/items/1/channels/x/keys/0/span: ", "unknown span type \"cubic\" (tcb, hermite"},
      {"unknown behaviour", sceneWith(points + R"(, "channels": {"bank": {"keys": [], "post": "bounce"}})"),
       "/items/1/channels/bank/post: ", "unknown behaviour \"bounce\" (reset, constant"},
      {"parameter of another span type",
       sceneWith(points +
                 R"(, "channels": {"x": {"keys": [{"time": 0, "value": 0, "span": "hermite", "bias": 1}]}})"),
       "/items/1/channels/x/keys/0/bias: ", "unknown field"},
      {"handle not a pair",
       sceneWith(points +
                 R"(, "channels": {"x": {"keys": [{"time": 0, "value": 0, "span": "bezier2d", "out": 1}]}})"),
       "/items/1/channels/x/keys/0/out: ", "[time, value]"},
      {"channel value absurd",
       sceneWith(points + R"(, "channels": {"z": {"keys": [{"time": 0, "value": 1e12}]}})"),
       "/items/1/channels/z/keys/0/value: ", "out of bounds"},
      {"channel key without value", sceneWith(points + R"(, "channels": {"z": {"keys": [{"time": 0}]}})"),
       "/items/1/channels/z/keys/0: ", "missing field \"value\""},
      {"scale key zero",
       sceneWith(points + R"(, "channels": {"scaleY": {"keys": [{"time": 0, "value": 0}]}})"),
       "/items/1/channels/scaleY/keys/0/value: ", "must not be zero"},
      {"scale curve through zero",
       sceneWith(
           points +
           R"(, "channels": {"scaleX": {"keys": [{"time": 0, "value": 1}, {"time": 1, "value": -1}]}})"),
       "/items/1/channels/scaleX/keys/1/value: ", "pass through zero"},
      {"scale reset", sceneWith(points + R"(, "channels": {"scaleZ": {"keys": [], "pre": "reset"}})"),
       "/items/1/channels/scaleZ/pre: ", "cannot reset"},
      {"a field twice", sceneWith(points, R"("fps": 24, )"), "/fps: ", "field given twice"},
      {"a field twice in an item", sceneWith(points + R"(, "name": "Other")"),
       "/items/1/name: ", "field given twice"},
      {"a field twice deep in a deformer",
       sceneWith(points +
                 R"(, "deformers": [{"server": "S", "panel": {"A": [1, {"b": 1, "b": 2}], "A": 2}}])"),
       "/items/1/deformers/0/panel/A/1/b: ", "field given twice"},
      {"a name too long for its files",
       sceneWith(points).replace(sceneWith(points).find("\"Obj\""), 5, "\"" + std::string(161, 'n') + "\""),
       "/items/1/name: ", "at most 160 bytes long; this one has 161"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto file = write("bad.json", c.text);
    try {
      loadScene(file);
      ADD_FAILURE() << "accepted";
    } catch (const SceneError& error) {
      const std::string message = error.what();
      EXPECT_THAT(message, StartsWith(file.string() + ": " + c.place));
      EXPECT_THAT(message, HasSubstr(c.message));
      EXPECT_EQ(message.find('\n'), std::string::npos) << "one line";
    }
  }
}

TEST_F(SceneFileTest, AMissingFileIsNamed) {
  const auto file = folder_ / "absent.json";
  try {
    loadScene(file);
    ADD_FAILURE() << "accepted";
  } catch (const SceneError& error) {
    EXPECT_THAT(error.what(), StartsWith(file.string() + ": "));
    EXPECT_THAT(error.what(), HasSubstr("cannot be read"));
  }
}

// Saved scenes and other results are written whole or not at all: a write that fails names the
// target, leaves it as it was and takes its temporary with it.
TEST_F(SceneFileTest, AtomicWritesReplaceTheTargetOrLeaveItAlone) {
  const auto target = write("saved.json", "before");
  writeFileAtomically(target, "after");
  std::ifstream written(target, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), "after");

  const auto blocked = folder_ / "blocked.json";  // a folder with something in it: the rename fails
  std::filesystem::create_directories(blocked / "kept");
  try {
    writeFileAtomically(blocked, "text");
    ADD_FAILURE() << "wrote over a folder";
  } catch (const std::runtime_error& error) {
    EXPECT_THAT(error.what(), StartsWith(blocked.string() + ": cannot be written"));
  }
  EXPECT_TRUE(std::filesystem::is_directory(blocked / "kept"));
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(folder_))
    left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"blocked.json", "saved.json"})) << "no temporary left";
}

}  // namespace
}  // namespace tarrow::host
