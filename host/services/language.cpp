#include "host/services/language.h"

#include <cstdlib>
#include <stdexcept>

#ifndef _WIN32
#include <iconv.h>
#endif

#include "host/base/windows_api.h"
#include "sdk/lwrender.h"

namespace tarrow::host {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

bool isLeadByte(uint8_t byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }
bool isHalfWidthKatakana(uint8_t byte) { return byte >= 0xA1 && byte <= 0xDF; }

// The platform's own code page 932 table, asked one character at a time so that a character
// it has no mapping for costs that character alone, on Linux and Windows alike.
class Cp932Table {
 public:
#ifdef _WIN32
  // Appends the character's UTF-8 form; false when code page 932 has no such character.
  bool appendUtf8(std::string_view character, std::string& out) const {
    wchar_t wide[2];
    const int wideCount = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, character.data(),
                                              static_cast<int>(character.size()), wide, 2);
    if (wideCount <= 0) return false;
    char utf8[8];
    const int utf8Count =
        WideCharToMultiByte(CP_UTF8, 0, wide, wideCount, utf8, sizeof utf8, nullptr, nullptr);
    if (utf8Count <= 0) return false;
    out.append(utf8, static_cast<size_t>(utf8Count));
    return true;
  }
#else
  Cp932Table() : converter_(iconv_open("UTF-8", "CP932")) {}
  ~Cp932Table() {
    if (converter_ != unavailable()) iconv_close(converter_);
  }
  Cp932Table(const Cp932Table&) = delete;
  Cp932Table& operator=(const Cp932Table&) = delete;

  // Appends the character's UTF-8 form; false when code page 932 has no such character, or
  // when this C library was installed without its code page 932 converter.
  bool appendUtf8(std::string_view character, std::string& out) const {
    if (converter_ == unavailable()) return false;
    iconv(converter_, nullptr, nullptr, nullptr, nullptr);
    char input[2];
    character.copy(input, sizeof input);
    char* in = input;
    size_t inLeft = character.size();
    char utf8[8];
    char* written = utf8;
    size_t outLeft = sizeof utf8;
    if (iconv(converter_, &in, &inLeft, &written, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) {
      return false;
    }
    out.append(utf8, static_cast<size_t>(written - utf8));
    return true;
  }

 private:
  static iconv_t unavailable() { return reinterpret_cast<iconv_t>(-1); }
  iconv_t converter_;
#endif
};

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
  const Cp932Table table;
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<uint8_t>(text[at]);
    if (byte < 0x80) {
      out += static_cast<char>(byte);
      ++at;
      continue;
    }
    // A lead byte takes the next byte as its trail, whatever it is; one at the very end has
    // none and stands alone.
    const size_t length = isLeadByte(byte) && at + 1 < text.size() ? 2 : 1;
    const std::string_view character = text.substr(at, length);
    const bool known = (length == 2 || isHalfWidthKatakana(byte)) && table.appendUtf8(character, out);
    if (!known) out += kReplacement;
    at += length;
  }
  return out;
}

}  // namespace tarrow::host
