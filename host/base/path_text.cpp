#include "host/base/path_text.h"

namespace tarrow::host {

std::string displayPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace tarrow::host
