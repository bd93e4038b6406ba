#include "deform/frame_preparation.h"

#include <algorithm>
#include <cstddef>

#include "common/lag_instance.h"
#include "common/service_table.h"

namespace tarrow {

LWError newTime(LWInstance instance, LWFrame frame, LWTime time) noexcept {
  auto& lag = *static_cast<LagInstance*>(instance);
  ServiceTable& host = services();
  const LWItemInfo& items = *host.itemInfo;

  // The network must be current before anything of this time is evaluated.
  if (lag.useNode != 0) {
    host.nodes->newTime(lag.nodeEditor, frame, time);
  }

  lag.time = time;
  lag.weightMapId.store(nullptr, std::memory_order_relaxed);
  // The frame's points look the map up by this copy; the panel and load keep names short enough.
  const std::size_t nameLength = std::min(lag.weightMapName.size(), kMaxWeightMapNameLength);
  lag.weightMapName.copy(lag.frameWeightMapName, nameLength);
  lag.frameWeightMapName[nameLength] = '\0';

  auto* scene =
      static_cast<LWSceneInfo*>(host.global(host.generation->services[kSceneInfoService], GFUSE_TRANSIENT));
  host.sceneInfo.store(scene, std::memory_order_relaxed);

  lag.cameraWorldPosition[0] = lag.cameraWorldPosition[1] = lag.cameraWorldPosition[2] = 0.0;
  lag.cameraItem = scene->renderCamera(time);
  if (lag.cameraItem != LWITEM_NULL) {
    items.param(lag.cameraItem, LWIP_W_POSITION, time, lag.cameraWorldPosition);
  }

  if (lag.pivotItem != LWITEM_NULL) {
    items.param(lag.pivotItem, LWIP_POSITION, time, lag.pivotItemPosition);
    items.param(lag.pivotItem, LWIP_W_POSITION, time, lag.pivotItemWorldPosition);
  }

  items.param(lag.objectId, LWIP_W_POSITION, time, lag.objectWorldPosition);
  const LWItemParam axisCodes[3] = {LWIP_RIGHT, LWIP_UP, LWIP_FORWARD};
  for (int axis = 0; axis < 3; ++axis) {
    double vector[3];
    items.param(lag.objectId, axisCodes[axis], time, vector);
    for (int component = 0; component < 3; ++component) {
      lag.objectAxes[component][axis] = vector[component];
    }
  }

  // The world's axes in the object's coordinates: what takes a point's offset apart into the
  // object's own frame, and what the node sample record shows.
  items.param(lag.objectId, LWIP_W_RIGHT, time, lag.objectWorldAxes[0]);
  items.param(lag.objectId, LWIP_W_UP, time, lag.objectWorldAxes[1]);
  items.param(lag.objectId, LWIP_W_FORWARD, time, lag.objectWorldAxes[2]);
  items.param(lag.objectId, LWIP_PIVOT, time, lag.objectPivot);
  return nullptr;
}

}  // namespace tarrow
