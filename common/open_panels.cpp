#include "common/open_panels.h"

#include <new>

namespace tarrow {

OpenPanel* OpenPanels::add(LagInstance& instance, LWXPanelID id) noexcept {
  try {
    return &panels_.emplace_back(OpenPanel{&instance, id});
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void OpenPanels::forget(const OpenPanel* panel) noexcept {
  panels_.remove_if([panel](const OpenPanel& open) { return &open == panel; });
}

void OpenPanels::refreshAll(const LWXPanelFuncs& xpanel) const noexcept {
  for (const OpenPanel& open : panels_) {
    xpanel.viewRefresh(open.id);
  }
}

void OpenPanels::detachAll(const LWXPanelFuncs& xpanel) noexcept {
  for (const OpenPanel& open : panels_) {
    xpanel.setData(open.id, 0, nullptr);
    xpanel.viewInst(open.id, nullptr);
  }
  panels_.clear();
}

bool OpenPanels::holds(LWXPanelID id) const noexcept {
  for (const OpenPanel& open : panels_) {
    if (open.id == id) return true;
  }
  return false;
}

}  // namespace tarrow
