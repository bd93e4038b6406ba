// The bundled examples as LightWave scenes: each examples/NAME.lws (its objects in
// examples/Objects/) is what tests/fixtures/lightwave_files.h writes from its JSON twin, with the
// states the module saves, and gives the twin's items, points and motion. Running TARROW_WRITE_EXAMPLES=1
// tarrow_integration_tests --gtest_filter='LightWaveExamples*' writes them again.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>

#include "host/loader/module_loader.h"
#include "host/panel/panel_run.h"
#include "host/run/scene_run.h"
#include "host/run/session.h"
#include "host/scene/scene_file.h"
#include "scratch_folder_test.h"
#include "tests/fixtures/lightwave_files.h"

namespace tarrow::integration {
namespace {

using host::lightwave_files::Curve;
using host::lightwave_files::Layer;
using host::lightwave_files::Lws;

constexpr const char* kExamples[] = {"tail", "body-tail", "gradient", "rope", "turned-body", "car-local"};

std::filesystem::path sourceDir() {
  const char* dir = std::getenv("TARROW_SOURCE_DIR");
  return dir != nullptr ? std::filesystem::path(dir) : std::filesystem::current_path();
}

std::string hexId(LWItemID id) {
  char text[16];
  std::snprintf(text, sizeof text, "%08llX",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(id)));
  return text;
}

// A JSON item's keys as nine curves of linear spans, the rotation in radians; no curves for an
// item without keys.
std::map<int, Curve> curvesOf(const nlohmann::ordered_json& motion) {
  std::map<int, Curve> curves;
  for (const auto& key : motion) {
    const double time = key["time"].get<double>();
    for (int axis = 0; axis < 3; ++axis) {
      const double position = key.contains("position") ? key["position"][axis].get<double>() : 0.0;
      const double degrees = key.contains("rotation") ? key["rotation"][axis].get<double>() : 0.0;
      const double scale = key.contains("scale") ? key["scale"][axis].get<double>() : 1.0;
      curves[axis].keys.push_back({position, time, 3, {}});
      curves[3 + axis].keys.push_back({degrees * host::kRadiansPerDegree, time, 3, {}});
      curves[6 + axis].keys.push_back({scale, time, 3, {}});
    }
  }
  return curves;
}

struct Twin {
  std::string scene;
  std::map<std::string, std::string> objects;  // path under examples/Objects/: bytes
};

// The LightWave twin of a JSON example: its items in its order, objects with points in object
// files of one layer (Objects/EXAMPLE/NAME.lwo, since Layout names objects after their files), the
// others nulls, each deformer with the state the module saves for it.
Twin twinOf(const std::filesystem::path& jsonFile) {
  const std::string example = jsonFile.stem().string();
  const host::Scene scene = host::loadScene(jsonFile);
  host::Session session(scene, {host::defaultModulePath(), 1});
  std::map<const host::DeformerSpec*, std::string> states;
  for (size_t k = 0; k < session.deformedObjects().size(); ++k) {
    for (size_t d = 0; d < session.deformedObjects()[k].deformers.size(); ++d)
      states[session.deformedObjects()[k].deformers[d]] = session.savedState(k, d);
  }
  Twin twin;
  Lws lws(5, true);
  lws.frames(scene.firstFrame, scene.lastFrame, scene.fps);
  for (size_t i = 0; i < scene.items.size(); ++i) {
    const host::SceneItem& item = scene.items[i];
    const auto& entry = scene.document["items"][i];
    const std::string id = hexId(scene.idOf(static_cast<int>(i)));
    const std::map<int, Curve> curves =
        curvesOf(entry.contains("motion") ? entry["motion"] : nlohmann::ordered_json::array());
    if (item.type == LWI_OBJECT && item.points.empty()) {
      lws.line("AddNullObject " + id + " " + item.name);
    } else if (item.type == LWI_OBJECT) {
      lws.line("LoadObjectLayer 1 " + id + " Objects/" + example + "/" + item.name + ".lwo");
      Layer layer{0, {0, 0, 0}, item.name, item.points, item.polygons, {}};
      for (const host::WeightMap& map : item.weightMaps) layer.weights[map.name] = map.values;
      twin.objects[example + "/" + item.name + ".lwo"] = host::lightwave_files::lwo2({layer});
    } else {
      const bool light = item.type == LWI_LIGHT;
      lws.line((light ? "AddLight " : "AddCamera ") + id)
          .line((light ? "LightName " : "CameraName ") + item.name);
    }
    if (!curves.empty()) {
      lws.motion(item.type == LWI_LIGHT    ? "LightMotion"
                 : item.type == LWI_CAMERA ? "CameraMotion"
                                           : "ObjectMotion",
                 curves);
    }
    if (item.parent >= 0) lws.line("ParentItem " + hexId(scene.idOf(item.parent)));
    for (size_t d = 0; d < item.deformers.size(); ++d)
      lws.plugin("DisplacementHandler", static_cast<int>(d) + 1, "Tarrow_plus",
                 states.at(&item.deformers[d]));
  }
  twin.scene = lws.str();
  return twin;
}

class LightWaveExamplesTest : public ScratchFolderTest {};

TEST_F(LightWaveExamplesTest, AreTheTwinsOfTheJsonExamples) {
  const bool rewrite = std::getenv("TARROW_WRITE_EXAMPLES") != nullptr;
  const std::filesystem::path examples = sourceDir() / "examples";
  for (const char* name : kExamples) {
    SCOPED_TRACE(name);
    const Twin twin = twinOf(examples / (std::string(name) + ".json"));
    if (rewrite) {
      std::filesystem::create_directories(examples / "Objects" / name);
      std::ofstream(examples / (std::string(name) + ".lws"), std::ios::binary) << twin.scene;
      for (const auto& [file, bytes] : twin.objects)
        std::ofstream(examples / "Objects" / file, std::ios::binary) << bytes;
    }
    EXPECT_EQ(read(examples / (std::string(name) + ".lws")), twin.scene)
        << "write it again (see the top of this file)";
    for (const auto& [file, bytes] : twin.objects)
      EXPECT_EQ(read(examples / "Objects" / file), bytes) << file;
  }
}

// The same items, points (as the object file's floats hold them), weights, states and motion at
// every frame and between frames; the curves are linear spans held before and after, as the JSON keys.
// Disabled until the host evaluates the curves (Envelope::valueAt): it passes with them.
TEST_F(LightWaveExamplesTest, GiveTheMotionOfTheirJsonTwins) {
  for (const char* name : kExamples) {
    SCOPED_TRACE(name);
    const host::Scene json = host::loadScene(sourceDir() / "examples" / (std::string(name) + ".json"));
    const host::Scene lws = host::loadScene(sourceDir() / "examples" / (std::string(name) + ".lws"));
    EXPECT_TRUE(lws.warnings.empty());
    EXPECT_EQ(lws.fps, json.fps);
    EXPECT_EQ(lws.firstFrame, json.firstFrame);
    EXPECT_EQ(lws.lastFrame, json.lastFrame);
    EXPECT_EQ(lws.renderCamera, json.renderCamera);
    ASSERT_EQ(lws.items.size(), json.items.size());
    for (size_t i = 0; i < json.items.size(); ++i) {
      const host::SceneItem& a = json.items[i];
      const host::SceneItem& b = lws.items[i];
      EXPECT_EQ(b.name, a.name);
      EXPECT_EQ(b.type, a.type);
      EXPECT_EQ(b.parent, a.parent);
      EXPECT_EQ(b.polygons, a.polygons);
      ASSERT_EQ(b.points.size(), a.points.size());
      for (size_t p = 0; p < a.points.size(); ++p) {
        for (int c = 0; c < 3; ++c) EXPECT_EQ(b.points[p][c], static_cast<float>(a.points[p][c]));
      }
      ASSERT_EQ(b.weightMaps.size(), a.weightMaps.size());
      for (size_t m = 0; m < a.weightMaps.size(); ++m) {
        EXPECT_EQ(b.weightMaps[m].name, a.weightMaps[m].name);
        EXPECT_EQ(b.weightMaps[m].values, a.weightMaps[m].values);
      }
      EXPECT_EQ(b.deformers.size(), a.deformers.size());
      for (int step = 2 * json.firstFrame - 2; step <= 2 * json.lastFrame + 2; ++step) {
        const double time = step / 2.0 / json.fps;
        const host::Placement pa = json.worldPlacement(static_cast<int>(i), time);
        const host::Placement pb = lws.worldPlacement(static_cast<int>(i), time);
        for (int r = 0; r < 3; ++r) {
          EXPECT_NEAR(pb.position[r], pa.position[r], 1e-12) << "at " << time << " s";
          for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(pb.axes.rows[r][c], pa.axes.rows[r][c], 1e-12) << "at " << time << " s";
        }
      }
    }
  }
}

// An .lws scene run with --save-scene, its panel edited and saved: the scene saved unedited is
// the file as read and runs to the same frames, and both saved scenes, found through the content
// directory from another folder, save to themselves again.
TEST_F(LightWaveExamplesTest, SavedScenesRunToTheSameFrames) {
  const std::filesystem::path examples = sourceDir() / "examples";
  host::RunOptions options;
  options.scene = examples / "tail.lws";
  options.outDir = folder_ / "first";
  options.saveScene = folder_ / "saved.lws";
  options.picture = false;
  options.frames = {{20, 26}};
  host::runScene(options);
  EXPECT_EQ(read(folder_ / "saved.lws"), read(examples / "tail.lws"));

  host::PanelOptions panel;
  panel.scene = examples / "tail.lws";
  panel.object = "Tail";
  panel.sets = {"Lag Rate (s/m)=0.3"};
  panel.saveScene = folder_ / "edited.lws";
  host::runPanel(panel);
  const std::string edited = read(folder_ / "edited.lws");
  // Every line as read but the edited one.
  std::string expected = read(examples / "tail.lws");
  expected.replace(expected.find("{ LagRate 0.1 }\r\n"), 17, "{ LagRate 0.3 }\r\n");
  EXPECT_EQ(edited, expected);

  for (const char* saved : {"saved.lws", "edited.lws"}) {
    host::RunOptions again = options;
    again.scene = folder_ / saved;
    again.contentDirs = {examples};
    again.outDir = folder_ / (std::string(saved) + "-out");
    again.saveScene = folder_ / (std::string("again-") + saved);
    host::runScene(again);
    EXPECT_EQ(read(folder_ / (std::string("again-") + saved)), read(folder_ / saved));
    if (std::string(saved) != "saved.lws") continue;
    for (int frame = 20; frame <= 26; ++frame) {
      const std::string file = host::frameFileName("Tail", frame);
      EXPECT_EQ(read(again.outDir / file), read(options.outDir / file)) << file;
    }
  }
}

}  // namespace
}  // namespace tarrow::integration
