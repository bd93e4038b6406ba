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

#include "host/base/command_line.h"
#include "host/base/interruption.h"
#include "host/base/path_text.h"
#include "host/loader/unprovided.h"
#include "host/run/frame_loop.h"
#include "host/run/progress_display.h"
#include "host/run/run_command.h"
#include "host/run/scene_run.h"
#include "host/services/language.h"

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
  std::string locale;
  bool noPreview = false;
  bool quiet = false;
  std::string hostVersion;
  std::vector<std::string> contentDirs;
  std::string cache;
};

int run(const RunArguments& arguments) {
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
      return kExitUsage;
    }
  }
  if (!arguments.saveScene.empty()) options.saveScene = arguments.saveScene;
  options.contentDirs.assign(arguments.contentDirs.begin(), arguments.contentDirs.end());
  options.warning = [](const std::string& line) {
    std::fprintf(stderr, "tarrow-host run: warning: %s\n", line.c_str());
  };
  if (!arguments.cache.empty()) options.cache = host::cacheFormatNamed(arguments.cache);
  options.picture = !arguments.noPreview;
  try {
    options.language = host::chooseLanguage(
        arguments.locale.empty() ? std::nullopt : std::optional<std::string>(arguments.locale));
  } catch (const std::invalid_argument& error) {
    std::fprintf(stderr, "tarrow-host run: %s\n", error.what());
    return kExitUsage;
  }
  if (!arguments.hostVersion.empty()) {
    try {
      options.generation = &host::generationNamed(arguments.hostVersion);
    } catch (const host::UnknownGeneration& error) {
      std::fprintf(stderr, "tarrow-host run: --host-version: %s\n", error.what());
      return kExitUsage;
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
  const InterruptionWatch watch;
  try {
    const host::RunSummary summary = host::runScene(options);
    eraseProgress();
    for (const std::string& warning : summary.warnings) {
      std::fprintf(stderr, "tarrow-host run: warning: %s\n", warning.c_str());
    }
    std::string removed;
    if (summary.removedFrames > 0) {
      removed = "; " + std::to_string(summary.removedFrames) + " frame" +
                (summary.removedFrames == 1 ? "" : "s") + " of an earlier run removed";
    }
    std::printf("%d frame%s of %s written to %s%s\n", summary.frames, summary.frames == 1 ? "" : "s",
                host::displayPath(options.scene).c_str(), host::displayPath(options.outDir).c_str(),
                removed.c_str());
    if (!summary.note.empty()) std::printf("%s\n", summary.note.c_str());
    if (options.saveScene) std::printf("scene saved to %s\n", host::displayPath(*options.saveScene).c_str());
    return 0;
  } catch (const Interrupted& interrupted) {
    eraseProgress();
    std::fprintf(stderr, "tarrow-host run: %s\n", interrupted.what());
    return interrupted.exitStatus();
  } catch (const std::exception& error) {
    eraseProgress();
    std::fprintf(stderr, "tarrow-host run: %s\n", error.what());
    return kExitFailed;
  }
}

}  // namespace

void addRunCommand(CLI::App& app) {
  auto arguments = std::make_shared<RunArguments>();
  CLI::App* command =
      app.add_subcommand("run", "Run a scene through the module: OBJ frames, a picture and an animation");
  command->add_option("scene", arguments->scene, "Scene file (JSON or LightWave .lws)")
      ->type_name("SCENE")
      ->required();
  command
      ->add_option("--module", arguments->module, "Module file (default: Tarrow_plus.p next to the program)")
      ->type_name("PATH");
  command
      ->add_option("--out", arguments->out,
                   "Folder for <object>_<frame>.obj, preview.png, preview.gif and the point caches "
                   "(default: out)")
      ->type_name("DIR");
  command->add_option("--frames", arguments->frames, "Frames A:B (default: the scene's range)")
      ->type_name("A:B");
  command
      ->add_option("--threads", arguments->threads,
                   "Threads for the points of a frame, at most 1024 (default, or 0: one per core)")
      ->type_name("N")
      ->check(wholeNumber(0, WorkerPool::kMaxThreads));
  command
      ->add_option("--save-scene", arguments->saveScene,
                   "Write the scene back with the states the module saves")
      ->type_name("FILE");
  command
      ->add_option(
          "--locale", arguments->locale,
          "Language the host reports and the pictures are labelled in: ja or en (default: from LANG)")
      ->type_name("ja|en")
      ->check(oneOf({"ja", "en"}));
  command
      ->add_option(
          "--cache", arguments->cache,
          "Also write each deformed object's frames as one point cache, <object>.mdd or <object>.pc2")
      ->type_name("mdd|pc2")
      ->check(oneOf({"mdd", "pc2"}));
  // A flag given a value (--quiet=3) is refused rather than read as a count or a truth value.
  command->add_flag("--no-preview", arguments->noPreview, "Write neither preview.png nor preview.gif")
      ->disable_flag_override();
  command->add_flag("--quiet", arguments->quiet, "No progress line, even on a terminal")
      ->disable_flag_override();
  command
      ->add_option("--host-version", arguments->hostVersion,
                   "LightWave 3D release to run as: " + host::knownGenerations() +
                       " (default: the scene's \"host\", else the newest)")
      ->type_name("YEAR");
  command
      ->add_option("--content", arguments->contentDirs,
                   "Content directory where an .lws scene's objects are looked up; may be given again "
                   "(default: the scene's folder and its parent)")
      ->type_name("DIR")
      ->take_all();
  describeCommand(*command,
                  {{kExitFailed, "the scene, the module or the output failed (one line says why)"},
                   {kUnprovidedExitStatus, "the module called a service member this host does not provide"},
                   {128 + 2, "interrupted by Ctrl+C (SIGINT); nothing written"},
                   {128 + 15, "interrupted by SIGTERM; nothing written"}},
                  "tarrow-host run examples/tail.json --out out/tail --frames 0:30");
  command->callback([arguments] {
    const int status = run(*arguments);
    if (status != 0) throw CLI::RuntimeError(status);
  });
}

}  // namespace tarrow::host
