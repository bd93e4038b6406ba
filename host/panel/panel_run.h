// The whole of `tarrow-host panel`: a scene's instance with its settings panel open, edited and
// pressed as a user would, shown as the host draws it, and on request the scene saved back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/loader/host_generation.h"
#include "sdk/lwrender.h"

namespace tarrow::host {

struct PanelOptions {
  std::filesystem::path scene;
  std::string object;                // the name of a deformed object
  int deformer = 1;                  // which of its deformers, from 1
  std::filesystem::path modulePath;  // empty: the module next to the program
  unsigned int language = LANGID_USENGLISH;
  std::vector<std::string> sets;     // "LABEL=VALUE", applied in order
  std::optional<std::string> press;  // a button's label
  std::optional<std::filesystem::path> saveScene;
  const HostGeneration* generation = nullptr;      // null: the scene's "host", else the newest
  std::vector<std::filesystem::path> contentDirs;  // where an .lws scene's objects are looked up
  // Called with each warning line: what of the scene the host does not evaluate, a saved state
  // it could not read whole; the run goes on.
  std::function<void(const std::string&)> warning;
};

// "LABEL=VALUE" split at its last '='; labels may hold '=' but values never do. Throws PanelError.
std::pair<std::string, std::string> splitSetting(const std::string& text);

// What the command prints: what the pressed button showed, then the panel. Throws PanelError,
// SceneError or ModuleError with a one-line message; the saved scene is written only on success.
std::string runPanel(const PanelOptions& options);

}  // namespace tarrow::host
