#include "host/loader/host_generation.h"

#include <array>

#include "sdk/lwserver.h"

namespace tarrow::host {
namespace {

// clang-format off
constexpr HostGeneration k2020 =
    {"2020", "2020", LWITEMINFO_GLOBAL_2020, LWSCENEINFO_GLOBAL_2020, LWOBJECTFUNCS_GLOBAL_2020, LWXPANELFUNCS_GLOBAL_2020,
     LWNODEEDITORFUNCS_GLOBAL_2020, LWNODEINPUTFUNCS_GLOBAL_2018, LWNODEFUNCS_GLOBAL_2020,
     LWDISPLACEMENT_VERSION_2020, LWINTERFACE_VERSION_2020, true, NodeLayout::k2018,
     lw2018::NPT_RENDER, lw2018::NPT_OFF, LWINIT_RENDER};

// 2023 and 2024 offer what 2020 offers, under the same names and versions.
constexpr HostGeneration sameAs2020(const char* release) {
  HostGeneration generation = k2020;
  generation.release = release;
  return generation;
}

constexpr std::array<HostGeneration, 6> kGenerations = {{
    {"2015", "2015.3", LWITEMINFO_GLOBAL, LWSCENEINFO_GLOBAL, LWOBJECTFUNCS_GLOBAL, LWXPANELFUNCS_GLOBAL,
     LWNODEEDITORFUNCS_GLOBAL, LWNODEINPUTFUNCS_GLOBAL, LWNODEFUNCS_GLOBAL,
     LWDISPLACEMENT_VERSION, LWINTERFACE_VERSION, false, NodeLayout::k2015,
     NPT_RENDER, NPT_OFF, LWINIT_RENDER},
    {"2018", "2018", LWITEMINFO_GLOBAL, LWSCENEINFO_GLOBAL_2018, LWOBJECTFUNCS_GLOBAL_2018, LWXPANELFUNCS_GLOBAL,
     LWNODEEDITORFUNCS_GLOBAL_2018, LWNODEINPUTFUNCS_GLOBAL_2018, LWNODEFUNCS_GLOBAL_2018,
     LWDISPLACEMENT_VERSION, LWINTERFACE_VERSION, false, NodeLayout::k2018,
     lw2018::NPT_RENDER, lw2018::NPT_OFF, LWINIT_RENDER},
    k2020,
    sameAs2020("2023"),
    sameAs2020("2024"),
    // The plug-in's 2020 generation too; the host's node functions gain rename and its renders
    // an interactive mode, neither of which the plug-in uses.
    {"2025", "2020", LWITEMINFO_GLOBAL_2020, LWSCENEINFO_GLOBAL_2020, LWOBJECTFUNCS_GLOBAL_2020, LWXPANELFUNCS_GLOBAL_2020,
     LWNODEEDITORFUNCS_GLOBAL_2020, LWNODEINPUTFUNCS_GLOBAL_2018, LWNODEFUNCS_GLOBAL_2020,
     LWDISPLACEMENT_VERSION_2020, LWINTERFACE_VERSION_2020, true, NodeLayout::k2018,
     lw2018::NPT_RENDER, lw2018::NPT_OFF, lw2025::LWINIT_INTERACTIVE_RENDER},
}};
// clang-format on

}  // namespace

std::span<const HostGeneration> hostGenerations() { return kGenerations; }

const HostGeneration& newestGeneration() { return kGenerations.back(); }

std::string knownGenerations() {
  std::string known;
  for (const HostGeneration& generation : kGenerations) {
    known += (known.empty() ? "" : ", ") + std::string(generation.release);
  }
  return known;
}

std::string releasesOfGeneration(const HostGeneration& of) {
  std::string releases;
  for (const HostGeneration& generation : kGenerations) {
    if (std::string_view(generation.generation) == of.generation) {
      releases += (releases.empty() ? "" : ", ") + std::string(generation.release);
    }
  }
  return releases;
}

const HostGeneration& generationNamed(std::string_view release) {
  for (const HostGeneration& generation : kGenerations) {
    if (release == generation.release) return generation;
  }
  throw UnknownGeneration("unknown host version \"" + std::string(release) +
                          "\"; known: " + knownGenerations());
}

}  // namespace tarrow::host
