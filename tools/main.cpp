// tarrow-host: the stand-in host for the Tarrow_plus module.
#include <cstdio>
#include <exception>

#include "tools/commands.h"

int main(int argc, char** argv) {
  CLI::App app{"tarrow-host: loads the Tarrow_plus module and runs scenes through it"};
  app.require_subcommand(1);
  tarrow::tools::addInfoCommand(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tarrow-host: %s\n", error.what());
    return 1;
  }
  return 0;
}
