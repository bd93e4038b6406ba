// `tarrow-host panel`: an instance's settings panel, shown, edited and pressed as a user would.
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>

#include "host/base/command_line.h"
#include "host/base/path_text.h"
#include "host/loader/unprovided.h"
#include "host/panel/panel_command.h"
#include "host/panel/panel_run.h"
#include "host/services/language.h"

namespace tarrow::host {
namespace {

struct PanelArguments {
  std::string scene;
  std::string object;
  int deformer = 1;
  std::string module;
  std::string locale;
  std::vector<std::string> sets;
  std::string press;
  std::string saveScene;
  std::string hostVersion;
};

int showPanel(const PanelArguments& arguments) {
  try {
    host::PanelOptions options;
    options.scene = arguments.scene;
    options.object = arguments.object;
    options.deformer = arguments.deformer;
    options.modulePath = arguments.module;
    options.language = host::chooseLanguage(
        arguments.locale.empty() ? std::nullopt : std::optional<std::string>(arguments.locale));
    options.sets = arguments.sets;
    options.warn = [](const std::string& line) {
      std::fprintf(stderr, "tarrow-host panel: warning: %s\n", line.c_str());
    };
    if (!arguments.press.empty()) options.press = arguments.press;
    if (!arguments.saveScene.empty()) options.saveScene = arguments.saveScene;
    if (!arguments.hostVersion.empty()) options.generation = &host::generationNamed(arguments.hostVersion);
    const std::string shown = host::runPanel(options);
    std::fputs(shown.c_str(), stdout);
    if (options.saveScene) std::printf("scene saved to %s\n", host::displayPath(arguments.saveScene).c_str());
    return 0;
  } catch (const host::UnknownGeneration& error) {
    std::fprintf(stderr, "tarrow-host panel: --host-version: %s\n", error.what());
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tarrow-host panel: %s\n", error.what());
    return kExitFailed;
  }
}

}  // namespace

void addPanelCommand(CLI::App& app) {
  auto arguments = std::make_shared<PanelArguments>();
  CLI::App* command =
      app.add_subcommand("panel", "Show and edit an instance's settings panel as the host draws it");
  command->add_option("scene", arguments->scene, "Scene file (JSON)")->type_name("SCENE")->required();
  command->add_option("--object", arguments->object, "The deformed object whose panel to open")
      ->type_name("NAME")
      ->required();
  command
      ->add_option("--deformer", arguments->deformer, "Which of the object's deformers, from 1 (default 1)")
      ->type_name("N")
      ->check(wholeNumber(1, std::numeric_limits<int>::max()));
  command
      ->add_option("--module", arguments->module, "Module file (default: Tarrow_plus.p next to the program)")
      ->type_name("PATH");
  command
      ->add_option("--locale", arguments->locale, "Language the host reports: ja or en (default: from LANG)")
      ->type_name("ja|en")
      ->check(oneOf({"ja", "en"}));
  command
      ->add_option("--set", arguments->sets,
                   "\"LABEL=VALUE\": an edit through the panel; LABEL may be a control id such as 0x8002")
      ->type_name("LABEL=VALUE")
      ->take_all();
  command->add_option("--press", arguments->press, "Press a button, e.g. \"Edit Node\"")->type_name("LABEL");
  command->add_option("--save-scene", arguments->saveScene, "Write the scene back with the edited state")
      ->type_name("FILE");
  command
      ->add_option("--host-version", arguments->hostVersion,
                   "LightWave 3D release to run as: " + host::knownGenerations() +
                       " (default: the scene's \"host\", else the newest)")
      ->type_name("YEAR");
  describeCommand(
      *command,
      {{kExitFailed, "the scene, the module, an edit or the saved scene failed (one line says why)"},
       {kUnprovidedExitStatus, "the module called a service member this host does not provide"}},
      "tarrow-host panel examples/tail.json --object Tail --set \"Lag Rate (s/m)=0.2\"");
  command->callback([arguments] {
    const int status = showPanel(*arguments);
    if (status != 0) throw CLI::RuntimeError(status);
  });
}

}  // namespace tarrow::host
