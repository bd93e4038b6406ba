// What the fuzzers that hand the host files share: a failed check stops the run with its reason,
// and a scratch folder of the process's own for the files of one input, removed at exit.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "host/base/unique_name.h"

namespace tarrow::fuzz {

inline void require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

// Made on the first call.
inline const std::filesystem::path& scratch() {
  static const std::filesystem::path folder = [] {
    std::filesystem::path made =
        std::filesystem::temp_directory_path() / ("tarrow-fuzz-" + host::uniqueSuffix());
    std::filesystem::create_directories(made);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(scratch(), ignored);
    });
    return made;
  }();
  return folder;
}

inline void writeFile(const std::filesystem::path& file, std::string_view text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  require(static_cast<bool>(out.flush()), "cannot write the scratch folder");
}

}  // namespace tarrow::fuzz
