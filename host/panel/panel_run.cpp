#include "host/panel/panel_run.h"

#include "host/base/atomic_file.h"
#include "host/run/scene_save.h"
#include "host/run/session.h"
#include "host/scene/scene_file.h"
#include "host/services/node_editor.h"
#include "host/services/panel_view.h"

namespace tarrow::host {
namespace {

std::pair<size_t, size_t> findDeformer(const Session& session, const std::string& name, int deformer) {
  const auto& objects = session.deformedObjects();
  std::string valid;
  for (size_t k = 0; k < objects.size(); ++k) {
    const SceneItem& item = session.scene().items[static_cast<size_t>(objects[k].item)];
    if (item.name != name) {
      valid += (valid.empty() ? "\"" : ", \"") + item.name + "\"";
      continue;
    }
    const int count = static_cast<int>(objects[k].instances.size());
    if (deformer < 1 || deformer > count) {
      throw PanelError("\"" + name + "\" has no deformer " + std::to_string(deformer) +
                       "; valid deformers are 1 to " + std::to_string(count));
    }
    return {k, static_cast<size_t>(deformer - 1)};
  }
  throw PanelError("no deformed object \"" + name + "\" in the scene; valid objects are " +
                   (valid.empty() ? "none" : valid));
}

}  // namespace

std::pair<std::string, std::string> splitSetting(const std::string& text) {
  const size_t equals = text.rfind('=');
  if (equals == std::string::npos || equals == 0) {
    throw PanelError("--set \"" + text + "\": write it as \"LABEL=VALUE\"");
  }
  return {text.substr(0, equals), text.substr(equals + 1)};
}

std::string runPanel(const PanelOptions& options) {
  std::vector<std::pair<std::string, std::string>> edits;
  for (const std::string& text : options.sets) edits.push_back(splitSetting(text));

  const Scene scene = loadScene(options.scene, options.contentDirs);
  if (options.warning) {
    for (const std::string& line : scene.warnings) options.warning(line);
  }
  SessionOptions sessionOptions;
  sessionOptions.modulePath = options.modulePath;
  sessionOptions.threads = 1;
  sessionOptions.language = options.language;
  sessionOptions.generation = options.generation;
  sessionOptions.warn = options.warning;
  Session session(scene, sessionOptions);
  const auto [object, deformer] = findDeformer(session, options.object, options.deformer);

  std::string shown;
  session.nodeEditor().setWindowSink([&shown](const std::string& window) { shown += window; });
  const LWXPanelID panel = session.openPanel(object, deformer);
  PanelView view(session.panels(), panel);
  for (const auto& [label, value] : edits) view.set(label, value);
  if (options.press) view.press(*options.press);
  shown += view.render();
  if (options.saveScene) writeFileAtomically(*options.saveScene, savedSceneText(session, *options.saveScene));
  session.panels().destroy(panel);
  session.nodeEditor().setWindowSink(nullptr);
  return shown;
}

}  // namespace tarrow::host
