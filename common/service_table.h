// The host services the module reaches through the global function, acquired once.
#pragma once

#include <atomic>

#include "sdk/lwserver.h"

namespace tarrow {

struct ServiceTable {
  // Set once every pointer below is in place; an activation returns only after that.
  std::atomic<bool> acquired{false};
  // Taken by the one activation that fills the table.
  std::atomic_flag claimed = ATOMIC_FLAG_INIT;
  GlobalFunc* global = nullptr;
  LWItemInfo* itemInfo = nullptr;
  // The scene info as of the latest new time: newTime fetches it afresh and stores it here, since
  // the host may hand a new one for each time; instances of different objects do that at once.
  // Nothing in the module reads it back (evaluate works from what newTime cached in the
  // instance); the tests check that it follows the host.
  std::atomic<LWSceneInfo*> sceneInfo{nullptr};
  LWObjectFuncs* objectFuncs = nullptr;
  LWXPanelFuncs* xpanel = nullptr;
  LWNodeEditorFuncs* nodeEditor = nullptr;
  LWNodeInputFuncs* nodeInput = nullptr;
  LWNodeFuncs* nodeFuncs = nullptr;
  LWInstUpdate* instUpdate = nullptr;
};

// The module-wide table: lives as long as the module, never released.
ServiceTable& services() noexcept;

// Fills the table from the host exactly once; a call that comes while another fills it waits
// until the table is complete, and later calls leave it as it is.
void acquireServices(ServiceTable& table, GlobalFunc* global) noexcept;

}  // namespace tarrow
