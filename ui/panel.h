// The settings panel of one instance: the host draws it from the control list and the hints,
// reads and writes the settings through the get and set functions, and reports edits, button
// presses and its own destruction through the notifications.
#pragma once

#include <cstdint>

#include "sdk/lwserver.h"

namespace tarrow {

struct LagInstance;

// Control and value ids: each setting uses one number for both.
inline constexpr uint32_t ID_EDIT_NODE = 0x8001;
inline constexpr uint32_t ID_USE_NODE = 0x8002;
inline constexpr uint32_t ID_LAG_RATE = 0x8003;
inline constexpr uint32_t ID_PIVOT_ITEM = 0x8004;
inline constexpr uint32_t ID_LOCAL_PIVOT = 0x8005;
inline constexpr uint32_t ID_WEIGHT_MAP = 0x8006;

// Popup entry 0 of both popups.
inline constexpr const char* kNoChoice = "(none)";

// Builds the host panel for the instance and keeps it in the instance; null when none is built.
LWXPanelID buildPanel(LagInstance* instance) noexcept;

// The value behind an id, or null: no instance, no such value, or a setting that a connected
// node input drives while node inputs are in use.
void* getPanelValue(void* instance, uint32_t valueId) noexcept;
// Stores the value; 1 (default refresh) for the five settings, 0 for anything else.
int setPanelValue(void* instance, uint32_t valueId, void* value) noexcept;

// Popups: entry 0 is "(none)", entry k the k-th object or weight map of the host's list.
int pivotChoiceCount(void* userData) noexcept;
const char* pivotChoiceName(void* userData, int index) noexcept;
int weightMapChoiceCount(void* userData) noexcept;
const char* weightMapChoiceName(void* userData, int index) noexcept;

// Returns the refresh code LWXPRC_NONE: the update goes to the host, the panel needs no redraw.
int onPanelChange(LWXPanelID panel, unsigned int controlId, unsigned int valueId, int eventType) noexcept;
void onPanelButton(LWXPanelID panel, int controlId) noexcept;
void onPanelDestroy(void* panelData) noexcept;

// The hint words handed to the host, ending with a zero tag word.
extern const LWXPanelHint panelHints[];

}  // namespace tarrow
