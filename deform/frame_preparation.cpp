#include "deform/frame_preparation.h"

#include <algorithm>
#include <cstddef>
#include <mutex>

#include "common/lag_instance.h"
#include "common/service_table.h"

namespace tarrow {
namespace {

// The item types whose items a pivot may be; bones hang under objects and are never offered.
constexpr LWItemType kPivotItemTypes[] = {LWI_OBJECT, LWI_LIGHT, LWI_CAMERA};

// Whether the host lists the item: an id it does not know (an item deleted while the scene was
// closed, a scene edited by hand) would answer its frame with zeros and collapse the mesh.
bool inScene(const LWItemInfo& items, LWItemID wanted) noexcept {
  for (LWItemType type : kPivotItemTypes) {
    for (LWItemID item = items.first(type, LWITEM_NULL); item != LWITEM_NULL; item = items.next(item)) {
      if (item == wanted) {
        return true;
      }
    }
  }
  return false;
}

// Three vectors of an item, one per row: codes first, first + 1, first + 2.
void rowsOf(const LWItemInfo& items, LWItemID item, LWItemParam first, LWTime time,
            double rows[3][3]) noexcept {
  for (int k = 0; k < 3; ++k) {
    items.param(item, first + k, time, rows[k]);
  }
}

// The settings a frame uses, copied while no panel, load or copy writes them.
struct SettingsCopy {
  double lagRate;
  LWItemID pivotItem;
  int32_t localPivot;
  int32_t useNode;
  bool weightMap;
};

SettingsCopy copySettings(LagInstance& lag) noexcept {
  const std::lock_guard<SettingsLock> hold(lag.settingsLock);
  // The panel and load keep names short enough for the frame's copy.
  const std::size_t nameLength = std::min(lag.weightMapName.size(), kMaxWeightMapNameLength);
  lag.weightMapName.copy(lag.frameWeightMapName, nameLength);
  lag.frameWeightMapName[nameLength] = '\0';
  return {lag.lagRate, lag.pivotItem, lag.localPivot, lag.useNode, lag.weightMapIndex != 0};
}

}  // namespace

LWError newTime(LWInstance instance, LWFrame frame, LWTime time) noexcept {
  auto& lag = *static_cast<LagInstance*>(instance);
  ServiceTable& host = services();
  const LWItemInfo& items = *host.itemInfo;
  const SettingsCopy settings = copySettings(lag);

  // The network must be current before anything of this time is evaluated.
  if (settings.useNode != 0) {
    host.nodes->newTime(lag.nodeEditor, frame, time);
  }

  lag.time = time;
  lag.weightMapId.store(nullptr, std::memory_order_relaxed);

  const auto* scene =
      static_cast<LWSceneInfo*>(host.global(host.generation->services[kSceneInfoService], GFUSE_TRANSIENT));
  lag.cameraWorldPosition[0] = lag.cameraWorldPosition[1] = lag.cameraWorldPosition[2] = 0.0;
  lag.cameraItem = scene->renderCamera(time);
  if (lag.cameraItem != LWITEM_NULL) {
    items.param(lag.cameraItem, LWIP_W_POSITION, time, lag.cameraWorldPosition);
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
  // The world's axes in the object's coordinates: what takes a point into the object's own frame
  // when the object carries the points, and what the node sample record shows.
  rowsOf(items, lag.objectId, LWIP_W_RIGHT, time, lag.objectWorldAxes);
  items.param(lag.objectId, LWIP_PIVOT, time, lag.objectPivot);

  LagInstance::Frame& next = lag.frame;
  next.lagRate = settings.lagRate;
  next.useNode = settings.useNode;
  next.weightMap = settings.weightMap;
  const bool pivotFound = settings.pivotItem != LWITEM_NULL && inScene(items, settings.pivotItem);
  next.carrier = pivotFound ? settings.pivotItem : lag.objectId;
  next.carrierParent = LWITEM_NULL;
  if (pivotFound && settings.localPivot != 0) {
    next.carrierParent = items.parent(next.carrier);
  }
  if (pivotFound) {
    items.param(next.carrier, LWIP_W_POSITION, time, next.carrierPosition);
    rowsOf(items, next.carrier, LWIP_W_RIGHT, time, next.carrierWorldAxes);
  } else {
    std::copy_n(lag.objectWorldPosition, 3, next.carrierPosition);
    std::copy_n(&lag.objectWorldAxes[0][0], 9, &next.carrierWorldAxes[0][0]);
  }
  if (next.carrierParent != LWITEM_NULL) {
    rowsOf(items, next.carrierParent, LWIP_RIGHT, time, next.parentAxes);
    items.param(next.carrierParent, LWIP_W_POSITION, time, next.parentPosition);
  }
  next.prepared = true;
  return nullptr;
}

}  // namespace tarrow
