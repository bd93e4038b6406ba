// The scene reader against .lws and .lwo files written here (tests/fixtures/lightwave_files.h): the
// values a scene holds are the ones the test wrote. With TARROW_LWS_SEEDS=DIR set, every scene is
// also written to DIR, which is how fuzz/corpus/lws_file/ is made.
#include "host/scene/lws_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "../fixtures/lightwave_files.h"
#include "host/base/unique_name.h"
#include "host/scene/scene_file.h"

namespace tarrow::host {
namespace {

using lightwave_files::Curve;
using lightwave_files::Layer;
using lightwave_files::Lws;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using namespace std::string_literals;

// Every span type ends a key, with distinct parameters, on a curve that resets before its first key
// and continues linearly after its last.
const Curve kEverySpan{{{0.5, 0.0, 0, {0.1, 0.2, 0.3, 0.4, 0.5, 0}},
                        {1.5, 0.5, 0, {-0.5, 0.25, -0.25, 0, 0, 0}},
                        {2.0, 1.0, 1, {0, 0, 0, 1.25, -0.75, 0}},
                        {1.0, 1.5, 2, {0, 0, 0, 0.5, 2.5, 0}},
                        {3.0, 2.0, 3, {}},
                        {3.0, 2.5, 4, {}},
                        {-1.0, 3.0, 5, {-0.2, 0.5, 0.1, -0.25, 0, 0}}},
                       0,
                       5};
// The other behaviours, on each side.
const Curve kRepeatOscillate{{{0.0, 0.0, 3, {}}, {1.0, 1.0, 0, {}}}, 2, 3};
const Curve kOffsetConstant{{{2.0, -1.0, 3, {}}, {4.0, 1.0, 3, {}}}, 4, 1};
const Curve kOscillateOffset{{{0.0, 0.0, 3, {}}, {1.0, 1.0, 3, {}}}, 3, 4};
const Curve kConstantRepeat{{{0.0, 0.0, 3, {}}, {1.0, 1.0, 3, {}}}, 1, 2};
const Curve kLinearReset{{{0.0, 0.0, 1, {}}, {1.0, 1.0, 3, {}}}, 5, 0};
const Curve kScale{{{2.0, 0.0, 0, {}}, {0.5, 2.0, 0, {}}}, 1, 1};

const std::string kFirstState = "{ LagRate 0.25 }\n";
const std::string kSecondState = "{ Outer 7\n  { LagRate 0.5 }\n}\n";

// A layered object: layer 1 "Body" (pivot 0 1 0, a weight map with a gap), layer 2 "Tail" (pivot
// 0 0 -1), each with its points and polygons.
std::vector<Layer> rigLayers() {
  return {{0,
           {0, 1, 0},
           "Body",
           {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.1, 0.2, 0.3}},
           {{0, 1, 2}},
           {{"Tip", {0.5f, std::nullopt, 1.0f, 0.25f}}}},
          {1, {0, 0, -1}, "Tail", {{0, 0, -1}, {0, 0, -2}, {1, 0, -2}}, {{0, 1, 2}}, {}}};
}

// Parents three deep: the null Root, the object rig-1 (its own pivot point), rig-2 (its layer's
// pivot); a light and a camera with names; two deformers on rig-1; an unknown block with a block
// inside. Version 3 writes no ids.
std::string rigScene(int version, bool crlf) {
  const auto id = [&](const char* hex) { return version >= 4 ? std::string(" ") + hex : std::string(); };
  Lws lws(version, crlf);
  lws.frames(1, 60, 24)
      .line("{ ViewConfiguration")
      .line("  { Inner")
      .line("    Foo 1")
      .line("  }")
      .line("}")
      .line("AddNullObject" + id("10000000") + " Root")
      .motion("ObjectMotion", {{0, kEverySpan},
                               {1, kRepeatOscillate},
                               {2, kOffsetConstant},
                               {3, kOscillateOffset},
                               {4, kConstantRepeat},
                               {5, kLinearReset},
                               {6, kScale}})
      .line("LoadObjectLayer 1" + id("10000001") + " Objects\\rig.lwo")
      .line("ShowObject 6 7")
      .line("ParentItem 10000000")
      .line("PivotPosition 0.5 0 -0.25")
      .line("PivotRotation 0 0 0")
      .plugin("DisplacementHandler", 1, "Tarrow_plus", kFirstState)
      .plugin("DisplacementHandler", 2, "Tarrow_plus", kSecondState)
      .line("LoadObjectLayer 2" + id("10000002") + " Objects/rig.lwo")
      .line("ParentItem 10000001")
      .line("AddLight" + id("20000000"))
      .line("LightName \"Key Light\"")
      .motion("LightMotion", {{1, {{{4.0, 0.0, 3, {}}}}}})
      .line("AddCamera" + id("30000000"))
      .line("CameraName Cam");
  return lws.str();
}

class LwsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("tarrow-lws-file-" + uniqueSuffix());
    std::filesystem::create_directories(folder_ / "Objects");
    std::filesystem::create_directories(folder_ / "Scenes");
    write("Objects/rig.lwo", lightwave_files::lwo2(rigLayers()));
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::filesystem::path write(const std::string& name, const std::string& text) {
    const auto file = folder_ / name;
    std::ofstream(file, std::ios::binary) << text;
    if (const char* seeds = std::getenv("TARROW_LWS_SEEDS"); seeds != nullptr) {
      const auto seed =
          std::filesystem::path(seeds) / (std::to_string(seedCount_++) + "-" + file.filename().string());
      std::ofstream(seed, std::ios::binary) << text;
    }
    return file;
  }

