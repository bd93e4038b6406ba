// Reading a whole input file (scene, mesh) as bytes.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tarrow::host {

// The file's bytes, or nothing when it is missing, not a regular file, or cannot be read.
std::optional<std::string> readFileText(const std::filesystem::path& file);

}  // namespace tarrow::host
