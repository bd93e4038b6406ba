// LightWave object files (LWO2, LWO3 and LWOB): the layers with their points, polygons, pivot
// points and weight maps, for the scene reader to place as objects.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/scene/motion.h"
#include "host/scene/scene.h"

namespace tarrow::host {

// An object file that cannot be read whole; what() is one line: "FILE: byte OFFSET: what was expected".
class LwoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ObjectLayer {
  int number = 0;  // the file's own layer number (LAYR), from 0; data before any LAYR is layer 0
  std::string name;
  Vec3 pivot{};     // in the object's own coordinates
  int parent = -1;  // the parent layer's number, -1 for none
  std::vector<Vec3> points;
  std::vector<std::vector<int>> polygons;  // 0-based point indices into this layer's points; none empty
  std::vector<WeightMap> weightMaps;       // WGHT maps; a point absent from a map has no value in it
};

struct ObjectFile {
  std::vector<ObjectLayer> layers;  // in file order

  // The layer Modeler shows as `layer` (counted from 1: file number layer - 1), or null.
  const ObjectLayer* layerShownAs(int layer) const;
};

// Throws LwoError. Every vector is sized from the bytes behind it; weight maps, which hold a
// value for every point of their layer, may hold four values for each byte of the file in all.
ObjectFile readLwoFile(const std::filesystem::path& file);
// The same for bytes already read; name is the file as messages show it.
ObjectFile parseLwo(std::string_view bytes, const std::string& name);

}  // namespace tarrow::host
