#include "host/base/number_text.h"

#include <cinttypes>
#include <cstdio>

namespace tarrow::host {

std::string hexDigits(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%" PRIX32, value);
  return text;
}

std::string hexId(uint32_t id) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%" PRIX32, id);
  return text;
}

std::string hexCode(uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08" PRIx32, code);
  return text;
}

}  // namespace tarrow::host
