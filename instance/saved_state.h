// The instance's settings as blocks of the host's scene file.
#pragma once

#include "sdk/lwserver.h"

namespace tarrow {

// The blocks in the order save writes them, then the end entry.
extern const LWBlockIdent kSavedBlocks[8];

LWError save(LWInstance instance, const LWSaveState* saveState) noexcept;
LWError load(LWInstance instance, const LWLoadState* loadState) noexcept;

}  // namespace tarrow
