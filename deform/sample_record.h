// The node sample record of one point: what the node inputs are evaluated with.
#pragma once

#include "sdk/lwserver.h"

namespace tarrow {

struct LagInstance;

// Fills every byte of sample: the listed members from the point and the frame's cache, zero
// elsewhere. Safe to call for several points at once.
void fillNodalAccess(const LagInstance& instance, const LWDisplacementAccess& access,
                     LWNodalAccess& sample) noexcept;

}  // namespace tarrow
