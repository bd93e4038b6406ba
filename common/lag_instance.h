// The per-object instance of the deformer: settings, node editor and per-frame cache.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/open_panels.h"
#include "common/settings_lock.h"
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
  int32_t localPivot = 0;        // 1: only the pivot item's motion against its parent lags
  int32_t pivotIndex = 0;        // 1-based in the panel's pivot list, 0 = none
  int32_t weightMapIndex = 0;    // 1-based in the panel's weight-map list, 0 = no weight map
  int32_t useNode = 0;           // 1: connected node inputs override the settings
  NodeEditorID nodeEditor = nullptr;
  NodeInputID lagRateInput = nullptr;
  NodeInputID pivotInput = nullptr;
  NodeInputID weightInput = nullptr;

  // Guards the settings above against newTime's copy of them; see settings_lock.h.
  SettingsLock settingsLock;

  // Per-frame cache, filled by newTime only; evaluate reads no setting above, only these.
  LWTime time = 0.0;
  double objectWorldPosition[3] = {};
  double objectAxes[3][3] = {};  // row by row; the columns are right, up and forward (codes 2, 3, 4)
  LWItemID cameraItem = nullptr;
  double cameraWorldPosition[3] = {};
  // The world's right, up and forward vectors in the object's coordinates (codes 9, 10, 11),
  // one vector per row: the columns of the inverse of objectAxes.
  double objectWorldAxes[3][3] = {};
  // The settings as newTime found them, and the frames of the items that carry the points.
  struct Frame {
    bool prepared = false;  // no newTime yet: every point stays where the host put it
    double lagRate = 0.0;
    int32_t useNode = 0;
    bool weightMap = false;
    // The item whose frame carries the points (S): the pivot item when it is in the scene, else
    // the object. With Local Pivot, its parent (Q), or null when only the world moves it.
    LWItemID carrier = nullptr;
    LWItemID carrierParent = nullptr;
    // S's world position (code 8), which the distance is measured from, and the world's axes in
    // S's coordinates (codes 9, 10, 11), one per row, at the frame's time.
    double carrierPosition[3] = {};
    double carrierWorldAxes[3][3] = {};
    // Q's world axes (codes 2, 3, 4, one per row) and position (code 8) at the frame's time.
    double parentAxes[3][3] = {};
    double parentPosition[3] = {};
  } frame;
  // The weight map the frame looks up: the name as newTime found it.
  char frameWeightMapName[kMaxWeightMapNameLength + 1] = {};
  // Filled by the first evaluate of a frame that needs it, also when the mesh has no such map;
  // evaluate calls may overlap.
  std::atomic<LWVMapID> weightMapId{nullptr};
  // The object's pivot point in its own coordinates (code 7): the mesh's point oP lies at
  // objectAxes * (oP - objectPivot) + objectWorldPosition.
  double objectPivot[3] = {};

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
