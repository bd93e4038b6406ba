// The module descriptor and server registration records the host reads from a module file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lwtypes.h"

// Activation entry: interface version, the host's global function, the local record to fill,
// and the value the start-up entry returned.
typedef int32_t ActivateFunc(int32_t version, GlobalFunc* global, void* local, void* serverData);

constexpr int32_t AFUNC_OK = 0;
constexpr int32_t AFUNC_BADVERSION = 1;
constexpr int32_t AFUNC_BADGLOBAL = 2;
constexpr int32_t AFUNC_BADLOCAL = 3;

struct ServerTagInfo {
  const char* string;
  uint32_t tag;  // language id in the low 16 bits, tag kind above
};

struct ServerRecord {
  const char* className;
  const char* name;
  ActivateFunc* activate;
  const ServerTagInfo* tagInfo;
};

struct ModuleDescriptor {
  uint32_t sysSync;
  uint32_t sysVersion;
  uint32_t sysMachine;
  void* (*startup)(void);
  void (*shutdown)(void* serverData);
  const ServerRecord* serverDefs;
};

constexpr uint32_t MOD_SYSSYNC = 0x04121994u;
constexpr uint32_t MOD_SYSVER = 3;
constexpr uint32_t MOD_MACHINE = 0x300;  // 64-bit little-endian

constexpr uint32_t SRVTAG_LANG_US_ENGLISH = 0x409;

// The host reads these records in place, so their layout is fixed.
static_assert(sizeof(void*) == 8, "the host is 64-bit");
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
