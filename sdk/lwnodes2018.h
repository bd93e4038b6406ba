// The node editor's records and tables from LightWave 3D 2018 on (2018, 2020, 2023, 2024, 2025):
// node inputs are evaluated with the shading geometry record, the editor table has three more
// members, the preview types are numbered anew and the autosize callback takes one more
// argument. 2015.3's records stay in lwnodes.h.
#pragma once

#include <cstddef>

#include "lwio.h"
#include "lwnodes.h"
#include "lwtypes.h"

#define LWNODEEDITORFUNCS_GLOBAL_2018 "NodeEditorFuncs 6"
#define LWNODEEDITORFUNCS_GLOBAL_2020 "NodeEditorFuncs 7"
#define LWNODEINPUTFUNCS_GLOBAL_2018 "NodeInputFuncs 5"
#define LWNODEFUNCS_GLOBAL_2018 "NodeFuncs 2"
#define LWNODEFUNCS_GLOBAL_2020 "NodeFuncs 3"

// The host's ray record; only ever reached through a pointer here.
struct LWRay;
struct LWNodeMenuFuncs;

namespace lw2018 {

// Preview types of a root node.
constexpr int NPT_RENDER = 2;
constexpr int NPT_CUSTOM = 1;
constexpr int NPT_OFF = 0;

// Connection types that took new names or values.
constexpr ConnectionType NOT_RGB = 1;
constexpr ConnectionType NOT_PROJECTION = 6;
constexpr ConnectionType NOT_MATRIX44 = 7;
constexpr ConnectionType NOT_BSDF = 8;

struct LWShadingGeometry;

struct LWShadingFuncs {
  void* inst;
  void* surfaceID;
  void* memory;
  void* bsdf;
  double (*shade)(const LWRay* ray, LWShadingGeometry* sg, double result[3]);
  int (*setupBSDF)(const LWRay* ray, LWShadingGeometry* sg);
  double (*F)(const LWRay* ray, LWShadingGeometry* sg, const double wo[3], const double wi[3],
              unsigned int flags, double f[3]);
  void (*sampleF)(const LWRay* ray, LWShadingGeometry* sg, const double sample[3], void* bxdfSample,
                  unsigned int bxdfFlags);
  void (*Le)(const LWRay* ray, LWShadingGeometry* sg, double result[3]);
};

struct LWShading {
  double I[3];  // unit vector from the spot toward the viewer
  double dIdx[3];
  double dIdy[3];
  double dNdx[3];
  double dNdy[3];
};

// What a node network sees when an input is evaluated: filled by the caller of an input's
// evaluate, in its own storage, for that call only. Matrices are row-vector transforms:
// p_world = p_local * toWorld.
struct LWShadingGeometry {
  LWShadingFuncs shadingFuncs;
  void* ownerData;
  const LWRay* ray;  // null when there is no ray, as during displacement
  void* primEvalID;
  LWItemID itemID;
  void* meshID;
  void* instanceID;
  void* vertexIndexes;
  LWPntID vrts[3];
  LWPolID polygon;
  double toLocal[4][4];
  double toWorld[4][4];
  LWShading shading;
  double P[3];  // world position
  double dPdx[3];
  double dPdy[3];
  double dPdu[3];
  double dPdv[3];
  double Np[3];
  double Ns[3];
  double Ng[3];
  double Nb[3];
  double dNdu[3];
  double dNdv[3];
  double bary[3];
  double oP[3];  // undeformed position
  double vertsWPos[3][3];
  double u;
  double v;
  double dudx;
  double dvdx;
  double dudy;
  double dvdy;
  double dist;  // distance to the viewer
  double epsilon;
  unsigned int primID;
  unsigned int side;
  unsigned int polNum;
  unsigned int vrtsNum[3];
  unsigned int flags;
  unsigned int element;
  unsigned int ownerID;
};

// The root node description handed to the node editor's create; read during the call.
struct LWRootNode {
  int previewType;
  LWError (*init)(NodeEditorID editor, int mode);
  LWError (*newTime)(NodeEditorID editor, LWFrame frame, LWTime time);
  void (*cleanup)(NodeEditorID editor);
  void* (*panel)(NodeEditorID editor);
  LWError (*options)(NodeEditorID editor);
  void (*preview)(NodeEditorID editor, LWShadingGeometry* sg, double color[3]);
  void (*customPreview)(NodeEditorID editor, int w, int h);
};

struct LWInputNode {
  LWError (*init)(NodeEditorID editor, int mode);
  LWError (*newTime)(NodeEditorID editor, LWFrame frame, LWTime time);
  void (*cleanup)(NodeEditorID editor);
  void (*evaluate)(NodeEditorID editor, LWShadingGeometry* sg, NodeOutputID output, void* value);
  void* (*panel)(NodeEditorID editor);
  LWError (*options)(NodeEditorID editor);
};

// Main thread: preview ranges of the editor's network, three (min, max) pairs. The host gives
// the result no documented meaning.
typedef int nodeAutoSizeFunc(NodeEditorID editor, void* userData, void* autosizeData, double ranges[3][2]);

// As 2015.3's table (lwnodes.h) in rows 0 to 18 but for setAutosize's third argument; members
// inserted after numberOfNodes and isOpenNodeEditor move everything after them.
struct LWNodeEditorFuncs {
  NodeEditorID (*create)(const char* name, const char* title, LWRootNode* root, LWInputNode* input,
                         void* userData, NodeEditorID parent);
  void (*destroy)(NodeEditorID editor);
  void (*rename)(const char* title, NodeEditorID editor);
  void (*setUpdateFunc)(NodeEditorID editor, nodeEditorUpdateFunc* update);
  LWError (*copy)(NodeEditorID to, NodeEditorID from);
  LWError (*save)(NodeEditorID editor, const LWSaveState* save);
  LWError (*load)(NodeEditorID editor, const LWLoadState* load);
  LWError (*init)(NodeEditorID editor, int mode);
  LWError (*newTime)(NodeEditorID editor, LWFrame frame, LWTime time);
  void (*cleanup)(NodeEditorID editor);
  NodeInputID (*addInput)(NodeEditorID editor, ConnectionType connectionType, const char* name,
                          NodeInputEvent* event);
  void (*remInput)(NodeEditorID editor, NodeInputID input);
  NodeOutputID (*addOutput)(NodeEditorID editor, ConnectionType connectionType, const char* name);
  void (*remOutput)(NodeEditorID editor, NodeOutputID output);
  void (*setEnvGroup)(NodeEditorID editor, LWChanGroupID channelGroup);
  void (*setAutosize)(NodeEditorID editor, nodeAutoSizeFunc* autosize, void* autosizeData);
  void (*setUserData)(NodeEditorID editor, void* data);
  void* (*getUserData)(NodeEditorID editor);
  int (*numberOfNodes)(NodeEditorID editor);
  NodeID (*nodeByIndex)(NodeEditorID editor, unsigned int index);
  unsigned int (*numInputs)(NodeEditorID editor);
  NodeInputID (*getInputByName)(NodeEditorID editor, const char* name);
  NodeInputID (*getInputByIndex)(NodeEditorID editor, int index);
  unsigned short (*getState)(NodeEditorID editor);
  void (*setState)(NodeEditorID editor, unsigned short state);
  int (*OpenNodeEditor)(NodeEditorID editor);
  int (*isOpenNodeEditor)(NodeEditorID editor);
  NodeEditorID (*currentNodeEditorID)(void);
  NodeID (*getRootNodeID)(NodeEditorID editor);
  NodeID (*getInputNodeID)(NodeEditorID editor);
  NodeEditorID (*getEditorID)(NodeID node);
  NodeEditorID (*getParentEditorID)(NodeEditorID editor);
  LWError (*connect)(NodeOutputID output, NodeInputID input);
  NodeID (*addNode)(NodeEditorID editor, const char* serverName);
  void (*destroyNode)(NodeID node);
  void (*setXY)(NodeID node, int x, int y);
  void (*setContext)(NodeEditorID editor, const char* context);
  const char* (*getContext)(NodeEditorID editor);
  void* const* (*usedItems)(NodeEditorID editor);
  void (*reset)(NodeEditorID editor);
};

struct LWNodeInputFuncs {
  NodeInputID (*create)(NodeID node, ConnectionType connectionType, const char* name, NodeInputEvent* event);
  void (*destroy)(NodeInputID input);
  // Any thread, many at once within one frame, as in 2015.3.
  int (*evaluate)(NodeInputID input, LWShadingGeometry* sg, void* value);
  int (*check)(NodeInputID input);
  LWLaterMember laterMembers[15];
};

// "NodeFuncs 2" and "NodeFuncs 3": 2015.3's rows, then getBaseID.
struct LWNodeFuncs {
  const char* (*nodeName)(NodeID node);
  const char* (*serverUserName)(NodeID node);
  LWChanGroupID (*chanGrp)(NodeID node);
  void (*setNodeColor)(NodeID node, int rgb[3]);
  void (*setNodeColor3)(NodeID node, int r, int g, int b);
  void (*setNodePreviewType)(NodeID node, int previewType);
  void (*UpdateNodePreview)(NodeID node);
  void (*SetNodeMenuFuncs)(NodeID node, LWNodeMenuFuncs* menuFuncs);
  NodeID (*getBaseID)(NodeID node);
};

}  // namespace lw2018

