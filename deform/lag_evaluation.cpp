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
  if (lag.useNode != 0) {
    connected.lagRate = inputs.check(lag.lagRateInput) != 0;
    connected.pivot = inputs.check(lag.pivotInput) != 0;
    connected.weight = inputs.check(lag.weightInput) != 0;
  }
  return connected;
}

// The point's weight from the weight map; false when the point has no value in it, or the map
// is not there.
bool weightFromMap(LagInstance& lag, LWMeshInfo& info, LWPntID point, double& weight) noexcept {
  LWVMapID map = lag.weightMapId.load(std::memory_order_relaxed);
  if (map == nullptr) {
    // Every call of the frame finds the same map, so concurrent lookups store the same id.
    map = info.pntVLookup(&info, LWVMAP_WGHT, lag.frameWeightMapName);
    lag.weightMapId.store(map, std::memory_order_relaxed);
  }
  if (map == nullptr) {
    return false;  // no such map (renamed or removed): there is no value to read
  }
  float value = 0.0f;
  if (info.pntVIDGet(&info, point, &value, map) == 0) {
    return false;
  }
  weight = static_cast<double>(value);
  return true;
}

}  // namespace

template <typename Inputs>
void evaluate(LWInstance instance, LWDisplacementAccess* access) noexcept {
  auto& lag = *static_cast<LagInstance*>(instance);
  const ServiceTable& host = services();
  const Inputs& inputs = *static_cast<const Inputs*>(host.nodeInput);

  const ConnectedInputs connected = connectedInputs(lag, inputs);
  SampleRecordOf<Inputs> sample;
  if (connected.any()) {
    fillSample(lag, *access, sample);
  }

  // A node value starts at zero, so an input that writes nothing reads as 0.
  double lagRate = lag.lagRate;
  if (connected.lagRate) {
    lagRate = 0.0;
    inputs.evaluate(lag.lagRateInput, &sample, &lagRate);
  }

  double pivot[3] = {0.0, 0.0, 0.0};
  LWItemID sampled = lag.objectId;
  LWItemParam positionCode = LWIP_W_POSITION;
  const double* cachedPivot = lag.objectWorldPosition;
  if (connected.pivot) {
    inputs.evaluate(lag.pivotInput, &sample, pivot);
    cachedPivot = pivot;
  } else if (lag.pivotItem != LWITEM_NULL) {
    sampled = lag.pivotItem;
    if (lag.localPivot != 0) {
      cachedPivot = lag.pivotItemPosition;
      positionCode = LWIP_POSITION;
    } else {
      cachedPivot = lag.pivotItemWorldPosition;
    }
  }
  const double p[3] = {cachedPivot[0], cachedPivot[1], cachedPivot[2]};

  double weight = 1.0;
  if (connected.weight) {
    weight = 0.0;
    inputs.evaluate(lag.weightInput, &sample, &weight);
  } else if (lag.weightMapIndex != 0 && access->info != nullptr) {
    if (!weightFromMap(lag, *access->info, access->point, weight)) {
      return;  // no value in the map: the point stays where the host put it
    }
  }

  double* const source = access->source;
  const double dx = source[0] - p[0];
  const double dy = source[1] - p[1];
  const double dz = source[2] - p[2];
  const double distance = std::sqrt((dx * dx + dy * dy) + dz * dz);
  const double delayedTime = lag.time - ((distance * weight) * lagRate);
  if (!std::isfinite(delayedTime)) {
    return;  // no time to sample at (a lag rate or weight that is not finite, or 0 x infinity)
  }

  const LWItemInfo& items = *host.itemInfo;
  double right[3];
  double up[3];
  double forward[3];
  double position[3];
  items.param(sampled, LWIP_RIGHT, delayedTime, right);
  items.param(sampled, LWIP_UP, delayedTime, up);
  items.param(sampled, LWIP_FORWARD, delayedTime, forward);
  items.param(sampled, positionCode, delayedTime, position);

  // The offset is taken apart into the object's own frame at the current time (through the
  // world's axes in the object's coordinates, so exactly for any rotation, scale and parents),
  // whatever item is sampled, and put together along the sampled item's delayed axes.
  const double(&world)[3][3] = lag.objectWorldAxes;
  const double alongRight = (dx * world[0][0] + dy * world[1][0]) + dz * world[2][0];
  const double alongUp = (dx * world[0][1] + dy * world[1][1]) + dz * world[2][1];
  const double alongForward = (dx * world[0][2] + dy * world[1][2]) + dz * world[2][2];
  for (int i = 0; i < 3; ++i) {
    source[i] = ((up[i] * alongUp + right[i] * alongRight) + forward[i] * alongForward) + position[i];
  }
}

template void evaluate<LWNodeInputFuncs>(LWInstance instance, LWDisplacementAccess* access) noexcept;
template void evaluate<lw2018::LWNodeInputFuncs>(LWInstance instance, LWDisplacementAccess* access) noexcept;

}  // namespace tarrow
