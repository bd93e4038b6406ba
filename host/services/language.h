// The language the stand-in host reports to modules as "Locale Info", and the code page 932
// texts that Japanese modules hand over, made readable on a UTF-8 terminal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarrow::host {

// "ja" gives Japanese (0x411), "en" US English (0x409); no choice: LANG starting with "ja"
// gives Japanese, anything else English. Throws std::invalid_argument for another choice.
unsigned int chooseLanguage(const std::optional<std::string>& choice);
unsigned int languageFromEnvironment(const char* lang);

// Code page 932 (Shift-JIS) bytes as UTF-8. ASCII, half-width katakana, the katakana and
// hiragana rows, the prolonged sound mark and the two kanji of "edit node" are known; any
// other double-byte character becomes U+FFFD.
std::string utf8FromCp932(std::string_view text);

}  // namespace tarrow::host
