// Node editor services and the sample record that node inputs are evaluated with.
#pragma once

#include <cstddef>

#include "lwio.h"
#include "lwtypes.h"

#define LWNODEEDITORFUNCS_GLOBAL "NodeEditorFuncs 4"
#define LWNODEINPUTFUNCS_GLOBAL "NodeInputFuncs 4"
#define LWNODEFUNCS_GLOBAL "NodeFuncs"

// Connection types of node inputs and outputs.
typedef int ConnectionType;
constexpr ConnectionType NOT_COLOR = 1;
constexpr ConnectionType NOT_SCALAR = 2;
constexpr ConnectionType NOT_VECTOR = 3;

// Events given to a node input's event function.
constexpr int NIE_CONNECT = 0;
constexpr int NIE_DISCONNECT = 1;
constexpr int NIE_INPUTNODEDESTROY = 2;

// Preview types of a root node.
constexpr int NPT_RENDER = 0;
constexpr int NPT_CUSTOM = 1;
constexpr int NPT_OFF = 2;

// A function a light query calls for each of its samples. Its parameters are the host's; nothing
// here calls one, it is only handed along.
typedef void (*LWNodalSampler)(void);

// Sample record of one spot: what a node network sees when an input is evaluated. Filled by the
// caller of an input's evaluate, in its own storage, for that call only.
struct LWNodalAccess {
  int sx;
  int sy;
  double oPos[3];  // undeformed position
  double wPos[3];  // world position
  double gNorm[3];
  double wNorm[3];
  double wNorm0[3];
  double raySource[3];  // where the viewing ray comes from
  double rayLength;
  double spotSize;
  double cosine;
  double bumpHeight;
  double oXfrm[9];  // right, up, forward in the parent's coordinates
  double wXfrm[9];  // right, up, forward in world coordinates
  // The renderer's functions a node may call, without a null check. Nonzero (or the light's
  // share) when the light reaches the point; the direction toward the light and its colour are
  // written.
  int (*illuminate)(LWItemID light, const double position[3], double direction[3], double color[3]);
  double (*illuminateSample)(LWItemID light, const double position[3], double direction[3],
                             LWNodalSampler sampler, void* samplerData);
  // The distance to the nearest surface along the ray, -1.0 when it hits nothing; the colour
  // seen there is written.
  double (*rayTrace)(const double position[3], const double direction[3], double color[3]);
  double (*rayCast)(const double position[3], const double direction[3]);
  double (*rayShade)(const double position[3], const double direction[3], void* shaderAccess);
  double (*rayTraceMode)(const double position[3], const double direction[3], double color[3], double eta,
                         int mode);
  int bounces;
  LWItemID sourceID;  // the item the viewing ray comes from
  LWItemID objID;     // the object being sampled
  int polNum;
  LWPntID verts[4];       // the spot's vertices
  float weights[4];       // their weights
  float vertsWPos[4][3];  // their world positions
  LWPolID polygon;
  double incomingEta;
  int ResourceContextIndex;
  int flags;
  void* randomData;
  float (*randomFloat)(void* randomData);  // the next number of randomData's stream, in [0, 1)
  int (*illuminateNormal)(LWItemID light, void* render, const double position[3], double direction[3],
                          const double normal[3], double color[3]);
  double (*illuminateSampleNormal)(LWItemID light, void* render, const double position[3],
                                   double direction[3], const double normal[3], LWNodalSampler sampler,
                                   void* samplerData);
  double subsx;
  double subsy;
  double rayDir[3];  // unit direction of the viewing ray
  // Fill the trace record's length and result; the record is the host's and not declared here.
  void (*rayTraceData)(void* render, void* traceData);
  void (*rayTraceShade)(void* traceData);
  void* render;
  // Read and write num values of a render buffer.
  void (*getVal)(void* render, int type, int num, double* values);
  void (*setVal)(void* render, int type, int num, double* values);
  int outsiz;
  void* VertexIndexes;
  void* instanceID;
  void* samplerState;
  // How many samples the spot takes, and the index-th of them, each value in [0, 1].
  unsigned int (*getSamplerRange)(void* samplerState);
  void (*getSample2D)(void* samplerState, unsigned int index, double sample[2]);
  double (*getSample1D)(void* samplerState, unsigned int index);
  unsigned int ownerID;
  void* ownerData;
};

// The root node description handed to the node editor's create; read during the call.
struct LWRootNode {
  int previewType;
  LWError (*init)(NodeEditorID editor, int mode);
  LWError (*newTime)(NodeEditorID editor, LWFrame frame, LWTime time);
  void (*cleanup)(NodeEditorID editor);
  void* (*panel)(NodeEditorID editor);
  LWError (*options)(NodeEditorID editor);
  void (*preview)(NodeEditorID editor, LWNodalAccess* access, double color[3]);
  void (*customPreview)(NodeEditorID editor, int w, int h);
};

