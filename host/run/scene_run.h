// The whole of `tarrow-host run`: a scene through the module to OBJ frames, a still picture and
// an animation and, on request, the scene saved back. Nothing reaches the output folder unless all of it
// worked.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/loader/host_generation.h"
#include "host/run/point_cache.h"
#include "sdk/lwrender.h"

namespace tarrow::host {

struct RunOptions {
  std::filesystem::path scene;
  std::filesystem::path modulePath;  // empty: the module next to the program
  std::filesystem::path outDir = "out";
  std::optional<std::pair<int, int>> frames;  // default: the scene's own range
  int threads = 0;                            // <= 0: one per hardware core
  std::optional<std::filesystem::path> saveScene;
  bool picture = true;  // preview.png and preview.gif
  // A point cache of every deformed object beside its frames, "<object>.mdd" or "<object>.pc2".
  std::optional<CacheFormat> cache;
  // What "Locale Info" answers the module, and the language of the pictures' labels.
  unsigned int language = LANGID_USENGLISH;
  const HostGeneration* generation = nullptr;      // null: the scene's "host", else the newest
  std::vector<std::filesystem::path> contentDirs;  // where an .lws scene's objects are looked up
  // Called with each warning line: what of the scene the host does not evaluate, a saved state
  // it could not read whole; the run goes on.
  std::function<void(const std::string&)> warning;
  // Called after each frame with the frames done, the frames to do and the points the frames
  // done held (each point of each deformed object, counted once per frame).
  std::function<void(int done, int total, long long points)> progress;
  // One line for each thing the run goes on despite (a saved state not read whole).
};

struct RunSummary {
  int frames = 0;
  std::vector<std::filesystem::path> written;  // final paths, in order of writing
  std::string note;                            // why a picture is missing, when one is
  // One line for each id a deformer uses that names no item of the scene: the run goes on.
  std::vector<std::string> warnings;
  int removedFrames = 0;  // frames of an earlier run of these objects that this run did not write
};

// Throws SceneError, ModuleError or std::runtime_error with a one-line message; the output
// folder and the saved scene are then as they were before: every destination is checked before
// the first is replaced.
RunSummary runScene(const RunOptions& options);

// "A:B" (or "A" alone) as a frame range; throws std::invalid_argument.
std::pair<int, int> parseFrameRange(const std::string& text);

// The digits of every frame number in the file names of a run of [first, last]: enough for its
// widest frame and never fewer than 4, so that the names of a run sort by frame (the sign of a
// negative frame comes ahead of the digits, "name_-0005.obj").
int frameDigits(int first, int last);

// "name_0007.obj" (with the default 4 digits).
std::string frameFileName(const std::string& object, int frame, int digits = 4);

// Whether name is one frameFileName writes for object, with any frame and digits.
bool isFrameFileOf(const std::string& object, const std::string& name);

}  // namespace tarrow::host