namespace lw2025 {

// The render-init mode of the interactive renderer.
constexpr int LWINIT_INTERACTIVE_RENDER = 2;

// "NodeFuncs 3" of 2025: 2018's table and rename at its end.
struct LWNodeFuncs {
  const char* (*nodeName)(NodeID node);
  const char* (*serverUserName)(NodeID node);
  LWChanGroupID (*chanGrp)(NodeID node);
  void (*setNodeColor)(NodeID node, int rgb[3]);
  void (*setNodeColor3)(NodeID node, int r, int g, int b);
  void (*setNodePreviewType)(NodeID node, int previewType);
  void (*UpdateNodePreview)(NodeID node);
  void (*SetNodeMenuFuncs)(NodeID node, LWNodeMenuFuncs* menuFuncs);
  NodeID (*getBaseID)(NodeID node);
  void (*rename)(NodeID node, const char* name, int absolute);
};

}  // namespace lw2025

static_assert(sizeof(lw2018::LWNodeEditorFuncs) == 320);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, create) == 0);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, destroy) == 8);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, rename) == 16);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, setUpdateFunc) == 24);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, copy) == 32);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, save) == 40);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, load) == 48);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, init) == 56);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, newTime) == 64);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, cleanup) == 72);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, addInput) == 80);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, remInput) == 88);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, addOutput) == 96);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, remOutput) == 104);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, setEnvGroup) == 112);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, setAutosize) == 120);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, setUserData) == 128);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, getUserData) == 136);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, numberOfNodes) == 144);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, nodeByIndex) == 152);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, numInputs) == 160);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, getInputByName) == 168);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, getInputByIndex) == 176);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, getState) == 184);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, setState) == 192);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, OpenNodeEditor) == 200);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, isOpenNodeEditor) == 208);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, currentNodeEditorID) == 216);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, getRootNodeID) == 224);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, getInputNodeID) == 232);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, getEditorID) == 240);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, getParentEditorID) == 248);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, connect) == 256);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, addNode) == 264);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, destroyNode) == 272);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, setXY) == 280);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, setContext) == 288);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, getContext) == 296);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, usedItems) == 304);
static_assert(offsetof(lw2018::LWNodeEditorFuncs, reset) == 312);

