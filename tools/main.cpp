// tarrow-host: the stand-in host for the Tarrow_plus module.
#include <cstdio>
#include <exception>

#include "host/loader/info_command.h"
#include "host/panel/panel_command.h"
#include "host/run/run_command.h"

int main(int argc, char** argv) {
  try {
    CLI::App app{"tarrow-host: loads the Tarrow_plus module and runs scenes through it"};
    app.require_subcommand(1);
    // Paths such as /tmp/scene.json (under Wine too) are arguments, never "/option" switches.
    app.allow_windows_style_options(false);
    tarrow::host::addInfoCommand(app);
    tarrow::host::addRunCommand(app);
    tarrow::host::addPanelCommand(app);
    try {
      app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
      return app.exit(error);
    }
  } catch (const std::exception& error) {
    // Each command reports its own failures; this is what none of them foresaw.
    std::fprintf(stderr, "tarrow-host: %s\n", error.what());
    return 1;
  } catch (...) {
    std::fprintf(stderr, "tarrow-host: failed for an unknown reason\n");
    return 1;
  }
  return 0;
}
