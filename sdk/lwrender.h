// Scene-side services: items, scene, objects and the per-instance update notification.
#pragma once

#include "lwtypes.h"

typedef int32_t LWItemType;
constexpr LWItemType LWI_OBJECT = 0;
constexpr LWItemType LWI_LIGHT = 1;
constexpr LWItemType LWI_CAMERA = 2;

// Codes 1 to 4 are in the item's parent's coordinates, 8 to 11 in world coordinates.
typedef int32_t LWItemParam;
constexpr LWItemParam LWIP_POSITION = 1;
constexpr LWItemParam LWIP_RIGHT = 2;
constexpr LWItemParam LWIP_UP = 3;
constexpr LWItemParam LWIP_FORWARD = 4;
constexpr LWItemParam LWIP_W_POSITION = 8;
constexpr LWItemParam LWIP_W_RIGHT = 9;
constexpr LWItemParam LWIP_W_UP = 10;
constexpr LWItemParam LWIP_W_FORWARD = 11;

#define LWITEMINFO_GLOBAL "LW Item Info 8"
struct LWItemInfo {
  LWItemID (*first)(LWItemType type, LWItemID parent);
  LWItemID (*next)(LWItemID item);
  LWItemID (*parent)(LWItemID item);
  LWItemType (*type)(LWItemID item);
  const char* (*name)(LWItemID item);
  void (*param)(LWItemID item, LWItemParam code, LWTime time, double vector[3]);
  LWChanGroupID (*chanGroup)(LWItemID item);
};

#define LWSCENEINFO_GLOBAL "LW Scene Info 10"
struct LWSceneInfo {
  const char* name;
  const char* filename;
  LWFrame frameStart;
  LWFrame frameEnd;
  double framesPerSecond;
  LWItemID (*renderCamera)(LWTime time);
};

#define LWOBJECTFUNCS_GLOBAL "Scene Objects 7"
struct LWObjectFuncs {
  int (*numObjects)(void);
  int (*numVMaps)(LWID type);
  const char* (*vmapName)(LWID type, int index);
};

// Not a table: the global function answers with the function itself.
#define LWINSTUPDATE_GLOBAL "Instance Update"
typedef void LWInstUpdate(const char* className, LWInstance instance);

// Not a table: the answer is a pointer-sized value whose low 16 bits are the language id.
#define LWLOCALEINFO_GLOBAL "Locale Info"
constexpr uint16_t LANGID_JAPANESE = 0x0411;
constexpr uint16_t LANGID_US_ENGLISH = 0x0409;
