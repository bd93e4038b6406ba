// Block writer and reader through which instances save and load their state in scene files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lwtypes.h"

struct LWBlockIdent {
  LWID id;
  const char* token;
};

static_assert(sizeof(LWBlockIdent) == 16);
static_assert(offsetof(LWBlockIdent, id) == 0);
static_assert(offsetof(LWBlockIdent, token) == 8);

constexpr int LWIO_OBJECT = 0;  // ioMode: scene file blocks
constexpr int LWIO_SCENE = 1;

struct LWSaveState {
  int ioMode;
  void* writeData;
  void (*writeI4)(void* writeData, const int32_t* values, int count);
  void (*writeU4)(void* writeData, const uint32_t* values, int count);
  void (*writeFP)(void* writeData, const float* values, int count);
  void (*writeDP)(void* writeData, const double* values, int count);
  void (*writeStr)(void* writeData, const char* text);
  // leaf != 0: the block holds values only and is written on one line.
  void (*beginBlk)(void* writeData, const LWBlockIdent* ident, int leaf);
  void (*endBlk)(void* writeData);
  int (*depth)(void* writeData);
};

struct LWLoadState {
  int ioMode;
  void* readData;
  // Each returns the number of values (or bytes) it delivered.
  int (*readI4)(void* readData, int32_t* values, int count);
  int (*readU4)(void* readData, uint32_t* values, int count);
  int (*readFP)(void* readData, float* values, int count);
  int (*readDP)(void* readData, double* values, int count);
  // Writes at most size - 1 bytes and always terminates; returns the text's length or -1.
  int (*readStr)(void* readData, char* buffer, int size);
  // Enters the next block at this level whose identifier is in the null-terminated table;
  // skips others whole; returns its identifier, or 0 at the end of the level.
  LWID (*findBlk)(void* readData, const LWBlockIdent* table);
  void (*endBlk)(void* readData);
  int (*depth)(void* readData);
};
