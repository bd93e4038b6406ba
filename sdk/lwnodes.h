// Node editor services and the sample record that node inputs are evaluated with.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lwio.h"
#include "lwtypes.h"

#define NODEEDITORFUNCS_GLOBAL "NodeEditorFuncs 4"
#define NODEINPUTFUNCS_GLOBAL "NodeInputFuncs 4"
#define NODEFUNCS_GLOBAL "NodeFuncs"

// Connection types of node inputs and outputs.
typedef int32_t ConnectionType;
constexpr ConnectionType NOT_CONNECTABLE = 0;
constexpr ConnectionType NCT_COLOR = 1;
constexpr ConnectionType NCT_SCALAR = 2;
constexpr ConnectionType NCT_VECTOR = 3;
constexpr ConnectionType NCT_INTEGER = 4;

// Context handed to the node editor's create: eight members, all zero for a deformer.
struct LWNodeCreateContext {
  void* members[8];
};
static_assert(sizeof(LWNodeCreateContext) == 64);

// Sample record of one spot: what a node network sees when an input is evaluated.
struct LWNodalAccess {
  uint8_t reserved0[8];
  double oPos[3];        // undeformed position
  double wPos[3];        // world position
  uint8_t reserved56[72];
  double raySource[3];   // where the viewing ray comes from
  double rayLength;
  double spotSize;
  uint8_t reserved168[16];
  double oXfrm[9];       // right, up, forward in the parent's coordinates
  double wXfrm[9];       // right, up, forward in world coordinates
  uint8_t reserved328[56];
  LWItemID rayItem;      // the item the viewing ray comes from
  LWItemID objID;        // the object being sampled
  uint8_t reserved400[8];
  LWPntID verts[4];      // the spot's vertices
  float weights[4];      // their weights
  float vertsWPos[4][3]; // their world positions
  uint8_t reserved504[72];
  double rayDir[3];      // unit direction of the viewing ray
  uint8_t reserved600[112];
};

static_assert(sizeof(LWNodalAccess) == 712);
static_assert(offsetof(LWNodalAccess, oPos) == 8);
static_assert(offsetof(LWNodalAccess, wPos) == 32);
static_assert(offsetof(LWNodalAccess, raySource) == 128);
static_assert(offsetof(LWNodalAccess, rayLength) == 152);
static_assert(offsetof(LWNodalAccess, spotSize) == 160);
static_assert(offsetof(LWNodalAccess, oXfrm) == 184);
static_assert(offsetof(LWNodalAccess, wXfrm) == 256);
static_assert(offsetof(LWNodalAccess, rayItem) == 384);
static_assert(offsetof(LWNodalAccess, objID) == 392);
static_assert(offsetof(LWNodalAccess, verts) == 408);
static_assert(offsetof(LWNodalAccess, weights) == 440);
static_assert(offsetof(LWNodalAccess, vertsWPos) == 456);
static_assert(offsetof(LWNodalAccess, rayDir) == 576);

// Called by the editor when one of its inputs changes (a connection made or broken).
// userData is what the editor's create was given.
typedef int NodeInputEvent(void* userData, NodeInputID input, int event);
// Installed per editor; called when the network changes.
typedef void NodeEditorUpdateFunc(NodeEditorID editor, void* userData);
// Installed per editor; writes three (min, max) pairs of preview ranges into out.
typedef int NodeEditorRangeFunc(void* first, void* second, double* out);

struct NodeEditorFuncs {
  NodeEditorID (*create)(const char* title, const char* name, const LWNodeCreateContext* context,
                         void* reserved, void* userData, int flags);
  void (*destroy)(NodeEditorID editor);
  // Copies the network of from into to; to keeps its own inputs.
  LWError (*copy)(NodeEditorID to, NodeEditorID from);
  LWError (*save)(NodeEditorID editor, const LWSaveState* saveState);
  LWError (*load)(NodeEditorID editor, const LWLoadState* loadState);
  NodeInputID (*addInput)(NodeEditorID editor, ConnectionType type, const char* name,
                          NodeInputEvent* event);
  NodeID (*getRootNode)(NodeEditorID editor);
  void (*setEnvGroup)(NodeEditorID editor, LWChanGroupID group);
  void (*setUpdateFunc)(NodeEditorID editor, NodeEditorUpdateFunc* func);
  void (*setRangeFunc)(NodeEditorID editor, NodeEditorRangeFunc* func);
  // Per-frame update of the editor's network before any input is evaluated.
  void (*update)(NodeEditorID editor, LWFrame frame, LWTime time);
  int (*openWindow)(NodeEditorID editor);
};

struct NodeInputFuncs {
  int (*check)(NodeInputID input);  // nonzero when something is connected
  // Writes the connected output's value (one double, or three for a vector).
  int (*evaluate)(NodeInputID input, LWNodalAccess* sample, void* value);
};

struct NodeFuncs {
  // Root node flags; a deformer's editor sets 2.
  void (*setRootFlags)(NodeID node, int flags);
};
