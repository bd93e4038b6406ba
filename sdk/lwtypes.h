// Basic host types shared by every record and service table (LightWave 3D 2015.3, 64-bit).
#pragma once

#include <cstdint>

// Every record here is read or filled in place by the host, so pointers must be 8 bytes.
static_assert(sizeof(void*) == 8, "the host is 64-bit");

// Opaque handles. The host declares each of them as void*; distinct pointer types keep them
// apart in our code at the same size and calling convention.
typedef struct st_LWItem* LWItemID;
typedef struct st_LWPnt* LWPntID;
typedef struct st_LWPol* LWPolID;
typedef struct st_LWXPanel* LWXPanelID;
typedef struct st_LWChanGroup* LWChanGroupID;
typedef struct st_NodeEditor* NodeEditorID;
typedef struct st_NodeInput* NodeInputID;
typedef struct st_NodeOutput* NodeOutputID;
typedef struct st_Node* NodeID;

typedef void* LWInstance;
typedef const char* LWError;  // null means success; the text stays valid, owned by whoever returns it
typedef double LWTime;        // seconds
typedef int LWFrame;
typedef unsigned int LWID;  // four characters packed most significant byte first
typedef void* LWVMapID;     // vertex map handle returned by the mesh info lookup

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

// The host's global function: a service table (or a plain value) by name. Called by the module
// on the host's main thread; the tables it returns belong to the host and live as long as the
// module is loaded.
typedef void* GlobalFunc(const char* serviceName, int useMode);
constexpr int GFUSE_TRANSIENT = 0;

// A slot of a host table past the last member this code declares by name. The host keeps
// functions there that nobody here calls; the slot only gives the table its real size.
typedef void (*LWLaterMember)(void);
