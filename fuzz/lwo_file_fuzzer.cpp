// Feeds arbitrary bytes to the object-file reader as a .lwo file. A file it refuses must be
// refused with one line naming the file and a byte inside it. A file it takes must hold what
// the reader promises: finite points and pivots, polygons and weights that name points of
// their layer, one weight slot per point, parents that exist without loops, and nothing
// larger than the bytes behind it. (libFuzzer's -malloc_limit_mb, the -rss_limit_mb of
// scripts/fuzz.sh, catches any one allocation beyond that.)
//
// The seeds in fuzz/corpus/lwo_file/ are the test files of tests/host/lwo_file_test.cpp:
// TARROW_LWO_SEEDS=fuzz/corpus/lwo_file build/default/bin/tarrow_host_tests --gtest_filter='LwoFile*'
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "host/scene/lwo_file.h"

namespace {

using namespace tarrow::host;

void require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

bool finite(const Vec3& v) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

void checkRefusal(const std::string& message, size_t size) {
  require(message.find('\n') == std::string::npos, "an error of more than one line");
  const std::string start = "fuzz.lwo: byte ";
  require(message.rfind(start, 0) == 0, "an error that does not name the file and a byte");
  const size_t offset = std::strtoull(message.c_str() + start.size(), nullptr, 10);
  require(offset <= size, "an error naming a byte past the file");
}

void checkFile(const ObjectFile& file, size_t size) {
  std::set<int> numbers;
  size_t points = 0;
  for (const ObjectLayer& layer : file.layers) {
    require(numbers.insert(layer.number).second, "a layer number twice");
    require(layer.number >= 0 && layer.number <= 0xFFFF, "a layer number beyond U2");
    require(finite(layer.pivot), "a pivot that is not finite");
    points += layer.points.size();
    for (const Vec3& point : layer.points) require(finite(point), "a point that is not finite");
    for (const auto& polygon : layer.polygons) {
      require(!polygon.empty() && polygon.size() <= 0xFFFF, "a polygon's corner count");
      for (int corner : polygon) {
        require(corner >= 0 && static_cast<size_t>(corner) < layer.points.size(), "a corner past the points");
      }
    }
    std::set<std::string> names;
    for (const WeightMap& map : layer.weightMaps) {
      require(names.insert(map.name).second, "a weight map twice in a layer");
      require(map.values.size() == layer.points.size(), "a weight map not one value a point");
      for (const auto& value : map.values)
        require(!value || std::isfinite(*value), "a weight that is not finite");
    }
  }
  // Twelve bytes a point in the file.
  require(points * 12 <= size, "more points than the file holds");
  for (const ObjectLayer& layer : file.layers) {
    if (layer.parent < 0) continue;
    require(numbers.count(layer.parent) == 1, "a parent that is not in the file");
    // Up the parents: no more steps than layers.
    int at = layer.parent;
    for (size_t steps = 0; at >= 0; ++steps) {
      require(steps <= file.layers.size(), "parents in a loop");
      const ObjectLayer* up = file.layerShownAs(at + 1);
      require(up != nullptr && up->number == at, "layerShownAs");
      at = up->parent;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    checkFile(parseLwo(bytes, "fuzz.lwo"), size);
  } catch (const LwoError& error) {
    checkRefusal(error.what(), size);
  }
  return 0;
}
