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
  ~LoadedModule();
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  const std::filesystem::path& path() const { return path_; }
  const ModuleDescriptor& descriptor() const { return *descriptor_; }
  void* serverData() const { return serverData_; }

  // The server table as a host's plug-in scan reads it.
  std::vector<ServerInfo> servers() const;
  // The record registered under this class and name, or null.
  const ServerRecord* findServer(std::string_view className, std::string_view name) const;
  // Calls the activation entry of that server; throws ModuleError when there is none.
  int32_t activate(std::string_view className, std::string_view name, int32_t version,
                   void* local, GlobalFunc* global) const;

 private:
  LoadedModule() = default;
  std::filesystem::path path_;
  void* library_ = nullptr;
  const ModuleDescriptor* descriptor_ = nullptr;
  void* serverData_ = nullptr;
};

// Where the module built with the program lives: Tarrow_plus.p next to the running executable.
std::filesystem::path defaultModulePath();

}  // namespace tarrow::host