static_assert(sizeof(lw2018::LWNodeInputFuncs) == 152);
static_assert(offsetof(lw2018::LWNodeInputFuncs, create) == 0);
static_assert(offsetof(lw2018::LWNodeInputFuncs, destroy) == 8);
static_assert(offsetof(lw2018::LWNodeInputFuncs, evaluate) == 16);
static_assert(offsetof(lw2018::LWNodeInputFuncs, check) == 24);

static_assert(sizeof(lw2025::LWNodeFuncs) == 80);
static_assert(offsetof(lw2025::LWNodeFuncs, nodeName) == 0);
static_assert(offsetof(lw2025::LWNodeFuncs, serverUserName) == 8);
static_assert(offsetof(lw2025::LWNodeFuncs, chanGrp) == 16);
static_assert(offsetof(lw2025::LWNodeFuncs, setNodeColor) == 24);
static_assert(offsetof(lw2025::LWNodeFuncs, setNodeColor3) == 32);
static_assert(offsetof(lw2025::LWNodeFuncs, setNodePreviewType) == 40);
static_assert(offsetof(lw2025::LWNodeFuncs, UpdateNodePreview) == 48);
static_assert(offsetof(lw2025::LWNodeFuncs, SetNodeMenuFuncs) == 56);
static_assert(offsetof(lw2025::LWNodeFuncs, getBaseID) == 64);
static_assert(offsetof(lw2025::LWNodeFuncs, rename) == 72);

