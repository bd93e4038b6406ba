// `tarrow-host info [PATH]`: what a host's plug-in scan learns from a module file.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "host/base/command_line.h"
#include "host/base/path_text.h"
#include "host/loader/host_generation.h"
#include "host/loader/info_command.h"
#include "host/loader/module_loader.h"
#include "sdk/lwdisplace.h"

namespace tarrow::host {
namespace {

// What a host of the generation asks of the module: the versions it activates each class with.
void printHost(const host::HostGeneration& generation) {
  std::printf("host LightWave 3D %s, generation %s (%s)\n", generation.release, generation.generation,
              host::releasesOfGeneration(generation).c_str());
  std::printf("  %s version %d\n", LWDISPLACEMENT_HCLASS, generation.handlerVersion);
  std::printf("  %s version %d\n", LWDISPLACEMENT_ICLASS, generation.interfaceVersion);
  std::printf("  texts %s\n", generation.utf8Texts ? "UTF-8" : "code page 932");
}

void printModule(const host::LoadedModule& module) {
  const ModuleDescriptor& descriptor = module.descriptor();
  std::printf("module %s\n", host::displayPath(module.path()).c_str());
  std::printf("  sysSync    0x%08" PRIx32 "\n", descriptor.sysSync);
  std::printf("  sysVersion 0x%08" PRIx32 "\n", descriptor.sysVersion);
  std::printf("  sysMachine 0x%08" PRIx32 "\n", descriptor.sysMachine);
  std::printf("  start-up   0x%" PRIxPTR "\n", reinterpret_cast<uintptr_t>(module.serverData()));
  const auto servers = module.servers();
  std::printf("servers %zu\n", servers.size());
  for (const host::ServerInfo& server : servers) {
    std::printf("  %s \"%s\"\n", server.className.c_str(), server.name.c_str());
    for (const host::ServerTag& tag : server.tags) {
      // The low 16 bits are the tag's language, the bits above its kind.
      std::printf("    tag 0x%08" PRIx32 " language 0x%04" PRIx32 " \"%s\"\n", tag.tag, tag.tag & 0xffffu,
                  tag.text.c_str());
    }
  }
}

}  // namespace

void addInfoCommand(CLI::App& app) {
  auto* command = app.add_subcommand("info", "Load a module file and list its descriptor and servers");
  auto path = std::make_shared<std::string>();
  auto hostVersion = std::make_shared<std::string>();
  command->add_option("path", *path, "The module file (default: Tarrow_plus.p next to this program)")
      ->type_name("PATH");
  command
      ->add_option("--host-version", *hostVersion,
                   "Also list how this LightWave 3D release activates it: " + host::knownGenerations())
      ->type_name("YEAR");
  describeCommand(*command,
                  {{kExitFailed, "the file is not a module this host can load (one line says why)"}},
                  "tarrow-host info build/default/bin/Tarrow_plus.p");
  command->callback([path, hostVersion] {
    const auto file = path->empty() ? host::defaultModulePath() : std::filesystem::path(*path);
    const host::HostGeneration* generation = nullptr;
    try {
      if (!hostVersion->empty()) generation = &host::generationNamed(*hostVersion);
    } catch (const host::UnknownGeneration& error) {
      std::fprintf(stderr, "tarrow-host info: --host-version: %s\n", error.what());
      throw CLI::RuntimeError(2);
    }
    try {
      printModule(*host::LoadedModule::open(file));
      if (generation != nullptr) printHost(*generation);
    } catch (const host::ModuleError& error) {
      // Its text names the file and says what is wrong with it.
      std::fprintf(stderr, "tarrow-host info: %s\n", error.what());
      throw CLI::RuntimeError(kExitFailed);
    }
  });
}

}  // namespace tarrow::host
