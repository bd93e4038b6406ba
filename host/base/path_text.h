// Paths in messages, as UTF-8 on every system.
#pragma once

#include <filesystem>
#include <string>

namespace tarrow::host {

std::string displayPath(const std::filesystem::path& path);

}  // namespace tarrow::host