static_assert(sizeof(lw2018::LWRootNode) == 64);
static_assert(offsetof(lw2018::LWRootNode, previewType) == 0);
static_assert(offsetof(lw2018::LWRootNode, init) == 8);
static_assert(offsetof(lw2018::LWRootNode, newTime) == 16);
static_assert(offsetof(lw2018::LWRootNode, cleanup) == 24);
static_assert(offsetof(lw2018::LWRootNode, panel) == 32);
static_assert(offsetof(lw2018::LWRootNode, options) == 40);
static_assert(offsetof(lw2018::LWRootNode, preview) == 48);
static_assert(offsetof(lw2018::LWRootNode, customPreview) == 56);

static_assert(sizeof(lw2018::LWInputNode) == 48);
static_assert(offsetof(lw2018::LWInputNode, init) == 0);
static_assert(offsetof(lw2018::LWInputNode, newTime) == 8);
static_assert(offsetof(lw2018::LWInputNode, cleanup) == 16);
static_assert(offsetof(lw2018::LWInputNode, evaluate) == 24);
static_assert(offsetof(lw2018::LWInputNode, panel) == 32);
static_assert(offsetof(lw2018::LWInputNode, options) == 40);

static_assert(sizeof(lw2018::LWShadingGeometry) == 1024);
static_assert(offsetof(lw2018::LWShadingGeometry, shadingFuncs) == 0);
static_assert(offsetof(lw2018::LWShadingGeometry, ownerData) == 72);
static_assert(offsetof(lw2018::LWShadingGeometry, ray) == 80);
static_assert(offsetof(lw2018::LWShadingGeometry, primEvalID) == 88);
static_assert(offsetof(lw2018::LWShadingGeometry, itemID) == 96);
static_assert(offsetof(lw2018::LWShadingGeometry, meshID) == 104);
static_assert(offsetof(lw2018::LWShadingGeometry, instanceID) == 112);
static_assert(offsetof(lw2018::LWShadingGeometry, vertexIndexes) == 120);
static_assert(offsetof(lw2018::LWShadingGeometry, vrts) == 128);
static_assert(offsetof(lw2018::LWShadingGeometry, polygon) == 152);
static_assert(offsetof(lw2018::LWShadingGeometry, toLocal) == 160);
static_assert(offsetof(lw2018::LWShadingGeometry, toWorld) == 288);
static_assert(offsetof(lw2018::LWShadingGeometry, shading) == 416);
static_assert(offsetof(lw2018::LWShadingGeometry, P) == 536);
static_assert(offsetof(lw2018::LWShadingGeometry, dPdx) == 560);
static_assert(offsetof(lw2018::LWShadingGeometry, dPdy) == 584);
static_assert(offsetof(lw2018::LWShadingGeometry, dPdu) == 608);
static_assert(offsetof(lw2018::LWShadingGeometry, dPdv) == 632);
static_assert(offsetof(lw2018::LWShadingGeometry, Np) == 656);
static_assert(offsetof(lw2018::LWShadingGeometry, Ns) == 680);
static_assert(offsetof(lw2018::LWShadingGeometry, Ng) == 704);
static_assert(offsetof(lw2018::LWShadingGeometry, Nb) == 728);
static_assert(offsetof(lw2018::LWShadingGeometry, dNdu) == 752);
static_assert(offsetof(lw2018::LWShadingGeometry, dNdv) == 776);
static_assert(offsetof(lw2018::LWShadingGeometry, bary) == 800);
static_assert(offsetof(lw2018::LWShadingGeometry, oP) == 824);
static_assert(offsetof(lw2018::LWShadingGeometry, vertsWPos) == 848);
static_assert(offsetof(lw2018::LWShadingGeometry, u) == 920);
static_assert(offsetof(lw2018::LWShadingGeometry, v) == 928);
static_assert(offsetof(lw2018::LWShadingGeometry, dudx) == 936);
static_assert(offsetof(lw2018::LWShadingGeometry, dvdx) == 944);
static_assert(offsetof(lw2018::LWShadingGeometry, dudy) == 952);
static_assert(offsetof(lw2018::LWShadingGeometry, dvdy) == 960);
static_assert(offsetof(lw2018::LWShadingGeometry, dist) == 968);
static_assert(offsetof(lw2018::LWShadingGeometry, epsilon) == 976);
static_assert(offsetof(lw2018::LWShadingGeometry, primID) == 984);
static_assert(offsetof(lw2018::LWShadingGeometry, side) == 988);
static_assert(offsetof(lw2018::LWShadingGeometry, polNum) == 992);
static_assert(offsetof(lw2018::LWShadingGeometry, vrtsNum) == 996);
static_assert(offsetof(lw2018::LWShadingGeometry, flags) == 1008);
static_assert(offsetof(lw2018::LWShadingGeometry, element) == 1012);
static_assert(offsetof(lw2018::LWShadingGeometry, ownerID) == 1016);

