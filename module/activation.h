// The activation entries of the two servers.
#pragma once

#include "sdk/lwserver.h"

namespace tarrow {

int activateHandler(int version, GlobalFunc* global, void* local, void* serverData) noexcept;
int activateInterface(int version, GlobalFunc* global, void* local, void* serverData) noexcept;

}  // namespace tarrow
