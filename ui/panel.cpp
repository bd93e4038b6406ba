#include "ui/panel.h"

#include <cstdint>
#include <mutex>

#include "common/identity.h"
#include "common/lag_instance.h"
#include "common/service_table.h"
#include "ui/labels.h"

namespace tarrow {
namespace {

// One row per control, the button first, then the zero record that ends the list.
LWXPanelControl panelControls[7] = {};
// One row per value (the button has none), then the zero record.
LWXPanelDataDesc panelDataDesc[6] = {};
std::once_flag controlsFilled;
std::once_flag dataDescFilled;

// The labels in force when the first panel is built; every later panel keeps them.
const LabelTable& currentLabels() noexcept {
  const LabelTable* labels = PanelLabels.load(std::memory_order_acquire);
  return labels != nullptr ? *labels : kEnglishLabels;
}

void fillControls() noexcept {
  const LabelTable& label = currentLabels();
  panelControls[0] = {ID_EDIT_NODE, label[0], "vButton"};
  panelControls[1] = {ID_USE_NODE, label[1], "iBoolean"};
  panelControls[2] = {ID_LAG_RATE, label[2], "float"};
  panelControls[3] = {ID_PIVOT_ITEM, label[3], "iPopChoice"};
  panelControls[4] = {ID_LOCAL_PIVOT, label[4], "iBoolean"};
  panelControls[5] = {ID_WEIGHT_MAP, label[5], "iPopChoice"};
  panelControls[6] = {0, nullptr, nullptr};
}

void fillDataDesc() noexcept {
  const LabelTable& label = currentLabels();
  panelDataDesc[0] = {ID_USE_NODE, label[1], "integer"};
  panelDataDesc[1] = {ID_LAG_RATE, label[2], "float"};
  panelDataDesc[2] = {ID_PIVOT_ITEM, label[3], "integer"};
  panelDataDesc[3] = {ID_LOCAL_PIVOT, label[4], "integer"};
  panelDataDesc[4] = {ID_WEIGHT_MAP, label[5], "integer"};
  panelDataDesc[5] = {0, nullptr, nullptr};
}

LWXPanelHint word(std::uintptr_t value) noexcept { return reinterpret_cast<LWXPanelHint>(value); }

template <typename Function>
LWXPanelHint word(Function* function) noexcept {
  return reinterpret_cast<LWXPanelHint>(function);
}

// The panel's own data is the module's record of that open panel.
LagInstance* instanceOf(LWXPanelID panel) noexcept {
  const auto* open = static_cast<const OpenPanel*>(services().xpanel->getData(panel, 0));
  return open != nullptr ? open->instance : nullptr;
}

}  // namespace

// clang-format off
const LWXPanelHint panelHints[] = {
    word(XPTAG_LABEL),         word(std::uintptr_t{0}), word(reinterpret_cast<std::uintptr_t>(kServerName)), word(std::uintptr_t{0}),
    word(XPTAG_LEFT),       word(ID_EDIT_NODE),      word(std::uintptr_t{0}),
    word(XPTAG_CHGNOTIFY),     word(&onPanelChange),
    word(XPTAG_BUTNOTIFY),     word(ID_EDIT_NODE),      word(&onPanelButton),
    word(XPTAG_POPFUNCS),  word(ID_PIVOT_ITEM),     word(&pivotChoiceCount),     word(&pivotChoiceName),
    word(XPTAG_POPFUNCS),  word(ID_WEIGHT_MAP),     word(&weightMapChoiceCount), word(&weightMapChoiceName),
    word(XPTAG_DESTROYNOTIFY), word(&onPanelDestroy),   word(std::uintptr_t{0}),
    word(std::uintptr_t{0})};
// clang-format on

LWXPanelID buildPanel(LagInstance* instance) noexcept {
  if (instance == nullptr) {
    return nullptr;
  }
  // Both fills are noexcept; call_once only throws when the platform cannot wait at all.
  try {
    std::call_once(controlsFilled, fillControls);
    std::call_once(dataDescFilled, fillDataDesc);
  } catch (...) {
    return nullptr;
  }
  LWXPanelFuncs& xpanel = *services().xpanel;
  const LWXPanelID panel = xpanel.create(LWXP_VIEW, panelControls);
  if (panel == nullptr) {
    return nullptr;
  }
  OpenPanel* open = instance->panels.add(*instance, panel);
  if (open == nullptr) {
    // A panel the instance could not keep track of could outlive it: it is not handed out.
    xpanel.destroy(panel);
    return nullptr;
  }
  xpanel.hint(panel, 0, const_cast<LWXPanelHint*>(panelHints));
  xpanel.describe(panel, panelDataDesc, getPanelValue, setPanelValue);
  xpanel.viewInst(panel, instance);
  xpanel.setData(panel, 0, open);
  return panel;
}

int onPanelChange(LWXPanelID panel, unsigned int /*controlId*/, unsigned int /*valueId*/,
                  int eventType) noexcept {
  // Tracking and hits come before the value is committed; only a committed value is news.
  if (eventType != LWXPEVENT_VALUE || panel == nullptr) {
    return LWXPRC_NONE;
  }
  if (LagInstance* instance = instanceOf(panel)) {
    services().instUpdate(kHandlerClass, instance);
  }
  return LWXPRC_NONE;
}

void onPanelButton(LWXPanelID panel, int controlId) noexcept {
  if (panel == nullptr) {
    return;
  }
  LagInstance* instance = instanceOf(panel);
  if (instance != nullptr && controlId == static_cast<int>(ID_EDIT_NODE)) {
    services().nodes->open(instance->nodeEditor);
  }
}

void onPanelDestroy(void* panelData) noexcept {
  // From here on node input events must not refresh the panel the host has let go; the
  // instance's other panels stay as they are.
  const auto* open = static_cast<const OpenPanel*>(panelData);
  if (open != nullptr && open->instance != nullptr) {
    open->instance->panels.forget(open);
  }
}

}  // namespace tarrow
