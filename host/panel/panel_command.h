// The "panel" subcommand of the stand-in host's command-line program.
#pragma once

#include <CLI/CLI.hpp>

namespace tarrow::host {

void addPanelCommand(CLI::App& app);

}  // namespace tarrow::host
