#include "deform/sample_record.h"

#include <cmath>
#include <cstring>

#include "common/lag_instance.h"

namespace tarrow {
namespace {

constexpr double kSpotSize = 0.001;

void copyVector(const double from[3], double to[3]) noexcept {
  to[0] = from[0];
  to[1] = from[1];
  to[2] = from[2];
}

// The object's axes in the world (codes 2, 3, 4), one vector after the other (right, up, forward).
void objectAxes(const LagInstance& instance, double out[9]) noexcept {
  for (int axis = 0; axis < 3; ++axis) {
    for (int component = 0; component < 3; ++component) {
      out[3 * axis + component] = instance.objectAxes[component][axis];
    }
  }
}

// The world's axes in the object's coordinates (codes 9, 10, 11), in the same order.
void worldAxesInObject(const LagInstance& instance, double out[9]) noexcept {
  for (std::size_t axis = 0; axis < 3; ++axis) {
    copyVector(instance.objectWorldAxes[axis], &out[3 * axis]);
  }
}

}  // namespace

void fillNodalAccess(const LagInstance& instance, const LWDisplacementAccess& access,
                     LWNodalAccess& sample) noexcept {
  std::memset(&sample, 0, sizeof sample);
  copyVector(access.oPos, sample.oPos);
  copyVector(access.source, sample.wPos);
  worldAxesInObject(instance, sample.wXfrm);
  objectAxes(instance, sample.oXfrm);
  sample.verts[0] = access.point;
  sample.spotSize = kSpotSize;
  sample.weights[0] = 1.0f;
  for (int i = 0; i < 3; ++i) {
    sample.vertsWPos[0][i] = static_cast<float>(access.source[i]);
  }
  copyVector(instance.cameraWorldPosition, sample.raySource);
  for (int i = 0; i < 3; ++i) {
    sample.rayDir[i] = access.source[i] - instance.cameraWorldPosition[i];
  }
  const double length =
      std::sqrt((sample.rayDir[0] * sample.rayDir[0] + sample.rayDir[1] * sample.rayDir[1]) +
                sample.rayDir[2] * sample.rayDir[2]);
  if (length != 0.0) {
    const double reciprocal = 1.0 / length;
    for (double& component : sample.rayDir) {
      component *= reciprocal;
    }
  }
  sample.rayLength = length;
  sample.objID = instance.objectId;
  sample.sourceID = instance.cameraItem;
}

}  // namespace tarrow
