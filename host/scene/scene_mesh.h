// Points and polygons of a Wavefront OBJ file that a scene object names as its mesh.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "host/scene/motion.h"

namespace tarrow::host {

class ObjError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ObjMesh {
  std::vector<Vec3> points;
  std::vector<std::vector<int>> polygons;  // 0-based
};

// Reads `v` and `f` lines and ignores the rest; throws ObjError naming the file and line.
ObjMesh readObjFile(const std::filesystem::path& file);
ObjMesh parseObj(std::string_view text, const std::string& name);

}  // namespace tarrow::host
