// The releases of LightWave 3D the stand-in host can be: each one's service names, activation
// versions, text encoding, node records and preview types, in one description. Everything the
// host does differently for a release reads it from here.
#pragma once

#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tarrow::host {

// The layout of the node editor's tables and records: 2015.3's, or the one of 2018 on
// (lw2018:: in sdk/).
enum class NodeLayout { k2015, k2018 };

struct HostGeneration {
  const char* release;  // as --host-version and a scene's "host" name it
  // The generation of the host's interface the release belongs to, as the plug-in tells them
  // apart ("2015.3", "2018", "2020"); 2023 and 2024 are 2020's to the last member and version.
  const char* generation;
  // Every name the host offers, its own service names first.
  const char* itemInfo;
  const char* sceneInfo;
  const char* objectFuncs;
  const char* xpanel;
  const char* nodeEditor;
  const char* nodeInput;
  const char* nodeFuncs;
  int handlerVersion;    // DisplacementHandler
  int interfaceVersion;  // DisplacementInterface
  bool utf8Texts;        // the host's texts are UTF-8, else code page 932 (as a Japanese system's)
  NodeLayout nodes;
  int previewRender;  // NPT_RENDER, the preview type an editor starts with
  int previewOff;     // NPT_OFF
  int lastInitMode;   // the highest render-init mode: LWINIT_RENDER, or 2025's interactive render
};

class UnknownGeneration : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Every supported release, oldest first; the newest is the default.
std::span<const HostGeneration> hostGenerations();
const HostGeneration& newestGeneration();
// The release named, or UnknownGeneration: "unknown host version "X"; known: 2015, 2018, 2020,
// 2023, 2024, 2025".
const HostGeneration& generationNamed(std::string_view release);
// "2015, 2018, 2020, 2023, 2024, 2025"
std::string knownGenerations();
// "2020, 2023, 2024, 2025": the releases of the generation's interface.
std::string releasesOfGeneration(const HostGeneration& generation);

}  // namespace tarrow::host
