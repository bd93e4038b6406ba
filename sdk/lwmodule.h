// The module descriptor and server registration records the host reads from a module file.
#pragma once

#include <cstddef>

#include "lwtypes.h"

// Activation entry: interface version, the host's global function, the local record to fill,
// and the value the start-up entry returned. Called by the host on its main thread; the local
// record is the host's and is only filled in place.
typedef int ActivateFunc(int version, GlobalFunc* global, void* local, void* serverData);

constexpr int AFUNC_OK = 0;
constexpr int AFUNC_BADVERSION = 1;
constexpr int AFUNC_BADGLOBAL = 2;  // a service the module needs did not answer
constexpr int AFUNC_BADLOCAL = 3;

// Read in place by the host for as long as the module is loaded.
struct ServerTagInfo {
  const char* string;
  unsigned int tag;  // tag kind in the high 16 bits, language id in the low 16 bits
};

struct ServerRecord {
  const char* className;
  const char* name;
  ActivateFunc* activate;
  const ServerTagInfo* tagInfo;
};

struct ModuleDescriptor {
  unsigned int sysSync;
  unsigned int sysVersion;
  unsigned int sysMachine;
  void* (*startup)(void);              // once, after loading; its value is handed back to every activation
  void (*shutdown)(void* serverData);  // once, before unloading
  const ServerRecord* serverDefs;      // ended by a record whose className is null
};

constexpr unsigned int MOD_SYSSYNC = 0x04121994u;
constexpr unsigned int MOD_SYSVER = 3;
// The host's value for 64-bit Windows, the platform this module is made for. The Linux
// development build carries the same value, so that one stand-in host check fits both.
constexpr unsigned int MOD_MACHINE = 0x300;

constexpr unsigned int SRVTAG_USERNAME = 0x0;

static_assert(sizeof(ModuleDescriptor) == 40);
static_assert(offsetof(ModuleDescriptor, sysSync) == 0);
static_assert(offsetof(ModuleDescriptor, sysVersion) == 4);
static_assert(offsetof(ModuleDescriptor, sysMachine) == 8);
static_assert(offsetof(ModuleDescriptor, startup) == 16);
static_assert(offsetof(ModuleDescriptor, shutdown) == 24);
static_assert(offsetof(ModuleDescriptor, serverDefs) == 32);
static_assert(sizeof(ServerRecord) == 32);
static_assert(offsetof(ServerRecord, className) == 0);
static_assert(offsetof(ServerRecord, name) == 8);
static_assert(offsetof(ServerRecord, activate) == 16);
static_assert(offsetof(ServerRecord, tagInfo) == 24);
static_assert(sizeof(ServerTagInfo) == 16);
static_assert(offsetof(ServerTagInfo, string) == 0);
static_assert(offsetof(ServerTagInfo, tag) == 8);
