#include "ui/labels.h"

#include <cstdint>

#include "sdk/lwrender.h"

namespace tarrow {

// "Edit Node" in Japanese, handed to the host as it stands: in code page 932 for the hosts that
// read their texts in the system's code page, in UTF-8 for those from 2020 on.
constexpr const char kEditNodeJapanese[] = "\x83\x6D\x81\x5B\x83\x68\x95\xD2\x8F\x57";
static_assert(sizeof(kEditNodeJapanese) == 11);
constexpr const char kEditNodeJapaneseUtf8[] = "\xE3\x83\x8E\xE3\x83\xBC\xE3\x83\x89\xE7\xB7\xA8\xE9\x9B\x86";
static_assert(sizeof(kEditNodeJapaneseUtf8) == 16);

const LabelTable kJapaneseLabels = {
    kEditNodeJapanese, "", "Lag Rate (s/m)", "Tarrow Pivot Object", "Local Pivot", "Weight Map", ""};
const LabelTable kJapaneseLabelsUtf8 = {
    kEditNodeJapaneseUtf8, "", "Lag Rate (s/m)", "Tarrow Pivot Object", "Local Pivot", "Weight Map", ""};
const LabelTable kEnglishLabels = {"Edit Node",  "", "Lag Rate (s/m)", "Tarrow Pivot Object", "Local Pivot",
                                   "Weight Map", ""};

std::atomic<const LabelTable*> PanelLabels{nullptr};

void selectPanelLabels(GlobalFunc* global, bool utf8Texts) noexcept {
  // The answer is a value, not a table: only its low 16 bits mean something.
  const auto answer = reinterpret_cast<std::uintptr_t>(global(LWLOCALEINFO_GLOBAL, GFUSE_TRANSIENT));
  const auto language = static_cast<unsigned int>(answer & LWLOC_LANGID);
  const LabelTable* japanese = utf8Texts ? &kJapaneseLabelsUtf8 : &kJapaneseLabels;
  PanelLabels.store(language == LANGID_JAPANESE ? japanese : &kEnglishLabels, std::memory_order_release);
}

}  // namespace tarrow