// The input node description handed to the node editor's create; a deformer gives none.
struct LWInputNode {
  LWError (*init)(NodeEditorID editor, int mode);
  LWError (*newTime)(NodeEditorID editor, LWFrame frame, LWTime time);
  void (*cleanup)(NodeEditorID editor);
  void (*evaluate)(NodeEditorID editor, LWNodalAccess* access, NodeOutputID output, void* value);
  void* (*panel)(NodeEditorID editor);
  LWError (*options)(NodeEditorID editor);
};

// Main thread: one of the editor's inputs was connected, disconnected, or lost its node.
// userData is what the editor's create was given.
typedef int NodeInputEvent(void* userData, NodeInputID input, int nodalEvent, ConnectionType connectionType);
// Main thread: the editor's network changed.
typedef void nodeEditorUpdateFunc(NodeEditorID editor);
// Main thread: preview ranges of the editor's network, three (min, max) pairs.
typedef void nodeAutoSizeFunc(NodeEditorID editor, void* data, double ranges[3][2]);

// Every function is called on the host's main thread. The editor belongs to whoever created it
// and is destroyed by it; its inputs belong to the editor.
struct LWNodeEditorFuncs {
  // name, title and root are read during the call; userData is handed back to input events.
  NodeEditorID (*create)(const char* name, const char* title, LWRootNode* root, LWInputNode* input,
                         void* userData, NodeEditorID parent);
  void (*destroy)(NodeEditorID editor);
  void (*rename)(const char* title, NodeEditorID editor);
  void (*setUpdateFunc)(NodeEditorID editor, nodeEditorUpdateFunc* update);
  // Copies the network of the second editor into the first; each keeps its own inputs. The
  // error text is the host's.
  LWError (*copy)(NodeEditorID to, NodeEditorID from);
  LWError (*save)(NodeEditorID editor, const LWSaveState* save);
  LWError (*load)(NodeEditorID editor, const LWLoadState* load);
  LWError (*init)(NodeEditorID editor, int mode);
  // Brings the network up to a new time, before any input is evaluated at it.
  LWError (*newTime)(NodeEditorID editor, LWFrame frame, LWTime time);
  void (*cleanup)(NodeEditorID editor);
  // The name is read during the call; the input belongs to the editor.
  NodeInputID (*addInput)(NodeEditorID editor, ConnectionType connectionType, const char* name,
                          NodeInputEvent* event);
  void (*remInput)(NodeEditorID editor, NodeInputID input);
  NodeOutputID (*addOutput)(NodeEditorID editor, ConnectionType connectionType, const char* name);
  void (*remOutput)(NodeEditorID editor, NodeOutputID output);
  void (*setEnvGroup)(NodeEditorID editor, LWChanGroupID channelGroup);
  void (*setAutosize)(NodeEditorID editor, nodeAutoSizeFunc* autosize);
  void (*setUserData)(NodeEditorID editor, void* data);
  void* (*getUserData)(NodeEditorID editor);
  int (*numberOfNodes)(NodeEditorID editor);
  NodeInputID (*getInputByName)(NodeEditorID editor, const char* name);
  NodeInputID (*getInputByIndex)(NodeEditorID editor, int index);
  unsigned short (*getState)(NodeEditorID editor);
  void (*setState)(NodeEditorID editor, unsigned short state);
  int (*OpenNodeEditor)(NodeEditorID editor);
  int (*isOpenNodeEditor)(NodeEditorID editor);
  NodeID (*getRootNodeID)(NodeEditorID editor);
  // The rest of "NodeEditorFuncs 4", past the interface sheet's last row.
  NodeID (*getInputNodeID)(NodeEditorID editor);
  NodeEditorID (*getEditorID)(NodeID node);
  NodeEditorID (*getParentEditorID)(NodeEditorID editor);
  LWError (*connect)(NodeOutputID output, NodeInputID input);
  NodeID (*addNode)(NodeEditorID editor, const char* serverName);
  void (*destroyNode)(NodeID node);
  void (*setXY)(NodeID node, int x, int y);
  void (*setContext)(NodeEditorID editor, const char* context);
  const char* (*getContext)(NodeEditorID editor);
  // Main thread: the items the editor's nodes read, ended by a null; the host owns the list.
  void* const* (*usedItems)(NodeEditorID editor);
};

struct LWNodeInputFuncs {
  NodeInputID (*create)(NodeID node, ConnectionType connectionType, const char* name, NodeInputEvent* event);
  void (*destroy)(NodeInputID input);
  // Any thread: evaluate calls many at once within one frame. Writes the connected output's
  // value (one double, or three for a vector) into the caller's storage.
  int (*evaluate)(NodeInputID input, LWNodalAccess* access, void* value);
  // Any thread, like evaluate: nonzero when something is connected.
  int (*check)(NodeInputID input);
  LWLaterMember laterMembers[15];
};

