// The per-point lag: each point follows the pivot's frame as it was a little earlier.
#pragma once

#include "sdk/lwserver.h"

namespace tarrow {

// Moves access->source; safe to call for several points of one frame at once.
void evaluate(LWInstance instance, LWDisplacementAccess* access) noexcept;

}  // namespace tarrow
