// The per-point lag: each point follows the pivot's frame as it was a little earlier.
#pragma once

#include "sdk/lwserver.h"

namespace tarrow {

// Moves access->source; safe to call for several points of one frame at once. Inputs is the
// host's node input table, LWNodeInputFuncs (2015.3) or lw2018::LWNodeInputFuncs (2018 on):
// the activation hands the host the entry of its generation, so no point pays for the choice.
template <typename Inputs>
void evaluate(LWInstance instance, LWDisplacementAccess* access) noexcept;

extern template void evaluate<LWNodeInputFuncs>(LWInstance instance, LWDisplacementAccess* access) noexcept;
extern template void evaluate<lw2018::LWNodeInputFuncs>(LWInstance instance,
                                                        LWDisplacementAccess* access) noexcept;

}  // namespace tarrow
