// Block writer and reader through which instances save and load their state in scene files.
// Both belong to the host and are valid only during the save or load call they are handed to,
// on the host's main thread.
#pragma once

#include <cstddef>

#include "lwtypes.h"

struct LWBlockIdent {
  LWID id;
  const char* token;
};

constexpr int LWIO_OBJECT = 0;
constexpr int LWIO_SCENE = 1;  // ioMode of scene files

struct LWSaveState {
  int ioMode;
  void* writeData;
  void (*write)(void* writeData, const char* data, int length);
  void (*writeI1)(void* writeData, const char* data, int n);
  void (*writeI2)(void* writeData, const short* data, int n);
  void (*writeI4)(void* writeData, const int* data, int n);
  void (*writeU1)(void* writeData, const unsigned char* data, int n);
  void (*writeU2)(void* writeData, const unsigned short* data, int n);
  void (*writeU4)(void* writeData, const unsigned int* data, int n);
  void (*writeFP)(void* writeData, const float* data, int n);
  void (*writeStr)(void* writeData, const char* data);
  void (*writeID)(void* writeData, const LWBlockIdent* ident);
  // leaf != 0: the block holds values only. The identifier record must outlive the block.
  void (*beginBlk)(void* writeData, const LWBlockIdent* ident, int leaf);
  void (*endBlk)(void* writeData);
  int (*depth)(void* writeData);
  void (*writeDP)(void* writeData, const double* data, int n);
};

struct LWLoadState {
  int ioMode;
  void* readData;
  // Each returns the number of values (or bytes) it delivered.
  int (*read)(void* readData, char* data, int length);
  int (*readI1)(void* readData, char* data, int n);
  int (*readI2)(void* readData, short* data, int n);
  int (*readI4)(void* readData, int* data, int n);
  int (*readU1)(void* readData, unsigned char* data, int n);
  int (*readU2)(void* readData, unsigned short* data, int n);
  int (*readU4)(void* readData, unsigned int* data, int n);
  int (*readFP)(void* readData, float* data, int n);
  // Writes at most max - 1 bytes and terminates them; returns the text's length, or -1.
  int (*readStr)(void* readData, char* data, int max);
  LWID (*readID)(void* readData, const LWBlockIdent* idents);
  // Enters the next block at this level whose identifier is in the table (ended by id 0); skips
  // others whole; returns its identifier, or 0 at the end of the level.
  LWID (*findBlk)(void* readData, const LWBlockIdent* idents);
  void (*endBlk)(void* readData);
  int (*depth)(void* readData);
  int (*readDP)(void* readData, double* data, int n);
};

static_assert(sizeof(LWBlockIdent) == 16);
static_assert(offsetof(LWBlockIdent, id) == 0);
static_assert(offsetof(LWBlockIdent, token) == 8);

static_assert(sizeof(LWSaveState) == 128);
static_assert(offsetof(LWSaveState, ioMode) == 0);
static_assert(offsetof(LWSaveState, writeData) == 8);
static_assert(offsetof(LWSaveState, write) == 16);
static_assert(offsetof(LWSaveState, writeI1) == 24);
static_assert(offsetof(LWSaveState, writeI2) == 32);
static_assert(offsetof(LWSaveState, writeI4) == 40);
static_assert(offsetof(LWSaveState, writeU1) == 48);
static_assert(offsetof(LWSaveState, writeU2) == 56);
static_assert(offsetof(LWSaveState, writeU4) == 64);
static_assert(offsetof(LWSaveState, writeFP) == 72);
static_assert(offsetof(LWSaveState, writeStr) == 80);
static_assert(offsetof(LWSaveState, writeID) == 88);
static_assert(offsetof(LWSaveState, beginBlk) == 96);
static_assert(offsetof(LWSaveState, endBlk) == 104);
static_assert(offsetof(LWSaveState, depth) == 112);
static_assert(offsetof(LWSaveState, writeDP) == 120);

static_assert(sizeof(LWLoadState) == 128);
static_assert(offsetof(LWLoadState, ioMode) == 0);
static_assert(offsetof(LWLoadState, readData) == 8);
static_assert(offsetof(LWLoadState, read) == 16);
static_assert(offsetof(LWLoadState, readI1) == 24);
static_assert(offsetof(LWLoadState, readI2) == 32);
static_assert(offsetof(LWLoadState, readI4) == 40);
static_assert(offsetof(LWLoadState, readU1) == 48);
static_assert(offsetof(LWLoadState, readU2) == 56);
static_assert(offsetof(LWLoadState, readU4) == 64);
static_assert(offsetof(LWLoadState, readFP) == 72);
static_assert(offsetof(LWLoadState, readStr) == 80);
static_assert(offsetof(LWLoadState, readID) == 88);
static_assert(offsetof(LWLoadState, findBlk) == 96);
static_assert(offsetof(LWLoadState, endBlk) == 104);
static_assert(offsetof(LWLoadState, depth) == 112);
static_assert(offsetof(LWLoadState, readDP) == 120);
