#include "host/run/scene_save.h"

#include "host/scene/lws_file.h"

namespace tarrow::host {

namespace {

// An .lws scene keeps every line as read but those of the states, which the module writes anew.
// Object paths stay as written, to be found as before (docs/scene-format.md).
std::string savedLwsText(Session& session) {
  std::vector<const DeformerSpec*> deformers;
  std::vector<std::string> states;
  const auto& objects = session.deformedObjects();
  for (size_t k = 0; k < objects.size(); ++k) {
    for (size_t d = 0; d < objects[k].deformers.size(); ++d) {
      deformers.push_back(objects[k].deformers[d]);
      states.push_back(session.savedState(k, d));
    }
  }
  return lwsWithStates(session.scene(), deformers, states);
}

}  // namespace

std::string savedSceneText(Session& session, const std::filesystem::path& target) {
  const Scene& scene = session.scene();
  if (!scene.sourceText.empty()) return savedLwsText(session);
  nlohmann::ordered_json document = scene.document;
  const auto& objects = session.deformedObjects();
  for (size_t k = 0; k < objects.size(); ++k) {
    for (size_t d = 0; d < objects[k].deformers.size(); ++d) {
      nlohmann::ordered_json& deformer =
          document[nlohmann::ordered_json::json_pointer(objects[k].deformers[d]->place)];
      deformer["state"] = session.savedState(k, d);
      deformer.erase("nodes");
      deformer.erase("panel");  // its edits are in the state now; applied again they could undo later ones
    }
  }
  const std::filesystem::path targetFolder =
      std::filesystem::absolute(target).lexically_normal().parent_path();
  for (const SceneItem& item : scene.items) {
    nlohmann::ordered_json& entry = document[nlohmann::ordered_json::json_pointer(item.place)];
    if (!entry.contains("mesh")) continue;
    const std::filesystem::path mesh =
        std::filesystem::absolute(scene.file.parent_path() / entry["mesh"].get<std::string>())
            .lexically_normal();
    std::filesystem::path relative = mesh.lexically_relative(targetFolder);
    entry["mesh"] = (relative.empty() ? mesh : relative).generic_string();
  }
  return document.dump(2) + "\n";
}

}  // namespace tarrow::host
