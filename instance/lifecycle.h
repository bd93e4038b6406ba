// Host entries that make, copy, describe and end an instance and keep its item reference.
#pragma once

#include "sdk/lwserver.h"

namespace tarrow {

LWInstance create(void* priv, void* context, LWError* errorOut) noexcept;
void destroy(LWInstance instance) noexcept;
LWError copy(LWInstance to, LWInstance from) noexcept;
const char* descln(LWInstance instance) noexcept;
const LWItemID* useItems(LWInstance instance) noexcept;
void changeID(LWInstance instance, const LWItemID* idPairs) noexcept;

}  // namespace tarrow
