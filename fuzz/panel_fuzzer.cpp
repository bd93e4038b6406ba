// Drives an instance's settings panel as `tarrow-host panel` does, with a sequence of edits and
// presses taken from the input, one a line:
//   LABEL=VALUE   an edit, as --set takes it (LABEL a control's label or id, as a user writes it)
//   !LABEL        a press, as --press takes it
// A first line "#ja" makes the host report Japanese, so the panel carries the module's
// code page 932 labels. The instance belongs to the module file loaded as the host loads it.
//
// After every line that changed the instance's saved state or its panel, the scene is saved
// as --save-scene writes it and loaded into a fresh host: the reloaded instance must save the
// same text, and its panel must show what the edited one shows.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "host/loader/module_loader.h"
#include "host/panel/panel_run.h"
#include "host/run/scene_save.h"
#include "host/run/session.h"
#include "host/scene/scene_file.h"
#include "host/services/node_editor.h"
#include "host/services/panel_view.h"

namespace {

using namespace tarrow::host;

// A strand with two weight maps, items of every type to pick as the pivot, and a node network
// in the instance's editor, so that the saved state carries one.
constexpr const char* kScene = R"({"fps": 10, "frames": [0, 4], "renderCamera": "Camera", "items": [
  {"name": "Strand", "type": "object", "points": [[0, 0, 0], [0, 0, -1], [0, 0, -2]], "polygons": [[0, 1, 2]],
   "motion": [{"time": 0, "position": [0, 0, 0]}, {"time": 0.4, "position": [1, 0, 0], "rotation": [90, 0, 0]}],
   "weightMaps": {"Fade": [1, 0.5, null], "Half": [0.5, 0.5, 0.5]},
   "deformers": [{"server": "Tarrow_plus", "nodes": {
     "nodes": [{"id": "spot", "type": "SpotInfo"}, {"id": "fade", "type": "Gradient", "keys": [[0, 1], [2, 0]]},
               {"id": "d", "type": "Math", "op": "length"}],
     "connections": [{"from": "spot.oPos", "to": "d.a"}, {"from": "d", "to": "fade.input"},
                     {"from": "fade.value", "to": "Weight"}]}}]},
  {"name": "Handle", "type": "object", "parent": "Strand", "points": [[0, 1, 0]]},
  {"name": "Lamp", "type": "light", "motion": [{"time": 0, "position": [0, 5, 0]}]},
  {"name": "Camera", "type": "camera", "motion": [{"time": 0, "position": [0, 0, -5]}]}]})";
constexpr size_t kMostLines = 24;

void require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

const Scene& scene() {
  static const Scene parsed = parseScene(kScene, "panel-fuzz.json");
  return parsed;
}

// The panel as the host shows it, and the instance's saved state, after a save and a load.
struct Reloaded {
  std::string state;
  std::string panel;
};

Reloaded saveAndLoad(Session& session, unsigned int language) {
  const Scene again = parseScene(savedSceneText(session, "panel-fuzz.json"), "panel-fuzz.json");
  Session reloaded(again, {defaultModulePath(), 1, language});
  const LWXPanelID panel = reloaded.openPanel(0, 0);
  Reloaded result{reloaded.savedState(0, 0), PanelView(reloaded.panels(), panel).render()};
  reloaded.panels().destroy(panel);
  // Only one host answers the module's requests at a time: the edited one again.
  session.makeCurrent();
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  unsigned int language = LANGID_USENGLISH;
  if (input.substr(0, 4) == "#ja\n") {
    language = LANGID_JAPANESE;
    input.remove_prefix(4);
  }

  Session session(scene(), {defaultModulePath(), 1, language});
  std::string windows;
  session.nodeEditor().setWindowSink([&windows](const std::string& window) { windows += window; });
  const LWXPanelID panel = session.openPanel(0, 0);
  PanelView view(session.panels(), panel);

  std::string checked;
  for (size_t line = 0; line < kMostLines && !input.empty(); ++line) {
    const size_t end = input.find('\n');
    const std::string text(input.substr(0, end));
    input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
    try {
      if (!text.empty() && text[0] == '!') {
        view.press(std::string_view(text).substr(1));
      } else {
        const auto [label, value] = splitSetting(text);
        view.set(label, value);
      }
    } catch (const PanelError&) {
      // A label, value or entry the panel cannot take: refused, and nothing changed.
    }
    // A line that changed neither the state nor what the panel shows is not checked again.
    const std::string state = session.savedState(0, 0);
    const std::string shown = view.render();
    if (state + '\0' + shown == checked) continue;
    const Reloaded reloaded = saveAndLoad(session, language);
    require(reloaded.state == state, "the reloaded instance saves another state");
    require(reloaded.panel == shown, "the reloaded panel shows other values");
    checked = state + '\0' + shown;
  }

  // Whatever was set, frames still evaluate.
  FramePoints points;
  session.evaluateFrame(0, points);
  session.evaluateFrame(4, points);
  session.panels().destroy(panel);
  session.nodeEditor().setWindowSink(nullptr);
  return 0;
}
