#include "host/loader/shared_library.h"

#ifndef _WIN32
#include <dlfcn.h>
#endif

#include <vector>

#include "host/base/windows_api.h"

namespace tarrow::host {
namespace {

std::string oneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

#ifdef _WIN32

void* openSharedLibrary(const std::filesystem::path& file, std::string& error) {
  // No "cannot load" message box: the reason goes back to the caller instead.
  DWORD previousMode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
  HMODULE library = LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  const DWORD code = GetLastError();
  SetThreadErrorMode(previousMode, nullptr);
  if (library == nullptr) {
    char* text = nullptr;
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    error = oneLine(text != nullptr ? text : "") + " (error " + std::to_string(code) + ")";
    LocalFree(text);
  }
  return reinterpret_cast<void*>(library);
}

void* findLibrarySymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeSharedLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

std::filesystem::path runningExecutable() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::filesystem::path(std::wstring(buffer.data(), length));
    buffer.resize(buffer.size() * 2);
  }
}

#else

void* openSharedLibrary(const std::filesystem::path& file, std::string& error) {
  void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    error = oneLine(reason != nullptr ? reason : "unknown reason");
  }
  return library;
}

void* findLibrarySymbol(void* library, const char* name) { return dlsym(library, name); }

void closeSharedLibrary(void* library) { dlclose(library); }

std::filesystem::path runningExecutable() {
  std::error_code failed;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", failed);
  return failed ? std::filesystem::path() : self;
}

#endif

}  // namespace tarrow::host
