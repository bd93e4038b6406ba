// Point caches other packages read: one file per deformed object holding every frame of a run,
// in the object's point order and the host's (LightWave's) world coordinates.
//   - MDD (LightWave's own; Layout's MDD displacement, Blender, Houdini), big-endian: I4 frame
//     count, I4 point count, one F4 time in seconds per frame, then per frame and point x y z
//     as F4.
//   - PC2 (3ds Max, Blender), little-endian: "POINTCACHE2\0", I4 version 1, I4 point count, F4
//     start frame, F4 sampling (frames per sample, 1), I4 sample count, then per sample and
//     point x y z as F4.
// The size and header are known before the first frame, so frames are written at their place as
// they come, in any order, and none is kept in memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/scene/motion.h"

namespace tarrow::host {

enum class CacheFormat { Mdd, Pc2 };

// "mdd" or "pc2"; nullopt for any other text.
std::optional<CacheFormat> cacheFormatNamed(std::string_view name);
// The file's extension with its dot: ".mdd", ".pc2".
const char* cacheExtension(CacheFormat format);

// One object's cache of the frames [first, last] at fps, written into file (a staged temporary
// the caller puts in place). Throws std::runtime_error naming target when the file cannot be
// written.
class PointCacheWriter {
 public:
  PointCacheWriter(CacheFormat format, const std::filesystem::path& file, const std::filesystem::path& target,
                   int first, int last, double fps, size_t points);

  void writeFrame(int frame, const std::vector<Vec3>& points);
  // Flushes and closes the file; throws when any write failed.
  void finish();

 private:
  void check();

  CacheFormat format_;
  std::filesystem::path target_;
  int first_;
  size_t points_;
  size_t headerBytes_ = 0;
  std::ofstream out_;
  std::vector<char> bytes_;  // one frame's, reused
};

}  // namespace tarrow::host
