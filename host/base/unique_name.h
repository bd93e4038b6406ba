// Names no other file of this or another run has: for temporaries and private copies.
#pragma once

#include <string>

namespace tarrow::host {

// Sixteen random hexadecimal digits and a count of the calls in this process, so that two names
// differ even where the system's random source repeats itself.
std::string uniqueSuffix();

}  // namespace tarrow::host