struct LWNodeFuncs {
  const char* (*nodeName)(NodeID node);
  const char* (*serverUserName)(NodeID node);
  LWChanGroupID (*chanGrp)(NodeID node);
  void (*setNodeColor)(NodeID node, int rgb[3]);
  void (*setNodeColor3)(NodeID node, int r, int g, int b);
  // Main thread (instance creation).
  void (*setNodePreviewType)(NodeID node, int previewType);
  LWLaterMember laterMembers[2];
};

static_assert(sizeof(LWNodalAccess) == 712);
static_assert(offsetof(LWNodalAccess, sx) == 0);
static_assert(offsetof(LWNodalAccess, sy) == 4);
static_assert(offsetof(LWNodalAccess, oPos) == 8);
static_assert(offsetof(LWNodalAccess, wPos) == 32);
static_assert(offsetof(LWNodalAccess, gNorm) == 56);
static_assert(offsetof(LWNodalAccess, wNorm) == 80);
static_assert(offsetof(LWNodalAccess, wNorm0) == 104);
static_assert(offsetof(LWNodalAccess, raySource) == 128);
static_assert(offsetof(LWNodalAccess, rayLength) == 152);
static_assert(offsetof(LWNodalAccess, spotSize) == 160);
static_assert(offsetof(LWNodalAccess, cosine) == 168);
static_assert(offsetof(LWNodalAccess, bumpHeight) == 176);
static_assert(offsetof(LWNodalAccess, oXfrm) == 184);
static_assert(offsetof(LWNodalAccess, wXfrm) == 256);
static_assert(offsetof(LWNodalAccess, illuminate) == 328);
static_assert(offsetof(LWNodalAccess, illuminateSample) == 336);
static_assert(offsetof(LWNodalAccess, rayTrace) == 344);
static_assert(offsetof(LWNodalAccess, rayCast) == 352);
static_assert(offsetof(LWNodalAccess, rayShade) == 360);
static_assert(offsetof(LWNodalAccess, rayTraceMode) == 368);
static_assert(offsetof(LWNodalAccess, bounces) == 376);
static_assert(offsetof(LWNodalAccess, sourceID) == 384);
static_assert(offsetof(LWNodalAccess, objID) == 392);
static_assert(offsetof(LWNodalAccess, polNum) == 400);
static_assert(offsetof(LWNodalAccess, verts) == 408);
static_assert(offsetof(LWNodalAccess, weights) == 440);
static_assert(offsetof(LWNodalAccess, vertsWPos) == 456);
static_assert(offsetof(LWNodalAccess, polygon) == 504);
static_assert(offsetof(LWNodalAccess, incomingEta) == 512);
static_assert(offsetof(LWNodalAccess, ResourceContextIndex) == 520);
static_assert(offsetof(LWNodalAccess, flags) == 524);
static_assert(offsetof(LWNodalAccess, randomData) == 528);
static_assert(offsetof(LWNodalAccess, randomFloat) == 536);
static_assert(offsetof(LWNodalAccess, illuminateNormal) == 544);
static_assert(offsetof(LWNodalAccess, illuminateSampleNormal) == 552);
static_assert(offsetof(LWNodalAccess, subsx) == 560);
static_assert(offsetof(LWNodalAccess, rayDir) == 576);
static_assert(offsetof(LWNodalAccess, rayTraceData) == 600);
static_assert(offsetof(LWNodalAccess, rayTraceShade) == 608);
static_assert(offsetof(LWNodalAccess, render) == 616);
static_assert(offsetof(LWNodalAccess, getVal) == 624);
static_assert(offsetof(LWNodalAccess, setVal) == 632);
static_assert(offsetof(LWNodalAccess, outsiz) == 640);
static_assert(offsetof(LWNodalAccess, VertexIndexes) == 648);
static_assert(offsetof(LWNodalAccess, samplerState) == 664);
static_assert(offsetof(LWNodalAccess, getSamplerRange) == 672);
static_assert(offsetof(LWNodalAccess, getSample2D) == 680);
static_assert(offsetof(LWNodalAccess, getSample1D) == 688);
static_assert(offsetof(LWNodalAccess, ownerID) == 696);
static_assert(offsetof(LWNodalAccess, ownerData) == 704);

