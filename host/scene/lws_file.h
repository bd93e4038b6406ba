// LightWave scene files (.lws): the items with their motion curves, parents and pivot points, the
// objects they load, the deformers' saved states; and the same file written back with new states.
// Which keywords are read, warned about and refused is listed in docs/scene-format.md.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "host/scene/scene.h"

namespace tarrow::host {

// Whether a file's text is a LightWave scene: `LWSC` on its first line.
bool isLwsText(std::string_view text);

// Reads the scene; object files are looked up by their path as written, then relative to the
// scene's folder, then relative to each content directory (none given: the scene's folder and its
// parent, since scenes usually live in Scenes/ beside Objects/). Throws SceneError
// ("FILE: line N: what was expected"); what the host does not evaluate goes to Scene::warnings.
Scene parseLws(std::string_view text, const std::filesystem::path& file,
               const std::vector<std::filesystem::path>& contentDirs = {});

// The scene's text with the lines of each deformer's state replaced by states[d] (the state of
// deformers[d], in the host's block text, one line a line), every other line as read.
std::string lwsWithStates(const Scene& scene, const std::vector<const DeformerSpec*>& deformers,
                          const std::vector<std::string>& states);

}  // namespace tarrow::host
