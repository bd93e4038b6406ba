// Basic host types shared by every record and service table.
#pragma once

#include <cstdint>

// Opaque handles. The host hands these out and the module only passes them back.
typedef struct st_LWItem* LWItemID;
typedef struct st_LWPnt* LWPntID;
typedef struct st_LWXPanel* LWXPanelID;
typedef struct st_LWChanGroup* LWChanGroupID;
typedef struct st_NodeEditor* NodeEditorID;
typedef struct st_NodeInput* NodeInputID;
typedef struct st_Node* NodeID;

typedef void* LWInstance;
typedef const char* LWError;  // null means success
typedef double LWTime;        // seconds
typedef int32_t LWFrame;
typedef uint32_t LWID;        // four characters packed most significant byte first
typedef void* LWVMapID;       // vertex map handle returned by the mesh info lookup

#define LWITEM_NULL (static_cast<LWItemID>(nullptr))

constexpr LWID LWID_(char a, char b, char c, char d) {
  return (static_cast<LWID>(static_cast<unsigned char>(a)) << 24) |
         (static_cast<LWID>(static_cast<unsigned char>(b)) << 16) |
         (static_cast<LWID>(static_cast<unsigned char>(c)) << 8) |
         static_cast<LWID>(static_cast<unsigned char>(d));
}

// Vertex map type of weight maps.
constexpr LWID LWVMAP_WGHT = LWID_('W', 'G', 'H', 'T');
static_assert(LWVMAP_WGHT == 0x57474854u);

// The host's global function: a service table (or value) by name. useCode 0 = transient.
typedef void* GlobalFunc(const char* serviceName, int useCode);
constexpr int GFUSE_TRANSIENT = 0;