  std::filesystem::path folder_;
  static inline int seedCount_ = 0;
};

void expectCurve(const Envelope& read, const Curve& written) {
  ASSERT_EQ(read.keys.size(), written.keys.size());
  for (size_t k = 0; k < read.keys.size(); ++k) {
    EXPECT_EQ(read.keys[k].value, written.keys[k].value);
    EXPECT_EQ(read.keys[k].time, written.keys[k].time);
    EXPECT_EQ(static_cast<int>(read.keys[k].span), written.keys[k].span);
    EXPECT_EQ(read.keys[k].params, written.keys[k].params);
  }
  EXPECT_EQ(static_cast<int>(read.pre), written.pre);
  EXPECT_EQ(static_cast<int>(read.post), written.post);
}

TEST_F(LwsFileTest, ReadsItemsCurvesParentsPivotsObjectsAndDeformersInEveryVersionAndLineEnd) {
  for (const auto& [version, crlf] : {std::pair{5, false}, {5, true}, {4, false}, {3, true}}) {
    SCOPED_TRACE("version " + std::to_string(version) + (crlf ? " CR LF" : " LF"));
    // Known by its content, whatever its name; its object found through the default content
    // directory, the scene folder's parent.
    const auto file = write(version == 4 ? "Scenes/rig.json" : "Scenes/rig.lws", rigScene(version, crlf));
    const Scene scene = loadScene(file);
    EXPECT_EQ(scene.fps, 24.0);
    EXPECT_EQ(scene.firstFrame, 1);
    EXPECT_EQ(scene.lastFrame, 60);
    EXPECT_TRUE(scene.warnings.empty());
    ASSERT_EQ(scene.items.size(), 5u);
    std::vector<std::string> names;
    std::vector<int> parents;
    for (const SceneItem& item : scene.items) {
      names.push_back(item.name);
      parents.push_back(item.parent);
    }
    EXPECT_THAT(names, ElementsAre("Root", "rig-1", "rig-2", "Key Light", "Cam"));
    EXPECT_THAT(parents, ElementsAre(-1, 0, 1, -1, -1));
    EXPECT_EQ(scene.items[3].type, LWI_LIGHT);
    EXPECT_EQ(scene.items[4].type, LWI_CAMERA);
    EXPECT_EQ(scene.renderCamera, 4);
    EXPECT_EQ(scene.items[0].place, "line 12");

    const SceneItem& root = scene.items[0];
    EXPECT_TRUE(root.points.empty());
    EXPECT_EQ(root.pivot, (Vec3{0, 0, 0}));
    const Curve* curves[] = {&kEverySpan,      &kRepeatOscillate, &kOffsetConstant, &kOscillateOffset,
                             &kConstantRepeat, &kLinearReset,     &kScale};
    for (size_t channel = 0; channel < 7; ++channel) expectCurve(root.channels[channel], *curves[channel]);
    // Channels not listed: scale 1.
    for (size_t channel : {kScaleY, kScaleZ})
      expectCurve(root.channels[channel], {{{1.0, 0.0, 0, {}}}, 1, 1});
    const SceneItem& light = scene.items[3];
    EXPECT_TRUE(light.channels[kPositionX].keys.empty());
    expectCurve(light.channels[kPositionY], {{{4.0, 0.0, 3, {}}}, 1, 1});

    const SceneItem& body = scene.items[1];
    EXPECT_EQ(body.pivot, (Vec3{0.5, 0, -0.25}));
    ASSERT_EQ(body.points.size(), 4u);
    EXPECT_EQ(body.points[3], (Vec3{0.1f, 0.2f, 0.3f}));
    EXPECT_THAT(body.polygons, ElementsAre(ElementsAre(0, 1, 2)));
    ASSERT_EQ(body.weightMaps.size(), 1u);
    EXPECT_EQ(body.weightMaps[0].name, "Tip");
    EXPECT_THAT(body.weightMaps[0].values, ElementsAre(0.5f, std::nullopt, 1.0f, 0.25f));
    ASSERT_EQ(body.deformers.size(), 2u);
    EXPECT_EQ(body.deformers[0].server, "Tarrow_plus");
    EXPECT_EQ(body.deformers[0].state, kFirstState);
    EXPECT_EQ(body.deformers[1].state, kSecondState);
    EXPECT_THAT(body.deformers[0].place, StartsWith("line "));
    EXPECT_NE(body.deformers[0].place, body.deformers[1].place);

    const SceneItem& tail = scene.items[2];
    EXPECT_EQ(tail.pivot, (Vec3{0, 0, -1}));
    EXPECT_EQ(tail.points.size(), 3u);
    EXPECT_TRUE(tail.deformers.empty());
  }
}

