// The node editor and its inputs as the module uses them, in whichever generation of the host.
// From 2018 on, the host's editor table has members inserted in its middle, setAutosize and its
// callback take one more argument, the preview types are numbered anew and inputs are evaluated
// with the shading geometry record instead of the nodal access record. One NodeInterface per
// layout of those records carries every such difference; the activation picks it once. Each
// entry calls the host's table of that layout directly; none is called per point (evaluate goes
// to the host's input table itself, deform/lag_evaluation.h).
#pragma once

#include "sdk/lwserver.h"

namespace tarrow {

struct NodeInterface {
  int previewOff;  // NPT_OFF of the generation
  // The editor of a deformer: a zero root description, no input node, no parent.
  NodeEditorID (*create)(const char* name, const char* title, void* userData) noexcept;
  void (*destroy)(NodeEditorID editor) noexcept;
  LWError (*copy)(NodeEditorID to, NodeEditorID from) noexcept;
  LWError (*save)(NodeEditorID editor, const LWSaveState* save) noexcept;
  LWError (*load)(NodeEditorID editor, const LWLoadState* load) noexcept;
  LWError (*init)(NodeEditorID editor, int mode) noexcept;
  LWError (*newTime)(NodeEditorID editor, LWFrame frame, LWTime time) noexcept;
  void (*cleanup)(NodeEditorID editor) noexcept;
  NodeInputID (*addInput)(NodeEditorID editor, ConnectionType type, const char* name,
                          NodeInputEvent* event) noexcept;
  void (*setEnvGroup)(NodeEditorID editor, LWChanGroupID group) noexcept;
  void (*setUpdateFunc)(NodeEditorID editor, nodeEditorUpdateFunc* update) noexcept;
  // Installs the callback that gives the preview ranges three (0, 1) pairs.
  void (*setUnitRanges)(NodeEditorID editor) noexcept;
  NodeID (*rootNode)(NodeEditorID editor) noexcept;
  int (*open)(NodeEditorID editor) noexcept;
  int (*check)(NodeInputID input) noexcept;
  // The user data the editor was created with: the instance it belongs to.
  void* (*userData)(NodeEditorID editor) noexcept;
  // The items the editor's nodes read, ended by a null; the host's list, read at once.
  void* const* (*usedItems)(NodeEditorID editor) noexcept;
};

extern const NodeInterface kNodeInterface2015;
extern const NodeInterface kNodeInterface2018;  // 2018 to 2025

// The preview ranges of the editor: three (0, 1) pairs, in the callback of each generation.
void fillUnitRanges(NodeEditorID editor, void* data, double ranges[3][2]) noexcept;
int fillUnitRanges2018(NodeEditorID editor, void* userData, void* autosizeData, double ranges[3][2]) noexcept;

}  // namespace tarrow
