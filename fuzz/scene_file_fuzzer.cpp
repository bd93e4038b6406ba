// Feeds arbitrary text to the scene reader as a scene file, with a mesh file beside it, as
// `tarrow-host run` reads them. The input is the scene's JSON, then optionally a line
// "=== mesh.obj ===" and the OBJ text that an item's "mesh": "mesh.obj" names.
//
// A scene the reader refuses must be refused with one line naming the file. A scene it takes
// must hold what the reader promises (points, polygons, weights and parents that fit), and
// when it is small it is run through the module for a few frames and saved back: the saved
// scene must run to the same OBJ text and save to the same text again.
//
// The module file is loaded once for the whole run, and every scene runs on it as Layout runs
// scene after scene. So that no input sees what an earlier one left in the module, a probe
// scene that touches every setting runs after every kProbeEvery-th input that reached the
// module, and must run and save as it did on the freshly loaded module. (After each one it
// would cost a third of such an input's run; a leftover stays in the module, so it is still
// found, and the inputs kept in the corpus before it name the suspects.)
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_files.h"
#include "host/loader/module_loader.h"
#include "host/run/obj_writer.h"
#include "host/run/scene_save.h"
#include "host/run/session.h"
#include "host/scene/scene_file.h"
#include "host/scene/scene_mesh.h"

namespace {

using namespace tarrow::host;
using namespace tarrow::fuzz;

constexpr std::string_view kMeshMarker = "\n=== mesh.obj ===\n";
// Past these a scene is only read, not run: each run makes two sessions and evaluates six frames.
constexpr size_t kMostPointsRun = 256;
constexpr size_t kMostDeformersRun = 8;
constexpr unsigned int kProbeEvery = 8;

// The reader reads any mesh path it is given; the fuzzer keeps it to files in its own folder.
bool meshesStayInTheFolder(std::string_view text) {
  const nlohmann::ordered_json document = nlohmann::ordered_json::parse(text, nullptr, false);
  if (document.is_discarded() || !document.is_object() || !document.contains("items") ||
      !document["items"].is_array()) {
    return true;
  }
  for (const auto& item : document["items"]) {
    if (!item.is_object() || !item.contains("mesh") || !item["mesh"].is_string()) continue;
    const std::string& mesh = item["mesh"].get_ref<const std::string&>();
    if (mesh.find_first_of("/\\") != std::string::npos || mesh.find('\0') != std::string::npos) return false;
  }
  return true;
}

void requireOneLine(const std::string& message, const std::string& startsWith) {
  require(message.find('\n') == std::string::npos, "an error of more than one line");
  require(message.rfind(startsWith, 0) == 0, "an error that does not name the file");
}

// What the reader promises of a scene it takes.
void checkScene(const Scene& scene) {
  require(std::isfinite(scene.fps) && scene.fps > 0, "fps");
  require(scene.firstFrame <= scene.lastFrame, "frame range");
  const int count = static_cast<int>(scene.items.size());
  std::vector<PreparedChannels> curves;
  for (const SceneItem& item : scene.items) curves.emplace_back(item.channels);
  require(scene.renderCamera == -1 || (scene.renderCamera >= 0 && scene.renderCamera < count &&
                                       scene.items[scene.renderCamera].type == LWI_CAMERA),
          "render camera");
  for (int i = 0; i < count; ++i) {
    const SceneItem& item = scene.items[static_cast<size_t>(i)];
    require(scene.indexOf(scene.idOf(i)) == i, "item ids");
    int steps = 0;
    for (int up = item.parent; up != -1; up = scene.items[static_cast<size_t>(up)].parent) {
      require(up >= 0 && up < count && ++steps <= count, "parents");
    }
    for (const Envelope& channel : item.channels) {
      for (size_t k = 1; k < channel.keys.size(); ++k)
        require(channel.keys[k].time > channel.keys[k - 1].time, "key order");
    }
    for (const Vec3& point : item.points) {
      for (double c : point) require(std::isfinite(c), "a point that is not finite");
    }
    for (const auto& polygon : item.polygons) {
      require(polygon.size() >= 3, "a polygon of fewer than three points");
      for (int index : polygon)
        require(index >= 0 && static_cast<size_t>(index) < item.points.size(), "polygon index");
    }
    for (const WeightMap& map : item.weightMaps) {
      require(!map.name.empty() && map.values.size() == item.points.size(), "weight map size");
    }
    for (const DeformerSpec& deformer : item.deformers) require(!deformer.server.empty(), "server named");
    // Frames over the whole range and beyond its ends, parents included, are computed without a
    // fault, and the same to the bit through tangents worked out beforehand.
    for (double time :
         {scene.firstFrame / scene.fps - 1.5, scene.firstFrame / scene.fps,
          (scene.firstFrame + scene.lastFrame) / (2.0 * scene.fps), scene.lastFrame / scene.fps + 7.25}) {
      const ItemFrame direct = scene.frameAt(i, time);
      const ItemFrame prepared = scene.frameAt(i, time, &curves);
      require(std::memcmp(&direct.own, &prepared.own, sizeof direct.own) == 0 &&
                  std::memcmp(&direct.world, &prepared.world, sizeof direct.world) == 0,
              "prepared curves give another frame");
    }
  }
  scene.weightMapNames();
}

// Every deformed object's OBJ text at the first, middle and last frame.
std::string framesOf(Session& session) {
  const Scene& scene = session.scene();
  const int first = scene.firstFrame;
  const int last = scene.lastFrame;
  const int middle = static_cast<int>((static_cast<long long>(first) + last) / 2);
  std::string text;
  FramePoints points;
  for (int frame : {first, middle, last}) {
    session.evaluateFrame(frame, points);
    for (size_t k = 0; k < points.size(); ++k) {
      appendObj(text, points[k],
                scene.items[static_cast<size_t>(session.deformedObjects()[k].item)].polygons);
    }
  }
  return text;
}

bool smallEnoughToRun(const Scene& scene) {
  size_t points = 0;
  size_t deformers = 0;
  for (const SceneItem& item : scene.items) {
    if (item.deformers.empty()) continue;
    points += item.points.size();
    deformers += item.deformers.size();
  }
  return deformers > 0 && points <= kMostPointsRun && deformers <= kMostDeformersRun;
}

const std::shared_ptr<LoadedModule>& module() {
  static const std::shared_ptr<LoadedModule> loaded = LoadedModule::openFresh(defaultModulePath());
  return loaded;
}

// What a scene gives through the module: frames, then the scene saved back; empty for a scene
// the module or host refused.
struct Run {
  std::string frames;
  std::string saved;
};

Run runAndSave(const Scene& scene, const std::filesystem::path& savedFile) {
  try {
    Session session(scene, {{}, 1, LANGID_USENGLISH, module()});
    Run run;
    run.frames = framesOf(session);
    run.saved = savedSceneText(session, savedFile);
    return run;
  } catch (const std::runtime_error& error) {
    // Refused: a state, network or panel setting the module or host cannot take, or a frame the
    // module reports an error for. Said in one line, like every refusal.
    require(std::string(error.what()).find('\n') == std::string::npos, "an error of more than one line");
    return {};
  }
}

// The scene through the module, saved, and the saved scene through the module again.
void runAndSaveBack(const Scene& scene) {
  const std::filesystem::path savedFile = scratch() / "saved.json";
  const Run first = runAndSave(scene, savedFile);
  if (first.saved.empty()) return;
  const Scene again = parseScene(first.saved, savedFile);
  const Run second = runAndSave(again, savedFile);
  require(second.frames == first.frames, "the saved scene runs to other frames");
  require(second.saved == first.saved, "the saved scene saves to another text");
}

// Two deformers on a strand: one set through its panel (lag rate, a pivot item in parent
// coordinates, a weight map), one with its weight from a node network.
constexpr const char* kProbe = R"json({"fps": 10, "frames": [0, 8], "items": [
  {"name": "Strand", "type": "object",
   "motion": [{"time": 0, "position": [0, 0, 0]}, {"time": 0.8, "position": [2, 0, 0], "rotation": [90, 0, 0]}],
   "points": [[0, 0, 0], [0, 0, -1], [0, 0, -2]], "polygons": [[0, 1, 2]],
   "weightMaps": {"Fade": [1, 0.75, 0.5]},
   "deformers": [
     {"server": "Tarrow_plus", "panel": {"Lag Rate (s/m)": 0.3, "Tarrow Pivot Object": "Handle",
                                         "0x8005": true, "Weight Map": "Fade"}},
     {"server": "Tarrow_plus", "state": "{ LagRate 0.2 }", "nodes": {
       "nodes": [{"id": "spot", "type": "SpotInfo"}, {"id": "d", "type": "Math", "op": "length"}],
       "connections": [{"from": "spot.oPos", "to": "d.a"}, {"from": "d", "to": "Weight"}]}}]},
  {"name": "Handle", "type": "object", "parent": "Strand",
   "motion": [{"time": 0, "position": [0, 1, 0]}, {"time": 0.8, "position": [0, 3, -1]}]}]})json";