TEST_F(LwsFileTest, FindsObjectsAsWrittenBesideTheSceneAndInContentDirectories) {
  std::filesystem::create_directories(folder_ / "content" / "Objects");
  std::filesystem::create_directories(folder_ / "Scenes" / "Objects");
  const Layer single = rigLayers()[0];
  write("content/Objects/far.lwo", lightwave_files::lwo2({single}));
  write("Scenes/Objects/near.lwo", lightwave_files::lwo2({single}));
  const auto sceneFor = [&](const std::string& path) {
    return write("Scenes/find.lws", Lws().frames(0, 1, 30).line("LoadObjectLayer 1 10000000 " + path).str());
  };
  const std::filesystem::path absolute = folder_ / "Objects" / "rig.lwo";
  EXPECT_EQ(loadScene(sceneFor(absolute.string())).items[0].points.size(), 4u);
  EXPECT_EQ(loadScene(sceneFor("Objects\\near.lwo")).items[0].name, "near");
  EXPECT_EQ(loadScene(sceneFor("Objects/far.lwo"), {folder_ / "content"}).items[0].name, "far");

  // Not in the content directory given, nor anywhere else: one line naming every place tried.
  const std::filesystem::path scene = sceneFor("Objects/far.lwo");
  try {
    loadScene(scene, {folder_ / "elsewhere"});
    ADD_FAILURE() << "accepted";
  } catch (const SceneError& error) {
    const std::string message = error.what();
    EXPECT_THAT(message, StartsWith(scene.string() + ": line 7: "));
    EXPECT_THAT(message,
                HasSubstr("Objects/far.lwo is not found; tried " +
                          std::filesystem::path("Objects/far.lwo").lexically_normal().string() + ", "));
    EXPECT_THAT(message, HasSubstr((folder_ / "Scenes" / "Objects" / "far.lwo").string()));
    EXPECT_THAT(message, HasSubstr((folder_ / "elsewhere" / "Objects" / "far.lwo").string()));
    EXPECT_EQ(message.find('\n'), std::string::npos);
  }
}

