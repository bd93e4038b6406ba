// Deformed frames as Wavefront OBJ text: one `v x y z` line per point, then the polygons.
#pragma once

#include <string>
#include <vector>

#include "host/scene/motion.h"

namespace tarrow::host {

// Appends the OBJ text to out. Coordinates are the shortest text that reads back to the
// same double, so equal results always give equal files.
void appendObj(std::string& out, const std::vector<Vec3>& points,
               const std::vector<std::vector<int>>& polygons);

}  // namespace tarrow::host
