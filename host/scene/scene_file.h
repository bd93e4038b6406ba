// Reading scene files: JSON (described in docs/scene-format.md) and LightWave's .lws
// (host/scene/lws_file.h), told apart by their content.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/scene/scene.h"

namespace tarrow::host {

// A scene that cannot be used; what() is one line: "FILE: PLACE: what is wrong", where PLACE
// is a JSON pointer into the file (or a line and column where the text is not JSON), or the line
// of an .lws file.
class SceneError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws SceneError. contentDirs: where an .lws scene's objects are looked up (parseLws).
Scene loadScene(const std::filesystem::path& file,
                const std::vector<std::filesystem::path>& contentDirs = {});
// A JSON scene's text already read; file names the scene in messages and anchors mesh paths.
Scene parseScene(std::string_view text, const std::filesystem::path& file);

// A message as one line of UTF-8 however the names and texts in it were written: control
// characters (a line break in a JSON key or a mesh path, say) and bytes that are not UTF-8 are
// shown escaped (\n, \x1B).
std::string oneLine(const std::string& message);

// Throws SceneError naming the file and the place.
[[noreturn]] void failAt(const std::filesystem::path& file, const std::string& place,
                         const std::string& what);

}  // namespace tarrow::host
