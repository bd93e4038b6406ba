// The node editor every instance gets at creation, with its three inputs (lag rate, pivot
// position and weight), and the callbacks the editor calls back.
#pragma once

#include "sdk/lwserver.h"

namespace tarrow {

struct LagInstance;

// Makes the editor and its inputs; the instance's objectId must be set.
void setUpNodeEditor(LagInstance& instance) noexcept;

// The inputs' event callback: the user data is the instance the editor was made for.
int nodeInputChanged(void* userData, NodeInputID input, int nodalEvent,
                     ConnectionType connectionType) noexcept;

// Preview ranges of the editor: three (0, 1) pairs.
void fillUnitRanges(NodeEditorID editor, void* data, double ranges[3][2]) noexcept;

}  // namespace tarrow