TEST_F(LwsFileTest, WarnsOnceALineOfWhatItDoesNotEvaluateAndReadsOn) {
  const auto file =
      write("Scenes/warned.lws", Lws()
                                     .frames(0, 10, 30)
                                     .line("LoadObjectLayer 1 10000000 Objects/rig.lwo")
                                     .motion("ObjectMotion", {{0, {{{1.0, 0.0, 3, {}}}}}})
                                     .plugin("DisplacementHandler", 1, "LW_Morph", "Level 1")
                                     .plugin("ItemMotionHandler", 1, "LW_Jolt", "")
                                     .plugin("DisplacementHandler", 2, "Tarrow_plus", kFirstState)
                                     .line("AddBone 40000000")
                                     .line("BoneName Bone")
                                     .motion("BoneMotion", {{0, {{{9.0, 0.0, 3, {}}}}}})
                                     .line("ParentItem 10000000")
                                     .plugin("ChannelHandler", 1, "LW_Expression", "")
                                     .line("AddBone 40010000")
                                     .line("AddNullObject 10000001 Null")
                                     .line("ParentItem 40000000")
                                     .str());
  const Scene scene = loadScene(file);
  ASSERT_EQ(scene.warnings.size(), 5u);
  const std::string at = file.string() + ": line ";
  EXPECT_THAT(scene.warnings[0], StartsWith(at + "16: the displacement \"LW_Morph\" on \"rig\""));
  EXPECT_THAT(scene.warnings[1], StartsWith(at + "19: the motion modifier \"LW_Jolt\" on \"rig\""));
  EXPECT_THAT(scene.warnings[2], StartsWith(at + "24: the bones of \"rig\""));
  EXPECT_THAT(scene.warnings[2], HasSubstr("points stay rigid"));
  EXPECT_THAT(scene.warnings[3],
              StartsWith(at + "35: the channel modifier \"LW_Expression\" on a bone of \"rig\""));
  EXPECT_THAT(scene.warnings[4], StartsWith(at + "39: the parent 40000000 is a bone"));
  // The bone's curve and parent are not the object's; the null follows the bone's object.
  expectCurve(scene.items[0].channels[kPositionX], {{{1.0, 0.0, 3, {}}}, 1, 1});
  EXPECT_EQ(scene.items[0].parent, -1);
  EXPECT_EQ(scene.items[1].parent, 0);
  ASSERT_EQ(scene.items[0].deformers.size(), 1u);
  EXPECT_EQ(scene.items[0].deformers[0].state, kFirstState);
}

