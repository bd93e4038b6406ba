// The host services the module reaches through the global function, acquired once.
#pragma once

#include <atomic>

#include "sdk/lwserver.h"

namespace tarrow {

struct ServiceTable {
  bool acquired = false;
  GlobalFunc* global = nullptr;
  LWItemInfo* itemInfo = nullptr;
  // Fetched again at every new time; instances of different objects may do that at once.
  std::atomic<LWSceneInfo*> sceneInfo{nullptr};
  LWObjectFuncs* objectFuncs = nullptr;
  LWXPanelFuncs* xpanel = nullptr;
  NodeEditorFuncs* nodeEditor = nullptr;
  NodeInputFuncs* nodeInput = nullptr;
  NodeFuncs* nodeFuncs = nullptr;
  LWInstUpdate* instUpdate = nullptr;
};

// The module-wide table: lives as long as the module, never released.
ServiceTable& services() noexcept;

// Fills the table from the host on the first call; later calls leave it as it is.
void acquireServices(ServiceTable& table, GlobalFunc* global) noexcept;

}  // namespace tarrow
