// Displacement handler: the records the host hands to a deformer's activation and evaluation.
#pragma once

#include <cstddef>

#include "lwhandler.h"
#include "lwtypes.h"

#define LWDISPLACEMENT_HCLASS "DisplacementHandler"
#define LWDISPLACEMENT_ICLASS "DisplacementInterface"
constexpr int32_t LWDISPLACEMENT_VERSION = 5;

// Mesh information of the deformed object, reached through each point's access record.
struct LWMeshInfo {
  void* priv;
  int (*numPoints)(LWMeshInfo* info);
  int (*numPolygons)(LWMeshInfo* info);
  // Vertex map of the given type and name, or null.
  LWVMapID (*pntVLookup)(LWMeshInfo* info, LWID type, const char* name);
  // Value of a point in a vertex map; nonzero when the point has one.
  int (*pntVIDGet)(LWMeshInfo* info, LWPntID point, float* vector, LWVMapID vmap);
};

struct LWDisplacementAccess {
  double oPos[3];
  double source[3];
  LWPntID point;
  LWMeshInfo* info;
};

static_assert(offsetof(LWDisplacementAccess, oPos) == 0);
static_assert(offsetof(LWDisplacementAccess, source) == 24);
static_assert(offsetof(LWDisplacementAccess, point) == 48);
static_assert(offsetof(LWDisplacementAccess, info) == 56);

constexpr unsigned int LWDMF_WORLD = 1u << 0;

struct LWDisplacementHandler {
  LWInstanceFuncs* inst;
  LWItemFuncs* item;
  LWRenderFuncs* rend;
  void (*evaluate)(LWInstance instance, LWDisplacementAccess* access);
  unsigned int (*flags)(LWInstance instance);
};
