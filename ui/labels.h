// The settings panel's label texts in the host's language and text encoding.
#pragma once

#include <array>
#include <atomic>

#include "sdk/lwtypes.h"

namespace tarrow {

// Entries 0 to 5 label the panel's controls (the node button, use-node switch, lag rate, pivot
// popup, local-pivot switch, weight-map popup); entry 6 is unused.
using LabelTable = std::array<const char*, 7>;

extern const LabelTable kJapaneseLabels;      // the button label as code page 932 bytes
extern const LabelTable kJapaneseLabelsUtf8;  // the button label as UTF-8, for hosts from 2020 on
extern const LabelTable kEnglishLabels;

// The table of the host's language; null until the first handler activation.
extern std::atomic<const LabelTable*> PanelLabels;

// Picks the table from the host's "Locale Info" answer: Japanese for language id 0x0411, in
// UTF-8 when the host reads its texts so, else in code page 932.
void selectPanelLabels(GlobalFunc* global, bool utf8Texts) noexcept;

}  // namespace tarrow
