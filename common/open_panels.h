// The settings panels the host has open for one instance. The host owns every panel; for each one
// the module keeps the record it gave the host as that panel's own data, so that each
// notification knows which panel of which instance it is about, and an instance that goes away
// destroys the panels the host still shows. Used on the host's interface thread only.
#pragma once

#include <cstddef>
#include <list>

#include "sdk/lwxpanel.h"

namespace tarrow {

struct LagInstance;

struct OpenPanel {
  LagInstance* instance = nullptr;
  LWXPanelID id = nullptr;
};

class OpenPanels {
 public:
  // Remembers a panel the host has just built; null when there is no memory for the record.
  OpenPanel* add(LagInstance& instance, LWXPanelID id) noexcept;
  // The host closed this panel: only its own record goes.
  void forget(const OpenPanel* panel) noexcept;
  // Asks the host to draw every open panel again, reading its values anew.
  void refreshAll(const LWXPanelFuncs& xpanel) const noexcept;
  // The instance goes: every panel the host has not destroyed yet is destroyed, each once. The
  // destroy notification the host sends from within finds its record still there but no longer
  // listed, so it frees nothing; the records go when all panels are gone.
  void destroyAll(const LWXPanelFuncs& xpanel) noexcept;

  bool empty() const noexcept { return panels_.empty(); }
  std::size_t size() const noexcept { return panels_.size(); }
  bool holds(LWXPanelID id) const noexcept;

 private:
  std::list<OpenPanel> panels_;  // records keep their addresses while others come and go
};

}  // namespace tarrow
