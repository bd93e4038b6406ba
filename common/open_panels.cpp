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

void OpenPanels::destroyAll(const LWXPanelFuncs& xpanel) noexcept {
  std::list<OpenPanel> closing;
  closing.splice(closing.end(), panels_);  // moves the nodes: no allocation, addresses kept
  for (const OpenPanel& open : closing) {
    xpanel.destroy(open.id);
  }
}

bool OpenPanels::holds(LWXPanelID id) const noexcept {
  for (const OpenPanel& open : panels_) {
    if (open.id == id) return true;
  }
  return false;
}

}  // namespace tarrow
