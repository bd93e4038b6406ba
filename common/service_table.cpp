#include "common/service_table.h"

#include <thread>

namespace tarrow {
namespace {

template <typename Service>
Service* serviceNamed(GlobalFunc* global, const char* name) noexcept {
  return static_cast<Service*>(global(name, GFUSE_TRANSIENT));
}

}  // namespace

ServiceTable& services() noexcept {
  static ServiceTable table;
  return table;
}

void acquireServices(ServiceTable& table, GlobalFunc* global) noexcept {
  if (table.acquired.load(std::memory_order_acquire)) {
    return;
  }
  if (table.claimed.test_and_set(std::memory_order_acq_rel)) {
    // Another activation is filling the table: its pointers must be complete before this
    // activation hands out entries that use them.
    while (!table.acquired.load(std::memory_order_acquire)) {
      std::this_thread::yield();
    }
    return;
  }
  table.global = global;
  table.itemInfo = serviceNamed<LWItemInfo>(global, LWITEMINFO_GLOBAL);
  table.sceneInfo.store(serviceNamed<LWSceneInfo>(global, LWSCENEINFO_GLOBAL), std::memory_order_relaxed);
  table.objectFuncs = serviceNamed<LWObjectFuncs>(global, LWOBJECTFUNCS_GLOBAL);
  table.xpanel = serviceNamed<LWXPanelFuncs>(global, LWXPANELFUNCS_GLOBAL);
  table.nodeEditor = serviceNamed<LWNodeEditorFuncs>(global, LWNODEEDITORFUNCS_GLOBAL);
  table.nodeInput = serviceNamed<LWNodeInputFuncs>(global, LWNODEINPUTFUNCS_GLOBAL);
  table.nodeFuncs = serviceNamed<LWNodeFuncs>(global, LWNODEFUNCS_GLOBAL);
  table.instUpdate = reinterpret_cast<LWInstUpdate*>(global(LWINSTUPDATE_GLOBAL, GFUSE_TRANSIENT));
  table.acquired.store(true, std::memory_order_release);
}

}  // namespace tarrow
