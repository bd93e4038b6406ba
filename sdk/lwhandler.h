// Function tables shared by every handler class: instance life, item references, rendering.
#pragma once

#include "lwio.h"
#include "lwtypes.h"

struct LWInstanceFuncs {
  void* priv;  // the host's; the module leaves it alone
  LWInstance (*create)(void* priv, void* context, LWError* errorOut);
  void (*destroy)(LWInstance instance);
  LWError (*copy)(LWInstance to, LWInstance from);
  LWError (*load)(LWInstance instance, const LWLoadState* loadState);
  LWError (*save)(LWInstance instance, const LWSaveState* saveState);
  const char* (*descln)(LWInstance instance);
};

struct LWItemFuncs {
  // Items the instance refers to, ended by LWITEM_NULL.
  const LWItemID* (*useItems)(LWInstance instance);
  // Pairs of old and new ids, ended by a pair whose old id is LWITEM_NULL.
  void (*changeID)(LWInstance instance, const LWItemID* idPairs);
};

struct LWRenderFuncs {
  LWError (*init)(LWInstance instance, int mode);
  void (*cleanup)(LWInstance instance);
  LWError (*newTime)(LWInstance instance, LWFrame frame, LWTime time);
};

// Interface server: the panel of an existing instance.
constexpr int32_t LWINTERFACE_VERSION = 4;
struct LWInterface {
  LWInstance inst;
  LWXPanelID panel;
  LWError (*options)(LWInstance instance);
  LWError (*command)(LWInstance instance, const char* command);
};
