// The per-object instance of the deformer: settings, node editor and per-frame cache.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/open_panels.h"
#include "sdk/lwserver.h"

namespace tarrow {

// The longest weight-map name an instance keeps: the panel takes no longer name from the host, so
// every name saved with a scene is read back whole.
inline constexpr std::size_t kMaxWeightMapNameLength = 1023;

struct LagInstance {
  LWItemID objectId = nullptr;
  OpenPanels panels;             // the settings panels the host has open for this instance
  char description[80] = {};     // set once by create; descln hands out this buffer
  double lagRate = 0.0;          // seconds of delay per metre from the pivot
  LWItemID pivotItem = nullptr;  // null: the object itself is the pivot
  std::string weightMapName;     // at most kMaxWeightMapNameLength bytes
  int32_t localPivot = 0;        // 1: the pivot item's position in its parent's coordinates
  int32_t pivotIndex = 0;        // 1-based in the panel's pivot list, 0 = none
  int32_t weightMapIndex = 0;    // 1-based in the panel's weight-map list, 0 = no weight map
  int32_t useNode = 0;           // 1: connected node inputs override the settings
  NodeEditorID nodeEditor = nullptr;
  NodeInputID lagRateInput = nullptr;
  NodeInputID pivotInput = nullptr;
  NodeInputID weightInput = nullptr;

  // Per-frame cache, filled by newTime.
  LWTime time = 0.0;
  double objectWorldPosition[3] = {};
  double pivotItemPosition[3] = {};
  double pivotItemWorldPosition[3] = {};
  double objectAxes[3][3] = {};  // row by row; the columns are right, up and forward (codes 2, 3, 4)
  LWItemID cameraItem = nullptr;
  double cameraWorldPosition[3] = {};
  // The weight map the frame looks up: the name as newTime found it, so that a panel edit while
  // points are evaluated changes nothing the evaluation reads.
  char frameWeightMapName[kMaxWeightMapNameLength + 1] = {};
  // Filled by the first evaluate of a frame that needs it; evaluate calls may overlap.
  std::atomic<LWVMapID> weightMapId{nullptr};
  // The world's right, up and forward vectors in the object's coordinates (codes 9, 10, 11),
  // one vector per row: the columns of the inverse of objectAxes.
  double objectWorldAxes[3][3] = {};

  // What useItems last handed the host (the pivot item and the node editor's items, ended by a
  // null), valid until the next useItems of this instance.
  std::vector<LWItemID> usedItems;
  // Handed out instead when usedItems cannot grow: the pivot item alone, ended by a null.
  LWItemID pivotOnlyItems[2] = {};

  // Set by destroy before the node editor goes: node events from then on concern an instance
  // that is being freed, and are not passed on.
  bool destroying = false;
};

}  // namespace tarrow
