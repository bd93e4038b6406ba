// Feeds arbitrary text to the .lws scene reader, with an object file beside it, as `tarrow-host run`
// reads them. The input is the scene's text, then optionally a line "=== object.lwo ===" and the
// bytes of the object file that `LoadObjectLayer 1 10000000 object.lwo` loads.
//
// A scene the reader refuses must be refused with one line naming the file and a line of it. A
// scene it takes must hold what the reader promises (curves in time order with known span types
// and behaviours and finite values, parents without loops, names that differ, points, polygons
// and weights that fit), and written back with each deformer's own state it must read the same
// (and be the input byte for byte where its lines end in LF alone).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz/fuzz_files.h"
#include "host/scene/lws_file.h"
#include "host/scene/scene_file.h"

namespace {

using namespace tarrow::host;
using namespace tarrow::fuzz;

constexpr std::string_view kObjectMarker = "\n=== object.lwo ===\n";

// The reader reads any object path it is given; the fuzzer keeps it to files in its own folder.
bool objectsStayInTheFolder(std::string_view text) {
  for (size_t at = text.find("LoadObjectLayer"); at != std::string_view::npos;
       at = text.find("LoadObjectLayer", at + 1)) {
    const std::string_view line = text.substr(at, text.find('\n', at) - at);
    if (line.find_first_of("/\\:") != std::string_view::npos) return false;
  }
  return true;
}

void checkCurve(const Envelope& curve) {
  for (size_t k = 0; k < curve.keys.size(); ++k) {
    const EnvelopeKey& key = curve.keys[k];
    require(std::isfinite(key.value) && std::isfinite(key.time), "a key that is not finite");
    for (double parameter : key.params) require(std::isfinite(parameter), "a parameter that is not finite");
    require(static_cast<int>(key.span) >= 0 && static_cast<int>(key.span) <= 5, "span type");
    require(k == 0 || key.time > curve.keys[k - 1].time, "key order");
  }
  for (Behavior behavior : {curve.pre, curve.post})
    require(static_cast<int>(behavior) >= 0 && static_cast<int>(behavior) <= 5, "behaviour");
}

// What the reader promises of a scene it takes.
void checkScene(const Scene& scene) {
  require(std::isfinite(scene.fps) && scene.fps > 0, "fps");
  require(scene.firstFrame <= scene.lastFrame, "frame range");
  const int count = static_cast<int>(scene.items.size());
  for (int i = 0; i < count; ++i) {
    const SceneItem& item = scene.items[static_cast<size_t>(i)];
    require(scene.indexOf(scene.idOf(i)) == i, "item ids");
    int steps = 0;
    for (int up = item.parent; up != -1; up = scene.items[static_cast<size_t>(up)].parent) {
      require(up >= 0 && up < count && ++steps <= count, "parents");
    }
    for (int j = 0; j < i; ++j)
      require(scene.items[static_cast<size_t>(j)].name != item.name, "names differ");
    for (const Envelope& curve : item.channels) checkCurve(curve);
    for (double c : item.pivot) require(std::isfinite(c), "a pivot that is not finite");
    for (const auto& polygon : item.polygons) {
      for (int index : polygon)
        require(index >= 0 && static_cast<size_t>(index) < item.points.size(), "polygon index");
    }
    for (const WeightMap& map : item.weightMaps)
      require(map.values.size() == item.points.size(), "weight map size");
    for (const DeformerSpec& deformer : item.deformers) {
      require(deformer.stateBegin <= deformer.stateEnd && deformer.stateEnd <= scene.sourceText.size(),
              "state within the file");
    }
  }
  for (const std::string& warning : scene.warnings)
    require(warning.find('\n') == std::string::npos, "a warning of more than one line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t marker = input.find(kObjectMarker);
  const std::string_view sceneText = input.substr(0, marker);
  if (!objectsStayInTheFolder(sceneText)) return -1;  // not kept in the corpus
  const std::filesystem::path objectFile = scratch() / "object.lwo";
  std::error_code ignored;
  if (marker == std::string_view::npos) {
    std::filesystem::remove(objectFile, ignored);
  } else {
    writeFile(objectFile, input.substr(marker + kObjectMarker.size()));
  }

  const std::filesystem::path sceneFile = scratch() / "scene.lws";
  Scene scene;
  try {
    scene = parseLws(sceneText, sceneFile, {scratch()});
  } catch (const SceneError& error) {
    const std::string message = error.what();
    require(message.find('\n') == std::string::npos, "an error of more than one line");
    require(message.rfind(sceneFile.string() + ": line ", 0) == 0,
            "an error that does not name the file and line");
    return 0;
  }
  checkScene(scene);
  // Every state written back as it was read: the same file where its lines end alike (the states'
  // lines take the line end of their Plugin line), and always a file that reads the same.
  std::vector<const DeformerSpec*> deformers;
  std::vector<std::string> states;
  for (const SceneItem& item : scene.items) {
    for (const DeformerSpec& deformer : item.deformers) {
      deformers.push_back(&deformer);
      states.push_back(deformer.state);
    }
  }
  const std::string written = lwsWithStates(scene, deformers, states);
  if (sceneText.find('\r') == std::string_view::npos) require(written == sceneText, "written back otherwise");
  const Scene again = parseLws(written, sceneFile, {scratch()});
  require(again.items.size() == scene.items.size() && again.warnings.size() == scene.warnings.size(),
          "written back, it reads otherwise");
  size_t next = 0;
  for (const SceneItem& item : again.items) {
    for (const DeformerSpec& deformer : item.deformers) {
      require(next < states.size() && deformer.state == states[next++],
              "a state written back reads otherwise");
    }
  }
  require(next == states.size(), "a deformer lost in writing back");
  return 0;
}
