// Scene-side services: items, scene, objects, the per-instance update notification and the
// host's language. Every table belongs to the host and lives as long as the module is loaded.
#pragma once

#include <cstddef>

#include "lwdisplace.h"
#include "lwtypes.h"

typedef int LWItemType;
constexpr LWItemType LWI_OBJECT = 0;
constexpr LWItemType LWI_LIGHT = 1;
constexpr LWItemType LWI_CAMERA = 2;

// With A the item's world matrix (columns: its +X, +Y, +Z in world coordinates, scale included):
// 1 the position relative to the parent; 2, 3, 4 the columns of A; 5 heading, pitch, bank in
// radians and 6 the scale, both relative to the parent; 7 the pivot point in the item's own
// coordinates (the origin of its rotation and scale: a point oP of its mesh lies at
// A * (oP - pivot) + the world position); 8 the world position; 9, 10, 11 the
// columns of A's inverse (the world's axes in the item's coordinates).
typedef int LWItemParam;
constexpr LWItemParam LWIP_POSITION = 1;
constexpr LWItemParam LWIP_RIGHT = 2;
constexpr LWItemParam LWIP_UP = 3;
constexpr LWItemParam LWIP_FORWARD = 4;
constexpr LWItemParam LWIP_ROTATION = 5;
constexpr LWItemParam LWIP_SCALING = 6;
constexpr LWItemParam LWIP_PIVOT = 7;
constexpr LWItemParam LWIP_W_POSITION = 8;
constexpr LWItemParam LWIP_W_RIGHT = 9;
constexpr LWItemParam LWIP_W_UP = 10;
constexpr LWItemParam LWIP_W_FORWARD = 11;

#define LWITEMINFO_GLOBAL "LW Item Info 8"
struct LWItemInfo {
  // Main thread (the panel's popups): the first item of a type, then the next of the same type.
  LWItemID (*first)(LWItemType type, LWItemID item);
  LWItemID (*next)(LWItemID item);
  LWItemID (*firstChild)(LWItemID parent);
  LWItemID (*nextChild)(LWItemID parent, LWItemID prevChild);
  LWItemID (*parent)(LWItemID item);
  LWItemID (*target)(LWItemID item);
  LWItemID (*goal)(LWItemID item);
  LWItemType (*type)(LWItemID item);
  // Main thread. The text is the host's, valid until the item is renamed or removed.
  const char* (*name)(LWItemID item);
  // Any thread: newTime on the main thread, evaluate from many threads at once. Writes three
  // doubles into the caller's vector.
  void (*param)(LWItemID item, LWItemParam param, LWTime time, double vector[3]);
  unsigned int (*limits)(LWItemID item, LWItemParam param, double min[3], double max[3]);
  const char* (*getTag)(LWItemID item, int index);
  void (*setTag)(LWItemID item, int index, const char* tag);
  // Main thread (instance creation). The group is the host's.
  LWChanGroupID (*chanGroup)(LWItemID item);
  LWLaterMember laterMembers[26];
};

#define LWSCENEINFO_GLOBAL "LW Scene Info 10"
// A snapshot the host may replace at any new time: fetched again by name at every newTime.
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
  // Main thread (newTime): the render camera at a time, or null.
  LWItemID (*renderCamera)(LWTime time);
  unsigned char laterMembers[288];
};

#define LWOBJECTFUNCS_GLOBAL "Scene Objects 7"
struct LWObjectFuncs {
  int (*numObjects)(void);
  const char* (*filename)(int obj);
  int (*maxLayers)(int obj);
  int (*layerExists)(int obj, int lnum);
  void (*pivotPoint)(int obj, int lnum, float pos[3]);
  LWMeshInfo* (*layerMesh)(int obj, int lnum);
  // Main thread (the weight-map popup and its set function).
  int (*numVMaps)(LWID type);
  // Main thread. The text is the host's, valid until the scene's vertex maps change.
  const char* (*vmapName)(LWID type, int index);
  LWLaterMember laterMembers[7];
};

// Not a table: the global function answers with the function itself. Main thread (panel
// notifications and node input events); the class name and instance are read during the call.
#define LWINSTUPDATE_GLOBAL "Instance Update"
typedef void LWInstUpdate(const char* className, LWInstance instance);

// Not a table: the answer is a pointer-sized value whose low 16 bits are the language id.
#define LWLOCALEINFO_GLOBAL "Locale Info"
constexpr unsigned int LWLOC_LANGID = 0xFFFF;
constexpr unsigned int LANGID_USENGLISH = 0x0409;
constexpr unsigned int LANGID_JAPANESE = 0x0411;

static_assert(sizeof(LWItemInfo) == 320);
static_assert(offsetof(LWItemInfo, first) == 0);
static_assert(offsetof(LWItemInfo, next) == 8);
static_assert(offsetof(LWItemInfo, firstChild) == 16);
static_assert(offsetof(LWItemInfo, nextChild) == 24);
static_assert(offsetof(LWItemInfo, parent) == 32);
static_assert(offsetof(LWItemInfo, target) == 40);
static_assert(offsetof(LWItemInfo, goal) == 48);
static_assert(offsetof(LWItemInfo, type) == 56);
static_assert(offsetof(LWItemInfo, name) == 64);
static_assert(offsetof(LWItemInfo, param) == 72);
static_assert(offsetof(LWItemInfo, limits) == 80);
static_assert(offsetof(LWItemInfo, getTag) == 88);
static_assert(offsetof(LWItemInfo, setTag) == 96);
static_assert(offsetof(LWItemInfo, chanGroup) == 104);

static_assert(sizeof(LWSceneInfo) == 400);
static_assert(offsetof(LWSceneInfo, name) == 0);
static_assert(offsetof(LWSceneInfo, filename) == 8);
static_assert(offsetof(LWSceneInfo, numPoints) == 16);
static_assert(offsetof(LWSceneInfo, numPolygons) == 20);
static_assert(offsetof(LWSceneInfo, renderType) == 24);
static_assert(offsetof(LWSceneInfo, renderOpts) == 28);
static_assert(offsetof(LWSceneInfo, frameStart) == 32);
static_assert(offsetof(LWSceneInfo, frameEnd) == 36);
static_assert(offsetof(LWSceneInfo, frameStep) == 40);
static_assert(offsetof(LWSceneInfo, framesPerSecond) == 48);
static_assert(offsetof(LWSceneInfo, frameWidth) == 56);
static_assert(offsetof(LWSceneInfo, frameHeight) == 60);
static_assert(offsetof(LWSceneInfo, pixelAspect) == 64);
static_assert(offsetof(LWSceneInfo, minSamplesPerPixel) == 72);
static_assert(offsetof(LWSceneInfo, maxSamplesPerPixel) == 76);
static_assert(offsetof(LWSceneInfo, limitedRegion) == 80);
static_assert(offsetof(LWSceneInfo, recursionDepth) == 96);
static_assert(offsetof(LWSceneInfo, renderCamera) == 104);

static_assert(sizeof(LWObjectFuncs) == 120);
static_assert(offsetof(LWObjectFuncs, numObjects) == 0);
static_assert(offsetof(LWObjectFuncs, filename) == 8);
static_assert(offsetof(LWObjectFuncs, maxLayers) == 16);
static_assert(offsetof(LWObjectFuncs, layerExists) == 24);
static_assert(offsetof(LWObjectFuncs, pivotPoint) == 32);
static_assert(offsetof(LWObjectFuncs, layerMesh) == 40);
static_assert(offsetof(LWObjectFuncs, numVMaps) == 48);
static_assert(offsetof(LWObjectFuncs, vmapName) == 56);
