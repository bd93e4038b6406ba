// The renderer's functions inside the node sample record, as a deformer has them: points are
// moved before anything is rendered, so no light reaches them, every ray misses, colours are
// black, and random numbers come from a stream of the point's own.
#pragma once

#include <cstdint>

#include "sdk/lwserver.h"

namespace tarrow {

// Sets every function member of the record to one of this module's. Nodes call them without a
// null check, so none may stay empty.
void setSampleFunctions(LWNodalAccess& sample) noexcept;
void setSampleFunctions(lw2018::LWShadingFuncs& funcs) noexcept;

// The first state of a point's random stream (randomFloat's data): the same for the same point
// whichever thread evaluates it, so a frame's numbers do not depend on the number of threads.
std::uint64_t randomSeed(LWPntID point) noexcept;

}  // namespace tarrow
