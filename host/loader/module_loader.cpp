#include "host/loader/module_loader.h"

#include "host/base/number_text.h"
#include "host/base/path_text.h"
#include "host/base/unique_name.h"
#include "host/loader/binary_header.h"
#include "host/loader/shared_library.h"

namespace tarrow::host {
namespace {

// A runaway table (one without its end record) stops here instead of running off in memory.
constexpr size_t kMaxServers = 4096;
constexpr size_t kMaxTags = 4096;

std::string textOrEmpty(const char* text) { return text != nullptr ? text : ""; }

[[noreturn]] void refuse(const std::filesystem::path& file, const std::string& reason) {
  throw ModuleError(displayPath(file) + ": " + reason);
}

void checkDescriptor(const std::filesystem::path& file, const ModuleDescriptor& descriptor) {
  if (descriptor.sysSync != MOD_SYSSYNC) {
    refuse(file, "wrong sysSync " + hexCode(descriptor.sysSync) + " (this host expects " +
                     hexCode(MOD_SYSSYNC) + ")");
  }
  if (descriptor.sysVersion != MOD_SYSVER) {
    refuse(file, "wrong sysVersion " + std::to_string(descriptor.sysVersion) + " (this host expects " +
                     std::to_string(MOD_SYSVER) + ")");
  }
  if (descriptor.sysMachine != MOD_MACHINE) {
    refuse(file, "wrong sysMachine " + hexCode(descriptor.sysMachine) + " (this host expects " +
                     hexCode(MOD_MACHINE) + ", 64-bit little-endian)");
  }
  if (descriptor.serverDefs == nullptr) refuse(file, "has no server table (serverDefs is null)");
  if (descriptor.startup == nullptr) refuse(file, "has no start-up entry");
}

void refuseUnlessLoadable(const std::filesystem::path& file) {
  std::error_code failed;
  const auto status = std::filesystem::status(file, failed);
  if (!std::filesystem::exists(status)) refuse(file, "no such file");
  if (std::filesystem::is_directory(status)) refuse(file, "is a directory, not a module file");
  if (auto reason = incompatibleLibraryFile(file)) refuse(file, *reason + ", so it cannot be a module");
}

std::filesystem::path privateCopyName(const std::filesystem::path& file) {
  std::filesystem::path name("tarrow-" + uniqueSuffix() + "-");
  return std::filesystem::temp_directory_path() / (name += file.filename());
}

}  // namespace

std::unique_ptr<LoadedModule> LoadedModule::open(const std::filesystem::path& file) {
  refuseUnlessLoadable(file);
  return load(file, file, {});
}

std::unique_ptr<LoadedModule> LoadedModule::openFresh(const std::filesystem::path& file) {
  refuseUnlessLoadable(file);
  std::error_code failed;
  const std::filesystem::path copy = privateCopyName(file);
  if (!std::filesystem::copy_file(file, copy, failed)) {
    refuse(file, "cannot make a private copy at " + displayPath(copy) + ": " + failed.message());
  }
  try {
    return load(file, copy, copy);
  } catch (...) {
    std::filesystem::remove(copy, failed);
    throw;
  }
}

std::unique_ptr<LoadedModule> LoadedModule::load(const std::filesystem::path& shownAs,
                                                 const std::filesystem::path& loadFrom,
                                                 const std::filesystem::path& removeOnUnload) {
  // A bare file name would send the system searching its library folders instead.
  std::error_code failed;
  const std::filesystem::path file = std::filesystem::absolute(loadFrom, failed);
  std::string error;
  void* library = openSharedLibrary(failed ? loadFrom : file, error);
  if (library == nullptr) {
    const std::string named = displayPath(file) + ": ";
    if (error.rfind(named, 0) == 0) error.erase(0, named.size());
    refuse(shownAs, "cannot be loaded: " + error);
  }

  // From here on the destructor unloads the library and removes the copy, whatever happens.
  std::unique_ptr<LoadedModule> module(new LoadedModule);
  module->path_ = shownAs;
  module->library_ = library;
  module->privateCopy_ = removeOnUnload;

  const auto* descriptor = static_cast<const ModuleDescriptor*>(findLibrarySymbol(library, "_mod_descrip"));
  if (descriptor == nullptr) refuse(shownAs, "is a library but not a module: it exports no _mod_descrip");
  checkDescriptor(shownAs, *descriptor);
  module->descriptor_ = descriptor;

  // A module that returns null from start-up refuses to run; it gets no shutdown call.
  void* serverData = descriptor->startup();
  if (serverData == nullptr) refuse(shownAs, "its start-up entry failed (returned null)");
  module->serverData_ = serverData;
  return module;
}

LoadedModule::~LoadedModule() {
  if (serverData_ != nullptr && descriptor_->shutdown != nullptr) descriptor_->shutdown(serverData_);
  if (library_ != nullptr) closeSharedLibrary(library_);
  if (!privateCopy_.empty()) {
    std::error_code ignored;
    std::filesystem::remove(privateCopy_, ignored);
  }
}

std::vector<ServerInfo> LoadedModule::servers() const {
  std::vector<ServerInfo> found;
  for (const ServerRecord* record = descriptor_->serverDefs;
       record->className != nullptr && found.size() < kMaxServers; ++record) {
    ServerInfo info{record->className, textOrEmpty(record->name), {}};
    for (const ServerTagInfo* tag = record->tagInfo;
         tag != nullptr && tag->string != nullptr && info.tags.size() < kMaxTags; ++tag) {
      info.tags.push_back({tag->string, tag->tag});
    }
    found.push_back(std::move(info));
  }
  return found;
}

const ServerRecord* LoadedModule::findServer(std::string_view className, std::string_view name) const {
  size_t walked = 0;
  for (const ServerRecord* record = descriptor_->serverDefs;
       record->className != nullptr && walked < kMaxServers; ++record, ++walked) {
    if (record->className == className && record->name != nullptr && record->name == name) return record;
  }
  return nullptr;
}

int LoadedModule::activate(std::string_view className, std::string_view name, int version, void* local,
                           GlobalFunc* global) const {
  const ServerRecord* server = findServer(className, name);
  if (server == nullptr || server->activate == nullptr) {
    refuse(path_, "has no server of class " + std::string(className) + " named " + std::string(name));
  }
  return server->activate(version, global, local, serverData_);
}

std::filesystem::path executableDirectory() { return runningExecutable().parent_path(); }

std::filesystem::path defaultModulePath() { return executableDirectory() / "Tarrow_plus.p"; }

}  // namespace tarrow::host
