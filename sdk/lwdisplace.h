// Displacement handler: the records the host hands to a deformer's activation and evaluation.
#pragma once

#include <cstddef>

#include "lwhandler.h"
#include "lwtypes.h"

#define LWDISPLACEMENT_HCLASS "DisplacementHandler"
#define LWDISPLACEMENT_ICLASS "DisplacementInterface"
constexpr int LWDISPLACEMENT_VERSION = 5;

// Mesh information of one object layer, the host's. Reached through each point's access record
// and valid during that evaluate call; its functions may be called from every thread that
// evaluates points of the frame at once.
struct LWMeshInfo {
  void* priv;
  void (*destroy)(LWMeshInfo* mesh);
  int (*numPoints)(LWMeshInfo* mesh);
  int (*numPolygons)(LWMeshInfo* mesh);
  size_t (*scanPoints)(LWMeshInfo* mesh, size_t (*scan)(void* data, LWPntID point), void* data);
  size_t (*scanPolys)(LWMeshInfo* mesh, size_t (*scan)(void* data, LWPolID polygon), void* data);
  void (*pntBasePos)(LWMeshInfo* mesh, LWPntID point, float pos[3]);
  void (*pntOtherPos)(LWMeshInfo* mesh, LWPntID point, float pos[3]);
  // The vertex map of the given type and name, or null; it also selects the map inside this
  // record for pntVGet, so calls from several threads race. The name is read during the call only.
  LWVMapID (*pntVLookup)(LWMeshInfo* mesh, LWID type, const char* vmapName);
  int (*pntVSelect)(LWMeshInfo* mesh, LWVMapID vmap);
  int (*pntVGet)(LWMeshInfo* mesh, LWPntID point, float* vector);
  unsigned int (*polType)(LWMeshInfo* mesh, LWPolID polygon);
  int (*polSize)(LWMeshInfo* mesh, LWPolID polygon);
  LWPntID (*polVertex)(LWMeshInfo* mesh, LWPolID polygon, int index);
  const char* (*polTag)(LWMeshInfo* mesh, LWPolID polygon, unsigned int tagType);
  int (*pntVPGet)(LWMeshInfo* mesh, LWPntID point, LWPolID polygon, float* vector);
  unsigned int (*polFlags)(LWMeshInfo* mesh, LWPolID polygon);
  // The point's value in a vertex map found by a lookup; nonzero when the point has one.
  int (*pntVIDGet)(LWMeshInfo* mesh, LWPntID point, float* vector, LWVMapID vmap);
  LWLaterMember laterMembers[11];
  // The vertex map of the given type and name, or null, selecting nothing: safe on many threads.
  LWVMapID (*pntVIDLookup)(LWMeshInfo* mesh, LWID type, const char* vmapName);
  int (*VIDDimension)(LWMeshInfo* mesh, LWVMapID vmap);
  // pntPolsNum and pntPols, whose arguments differ between releases.
  LWLaterMember pointPolygonMembers[2];
};

// One point of one evaluation: the host's, valid during the evaluate call it is handed to.
struct LWDisplacementAccess {
  double oPos[3];
  double source[3];  // world position in, new world position out
  LWPntID point;
  LWMeshInfo* info;
  double wNorm[3];
};

constexpr unsigned int LWDMF_WORLD = 1u << 0;

struct LWDisplacementHandler {
  LWInstanceFuncs* inst;
  LWItemFuncs* item;    // may be null
  LWRenderFuncs* rend;  // may be null
  // Called for every point of a frame, from many host threads at once, after newTime of that
  // frame has returned.
  void (*evaluate)(LWInstance instance, LWDisplacementAccess* access);
  unsigned int (*flags)(LWInstance instance);
};

static_assert(sizeof(LWMeshInfo) == 264);
static_assert(offsetof(LWMeshInfo, priv) == 0);
static_assert(offsetof(LWMeshInfo, destroy) == 8);
static_assert(offsetof(LWMeshInfo, numPoints) == 16);
static_assert(offsetof(LWMeshInfo, numPolygons) == 24);
static_assert(offsetof(LWMeshInfo, scanPoints) == 32);
static_assert(offsetof(LWMeshInfo, scanPolys) == 40);
static_assert(offsetof(LWMeshInfo, pntBasePos) == 48);
static_assert(offsetof(LWMeshInfo, pntOtherPos) == 56);
static_assert(offsetof(LWMeshInfo, pntVLookup) == 64);
static_assert(offsetof(LWMeshInfo, pntVSelect) == 72);
static_assert(offsetof(LWMeshInfo, pntVGet) == 80);
static_assert(offsetof(LWMeshInfo, polType) == 88);
static_assert(offsetof(LWMeshInfo, polSize) == 96);
static_assert(offsetof(LWMeshInfo, polVertex) == 104);
static_assert(offsetof(LWMeshInfo, polTag) == 112);
static_assert(offsetof(LWMeshInfo, pntVPGet) == 120);
static_assert(offsetof(LWMeshInfo, polFlags) == 128);
static_assert(offsetof(LWMeshInfo, pntVIDGet) == 136);
static_assert(offsetof(LWMeshInfo, pntVIDLookup) == 232);
static_assert(offsetof(LWMeshInfo, VIDDimension) == 240);

static_assert(sizeof(LWDisplacementAccess) == 88);
static_assert(offsetof(LWDisplacementAccess, oPos) == 0);
static_assert(offsetof(LWDisplacementAccess, source) == 24);
static_assert(offsetof(LWDisplacementAccess, point) == 48);
static_assert(offsetof(LWDisplacementAccess, info) == 56);
static_assert(offsetof(LWDisplacementAccess, wNorm) == 64);

static_assert(sizeof(LWDisplacementHandler) == 40);
static_assert(offsetof(LWDisplacementHandler, inst) == 0);
static_assert(offsetof(LWDisplacementHandler, item) == 8);
static_assert(offsetof(LWDisplacementHandler, rend) == 16);
static_assert(offsetof(LWDisplacementHandler, evaluate) == 24);
static_assert(offsetof(LWDisplacementHandler, flags) == 32);
