#include "deform/sample_record.h"

#include <cmath>
#include <cstring>

#include "common/lag_instance.h"
#include "common/service_table.h"

namespace tarrow {
namespace {

constexpr double kSpotSize = 0.001;

void copyVector(const double from[3], double to[3]) noexcept {
  to[0] = from[0];
  to[1] = from[1];
  to[2] = from[2];
}

// The object's axes, one vector after the other (right, up, forward).
void objectAxesInParent(const LagInstance& instance, double out[9]) noexcept {
  for (int axis = 0; axis < 3; ++axis) {
    for (int component = 0; component < 3; ++component) {
      out[3 * axis + component] = instance.objectAxes[component][axis];
    }
  }
}

void objectAxesInWorld(const LagInstance& instance, double out[9]) noexcept {
  if (instance.haveObjectWorldAxes) {
    for (std::size_t axis = 0; axis < 3; ++axis) {
      copyVector(instance.objectWorldAxes[axis], &out[3 * axis]);
    }
    return;
  }
  // Node inputs were switched on after this frame's newTime: ask the host directly.
  const LWItemInfo& items = *services().itemInfo;
  items.param(instance.objectId, LWIP_W_RIGHT, instance.time, &out[0]);
  items.param(instance.objectId, LWIP_W_UP, instance.time, &out[3]);
  items.param(instance.objectId, LWIP_W_FORWARD, instance.time, &out[6]);
}

}  // namespace

void fillNodalAccess(const LagInstance& instance, const LWDisplacementAccess& access,
                     LWNodalAccess& sample) noexcept {
  std::memset(&sample, 0, sizeof sample);
  copyVector(access.oPos, sample.oPos);
  copyVector(access.source, sample.wPos);
  objectAxesInWorld(instance, sample.wXfrm);
  objectAxesInParent(instance, sample.oXfrm);
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
