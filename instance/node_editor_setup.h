// The node editor every instance gets at creation, with its three inputs (lag rate, pivot
// position and weight), and the callbacks the editor calls back.
#pragma once

#include "common/node_interface.h"
#include "sdk/lwserver.h"

namespace tarrow {

struct LagInstance;

// Makes the editor and its inputs; the instance's objectId must be set.
void setUpNodeEditor(LagInstance& instance) noexcept;

// The inputs' event callback: the user data is the instance the editor was made for.
int nodeInputChanged(void* userData, NodeInputID input, int nodalEvent,
                     ConnectionType connectionType) noexcept;

// The editor's update function: something inside the network changed its output (a node's own
// value, without a connection made or broken). The editor's user data is the instance.
void nodeNetworkUpdated(NodeEditorID editor) noexcept;

}  // namespace tarrow
