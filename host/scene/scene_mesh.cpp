#include "host/scene/scene_mesh.h"

#include <charconv>
#include <cmath>
#include <string>

#include "host/scene/file_text.h"

namespace tarrow::host {
namespace {

std::string_view nextWord(std::string_view& line) {
  size_t start = line.find_first_not_of(" \t\r");
  if (start == std::string_view::npos) {
    line = {};
    return {};
  }
  size_t end = line.find_first_of(" \t\r", start);
  if (end == std::string_view::npos) end = line.size();
  std::string_view word = line.substr(start, end - start);
  line.remove_prefix(end);
  return word;
}

}  // namespace

ObjMesh parseObj(std::string_view text, const std::string& name) {
  ObjMesh mesh;
  size_t lineNumber = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNumber;
    auto fail = [&](const std::string& what) {
      throw ObjError(name + " line " + std::to_string(lineNumber) + ": " + what);
    };
    const std::string_view kind = nextWord(line);
    if (kind == "v") {
      Vec3 point{};
      for (double& coordinate : point) {
        const std::string_view word = nextWord(line);
        auto [rest, error] = std::from_chars(word.data(), word.data() + word.size(), coordinate);
        if (word.empty() || error != std::errc() || rest != word.data() + word.size() ||
            !std::isfinite(coordinate)) {
          fail("a vertex needs three finite numbers");
        }
      }
      mesh.points.push_back(point);
    } else if (kind == "f") {
      std::vector<int> polygon;
      for (std::string_view word = nextWord(line); !word.empty(); word = nextWord(line)) {
        const std::string_view vertex = word.substr(0, word.find('/'));
        int index = 0;
        auto [rest, error] = std::from_chars(vertex.data(), vertex.data() + vertex.size(), index);
        if (vertex.empty() || error != std::errc() || rest != vertex.data() + vertex.size()) {
          fail("bad vertex reference \"" + std::string(word) + "\"");
        }
        // Negative references count back from the last vertex read so far.
        const auto count = static_cast<long long>(mesh.points.size());
        const long long zeroBased = index < 0 ? count + index : static_cast<long long>(index) - 1;
        if (index == 0 || zeroBased < 0 || zeroBased >= count) {
          fail("vertex reference " + std::to_string(index) + " is out of range");
        }
        polygon.push_back(static_cast<int>(zeroBased));
      }
      if (polygon.size() < 3) fail("a face needs at least three vertices");
      mesh.polygons.push_back(std::move(polygon));
    }
  }
  return mesh;
}

ObjMesh readObjFile(const std::filesystem::path& file) {
  const std::optional<std::string> text = readFileText(file);
  if (!text) throw ObjError(file.string() + ": cannot be read (missing or not a file)");
  return parseObj(*text, file.string());
}

}  // namespace tarrow::host
