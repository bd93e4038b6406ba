#include "host/scene/file_text.h"

#include <fstream>
#include <sstream>

namespace tarrow::host {

std::optional<std::string> readFileText(const std::filesystem::path& file) {
  std::error_code code;
  if (!std::filesystem::is_regular_file(file, code)) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  if (!in.is_open()) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(content).str();
}

}  // namespace tarrow::host
