#include "module/service_table.h"

namespace tarrow {

ServiceTable& services() noexcept {
  static ServiceTable table;
  return table;
}

void acquireServices(ServiceTable& table, GlobalFunc* global) noexcept {
  if (table.acquired) {
    return;
  }
  table.global = global;
  table.acquired = true;
  table.itemInfo = static_cast<LWItemInfo*>(global(LWITEMINFO_GLOBAL, GFUSE_TRANSIENT));
  table.sceneInfo.store(static_cast<LWSceneInfo*>(global(LWSCENEINFO_GLOBAL, GFUSE_TRANSIENT)),
                        std::memory_order_relaxed);
  table.objectFuncs = static_cast<LWObjectFuncs*>(global(LWOBJECTFUNCS_GLOBAL, GFUSE_TRANSIENT));
  table.xpanel = static_cast<LWXPanelFuncs*>(global(LWXPANELFUNCS_GLOBAL, GFUSE_TRANSIENT));
  table.nodeEditor = static_cast<NodeEditorFuncs*>(global(NODEEDITORFUNCS_GLOBAL, GFUSE_TRANSIENT));
  table.nodeInput = static_cast<NodeInputFuncs*>(global(NODEINPUTFUNCS_GLOBAL, GFUSE_TRANSIENT));
  table.nodeFuncs = static_cast<NodeFuncs*>(global(NODEFUNCS_GLOBAL, GFUSE_TRANSIENT));
  table.instUpdate = reinterpret_cast<LWInstUpdate*>(global(LWINSTUPDATE_GLOBAL, GFUSE_TRANSIENT));
}

}  // namespace tarrow
