// The host services the module reaches through the global function, acquired once.
#pragma once

#include <atomic>
#include <mutex>

#include "common/host_generation.h"
#include "common/node_interface.h"
#include "sdk/lwserver.h"

namespace tarrow {

struct ServiceTable {
  // Set once every pointer below is in place; an activation returns only after that.
  std::atomic<bool> acquired{false};
  // Held by the activation that asks the host; another one waits for it, then finds the table
  // complete, or tries again itself when the host could not give every service.
  std::mutex acquiring;
  GlobalFunc* global = nullptr;
  // The host's generation: the one whose every service answered, newest first.
  const HostGeneration* generation = nullptr;
  // The node editor of that generation; its tables are nodeEditor and nodeInput, in its layout.
  const NodeInterface* nodes = nullptr;
  LWItemInfo* itemInfo = nullptr;
  // The scene info is not kept: the host may hand a new one for each time, so newTime asks for it.
  LWObjectFuncs* objectFuncs = nullptr;
  LWXPanelFuncs* xpanel = nullptr;
  void* nodeEditor = nullptr;  // the generation's LWNodeEditorFuncs
  void* nodeInput = nullptr;   // the generation's LWNodeInputFuncs
  // Every generation's table starts with 2015.3's members, and the module uses no others.
  LWNodeFuncs* nodeFuncs = nullptr;
  LWInstUpdate* instUpdate = nullptr;
};

// The module-wide table: lives as long as the module, never released.
ServiceTable& services() noexcept;

// Fills the table from the host once: with the services of the newest generation whose every
// name answers. A call that comes while another fills it waits for it. False when no generation
// answers whole: the table then keeps nothing, and the next call asks again.
bool acquireServices(ServiceTable& table, GlobalFunc* global) noexcept;

}  // namespace tarrow
