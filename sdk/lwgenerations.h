// What changes in the host's interface from LightWave 3D 2018 on, apart from the node records
// (lwnodes2018.h): service names, handler versions, the added init mode, and the tables that
// grew at their end. Up to their last 2015.3 member every table here is 2015.3's, so the module
// reads them through the 2015.3 declarations; only a host that allocates a whole table needs the
// longer ones. 2020 stands for 2020, 2023, 2024 and 2025, which do not differ here.
#pragma once

#include <cstddef>

#include "lwdisplace.h"
#include "lwnodes2018.h"
#include "lwrender.h"
#include "lwtypes.h"

#define LWITEMINFO_GLOBAL_2020 "LW Item Info 9"
#define LWSCENEINFO_GLOBAL_2018 "LW Scene Info 11"
#define LWSCENEINFO_GLOBAL_2020 "LW Scene Info 12"
#define LWOBJECTFUNCS_GLOBAL_2018 "Scene Objects 8"
#define LWOBJECTFUNCS_GLOBAL_2020 "Scene Objects 9"
#define LWXPANELFUNCS_GLOBAL_2020 "LWXPanel 3"

// The handler records keep their layout; only their versions move.
constexpr int LWDISPLACEMENT_VERSION_2020 = 6;
constexpr int LWINTERFACE_VERSION_2020 = 5;

namespace lw2018 {

// "LW Scene Info 11" (and 12): render settings appended, the first in 2015.3's tail padding.
struct LWSceneInfo {
  const char* name;
  const char* filename;
  int numPoints;
  int numPolygons;
  int renderType;
  int renderOpts;
  LWFrame frameStart;
  LWFrame frameEnd;
  LWFrame frameStep;
  double framesPerSecond;
  int frameWidth;
  int frameHeight;
  double pixelAspect;
  int minSamplesPerPixel;
  int maxSamplesPerPixel;
  int limitedRegion[4];
  int recursionDepth;
  LWItemID (*renderCamera)(LWTime time);
  unsigned char laterMembers[284];
  int transparencyDepth;
  int reflectionDepth;
  int refractionDepth;
  unsigned int reflectionsamples;
  unsigned int refractionsamples;
  unsigned int scatteringsamples;
  float mipmapMultiplier;
};

// "Scene Objects 8" (and 9).
struct LWObjectFuncs {
  int (*numObjects)(void);
  const char* (*filename)(int obj);
  int (*maxLayers)(int obj);
  int (*layerExists)(int obj, int lnum);
  void (*pivotPoint)(int obj, int lnum, float pos[3]);
  LWMeshInfo* (*layerMesh)(int obj, int lnum);
  int (*numVMaps)(LWID type);
  const char* (*vmapName)(LWID type, int index);
  LWLaterMember laterMembers[7];
  int (*focusObject)(void);
};

// The mesh info of 2018: two point-to-polygon members change their arguments (a point id where
// 2015.3 took two indices), two members are appended. Nothing here calls any of the four.
struct LWMeshInfo {
  void* priv;
  void (*destroy)(LWMeshInfo* mesh);
  int (*numPoints)(LWMeshInfo* mesh);
  int (*numPolygons)(LWMeshInfo* mesh);
  size_t (*scanPoints)(LWMeshInfo* mesh, size_t (*scan)(void* data, LWPntID point), void* data);
  size_t (*scanPolys)(LWMeshInfo* mesh, size_t (*scan)(void* data, LWPolID polygon), void* data);
  void (*pntBasePos)(LWMeshInfo* mesh, LWPntID point, float pos[3]);
  void (*pntOtherPos)(LWMeshInfo* mesh, LWPntID point, float pos[3]);
  LWVMapID (*pntVLookup)(LWMeshInfo* mesh, LWID type, const char* vmapName);
  int (*pntVSelect)(LWMeshInfo* mesh, LWVMapID vmap);
  int (*pntVGet)(LWMeshInfo* mesh, LWPntID point, float* vector);
  unsigned int (*polType)(LWMeshInfo* mesh, LWPolID polygon);
  int (*polSize)(LWMeshInfo* mesh, LWPolID polygon);
  LWPntID (*polVertex)(LWMeshInfo* mesh, LWPolID polygon, int index);
  const char* (*polTag)(LWMeshInfo* mesh, LWPolID polygon, unsigned int tagType);
  int (*pntVPGet)(LWMeshInfo* mesh, LWPntID point, LWPolID polygon, float* vector);
  unsigned int (*polFlags)(LWMeshInfo* mesh, LWPolID polygon);
  int (*pntVIDGet)(LWMeshInfo* mesh, LWPntID point, float* vector, LWVMapID vmap);
  LWLaterMember laterMembers[13];
  LWLaterMember pntPolsNum;
  LWLaterMember pntPols;
  LWLaterMember pntMesh;
  LWLaterMember polMesh;
};

}  // namespace lw2018

