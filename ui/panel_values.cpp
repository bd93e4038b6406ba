// The panel's get and set functions and the two popups' entries.
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "common/lag_instance.h"
#include "common/service_table.h"
#include "ui/panel.h"

namespace tarrow {
namespace {

// A setting is hidden while node inputs are in use and its input is connected: the node
// network then gives its value point by point.
bool drivenByNode(const LagInstance& instance, NodeInputID input) noexcept {
  return instance.useNode != 0 && services().nodes->check(input) != 0;
}

// The k-th object (from 1) of the host's list, or null when the list is shorter.
LWItemID objectAt(int32_t k) noexcept {
  if (k <= 0) {
    return LWITEM_NULL;
  }
  const LWItemInfo& items = *services().itemInfo;
  LWItemID item = items.first(LWI_OBJECT, LWITEM_NULL);
  for (int32_t step = 1; step < k && item != LWITEM_NULL; ++step) {
    item = items.next(item);
  }
  return item;
}

const char* textOrEmpty(const char* text) noexcept { return text != nullptr ? text : ""; }

// The k-th weight map's name (from 1), or "" for an index outside the host's list.
const char* weightMapNameAt(int32_t k) noexcept {
  return k > 0 ? textOrEmpty(services().objectFuncs->vmapName(LWVMAP_WGHT, k - 1)) : "";
}

}  // namespace

void* getPanelValue(void* instance, uint32_t valueId) noexcept {
  auto* lag = static_cast<LagInstance*>(instance);
  if (lag == nullptr) {
    return nullptr;
  }
  switch (valueId) {
    case ID_USE_NODE:
      return &lag->useNode;
    case ID_LAG_RATE:
      return drivenByNode(*lag, lag->lagRateInput) ? nullptr : &lag->lagRate;
    case ID_PIVOT_ITEM:
      return drivenByNode(*lag, lag->pivotInput) ? nullptr : &lag->pivotIndex;
    case ID_LOCAL_PIVOT:  // the pivot position input governs both pivot controls
      return drivenByNode(*lag, lag->pivotInput) ? nullptr : &lag->localPivot;
    case ID_WEIGHT_MAP:
      return drivenByNode(*lag, lag->weightInput) ? nullptr : &lag->weightMapIndex;
    default:
      return nullptr;
  }
}

int setPanelValue(void* instance, uint32_t valueId, void* value) noexcept {
  auto* lag = static_cast<LagInstance*>(instance);
  if (lag == nullptr || value == nullptr) {
    return LWXPRC_NONE;
  }
  // newTime may be copying the settings for a frame on another thread.
  const std::lock_guard<SettingsLock> hold(lag->settingsLock);
  switch (valueId) {
    case ID_USE_NODE:
      lag->useNode = *static_cast<const int32_t*>(value);
      return LWXPRC_DFLT;
    case ID_LAG_RATE:
      lag->lagRate = *static_cast<const double*>(value);
      return LWXPRC_DFLT;
    case ID_PIVOT_ITEM: {
      const int32_t k = *static_cast<const int32_t*>(value);
      lag->pivotIndex = k;
      lag->pivotItem = objectAt(k);
      return LWXPRC_DFLT;
    }
    case ID_LOCAL_PIVOT:
      lag->localPivot = *static_cast<const int32_t*>(value);
      return LWXPRC_DFLT;
    case ID_WEIGHT_MAP: {
      const int32_t k = *static_cast<const int32_t*>(value);
      // Index 0 switches the map off but keeps its name, so switching back finds it again. An
      // index below 0 stands for no map of the host's, as past the end of its list.
      if (k != 0) {
        const std::string_view found = weightMapNameAt(k);
        if (found.size() > kMaxWeightMapNameLength) {
          return LWXPRC_NONE;  // a name the instance could not save whole: the old choice stays
        }
        std::string name;
        try {
          name = found;
        } catch (...) {
          return LWXPRC_NONE;  // no memory for the name: index and name stay as they were
        }
        lag->weightMapName.swap(name);
      }
      lag->weightMapIndex = k;
      return LWXPRC_DFLT;
    }
    default:
      return LWXPRC_NONE;
  }
}

int pivotChoiceCount(void* /*userData*/) noexcept {
  const LWItemInfo& items = *services().itemInfo;
  int count = 1;
  for (LWItemID item = items.first(LWI_OBJECT, LWITEM_NULL); item != LWITEM_NULL; item = items.next(item)) {
    ++count;
  }
  return count;
}

const char* pivotChoiceName(void* /*userData*/, int index) noexcept {
  if (index == 0) {
    return kNoChoice;
  }
  const LWItemID item = objectAt(index);
  return item != LWITEM_NULL ? textOrEmpty(services().itemInfo->name(item)) : "";
}

int weightMapChoiceCount(void* /*userData*/) noexcept {
  return services().objectFuncs->numVMaps(LWVMAP_WGHT) + 1;
}

const char* weightMapChoiceName(void* /*userData*/, int index) noexcept {
  return index == 0 ? kNoChoice : weightMapNameAt(index);
}

}  // namespace tarrow
