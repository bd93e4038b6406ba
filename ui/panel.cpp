#include "ui/panel.h"

namespace tarrow {

// The panel is not built yet: the interface activation hands the host no panel.
LWXPanelID buildPanel(LagInstance* /*instance*/) noexcept { return nullptr; }

}  // namespace tarrow