TEST_F(LwsFileTest, RefusesBadInputInOneLineNamingTheLine) {
  // A valid scene whose envelope (lines 10 on: the key count, the keys) and what follows its close
  // (line 14 on) each case changes.
  const auto scene = [](const std::string& keys, const std::string& tail = "",
                        const std::string& version = "5") {
    return "LWSC\n" + version +
           "\nFirstFrame 0\nLastFrame 10\nFramesPerSecond 30\nAddNullObject 10000000 A\n" +
           "NumChannels 1\nChannel 0\n{ Envelope\n" + keys + "\n  Behaviors 1 1\n}\n" + tail;
  };
  const auto edited = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  const std::string key = "  1\n  Key 0 0 3 0 0 0 0 0 0";
  const std::string good = scene(key);
  write("Objects/bad.lwo", "FORM\x00\x00\x00\x20LWO2PNTS"s);
  struct Case {
    const char* what;
    std::string text;
    int line;
    const char* message;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {"LightWave 5 scene", scene(key, "", "2"), 2, "LightWave 5"},
      {"unknown version", scene(key, "", "6"), 2, "expected scene format version 3, 4 or 5, not 6"},
      {"no version", "LWSC\n", 1, "expected the scene format's version"},
      {"keys out of time order", scene("  2\n  Key 0 1 3 0 0 0 0 0 0\n  Key 0 0 3 0 0 0 0 0 0"), 12, "increasing time: 0 after 1"},
      {"NaN value", scene("  1\n  Key nan 0 3 0 0 0 0 0 0"), 11, "a key's value nan is out of bounds"},
      {"infinite time", scene("  1\n  Key 0 inf 3 0 0 0 0 0 0"), 11, "a key's time inf is out of bounds"},
      {"unknown span type", scene("  1\n  Key 0 0 6 0 0 0 0 0 0"), 11, "span type from 0 to 5"},
      {"missing parameters", scene("  1\n  Key 0 0 3 0 0"), 11, "expected a key parameter (a number), not \"\""},
      {"unknown behaviour", edited(good, "Behaviors 1 1", "Behaviors 1 6"), 12, "behaviour from 0 to 5"},
      {"parent missing", scene(key, "ParentItem 10000004\n"), 14, "the parent 10000004 is no item of the scene"},
      {"parents in a loop", scene(key, "ParentItem 10000001\nAddNullObject 10000001 B\nParentItem 10000000\n"), 14, "form a loop"},
      {"fewer channels than declared", edited(good, "NumChannels 1", "NumChannels 3"), 7, "NumChannels declares 3 channels, but 1 follow"},
      {"a channel past the last", edited(good, "Channel 0", "Channel 9"), 8, "channel from 0 to 8"},
      {"a huge key count", scene("  2000000000\n  Key 0 0 3 0 0 0 0 0 0"), 9, "declares 2000000000 keys, but 1 follow"},
      {"more keys than declared", scene(key + "\n  Key 1 1 3 0 0 0 0 0 0"), 12, "more keys than the 1"},
      {"envelope never closed", good.substr(0, good.find('}')), 9, "never closed by }"},
      {"unknown block never closed", scene(key, "{ Graph\n  { Inner\n  }\n"), 14, "the block Graph is never closed"},
      {"plug-in never closed", scene(key, "Plugin DisplacementHandler 1 Tarrow_plus\n{ LagRate 1 }\n"), 14, "never closed by EndPlugin"},
      {"a } closing nothing", scene(key, "}\n"), 14, "a } that closes no block"},
      {"pivot rotation", scene(key, "PivotRotation 0 0.5 0\n"), 14, "pivot rotation other than 0 0 0"},
      {"an id out of order", scene(key, "AddNullObject 10000003 B\n"), 14, "expected the id 10000001"},
      {"two items of one name", scene(key, "AddNullObject 10000001 A\n"), 14, "already named \"A\""},
      {"range backwards", edited(good, "LastFrame 10", "LastFrame -1"), 4, "the last frame comes before the first"},
      {"no frame rate", edited(good, "FramesPerSecond 30", "Frames 30"), 13, "expected FramesPerSecond"},
      {"a layer the object lacks", scene(key, "LoadObjectLayer 3 10000001 Objects/rig.lwo\n"), 14, "Objects/rig.lwo has no layer 3"},
      {"a zero scale", edited(good, "Channel 0", "Channel 7"), 11, "a scale key of 0"},
      {"a scale that resets", edited(edited(good, "Channel 0", "Channel 6"), "Key 0 0", "Key 1 0").replace(good.find("Behaviors 1 1"), 13, "Behaviors 0 1"), 12, "a scale channel cannot reset"},
      {"a broken object file", scene(key, "LoadObjectLayer 1 10000001 Objects/bad.lwo\n"), 14, "bad.lwo: byte "},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto file = write("bad.lws", c.text);
    try {
      loadScene(file);
      ADD_FAILURE() << "accepted";
    } catch (const SceneError& error) {
      const std::string message = error.what();
      EXPECT_THAT(message, StartsWith(file.string() + ": line " + std::to_string(c.line) + ": "));
      EXPECT_THAT(message, HasSubstr(c.message));
      EXPECT_EQ(message.find('\n'), std::string::npos) << "one line";
    }
  }
}

// The states go back where they were read, line ends as the file's; every other byte stays.
TEST_F(LwsFileTest, WritesTheStatesBackInPlaceAndEveryOtherLineAsRead) {
  for (bool crlf : {false, true}) {
    const std::string text = rigScene(5, crlf);
    const auto file = write("Scenes/rig.lws", text);
    const Scene scene = loadScene(file);
    const auto& deformers = scene.items[1].deformers;
    const std::string saved = lwsWithStates(scene, {&deformers[1], &deformers[0]}, {"{ B 2 }\n", ""});
    std::string expected = text;
    const std::string end = crlf ? "\r\n" : "\n";
    auto replace = [&](std::string state, const std::string& with) {
      for (size_t at = 0; (at = state.find('\n', at)) != std::string::npos; at += end.size())
        state.replace(at, 1, end);
      expected.replace(expected.find(state), state.size(), with);
    };
    replace(kFirstState, "");
    replace(kSecondState, "{ B 2 }" + end);
    EXPECT_EQ(saved, expected);
    const Scene again = loadScene(write("Scenes/again.lws", saved));
    EXPECT_EQ(again.items[1].deformers[0].state, "");
    EXPECT_EQ(again.items[1].deformers[1].state, "{ B 2 }\n");
  }
}

}  // namespace
}  // namespace tarrow::host
