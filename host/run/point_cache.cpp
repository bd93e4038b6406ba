#include "host/run/point_cache.h"

#include <bit>
#include <cstring>
#include <stdexcept>

#include "host/base/path_text.h"

namespace tarrow::host {
namespace {

constexpr char kPc2Signature[12] = {'P', 'O', 'I', 'N', 'T', 'C', 'A', 'C', 'H', 'E', '2', '\0'};

// A 4-byte value in the file's byte order, whatever the machine's.
void put4(std::vector<char>& out, uint32_t bits, bool bigEndian) {
  for (int k = 0; k < 4; ++k) {
    const int shift = bigEndian ? 24 - 8 * k : 8 * k;
    out.push_back(static_cast<char>((bits >> shift) & 0xFFu));
  }
}
void putFloat(std::vector<char>& out, double value, bool bigEndian) {
  put4(out, std::bit_cast<uint32_t>(static_cast<float>(value)), bigEndian);
}

}  // namespace

std::optional<CacheFormat> cacheFormatNamed(std::string_view name) {
  if (name == "mdd") return CacheFormat::Mdd;
  if (name == "pc2") return CacheFormat::Pc2;
  return std::nullopt;
}

const char* cacheExtension(CacheFormat format) { return format == CacheFormat::Mdd ? ".mdd" : ".pc2"; }

PointCacheWriter::PointCacheWriter(CacheFormat format, const std::filesystem::path& file,
                                   const std::filesystem::path& target, int first, int last, double fps,
                                   size_t points)
    : format_(format), target_(target), first_(first), points_(points) {
  out_.open(file, std::ios::binary | std::ios::trunc);
  const auto frames = static_cast<uint32_t>(last - first + 1);
  std::vector<char> header;
  if (format == CacheFormat::Mdd) {
    put4(header, frames, true);
    put4(header, static_cast<uint32_t>(points), true);
    for (int frame = first; frame <= last; ++frame) putFloat(header, frame / fps, true);
  } else {
    header.assign(kPc2Signature, kPc2Signature + sizeof kPc2Signature);
    put4(header, 1, false);
    put4(header, static_cast<uint32_t>(points), false);
    putFloat(header, first, false);
    putFloat(header, 1.0, false);
    put4(header, frames, false);
  }
  headerBytes_ = header.size();
  out_.write(header.data(), static_cast<std::streamsize>(header.size()));
  check();
}

void PointCacheWriter::writeFrame(int frame, const std::vector<Vec3>& points) {
  const bool bigEndian = format_ == CacheFormat::Mdd;
  bytes_.clear();
  for (const Vec3& point : points) {
    for (double coordinate : point) putFloat(bytes_, coordinate, bigEndian);
  }
  const size_t frameBytes = points_ * 3 * sizeof(float);
  out_.seekp(static_cast<std::streamoff>(headerBytes_ + static_cast<size_t>(frame - first_) * frameBytes));
  out_.write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
  check();
}

void PointCacheWriter::finish() {
  out_.close();
  check();
}

void PointCacheWriter::check() {
  if (!out_) throw std::runtime_error(displayPath(target_) + ": cannot be written");
}

}  // namespace tarrow::host
