// The operating system's dynamic-library calls, behind one small interface.
#pragma once

#include <filesystem>
#include <string>

namespace tarrow::host {

// Loads a library with every symbol resolved now and none made global; null on failure, with
// the system's reason (one line) in `error`.
void* openSharedLibrary(const std::filesystem::path& file, std::string& error);
void* findLibrarySymbol(void* library, const char* name);
void closeSharedLibrary(void* library);

// The running program's own file (empty when the system does not tell).
std::filesystem::path runningExecutable();

}  // namespace tarrow::host