static_assert(sizeof(lw2018::LWShadingFuncs) == 72);
static_assert(offsetof(lw2018::LWShadingFuncs, inst) == 0);
static_assert(offsetof(lw2018::LWShadingFuncs, surfaceID) == 8);
static_assert(offsetof(lw2018::LWShadingFuncs, memory) == 16);
static_assert(offsetof(lw2018::LWShadingFuncs, bsdf) == 24);
static_assert(offsetof(lw2018::LWShadingFuncs, shade) == 32);
static_assert(offsetof(lw2018::LWShadingFuncs, setupBSDF) == 40);
static_assert(offsetof(lw2018::LWShadingFuncs, F) == 48);
static_assert(offsetof(lw2018::LWShadingFuncs, sampleF) == 56);
static_assert(offsetof(lw2018::LWShadingFuncs, Le) == 64);

static_assert(sizeof(lw2018::LWShading) == 120);
static_assert(offsetof(lw2018::LWShading, I) == 0);
static_assert(offsetof(lw2018::LWShading, dIdx) == 24);
static_assert(offsetof(lw2018::LWShading, dIdy) == 48);
static_assert(offsetof(lw2018::LWShading, dNdx) == 72);
static_assert(offsetof(lw2018::LWShading, dNdy) == 96);

static_assert(sizeof(lw2018::LWNodeFuncs) == 72);
static_assert(offsetof(lw2018::LWNodeFuncs, setNodePreviewType) == 40);
static_assert(offsetof(lw2018::LWNodeFuncs, getBaseID) == 64);
