// The releases of LightWave 3D the module runs in, in the three generations whose interfaces
// differ for it: 2015.3, 2018, and 2020 (which stands for 2020, 2023, 2024 and 2025). Every
// difference between them that the module meets is a field here; the generation is found once,
// at the first activation, and kept in the ServiceTable.
#pragma once

#include <array>
#include <cstddef>

#include "sdk/lwserver.h"

namespace tarrow {

struct NodeInterface;

// The host's services the module asks for, by their place in HostGeneration::services; every
// one must answer.
enum GenerationService : std::size_t {
  kItemInfoService,
  kSceneInfoService,
  kObjectFuncsService,
  kXPanelService,
  kNodeEditorService,
  kNodeInputService,
  kNodeFuncsService,
  kInstUpdateService,
  kGenerationServices
};

struct HostGeneration {
  const char* release;  // the first release of the generation, for messages and tests
  std::array<const char*, kGenerationServices> services;
  int handlerVersion;    // the only DisplacementHandler version accepted
  int interfaceVersion;  // the only DisplacementInterface version accepted
  bool utf8Texts;        // the host reads the texts it shows as UTF-8, else as its code page
  const NodeInterface* nodes;
};

// Newest first, the order in which activation tries them.
extern const std::array<HostGeneration, 3> kHostGenerations;

}  // namespace tarrow
