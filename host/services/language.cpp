#include "host/services/language.h"

#include <cstdlib>
#include <stdexcept>

#include "sdk/lwrender.h"

namespace tarrow::host {
namespace {

void appendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Kanji outside the regular rows, by their two code page 932 bytes.
struct Kanji {
  uint16_t cp932;
  char32_t unicode;
};
constexpr Kanji knownKanji[] = {
    {0x95D2, U'\u7DE8'},  // hen: edit
    {0x8F57, U'\u96C6'},  // shuu: collect
};

constexpr char32_t replacement = U'\uFFFD';

char32_t doubleByte(uint8_t lead, uint8_t trail) {
  // The katakana row: 0x8340-0x837E and 0x8380-0x8396 run through U+30A1 to U+30F6.
  if (lead == 0x83 && trail >= 0x40 && trail <= 0x96 && trail != 0x7F) {
    return U'\u30A1' + (trail - 0x40) - (trail > 0x7F ? 1 : 0);
  }
  // The hiragana row: 0x829F-0x82F1 run through U+3041 to U+3093.
  if (lead == 0x82 && trail >= 0x9F && trail <= 0xF1) return U'\u3041' + (trail - 0x9F);
  if (lead == 0x81 && trail == 0x5B) return U'\u30FC';  // prolonged sound mark
  if (lead == 0x81 && trail == 0x40) return U'\u3000';  // ideographic space
  const uint16_t pair = static_cast<uint16_t>(lead << 8 | trail);
  for (const Kanji& kanji : knownKanji) {
    if (kanji.cp932 == pair) return kanji.unicode;
  }
  return replacement;
}

bool isLeadByte(uint8_t byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

}  // namespace

unsigned int languageFromEnvironment(const char* lang) {
  return lang != nullptr && std::string_view(lang).substr(0, 2) == "ja" ? LANGID_JAPANESE : LANGID_USENGLISH;
}

unsigned int chooseLanguage(const std::optional<std::string>& choice) {
  if (!choice) return languageFromEnvironment(std::getenv("LANG"));
  if (*choice == "ja") return LANGID_JAPANESE;
  if (*choice == "en") return LANGID_USENGLISH;
  throw std::invalid_argument("--locale " + *choice + ": choose ja or en");
}

std::string utf8FromCp932(std::string_view text) {
  std::string out;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto byte = static_cast<uint8_t>(text[at]);
    if (byte < 0x80) {
      out += static_cast<char>(byte);
    } else if (byte >= 0xA1 && byte <= 0xDF) {
      appendUtf8(out, U'\uFF61' + (byte - 0xA1));  // half-width katakana
    } else if (isLeadByte(byte) && at + 1 < text.size()) {
      appendUtf8(out, doubleByte(byte, static_cast<uint8_t>(text[++at])));
    } else {
      appendUtf8(out, replacement);
    }
  }
  return out;
}

}  // namespace tarrow::host
