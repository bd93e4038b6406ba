// Who the module is to the host: the server's name, its handler class and the texts of the
// errors it reports. Constant for the module's life.
#pragma once

#include "sdk/lwdisplace.h"

namespace tarrow {

inline constexpr const char* kServerName = "Tarrow_plus";
inline constexpr const char* kHandlerClass = LWDISPLACEMENT_HCLASS;
inline constexpr const char* kAllocationError = "Couldn't allocate memory for instance.";

}  // namespace tarrow
