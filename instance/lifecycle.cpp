#include "instance/lifecycle.h"

#include <cstdio>
#include <mutex>
#include <new>
#include <string>

#include "common/identity.h"
#include "common/lag_instance.h"
#include "common/service_table.h"
#include "instance/node_editor_setup.h"

namespace tarrow {
namespace {

constexpr const char* kCopyError = "Copy Error!";

// Shared by every instance and rewritten by each call: the pivot item, then the end mark.
LWItemID usedItemList[2] = {LWITEM_NULL, LWITEM_NULL};

LagInstance* asLag(LWInstance instance) noexcept { return static_cast<LagInstance*>(instance); }

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
  // Panels the host still shows must not reach this instance any more: without data and view
  // instance, their get, set and notification functions find no instance and do nothing.
  lag->panels.detachAll(*services().xpanel);
  if (lag->nodeEditor != nullptr) {
    services().nodes->destroy(lag->nodeEditor);
  }
  delete lag;  // the texts go with the record; the panel is the host's
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
  usedItemList[0] = asLag(instance)->pivotItem;
  usedItemList[1] = LWITEM_NULL;
  return usedItemList;
}

void changeID(LWInstance instance, const LWItemID* idPairs) noexcept {
  LagInstance* lag = asLag(instance);
  if (lag->pivotItem == LWITEM_NULL || idPairs == nullptr) {
    return;
  }
  for (const LWItemID* pair = idPairs; pair[0] != LWITEM_NULL; pair += 2) {
    if (pair[0] == lag->pivotItem) {
      lag->pivotItem = pair[1];
      return;
    }
  }
}

}  // namespace tarrow
