// The "run" subcommand of the stand-in host's command-line program.
#pragma once

#include <CLI/CLI.hpp>

namespace tarrow::host {

void addRunCommand(CLI::App& app);

}  // namespace tarrow::host
