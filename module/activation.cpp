#include "module/activation.h"

#include "common/lag_instance.h"
#include "common/service_table.h"
#include "deform/frame_preparation.h"
#include "deform/lag_evaluation.h"
#include "instance/lifecycle.h"
#include "instance/saved_state.h"
#include "ui/labels.h"
#include "ui/panel.h"

namespace tarrow {
namespace {

// Points are handed over and written back in world coordinates.
unsigned int flags(LWInstance /*instance*/) noexcept { return LWDMF_WORLD; }

// A render pass brackets the node editor's own: its nodes prepare themselves in init (the mode is
// the host's: preview, render or, from 2025, interactive render) and let go in cleanup; the
// editor's error text goes back to the host as it is.
LWError init(LWInstance instance, int mode) noexcept {
  const auto* lag = static_cast<const LagInstance*>(instance);
  if (lag == nullptr || lag->nodeEditor == nullptr) {
    return nullptr;
  }
  return services().nodes->init(lag->nodeEditor, mode);
}

void cleanup(LWInstance instance) noexcept {
  const auto* lag = static_cast<const LagInstance*>(instance);
  if (lag != nullptr && lag->nodeEditor != nullptr) {
    services().nodes->cleanup(lag->nodeEditor);
  }
}

// Whether any generation has this version; a version none has is refused before anything is
// asked of the host.
bool anyGeneration(int version, int HostGeneration::*kind) noexcept {
  for (const HostGeneration& generation : kHostGenerations) {
    if (generation.*kind == version) {
      return true;
    }
  }
  return false;
}

// The services of the host, found once; AFUNC_OK when the version is the host generation's own.
int acquireFor(int version, int HostGeneration::*kind, GlobalFunc* global) noexcept {
  if (!anyGeneration(version, kind)) {
    return AFUNC_BADVERSION;
  }
  ServiceTable& host = services();
  if (!acquireServices(host, global)) {
    return AFUNC_BADGLOBAL;
  }
  return host.generation->*kind == version ? AFUNC_OK : AFUNC_BADVERSION;
}

using DisplacementEvaluate = void(LWInstance instance, LWDisplacementAccess* access);

// The per-point entry for the layout of the host's node input table.
DisplacementEvaluate* evaluateEntry(const ServiceTable& host) noexcept {
  return host.nodes == &kNodeInterface2015 ? &evaluate<LWNodeInputFuncs>
                                           : &evaluate<lw2018::LWNodeInputFuncs>;
}

}  // namespace

int activateHandler(int version, GlobalFunc* global, void* local, void* /*serverData*/) noexcept {
  auto* handler = static_cast<LWDisplacementHandler*>(local);
  if (!anyGeneration(version, &HostGeneration::handlerVersion)) {
    return AFUNC_BADVERSION;
  }
  if (handler == nullptr || handler->inst == nullptr) {
    return AFUNC_BADLOCAL;
  }
  if (const int result = acquireFor(version, &HostGeneration::handlerVersion, global); result != AFUNC_OK) {
    return result;
  }
  const ServiceTable& host = services();
  selectPanelLabels(global, host.generation->utf8Texts);

  LWInstanceFuncs& inst = *handler->inst;
  inst.create = create;
  inst.destroy = destroy;
  inst.copy = copy;
  inst.load = load;
  inst.save = save;
  inst.descln = descln;
  handler->evaluate = evaluateEntry(host);
  handler->flags = flags;
  if (handler->item != nullptr) {
    handler->item->useItems = useItems;
    handler->item->changeID = changeID;
  }
  if (handler->rend != nullptr) {
    handler->rend->init = init;
    handler->rend->cleanup = cleanup;
    handler->rend->newTime = newTime;
  }
  return AFUNC_OK;
}

int activateInterface(int version, GlobalFunc* global, void* local, void* /*serverData*/) noexcept {
  if (!anyGeneration(version, &HostGeneration::interfaceVersion)) {
    return AFUNC_BADVERSION;
  }
  auto* panelRequest = static_cast<LWInterface*>(local);
  if (panelRequest == nullptr) {
    return AFUNC_BADLOCAL;
  }
  if (const int result = acquireFor(version, &HostGeneration::interfaceVersion, global); result != AFUNC_OK) {
    return result;
  }
  panelRequest->panel = buildPanel(static_cast<LagInstance*>(panelRequest->inst));
  panelRequest->options = nullptr;
  panelRequest->command = nullptr;
  return AFUNC_OK;
}

}  // namespace tarrow
