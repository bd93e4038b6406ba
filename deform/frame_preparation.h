// What the points of one time share, gathered once before the first point of that time.
#pragma once

#include "sdk/lwserver.h"

namespace tarrow {

LWError newTime(LWInstance instance, LWFrame frame, LWTime time) noexcept;

}  // namespace tarrow
