// Drives an instance's settings panel as `tarrow-host panel` does, with a sequence of edits and
// presses taken from the input, one a line:
//   LABEL=VALUE   an edit, as --set takes it (LABEL a control's label or id, as a user writes it)
//   !LABEL        a press, as --press takes it
// A first line "#ja" makes the host report Japanese, so the panel carries the module's
// code page 932 labels. The instance belongs to the module file loaded as the host loads it.
//
// When the lines leave the instance's saved state or its panel other than fresh, the scene is
// saved as --save-scene writes it and loaded into a second host on the same module: the
// reloaded instance must save the same text, and its panel must show what the edited one shows.
// A reload depends only on the saved text, so a state and panel that already came back whole
// are not reloaded again: most inputs a campaign makes end where an earlier one ended.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>

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
// Reloads remembered as passed; past this many the memory starts again, so a long campaign
// stays small.
constexpr size_t kMostRemembered = 1 << 14;

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

// One host per language for the whole run, so that an input costs no load of the module file:
// a private copy of the module (the panel keeps the labels of the language its first panel
// had), and a session on the scene that every input starts from afresh. After each input the
// session is reset and must then show what it showed when it was made, so that no input sees
// what an earlier one left behind, and a leftover is blamed on the input that left it.
class LanguageHost {
 public:
  explicit LanguageHost(unsigned int language)
      : language_(language),
        module_(LoadedModule::openFresh(defaultModulePath())),
        session_(scene(), {{}, 1, language, module_}) {
    session_.nodeEditor().setWindowSink([](const std::string&) {});
    panel_ = session_.openPanel(0, 0);
    fresh_ = snapshot();
    freshState_ = session_.savedState(0, 0);
    freshPanel_ = PanelView(session_.panels(), panel_).render();
    const Reloaded reloaded = saveAndLoad();
    require(reloaded.state == freshState_ && reloaded.panel == freshPanel_,
            "the fresh instance reloads otherwise");
  }

  bool isFresh(const std::string& state, const std::string& shown) const {
    return state == freshState_ && shown == freshPanel_;
  }

  // Saves and reloads the scene unless this state and panel came back whole before.
  void requireReloadsWhole(const std::string& state, const std::string& shown) {
    std::string key = state + '\0' + shown;
    if (passed_.contains(key)) return;
    const Reloaded reloaded = saveAndLoad();
    require(reloaded.state == state, "the reloaded instance saves another state");
    require(reloaded.panel == shown, "the reloaded panel shows other values");
    if (passed_.size() >= kMostRemembered) passed_.clear();
    passed_.insert(std::move(key));
  }

  Session& session() { return session_; }
  // The panel of the instance, open since the last restore.
  LWXPanelID panel() const { return panel_; }

  void restore() {
    session_.reset();
    panel_ = session_.openPanel(0, 0);
    require(snapshot() == fresh_, "a reset session differs from a freshly made one");
  }

  Reloaded saveAndLoad() {
    const Scene again = parseScene(savedSceneText(session_, "panel-fuzz.json"), "panel-fuzz.json");
    Reloaded result;
    {
      Session reloaded(again, {{}, 1, language_, module_});
      const LWXPanelID panel = reloaded.openPanel(0, 0);
      result = {reloaded.savedState(0, 0), PanelView(reloaded.panels(), panel).render()};
      // Its instance goes while it answers the module, as it came.
      reloaded.makeCurrent();
    }
    // Only one host answers the module's requests at a time: the edited one again.
    session_.makeCurrent();
    return result;
  }

 private:
  // What an input can change and a fresh session shows: the instance's saved state (settings
  // and network), its panel, the editors and panels alive, and the updates asked for.
  std::string snapshot() {
    NodeEditorService& editors = session_.nodeEditor();
    const NodeEditorID editor = editors.editorOf(session_.deformedObjects()[0].instances[0]);
    return session_.savedState(0, 0) + '\0' + PanelView(session_.panels(), panel_).render() + '\0' +
           editors.describeNetwork(editor) + '\0' + std::to_string(editors.liveEditors()) + ' ' +
           std::to_string(session_.panels().panels().size()) + ' ' +
           std::to_string(session_.services().takeUpdateRequests().size());
  }

  unsigned int language_;
  std::shared_ptr<LoadedModule> module_;
  Session session_;
  LWXPanelID panel_ = nullptr;
  std::string fresh_;
  std::string freshState_;
  std::string freshPanel_;
  std::unordered_set<std::string> passed_;
};

LanguageHost& hostFor(unsigned int language) {
  if (language == LANGID_JAPANESE) {
    static LanguageHost japanese(LANGID_JAPANESE);
    return japanese;
  }
  static LanguageHost english(LANGID_USENGLISH);
  return english;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  unsigned int language = LANGID_USENGLISH;
  if (input.substr(0, 4) == "#ja\n") {
    language = LANGID_JAPANESE;
    input.remove_prefix(4);
  }

  LanguageHost& host = hostFor(language);
  Session& session = host.session();
  session.makeCurrent();
  PanelView view(session.panels(), host.panel());

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
  }

  // The state the lines left (each state on the way is that of the input cut there). The fresh
  // state's own reload is checked once, when the host is made.
  const std::string state = session.savedState(0, 0);
  const std::string shown = view.render();
  if (!host.isFresh(state, shown)) host.requireReloadsWhole(state, shown);

  // Whatever was set, frames still evaluate.
  FramePoints points;
  session.evaluateFrame(0, points);
  session.evaluateFrame(4, points);
  host.restore();
  return 0;
}
