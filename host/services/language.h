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

// Code page 932 (Shift-JIS) bytes as UTF-8, through the platform's converter (iconv on Linux,
// the code page functions on Windows). A lead byte and the byte after it are one character;
// a pair the code page does not map, a lead byte at the very end and a byte that is neither
// ASCII, half-width katakana nor a lead byte each become one U+FFFD.
std::string utf8FromCp932(std::string_view text);

}  // namespace tarrow::host
