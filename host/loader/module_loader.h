// Loads a module file, checks its descriptor, and activates its servers.
#pragma once

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/lwmodule.h"

namespace tarrow::host {

// A file that cannot serve as a module; what() is a one-line reason naming the file.
class ModuleError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ServerTag {
  std::string text;
  uint32_t tag;
};

struct ServerInfo {
  std::string className;
  std::string name;
  std::vector<ServerTag> tags;
};

// One loaded module: open() loads the file, checks sysSync, sysVersion and sysMachine and
// calls the start-up entry; the destructor calls shutdown and unloads the file.
class LoadedModule {
 public:
  static std::unique_ptr<LoadedModule> open(const std::filesystem::path& file);
  // Loading one path twice yields the same image, so module-wide state carries over. This
  // loads a private copy of the file instead (removed again on unload), giving a module whose
  // module-wide state starts afresh.
  static std::unique_ptr<LoadedModule> openFresh(const std::filesystem::path& file);
  ~LoadedModule();
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  // The file as the caller named it (not the private copy of openFresh).
  const std::filesystem::path& path() const { return path_; }
  const ModuleDescriptor& descriptor() const { return *descriptor_; }
  void* serverData() const { return serverData_; }

  // The server table as a host's plug-in scan reads it.
  std::vector<ServerInfo> servers() const;
  // The record registered under this class and name, or null.
  const ServerRecord* findServer(std::string_view className, std::string_view name) const;
  // Calls the activation entry of that server; throws ModuleError when there is none.
  int activate(std::string_view className, std::string_view name, int version, void* local,
               GlobalFunc* global) const;

 private:
  LoadedModule() = default;
  static std::unique_ptr<LoadedModule> load(const std::filesystem::path& shownAs,
                                            const std::filesystem::path& loadFrom,
                                            const std::filesystem::path& removeOnUnload);
  std::filesystem::path path_;
  std::filesystem::path privateCopy_;
  void* library_ = nullptr;
  const ModuleDescriptor* descriptor_ = nullptr;
  void* serverData_ = nullptr;
};

// Where the module built with the program lives: Tarrow_plus.p next to the running executable.
std::filesystem::path defaultModulePath();

// The directory of the running executable (empty when it cannot be found).
std::filesystem::path executableDirectory();

}  // namespace tarrow::host
