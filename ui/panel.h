// The settings panel of one instance, built for the interface activation.
#pragma once

#include "sdk/lwserver.h"

namespace tarrow {

struct LagInstance;

// Builds the host panel for the instance and keeps it in the instance; null when none is built.
LWXPanelID buildPanel(LagInstance* instance) noexcept;

}  // namespace tarrow
