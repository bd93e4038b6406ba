// tarrow-host: the stand-in host for the Tarrow_plus module.
#include <cstdio>
#include <exception>

#include "host/base/command_line.h"
#include "host/loader/info_command.h"
#include "host/panel/panel_command.h"
#include "host/run/run_command.h"

int main(int argc, char** argv) {
  try {
    CLI::App app{"tarrow-host: loads the Tarrow_plus module and runs scenes through it", "tarrow-host"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "tarrow-host " TARROW_VERSION_TEXT, "Print the version and exit");
    // Paths such as /tmp/scene.json (under Wine too) are arguments, never "/option" switches.
    app.allow_windows_style_options(false);
    tarrow::host::addInfoCommand(app);
    tarrow::host::addRunCommand(app);
    tarrow::host::addPanelCommand(app);
    tarrow::host::addHelpCommand(app);
    app.footer("`tarrow-host help COMMAND` (or `tarrow-host COMMAND --help`) tells more of each command.");
    return tarrow::host::runCommandLine(app, argc, argv);
  } catch (const std::exception& error) {
    // Each command reports its own failures; this is what none of them foresaw.
    std::fprintf(stderr, "tarrow-host: %s\n", error.what());
    return tarrow::host::kExitFailed;
  } catch (...) {
    std::fprintf(stderr, "tarrow-host: failed for an unknown reason\n");
    return tarrow::host::kExitFailed;
  }
}
