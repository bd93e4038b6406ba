#include "deform/sample_record.h"

#include <cmath>
#include <cstring>

#include "common/lag_instance.h"
#include "deform/sample_functions.h"

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
                     NodalSample& sample) noexcept {
  LWNodalAccess& record = sample;
  std::memset(&record, 0, sizeof record);
  setSampleFunctions(record);
  sample.randomState = randomSeed(access.point);
  sample.randomData = &sample.randomState;
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

void fillShadingGeometry(const LagInstance& instance, const LWDisplacementAccess& access,
                         lw2018::LWShadingGeometry& sample) noexcept {
  std::memset(&sample, 0, sizeof sample);
  setSampleFunctions(sample.shadingFuncs);
  sample.itemID = instance.objectId;
  sample.vrts[0] = access.point;
  copyVector(access.oPos, sample.oP);
  copyVector(access.source, sample.P);
  copyVector(access.source, sample.vertsWPos[0]);
  sample.bary[0] = 1.0;

  // The object's frame in the world, in which its mesh's point oP lies at A (oP - pivot) + P:
  // its axes A (codes 2, 3, 4) as rows over P - A pivot, and the inverse, the world's axes in
  // the object (codes 9, 10, 11) as rows over pivot - A^-1 P.
  double axes[9];
  double inverse[9];
  objectAxes(instance, axes);
  worldAxesInObject(instance, inverse);
  const double* position = instance.objectWorldPosition;
  const double* pivot = instance.objectPivot;
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      sample.toWorld[row][column] = axes[3 * row + column];
      sample.toLocal[row][column] = inverse[3 * row + column];
    }
    sample.toWorld[3][row] =
        position[row] - ((pivot[0] * axes[row] + pivot[1] * axes[3 + row]) + pivot[2] * axes[6 + row]);
    sample.toLocal[3][row] = pivot[row] - ((position[0] * inverse[row] + position[1] * inverse[3 + row]) +
                                           position[2] * inverse[6 + row]);
  }
  sample.toWorld[3][3] = 1.0;
  sample.toLocal[3][3] = 1.0;

  // Toward the viewer: from the point to the camera (the world origin without one).
  double toward[3];
  for (int i = 0; i < 3; ++i) {
    toward[i] = instance.cameraWorldPosition[i] - access.source[i];
  }
  const double length = std::sqrt((toward[0] * toward[0] + toward[1] * toward[1]) + toward[2] * toward[2]);
  if (length != 0.0) {
    const double reciprocal = 1.0 / length;
    for (int i = 0; i < 3; ++i) {
      sample.shading.I[i] = toward[i] * reciprocal;
    }
  }
  sample.dist = length;
}

}  // namespace tarrow
