#include "deform/lag_evaluation.h"

#include <cmath>

#include "common/lag_instance.h"
#include "common/service_table.h"
#include "deform/sample_record.h"

namespace tarrow {
namespace {

// Which node inputs drive this point; all false while node inputs are off.
struct ConnectedInputs {
  bool lagRate = false;
  bool pivot = false;
  bool weight = false;

  bool any() const noexcept { return lagRate || pivot || weight; }
};

template <typename Inputs>
ConnectedInputs connectedInputs(const LagInstance& lag, const Inputs& inputs) noexcept {
  ConnectedInputs connected;
  if (lag.frame.useNode != 0) {
    connected.lagRate = inputs.check(lag.lagRateInput) != 0;
    connected.pivot = inputs.check(lag.pivotInput) != 0;
    connected.weight = inputs.check(lag.weightInput) != 0;
  }
  return connected;
}

// Stands for "looked up this frame and not there", so that a missing map costs one lookup a
// frame; never handed to the host.
char noSuchMapMark;
const LWVMapID kNoSuchMap = &noSuchMapMark;

// The point's weight from the weight map; false when the point has no value in it, or the map
// is not there.
bool weightFromMap(LagInstance& lag, LWMeshInfo& info, LWPntID point, double& weight) noexcept {
  LWVMapID map = lag.weightMapId.load(std::memory_order_relaxed);
  if (map == nullptr) {
    // The lookup that selects nothing in the shared mesh record, so that points on other threads
    // (and other deformers of the mesh) are not disturbed. Every call of the frame finds the
    // same map, so concurrent lookups store the same id.
    map = info.pntVIDLookup(&info, LWVMAP_WGHT, lag.frameWeightMapName);
    if (map == nullptr) {
      map = kNoSuchMap;
    }
    lag.weightMapId.store(map, std::memory_order_relaxed);
  }
  if (map == kNoSuchMap) {
    return false;  // no such map (renamed or removed): there is no value to read
  }
  float value = 0.0f;
  if (info.pntVIDGet(&info, point, &value, map) == 0) {
    return false;
  }
  weight = static_cast<double>(value);
  return true;
}

// x = A^-1 (p - P): a world point in the coordinates of the item whose world axes have the
// given inverse (the world's axes in the item's coordinates, one per row) and position.
void toItem(const double (&worldAxes)[3][3], const double position[3], const double p[3],
            double out[3]) noexcept {
  const double dx = p[0] - position[0];
  const double dy = p[1] - position[1];
  const double dz = p[2] - position[2];
  for (int i = 0; i < 3; ++i) {
    out[i] = (dx * worldAxes[0][i] + dy * worldAxes[1][i]) + dz * worldAxes[2][i];
  }
}

// A x + P: a point of an item's coordinates in the world, the axes one per row.
void toWorld(const double (&axes)[3][3], const double position[3], const double x[3],
             double out[3]) noexcept {
  for (int i = 0; i < 3; ++i) {
    out[i] = ((axes[0][i] * x[0] + axes[1][i] * x[1]) + axes[2][i] * x[2]) + position[i];
  }
}

// The frame of an item at a time, asked of the host: four queries.
void askFrame(const LWItemInfo& items, LWItemID item, LWItemParam firstAxis, LWTime time,
              double (&axes)[3][3], double position[3]) noexcept {
  items.param(item, firstAxis, time, axes[0]);
  items.param(item, firstAxis + 1, time, axes[1]);
  items.param(item, firstAxis + 2, time, axes[2]);
  items.param(item, LWIP_W_POSITION, time, position);
}

}  // namespace

template <typename Inputs>
void evaluate(LWInstance instance, LWDisplacementAccess* access) noexcept {
  auto& lag = *static_cast<LagInstance*>(instance);
  const LagInstance::Frame& frame = lag.frame;
  if (!frame.prepared) {
    return;  // no newTime yet: nothing of this frame is known
  }
  const ServiceTable& host = services();
  const Inputs& inputs = *static_cast<const Inputs*>(host.nodeInput);

  const ConnectedInputs connected = connectedInputs(lag, inputs);
  SampleRecordOf<Inputs> sample;
  if (connected.any()) {
    fillSample(lag, *access, sample);
  }

  // A node value starts at zero, so an input that writes nothing reads as 0.
  double lagRate = frame.lagRate;
  if (connected.lagRate) {
    lagRate = 0.0;
    inputs.evaluate(lag.lagRateInput, &sample, &lagRate);
  }

  // The item whose frame carries the point, and the place the distance is measured from. A node
  // pivot is a position only: the object carries the points, in the world.
  LWItemID carrier = frame.carrier;
  LWItemID parent = frame.carrierParent;
  const double(*carrierWorldAxes)[3][3] = &frame.carrierWorldAxes;
  const double* carrierPosition = frame.carrierPosition;
  double nodePivot[3] = {0.0, 0.0, 0.0};
  const double* centre = frame.carrierPosition;
  if (connected.pivot) {
    inputs.evaluate(lag.pivotInput, &sample, nodePivot);
    centre = nodePivot;
    carrier = lag.objectId;
    parent = LWITEM_NULL;
    carrierWorldAxes = &lag.objectWorldAxes;
    carrierPosition = lag.objectWorldPosition;
  }

  double weight = 1.0;
  if (connected.weight) {
    weight = 0.0;
    inputs.evaluate(lag.weightInput, &sample, &weight);
  } else if (frame.weightMap && access->info != nullptr) {
    if (!weightFromMap(lag, *access->info, access->point, weight)) {
      return;  // no value in the map: the point stays where the host put it
    }
  }

  double* const source = access->source;
  const double dx = source[0] - centre[0];
  const double dy = source[1] - centre[1];
  const double dz = source[2] - centre[2];
  const double distance = std::sqrt((dx * dx + dy * dy) + dz * dz);
  const double delay = (distance * weight) * lagRate;
  if (delay == 0.0) {
    return;  // no delay: the carrier's frame now is the one the point has already
  }
  const double delayedTime = lag.time - delay;
  if (!std::isfinite(delayedTime)) {
    return;  // no time to sample at (a lag rate or weight that is not finite, or 0 x infinity)
  }

  // The point keeps its place in the carrier's own frame: taken into it as it is now, and out of
  // it as it was at the delayed time.
  const LWItemInfo& items = *host.itemInfo;
  double local[3];
  toItem(*carrierWorldAxes, carrierPosition, source, local);
  double axes[3][3];
  double position[3];
  askFrame(items, carrier, LWIP_RIGHT, delayedTime, axes, position);
  if (parent == LWITEM_NULL) {
    toWorld(axes, position, local, source);
    return;
  }
  // With Local Pivot only the carrier's motion against its parent lags: the point, placed by the
  // carrier as it was, is taken into the parent as the parent was then, and out of the parent
  // as it is now.
  double delayedWorld[3];
  toWorld(axes, position, local, delayedWorld);
  askFrame(items, parent, LWIP_W_RIGHT, delayedTime, axes, position);
  double inParent[3];
  toItem(axes, position, delayedWorld, inParent);
  toWorld(frame.parentAxes, frame.parentPosition, inParent, source);
}

template void evaluate<LWNodeInputFuncs>(LWInstance instance, LWDisplacementAccess* access) noexcept;
template void evaluate<lw2018::LWNodeInputFuncs>(LWInstance instance, LWDisplacementAccess* access) noexcept;

}  // namespace tarrow
