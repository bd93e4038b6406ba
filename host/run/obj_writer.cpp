#include "host/run/obj_writer.h"

#include <array>
#include <charconv>

namespace tarrow::host {
namespace {

void appendNumber(std::string& out, double value) {
  std::array<char, 32> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  out.append(buffer.data(), result.ptr);
}

void appendIndex(std::string& out, int value) {
  std::array<char, 16> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  out.append(buffer.data(), result.ptr);
}

}  // namespace

void appendObj(std::string& out, const std::vector<Vec3>& points,
               const std::vector<std::vector<int>>& polygons) {
  for (const Vec3& point : points) {
    out += 'v';
    for (double coordinate : point) {
      out += ' ';
      appendNumber(out, coordinate);
    }
    out += '\n';
  }
  for (const auto& polygon : polygons) {
    out += 'f';
    for (int index : polygon) {
      out += ' ';
      appendIndex(out, index + 1);
    }
    out += '\n';
  }
}

}  // namespace tarrow::host
