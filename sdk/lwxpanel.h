// Extended panels: host-drawn settings panels described by control lists and hints. The panel
// service is called on the host's main thread, and so are all the callbacks a panel is given.
#pragma once

#include <cstddef>

#include "lwtypes.h"

#define LWXPANELFUNCS_GLOBAL "LWXPanel 2"

constexpr int LWXP_VIEW = 1;  // values read and written through get and set functions

// The control and data lists must outlive every panel made from them: the host keeps reading
// them. Their texts likewise.
struct LWXPanelControl {
  unsigned int cid;
  const char* label;
  const char* ctrlclass;  // "vButton", "iBoolean", "float", "iPopChoice", ...
};

struct LWXPanelDataDesc {
  unsigned int vid;
  const char* name;
  const char* datatype;  // "integer", "float", ...
};

// A hint list is an array of pointer-sized words: a tag word, its argument words, ..., and a
// zero tag word at the end. A tag's low byte is its number of argument words; 0x80 in it marks
// a zero-terminated list of words instead. The host reads the array during the hint call only.
typedef void* LWXPanelHint;
constexpr unsigned int XPTAG_LIST = 0x80;

constexpr unsigned int XPTAG_END = 0x0;
constexpr unsigned int XPTAG_LABEL = 0x3D000B03;          // id, text, 0
constexpr unsigned int XPTAG_LEFT = 0x3D021280;           // zero-terminated list of control ids
constexpr unsigned int XPTAG_CHGNOTIFY = 0x3D000F01;      // change notification function
constexpr unsigned int XPTAG_BUTNOTIFY = 0x3D015F02;      // control id, button notification function
constexpr unsigned int XPTAG_POPFUNCS = 0x3D016203;       // control id, count function, name function
constexpr unsigned int XPTAG_DESTROYNOTIFY = 0x3D001302;  // destroy notification function, 0

// Events of the change notification.
constexpr int LWXPEVENT_TRACK = 1;
constexpr int LWXPEVENT_VALUE = 2;
constexpr int LWXPEVENT_HIT = 3;

// Refresh codes returned by a set function and by the change notification.
constexpr int LWXPRC_NONE = 0;
constexpr int LWXPRC_DFLT = 1;

// The value is read by the host at once; the pointer need not outlive the call.
typedef void* LWXPanelGetFunc(void* inst, unsigned int vid);
// value points to the host's storage, valid for the call only; returns a refresh code.
typedef int LWXPanelSetFunc(void* inst, unsigned int vid, void* value);
typedef int LWXPanelChangeNotifyFunc(LWXPanelID panel, unsigned int cid, unsigned int vid, int eventType);
typedef void LWXPanelBtnClickFunc(LWXPanelID panel, int cid);
typedef void LWXPanelDestroyNotifyFunc(void* panelData);
typedef int LWXPanelPopCntFunc(void* userData);
// The text must stay valid until the host has drawn the entry.
typedef const char* LWXPanelPopNameFunc(void* userData, int index);

struct LWXPDrawFuncs;

struct LWXPanelFuncs {
  int version;
  LWXPDrawFuncs* drawf;
  // The control list is kept by the host, not copied. The panel is the host's.
  LWXPanelID (*create)(int type, LWXPanelControl* ctrlDesc);
  void (*destroy)(LWXPanelID panel);
  void (*describe)(LWXPanelID panel, LWXPanelDataDesc* dataDesc, LWXPanelGetFunc* get, LWXPanelSetFunc* set);
  void (*hint)(LWXPanelID panel, unsigned int id, LWXPanelHint* hints);
  void* (*getData)(LWXPanelID panel, unsigned int id);
  void (*setData)(LWXPanelID panel, unsigned int id, void* data);
  void* (*formGet)(LWXPanelID panel, unsigned int vid);
  void (*formSet)(LWXPanelID panel, unsigned int vid, void* value);
  void (*viewInst)(LWXPanelID panel, void* inst);
  void (*viewRefresh)(LWXPanelID panel);
  LWLaterMember laterMembers[3];
};

static_assert(sizeof(LWXPanelControl) == 24);
static_assert(offsetof(LWXPanelControl, cid) == 0);
static_assert(offsetof(LWXPanelControl, label) == 8);
static_assert(offsetof(LWXPanelControl, ctrlclass) == 16);
static_assert(sizeof(LWXPanelDataDesc) == 24);
static_assert(offsetof(LWXPanelDataDesc, vid) == 0);
static_assert(offsetof(LWXPanelDataDesc, name) == 8);
static_assert(offsetof(LWXPanelDataDesc, datatype) == 16);

static_assert(sizeof(LWXPanelFuncs) == 120);
static_assert(offsetof(LWXPanelFuncs, version) == 0);
static_assert(offsetof(LWXPanelFuncs, drawf) == 8);
static_assert(offsetof(LWXPanelFuncs, create) == 16);
static_assert(offsetof(LWXPanelFuncs, destroy) == 24);
static_assert(offsetof(LWXPanelFuncs, describe) == 32);
static_assert(offsetof(LWXPanelFuncs, hint) == 40);
static_assert(offsetof(LWXPanelFuncs, getData) == 48);
static_assert(offsetof(LWXPanelFuncs, setData) == 56);
static_assert(offsetof(LWXPanelFuncs, formGet) == 64);
static_assert(offsetof(LWXPanelFuncs, formSet) == 72);
static_assert(offsetof(LWXPanelFuncs, viewInst) == 80);
static_assert(offsetof(LWXPanelFuncs, viewRefresh) == 88);
