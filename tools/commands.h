// Subcommands of the stand-in host's command-line program; each lives in its own file.
#pragma once

#include <CLI/CLI.hpp>

namespace tarrow::tools {

void addInfoCommand(CLI::App& app);
void addRunCommand(CLI::App& app);
void addPanelCommand(CLI::App& app);

}  // namespace tarrow::tools
