#include "ui/labels.h"

#include <cstdint>

#include "sdk/lwrender.h"

namespace tarrow {

// "Edit Node" in Japanese, code page 932, handed to the host as it stands.
constexpr const char kEditNodeJapanese[] = "\x83\x6D\x81\x5B\x83\x68\x95\xD2\x8F\x57";
static_assert(sizeof(kEditNodeJapanese) == 11);

const LabelTable kJapaneseLabels = {
    kEditNodeJapanese, "", "Lag Rate (s/m)", "Tarrow Pivot Object", "Local Pivot", "Weight Map", ""};
const LabelTable kEnglishLabels = {"Edit Node",  "", "Lag Rate (s/m)", "Tarrow Pivot Object", "Local Pivot",
                                   "Weight Map", ""};

std::atomic<const LabelTable*> PanelLabels{nullptr};

void selectPanelLabels(GlobalFunc* global) noexcept {
  // The answer is a value, not a table: only its low 16 bits mean something.
  const auto answer = reinterpret_cast<std::uintptr_t>(global(LWLOCALEINFO_GLOBAL, GFUSE_TRANSIENT));
  const auto language = static_cast<unsigned int>(answer & LWLOC_LANGID);
  PanelLabels.store(language == LANGID_JAPANESE ? &kJapaneseLabels : &kEnglishLabels,
                    std::memory_order_release);
}

}  // namespace tarrow
