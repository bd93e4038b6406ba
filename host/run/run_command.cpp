// `tarrow-host run`: a scene through the module to OBJ frames, a picture and an animation.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "host/base/path_text.h"
#include "host/run/frame_loop.h"
#include "host/run/progress_display.h"
#include "host/run/run_command.h"
#include "host/run/scene_run.h"

namespace tarrow::host {
namespace {

bool stderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}

struct RunArguments {
  std::string scene;
  std::string module;
  std::string out = "out";
  std::string frames;
  int threads = 0;
  std::string saveScene;
  bool noPreview = false;
  bool quiet = false;
  std::string hostVersion;
};

int run(const RunArguments& arguments) {
  if (arguments.threads > host::WorkerPool::kMaxThreads) {
    std::fprintf(stderr, "tarrow-host run: --threads %d: a run uses at most %d threads\n", arguments.threads,
                 host::WorkerPool::kMaxThreads);
    return 2;
  }
  host::RunOptions options;
  options.scene = arguments.scene;
  options.modulePath = arguments.module;
  options.outDir = arguments.out;
  options.threads = arguments.threads;
  if (!arguments.frames.empty()) {
    try {
      options.frames = host::parseFrameRange(arguments.frames);
    } catch (const std::invalid_argument& error) {
      std::fprintf(stderr, "tarrow-host run: --frames: %s\n", error.what());
      return 2;
    }
  }
  if (!arguments.saveScene.empty()) options.saveScene = arguments.saveScene;
  options.picture = !arguments.noPreview;
  if (!arguments.hostVersion.empty()) {
    try {
      options.generation = &host::generationNamed(arguments.hostVersion);
    } catch (const host::UnknownGeneration& error) {
      std::fprintf(stderr, "tarrow-host run: --host-version: %s\n", error.what());
      return 2;
    }
  }
  // The progress line goes to a terminal only: logs and pipes get the summary alone.
  std::optional<host::ProgressDisplay> display;
  if (!arguments.quiet && stderrIsTerminal()) {
    display.emplace(host::ProgressDisplay::Clock::now());
    options.progress = [&display](int done, int total, long long points) {
      const std::string text = display->update(done, total, points, host::ProgressDisplay::Clock::now());
      if (text.empty()) return;
      std::fputs(text.c_str(), stderr);
      std::fflush(stderr);
    };
  }
  auto eraseProgress = [&display] {
    if (display) std::fputs(display->erase().c_str(), stderr);
  };
  try {
    const host::RunSummary summary = host::runScene(options);
    eraseProgress();
    std::printf("%d frame%s of %s written to %s\n", summary.frames, summary.frames == 1 ? "" : "s",
                host::displayPath(options.scene).c_str(), host::displayPath(options.outDir).c_str());
    if (!summary.note.empty()) std::printf("%s\n", summary.note.c_str());
    if (options.saveScene) std::printf("scene saved to %s\n", host::displayPath(*options.saveScene).c_str());
    return 0;
  } catch (const std::exception& error) {
    eraseProgress();
    std::fprintf(stderr, "tarrow-host run: %s\n", error.what());
    return 1;
  }
}

}  // namespace

void addRunCommand(CLI::App& app) {
  auto arguments = std::make_shared<RunArguments>();
  CLI::App* command =
      app.add_subcommand("run", "Run a scene through the module: OBJ frames, a picture and an animation");
  command->add_option("scene", arguments->scene, "Scene file (JSON)")->required();
  command->add_option("--module", arguments->module,
                      "Module file (default: Tarrow_plus.p next to the program)");
  command->add_option("--out", arguments->out,
                      "Folder for <object>_<frame>.obj, preview.png and preview.gif (default: out)");
  command->add_option("--frames", arguments->frames, "Frames A:B (default: the scene's range)");
  command
      ->add_option("--threads", arguments->threads,
                   "Threads for the points of a frame, at most 1024 (default: one per core)")
      ->check(CLI::NonNegativeNumber);
  command->add_option("--save-scene", arguments->saveScene,
                      "Write the scene back with the states the module saves");
  command->add_flag("--no-preview", arguments->noPreview, "Write neither preview.png nor preview.gif");
  command->add_flag("--quiet", arguments->quiet, "No progress line, even on a terminal");
  command->add_option("--host-version", arguments->hostVersion,
                      "LightWave 3D release to run as: " + host::knownGenerations() +
                          " (default: the scene's \"host\", else the newest)");
  command->callback([arguments] {
    const int status = run(*arguments);
    if (status != 0) throw CLI::RuntimeError(status);
  });
}

}  // namespace tarrow::host
