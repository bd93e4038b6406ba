// Function tables shared by every handler class: instance life, item references, rendering, and
// the interface server's record. The host hands these to an activation entry on its main thread;
// the module fills the function slots in place and the host keeps calling them until unload.
#pragma once

#include <cstddef>

#include "lwio.h"
#include "lwtypes.h"

struct LWInstanceFuncs {
  void* priv;  // the host's; the module leaves it alone
  // Main thread. context: the item the instance is made for. On failure returns null and stores
  // a text in *error that the module owns and keeps valid for good.
  LWInstance (*create)(void* priv, void* context, LWError* error);
  // Main thread. The host no longer uses the instance afterwards.
  void (*destroy)(LWInstance instance);
  // Main thread. Copies the settings of from into instance; returns an error text the module owns.
  LWError (*copy)(LWInstance instance, LWInstance from);
  // Main thread. The reader and writer belong to the host and live for the call only.
  LWError (*load)(LWInstance instance, const struct LWLoadState* load);
  LWError (*save)(LWInstance instance, const struct LWSaveState* save);
  // Main thread. The text belongs to the instance and stays valid while it lives.
  const char* (*descln)(LWInstance instance);
};

// Old and new name of an item the host renamed; the host's, valid for the call only.
struct LWNameChangeData {
  const char* oldName;
  const char* newName;
  LWItemID id;
};

struct LWItemFuncs {
  // Main thread. Items the instance refers to, ended by LWITEM_NULL. The list belongs to the
  // module and stays valid until the next useItems call of any instance.
  const LWItemID* (*useItems)(LWInstance instance);
  // Main thread. Pairs of old and new ids, ended by a pair whose old id is LWITEM_NULL; the
  // host's array, valid for the call only.
  void (*changeID)(LWInstance instance, const LWItemID* idPairs);
  // Main thread. An item was renamed; the module leaves this slot as the host set it.
  void (*changeName)(LWInstance instance, const LWNameChangeData* change);
};

constexpr int LWINIT_PREVIEW = 0;
constexpr int LWINIT_RENDER = 1;

struct LWRenderFuncs {
  // Main thread, before and after a render pass.
  LWError (*init)(LWInstance instance, int mode);
  void (*cleanup)(LWInstance instance);
  // Main thread, whenever the time changes, before any evaluation of that time starts.
  LWError (*newTime)(LWInstance instance, LWFrame frame, LWTime time);
};

// Local record of the interface server: the panel of an existing instance.
constexpr int LWINTERFACE_VERSION = 4;
struct LWInterface {
  LWInstance inst;   // set by the host
  LWXPanelID panel;  // filled by the module; the host owns the panel from then on
  LWError (*options)(LWInstance instance);
  LWError (*command)(LWInstance instance, const char* command);
};

static_assert(sizeof(LWInstanceFuncs) == 56);
static_assert(offsetof(LWInstanceFuncs, priv) == 0);
static_assert(offsetof(LWInstanceFuncs, create) == 8);
static_assert(offsetof(LWInstanceFuncs, destroy) == 16);
static_assert(offsetof(LWInstanceFuncs, copy) == 24);
static_assert(offsetof(LWInstanceFuncs, load) == 32);
static_assert(offsetof(LWInstanceFuncs, save) == 40);
static_assert(offsetof(LWInstanceFuncs, descln) == 48);
static_assert(sizeof(LWNameChangeData) == 24);
static_assert(offsetof(LWNameChangeData, oldName) == 0);
static_assert(offsetof(LWNameChangeData, newName) == 8);
static_assert(offsetof(LWNameChangeData, id) == 16);
static_assert(sizeof(LWItemFuncs) == 24);
static_assert(offsetof(LWItemFuncs, useItems) == 0);
static_assert(offsetof(LWItemFuncs, changeID) == 8);
static_assert(offsetof(LWItemFuncs, changeName) == 16);
static_assert(sizeof(LWRenderFuncs) == 24);
static_assert(offsetof(LWRenderFuncs, init) == 0);
static_assert(offsetof(LWRenderFuncs, cleanup) == 8);
static_assert(offsetof(LWRenderFuncs, newTime) == 16);
static_assert(sizeof(LWInterface) == 32);
static_assert(offsetof(LWInterface, inst) == 0);
static_assert(offsetof(LWInterface, panel) == 8);
static_assert(offsetof(LWInterface, options) == 16);
static_assert(offsetof(LWInterface, command) == 24);
