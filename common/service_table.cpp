#include "common/service_table.h"

namespace tarrow {
namespace {

// The answers to every name of the generation, or false at the first name that gets none.
bool askFor(const HostGeneration& generation, GlobalFunc* global,
            std::array<void*, kGenerationServices>& answers) noexcept {
  for (std::size_t k = 0; k < kGenerationServices; ++k) {
    answers[k] = global(generation.services[k], GFUSE_TRANSIENT);
    if (answers[k] == nullptr) {
      return false;
    }
  }
  return true;
}

}  // namespace

ServiceTable& services() noexcept {
  static ServiceTable table;
  return table;
}

bool acquireServices(ServiceTable& table, GlobalFunc* global) noexcept {
  if (table.acquired.load(std::memory_order_acquire)) {
    return true;
  }
  // Locking fails only on a broken system; the activation then gets no services rather than a
  // half-filled table.
  std::unique_lock<std::mutex> lock;
  try {
    lock = std::unique_lock<std::mutex>(table.acquiring);
  } catch (...) {
    return false;
  }
  if (table.acquired.load(std::memory_order_relaxed)) {
    return true;
  }
  std::array<void*, kGenerationServices> answers{};
  for (const HostGeneration& generation : kHostGenerations) {
    if (!askFor(generation, global, answers)) {
      continue;
    }
    table.global = global;
    table.generation = &generation;
    table.nodes = generation.nodes;
    table.itemInfo = static_cast<LWItemInfo*>(answers[kItemInfoService]);
    table.objectFuncs = static_cast<LWObjectFuncs*>(answers[kObjectFuncsService]);
    table.xpanel = static_cast<LWXPanelFuncs*>(answers[kXPanelService]);
    table.nodeEditor = answers[kNodeEditorService];
    table.nodeInput = answers[kNodeInputService];
    table.nodeFuncs = static_cast<LWNodeFuncs*>(answers[kNodeFuncsService]);
    table.instUpdate = reinterpret_cast<LWInstUpdate*>(answers[kInstUpdateService]);
    table.acquired.store(true, std::memory_order_release);
    return true;
  }
  return false;
}

}  // namespace tarrow