// The probe on the module as it is now.
Run probe() {
  static const Scene scene = parseScene(kProbe, "probe.json");
  return runAndSave(scene, scratch() / "probe-saved.json");
}

// The probe on the freshly loaded module, before any input.
const Run& freshProbe() {
  static const Run run = [] {
    Run made = probe();
    require(!made.saved.empty(), "the probe scene is refused");
    return made;
  }();
  return run;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Every run below would be refused without the module; that must not pass for a clean run.
  freshProbe();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t marker = input.find(kMeshMarker);
  const std::string_view sceneText = input.substr(0, marker);
  const std::filesystem::path meshFile = scratch() / "mesh.obj";
  std::error_code ignored;
  if (marker == std::string_view::npos) {
    std::filesystem::remove(meshFile, ignored);
  } else {
    const std::string_view meshText = input.substr(marker + kMeshMarker.size());
    writeFile(meshFile, meshText);
    // The mesh reader on its own: one-line errors naming the mesh, or faces that fit.
    try {
      const ObjMesh mesh = parseObj(meshText, "mesh.obj");
      for (const auto& polygon : mesh.polygons) {
        require(polygon.size() >= 3, "a face of fewer than three points");
        for (int index : polygon)
          require(index >= 0 && static_cast<size_t>(index) < mesh.points.size(), "face index");
      }
    } catch (const ObjError& error) {
      requireOneLine(error.what(), "mesh.obj line ");
    }
  }
  if (!meshesStayInTheFolder(sceneText)) return -1;  // not kept in the corpus

  const std::filesystem::path sceneFile = scratch() / "scene.json";
  Scene scene;
  try {
    scene = parseScene(sceneText, sceneFile);
  } catch (const SceneError& error) {
    requireOneLine(error.what(), sceneFile.string() + ": ");
    return 0;
  }
  checkScene(scene);
  if (smallEnoughToRun(scene)) {
    runAndSaveBack(scene);
    static unsigned int ran = 0;
    if (++ran % kProbeEvery == 0) {
      const Run now = probe();
      require(now.frames == freshProbe().frames && now.saved == freshProbe().saved,
              "the probe scene runs otherwise after this input");
    }
  }
  return 0;
}
