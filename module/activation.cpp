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

LWError init(LWInstance /*instance*/, int /*mode*/) noexcept { return nullptr; }

void cleanup(LWInstance /*instance*/) noexcept {}

}  // namespace

int activateHandler(int version, GlobalFunc* global, void* local, void* /*serverData*/) noexcept {
  if (version != LWDISPLACEMENT_VERSION) {
    return AFUNC_BADVERSION;
  }
  auto* handler = static_cast<LWDisplacementHandler*>(local);
  if (handler == nullptr || handler->inst == nullptr) {
    return AFUNC_BADLOCAL;
  }
  acquireServices(services(), global);
  selectPanelLabels(global);

  LWInstanceFuncs& inst = *handler->inst;
  inst.create = create;
  inst.destroy = destroy;
  inst.copy = copy;
  inst.load = load;
  inst.save = save;
  inst.descln = descln;
  handler->evaluate = evaluate;
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

int activateInterface(int version, GlobalFunc* /*global*/, void* local, void* /*serverData*/) noexcept {
  if (version != LWINTERFACE_VERSION) {
    return AFUNC_BADVERSION;
  }
  auto* panelRequest = static_cast<LWInterface*>(local);
  if (panelRequest == nullptr) {
    return AFUNC_BADLOCAL;
  }
  panelRequest->panel = buildPanel(static_cast<LagInstance*>(panelRequest->inst));
  panelRequest->options = nullptr;
  panelRequest->command = nullptr;
  return AFUNC_OK;
}

}  // namespace tarrow
