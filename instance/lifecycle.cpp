#include "instance/lifecycle.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "common/identity.h"
#include "common/lag_instance.h"
#include "common/service_table.h"
#include "instance/node_editor_setup.h"

namespace tarrow {
namespace {

constexpr const char* kCopyError = "Copy Error!";

LagInstance* asLag(LWInstance instance) noexcept { return static_cast<LagInstance*>(instance); }

// Appends item unless it is null or already listed; the list has room for it.
void addOnce(std::vector<LWItemID>& list, LWItemID item) noexcept {
  if (item != LWITEM_NULL && std::find(list.begin(), list.end(), item) == list.end()) {
    list.push_back(item);
  }
}

// The id that stands for id in the host's pairs (old, new, ..., null); all pairs are one
// renumbering, so the first pair naming id decides and no new id is looked up again.
LWItemID renewed(LWItemID id, const LWItemID* idPairs) noexcept {
  for (const LWItemID* pair = idPairs; pair[0] != LWITEM_NULL; pair += 2) {
    if (pair[0] == id) {
      return pair[1];
    }
  }
  return id;
}

// The place (from 1) of an object in the host's list, as the panel's pivot popup counts it; 0 when
// the list does not hold it.
int32_t placeInObjectList(LWItemID object) noexcept {
  const LWItemInfo& items = *services().itemInfo;
  int32_t place = 1;
  for (LWItemID item = items.first(LWI_OBJECT, LWITEM_NULL); item != LWITEM_NULL; item = items.next(item)) {
    if (item == object) {
      return place;
    }
    ++place;
  }
  return 0;
}

}  // namespace

LWInstance create(void* /*priv*/, void* context, LWError* errorOut) noexcept {
  auto* lag = new (std::nothrow) LagInstance{};
  if (lag == nullptr) {
    if (errorOut != nullptr) {
      *errorOut = kAllocationError;
    }
    return nullptr;
  }
  lag->objectId = static_cast<LWItemID>(context);
  std::snprintf(lag->description, sizeof lag->description, "%s (%d.%02d)%s", kServerName, 1, 0, " 03/25");
  setUpNodeEditor(*lag);
  return lag;
}

void destroy(LWInstance instance) noexcept {
  LagInstance* lag = asLag(instance);
  if (lag == nullptr) {
    return;
  }
  // Whatever the node editor reports while it goes away concerns an instance that is being freed.
  lag->destroying = true;
  // A panel the host has not destroyed yet is the instance's to destroy: left open, it would call
  // into an instance (and, once the module is unloaded, into code) that is gone.
  lag->panels.destroyAll(*services().xpanel);
  if (lag->nodeEditor != nullptr) {
    services().nodes->destroy(lag->nodeEditor);
  }
  delete lag;  // the texts go with the record
}

LWError copy(LWInstance to, LWInstance from) noexcept {
  LagInstance* target = asLag(to);
  const LagInstance* source = asLag(from);
  if (target == nullptr || source == nullptr) {
    return kCopyError;
  }
  if (target == source) {
    return nullptr;  // already a copy of itself; the node editor is not asked to copy onto itself
  }
  // The only step that can fail comes first, so that a failed copy leaves the target as it was,
  // node network included.
  std::string weightMapName;
  try {
    weightMapName = source->weightMapName;
  } catch (...) {
    return kCopyError;
  }
  services().nodes->copy(target->nodeEditor, source->nodeEditor);
  // newTime of the target may be copying its settings for a frame on another thread.
  const std::lock_guard<SettingsLock> hold(target->settingsLock);
  target->lagRate = source->lagRate;
  target->pivotItem = source->pivotItem;
  target->weightMapName.swap(weightMapName);
  target->localPivot = source->localPivot;
  target->pivotIndex = source->pivotIndex;
  target->weightMapIndex = source->weightMapIndex;
  target->useNode = source->useNode;
  return nullptr;
}

const char* descln(LWInstance instance) noexcept { return asLag(instance)->description; }

const LWItemID* useItems(LWInstance instance) noexcept {
  LagInstance& lag = *asLag(instance);
  void* const* nodeItems = lag.nodeEditor != nullptr ? services().nodes->usedItems(lag.nodeEditor) : nullptr;
  std::size_t nodeCount = 0;
  while (nodeItems != nullptr && nodeItems[nodeCount] != nullptr) {
    ++nodeCount;
  }
  std::vector<LWItemID>& list = lag.usedItems;
  list.clear();
  try {
    list.reserve(nodeCount + 2);  // the pivot, the editor's items and the end mark
  } catch (const std::bad_alloc&) {
    // No room for the whole list: the host still gets a list, of what is known without memory.
    lag.pivotOnlyItems[0] = lag.pivotItem;
    lag.pivotOnlyItems[1] = LWITEM_NULL;
    return lag.pivotOnlyItems;
  }
  addOnce(list, lag.pivotItem);
  for (std::size_t k = 0; nodeItems != nullptr && nodeItems[k] != nullptr; ++k) {
    addOnce(list, static_cast<LWItemID>(nodeItems[k]));
  }
  list.push_back(LWITEM_NULL);
  return list.data();
}

void changeID(LWInstance instance, const LWItemID* idPairs) noexcept {
  LagInstance* lag = asLag(instance);
  if (lag == nullptr || idPairs == nullptr) {
    return;
  }
  // The pivot item is a setting newTime copies; the renewal must not tear that copy.
  const std::lock_guard<SettingsLock> hold(lag->settingsLock);
  lag->objectId = renewed(lag->objectId, idPairs);
  if (lag->pivotItem != LWITEM_NULL) {
    const LWItemID before = lag->pivotItem;
    lag->pivotItem = renewed(before, idPairs);
    // The panel shows the pivot by its place in the object list, which moved with its id.
    if (lag->pivotItem != before) {
      const int32_t place = lag->pivotItem == LWITEM_NULL ? 0 : placeInObjectList(lag->pivotItem);
      if (lag->pivotItem == LWITEM_NULL || place != 0) {
        lag->pivotIndex = place;
      }
    }
  }
}

}  // namespace tarrow