namespace lw2020 {

// "LW Item Info 9": rotation order and relative parameters appended.
struct LWItemInfo {
  LWItemID (*first)(LWItemType type, LWItemID item);
  LWItemID (*next)(LWItemID item);
  LWItemID (*firstChild)(LWItemID parent);
  LWItemID (*nextChild)(LWItemID parent, LWItemID prevChild);
  LWItemID (*parent)(LWItemID item);
  LWItemID (*target)(LWItemID item);
  LWItemID (*goal)(LWItemID item);
  LWItemType (*type)(LWItemID item);
  const char* (*name)(LWItemID item);
  void (*param)(LWItemID item, LWItemParam param, LWTime time, double vector[3]);
  unsigned int (*limits)(LWItemID item, LWItemParam param, double min[3], double max[3]);
  const char* (*getTag)(LWItemID item, int index);
  void (*setTag)(LWItemID item, int index, const char* tag);
  LWChanGroupID (*chanGroup)(LWItemID item);
  LWLaterMember laterMembers[26];
  LWLaterMember rotationOrder;
  LWLaterMember relparam;
};

// The mesh info of 2020: 2018's and smoothingGroups.
struct LWMeshInfo {
  lw2018::LWMeshInfo rows2018;
  LWLaterMember smoothingGroups;
};

}  // namespace lw2020

static_assert(sizeof(lw2018::LWSceneInfo) == 424);
static_assert(offsetof(lw2018::LWSceneInfo, renderCamera) == 104);
static_assert(offsetof(lw2018::LWSceneInfo, transparencyDepth) == 396);
static_assert(offsetof(lw2018::LWSceneInfo, reflectionDepth) == 400);
static_assert(offsetof(lw2018::LWSceneInfo, refractionDepth) == 404);
static_assert(offsetof(lw2018::LWSceneInfo, reflectionsamples) == 408);
static_assert(offsetof(lw2018::LWSceneInfo, refractionsamples) == 412);
static_assert(offsetof(lw2018::LWSceneInfo, scatteringsamples) == 416);
static_assert(offsetof(lw2018::LWSceneInfo, mipmapMultiplier) == 420);

static_assert(sizeof(lw2018::LWObjectFuncs) == 128);
static_assert(offsetof(lw2018::LWObjectFuncs, vmapName) == 56);
static_assert(offsetof(lw2018::LWObjectFuncs, focusObject) == 120);

static_assert(sizeof(lw2018::LWMeshInfo) == 280);
static_assert(offsetof(lw2018::LWMeshInfo, pntVIDGet) == 136);
static_assert(offsetof(lw2018::LWMeshInfo, pntPolsNum) == 248);
static_assert(offsetof(lw2018::LWMeshInfo, pntPols) == 256);
static_assert(offsetof(lw2018::LWMeshInfo, pntMesh) == 264);
static_assert(offsetof(lw2018::LWMeshInfo, polMesh) == 272);
static_assert(sizeof(lw2020::LWMeshInfo) == 288);
static_assert(offsetof(lw2020::LWMeshInfo, smoothingGroups) == 280);

static_assert(sizeof(lw2020::LWItemInfo) == 336);
static_assert(offsetof(lw2020::LWItemInfo, chanGroup) == 104);
static_assert(offsetof(lw2020::LWItemInfo, rotationOrder) == 320);
static_assert(offsetof(lw2020::LWItemInfo, relparam) == 328);