static_assert(sizeof(LWRootNode) == 64);
static_assert(offsetof(LWRootNode, previewType) == 0);
static_assert(offsetof(LWRootNode, init) == 8);
static_assert(offsetof(LWRootNode, newTime) == 16);
static_assert(offsetof(LWRootNode, cleanup) == 24);
static_assert(offsetof(LWRootNode, panel) == 32);
static_assert(offsetof(LWRootNode, options) == 40);
static_assert(offsetof(LWRootNode, preview) == 48);
static_assert(offsetof(LWRootNode, customPreview) == 56);

static_assert(sizeof(LWInputNode) == 48);
static_assert(offsetof(LWInputNode, init) == 0);
static_assert(offsetof(LWInputNode, newTime) == 8);
static_assert(offsetof(LWInputNode, cleanup) == 16);
static_assert(offsetof(LWInputNode, evaluate) == 24);
static_assert(offsetof(LWInputNode, panel) == 32);
static_assert(offsetof(LWInputNode, options) == 40);

static_assert(sizeof(LWNodeEditorFuncs) == 288);
static_assert(offsetof(LWNodeEditorFuncs, create) == 0);
static_assert(offsetof(LWNodeEditorFuncs, destroy) == 8);
static_assert(offsetof(LWNodeEditorFuncs, rename) == 16);
static_assert(offsetof(LWNodeEditorFuncs, setUpdateFunc) == 24);
static_assert(offsetof(LWNodeEditorFuncs, copy) == 32);
static_assert(offsetof(LWNodeEditorFuncs, save) == 40);
static_assert(offsetof(LWNodeEditorFuncs, load) == 48);
static_assert(offsetof(LWNodeEditorFuncs, init) == 56);
static_assert(offsetof(LWNodeEditorFuncs, newTime) == 64);
static_assert(offsetof(LWNodeEditorFuncs, cleanup) == 72);
static_assert(offsetof(LWNodeEditorFuncs, addInput) == 80);
static_assert(offsetof(LWNodeEditorFuncs, remInput) == 88);
static_assert(offsetof(LWNodeEditorFuncs, addOutput) == 96);
static_assert(offsetof(LWNodeEditorFuncs, remOutput) == 104);
static_assert(offsetof(LWNodeEditorFuncs, setEnvGroup) == 112);
static_assert(offsetof(LWNodeEditorFuncs, setAutosize) == 120);
static_assert(offsetof(LWNodeEditorFuncs, setUserData) == 128);
static_assert(offsetof(LWNodeEditorFuncs, getUserData) == 136);
static_assert(offsetof(LWNodeEditorFuncs, numberOfNodes) == 144);
static_assert(offsetof(LWNodeEditorFuncs, getInputByName) == 152);
static_assert(offsetof(LWNodeEditorFuncs, getInputByIndex) == 160);
static_assert(offsetof(LWNodeEditorFuncs, getState) == 168);
static_assert(offsetof(LWNodeEditorFuncs, setState) == 176);
static_assert(offsetof(LWNodeEditorFuncs, OpenNodeEditor) == 184);
static_assert(offsetof(LWNodeEditorFuncs, isOpenNodeEditor) == 192);
static_assert(offsetof(LWNodeEditorFuncs, getRootNodeID) == 200);
static_assert(offsetof(LWNodeEditorFuncs, getInputNodeID) == 208);
static_assert(offsetof(LWNodeEditorFuncs, getEditorID) == 216);
static_assert(offsetof(LWNodeEditorFuncs, getParentEditorID) == 224);
static_assert(offsetof(LWNodeEditorFuncs, connect) == 232);
static_assert(offsetof(LWNodeEditorFuncs, addNode) == 240);
static_assert(offsetof(LWNodeEditorFuncs, destroyNode) == 248);
static_assert(offsetof(LWNodeEditorFuncs, setXY) == 256);
static_assert(offsetof(LWNodeEditorFuncs, setContext) == 264);
static_assert(offsetof(LWNodeEditorFuncs, getContext) == 272);
static_assert(offsetof(LWNodeEditorFuncs, usedItems) == 280);

static_assert(sizeof(LWNodeInputFuncs) == 152);
static_assert(offsetof(LWNodeInputFuncs, create) == 0);
static_assert(offsetof(LWNodeInputFuncs, destroy) == 8);
static_assert(offsetof(LWNodeInputFuncs, evaluate) == 16);
static_assert(offsetof(LWNodeInputFuncs, check) == 24);

static_assert(sizeof(LWNodeFuncs) == 64);
static_assert(offsetof(LWNodeFuncs, nodeName) == 0);
static_assert(offsetof(LWNodeFuncs, serverUserName) == 8);
static_assert(offsetof(LWNodeFuncs, chanGrp) == 16);
static_assert(offsetof(LWNodeFuncs, setNodeColor) == 24);
static_assert(offsetof(LWNodeFuncs, setNodeColor3) == 32);
static_assert(offsetof(LWNodeFuncs, setNodePreviewType) == 40);
