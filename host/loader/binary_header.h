// Tells from a file's first bytes whether this host could load it as a library at all.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tarrow::host {

// Why these leading bytes cannot be a library for this host, or nothing when they might be.
std::optional<std::string> incompatibleLibraryHeader(std::string_view leadingBytes);

// The same for a file; reads only its first bytes.
std::optional<std::string> incompatibleLibraryFile(const std::filesystem::path& file);

}  // namespace tarrow::host
