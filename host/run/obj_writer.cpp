#include "host/run/obj_writer.h"

#include "host/base/number_text.h"

namespace tarrow::host {
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
      appendNumber(out, index + 1);
    }
    out += '\n';
  }
}

}  // namespace tarrow::host
