// The activation entries of the two servers.
#pragma once

#include "sdk/lwserver.h"

namespace tarrow {

int32_t activateHandler(int32_t version, GlobalFunc* global, void* local, void* serverData) noexcept;
int32_t activateInterface(int32_t version, GlobalFunc* global, void* local, void* serverData) noexcept;

}  // namespace tarrow
