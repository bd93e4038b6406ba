// Extended panels: host-drawn settings panels described by control lists and hints.
#pragma once

#include <cstdint>

#include "lwtypes.h"

#define LWXPANELFUNCS_GLOBAL "LWXPanel 2"

constexpr int LWXP_VIEW = 1;  // values read and written through get and set functions

struct LWXPanelControl {
  uint32_t cid;
  const char* label;
  const char* ctrlclass;  // "vButton", "iBoolean", "float", "iPopChoice", ...
};

struct LWXPanelDataDesc {
  uint32_t vid;
  const char* name;
  const char* datatype;  // "integer", "float", ...
};

// A hint list is an array of pointer-sized words: a tag word, its argument words, ...,
// and a zero tag word at the end. A tag's low byte is its number of argument words;
// XP_TAG_LIST (0x80) marks a zero-terminated list of words instead.
typedef void* LWXPanelHint;
constexpr uint32_t XP_TAG_LIST = 0x80;

constexpr uint32_t XpLABEL = 0x3D000B03;           // id, text, 0
constexpr uint32_t XpBUTTONS = 0x3D021280;         // zero-terminated list of control ids
constexpr uint32_t XpCHGNOTIFY = 0x3D000F01;       // change notification function
constexpr uint32_t XpBUTNOTIFY = 0x3D015F02;       // control id, button notification function
constexpr uint32_t XpPOPFUNCS = 0x3D016203;        // control id, count function, name function
constexpr uint32_t XpDESTROYNOTIFY = 0x3D001302;   // destroy notification function, 0

// Events of the change notification.
constexpr int LWXPEVENT_TRACK = 1;
constexpr int LWXPEVENT_VALUE = 2;
constexpr int LWXPEVENT_HIT = 3;

// Refresh codes returned by a set function.
constexpr int LWXPRC_NONE = 0;
constexpr int LWXPRC_DFLT = 1;

typedef void* LWXPanelGetFunc(void* inst, uint32_t vid);
typedef int LWXPanelSetFunc(void* inst, uint32_t vid, void* value);
typedef void LWXPanelChangeNotifyFunc(LWXPanelID panel, uint32_t cid, uint32_t vid, int event);
typedef void LWXPanelBtnClickFunc(LWXPanelID panel, int cid);
typedef int LWXPanelPopCntFunc(void* userData);
typedef const char* LWXPanelPopNameFunc(void* userData, int index);
typedef void LWXPanelDestroyNotifyFunc(void* panelData);

struct LWXPanelFuncs {
  int version;
  LWXPanelID (*create)(int type, LWXPanelControl* controls);
  void (*destroy)(LWXPanelID panel);
  void (*describe)(LWXPanelID panel, LWXPanelDataDesc* data, LWXPanelGetFunc* get,
                   LWXPanelSetFunc* set);
  void (*hint)(LWXPanelID panel, uint32_t id, LWXPanelHint* hints);
  void* (*getData)(LWXPanelID panel, uint32_t id);
  void (*setData)(LWXPanelID panel, uint32_t id, void* data);
  void (*viewInst)(LWXPanelID panel, void* inst);
  void (*viewRefresh)(LWXPanelID panel);
};
