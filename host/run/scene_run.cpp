#include "host/run/scene_run.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>
#include <random>
#include <stdexcept>
#include <system_error>

#include "host/loader/module_loader.h"
#include "host/run/obj_writer.h"
#include "host/run/preview.h"
#include "host/run/preview_animation.h"
#include "host/scene/scene_file.h"
#include "host/run/scene_save.h"
#include "host/run/session.h"

namespace tarrow::host {
namespace {

constexpr int kPreviewFrames = 7;

std::string randomSuffix() {
  std::random_device device;
  const unsigned long long value = (static_cast<unsigned long long>(device()) << 32) ^ device();
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", value);
  return text;
}

// Files are written under temporary names and renamed into place only when the whole run has
// succeeded, so a failed run leaves earlier output as it was.
class Staging {
 public:
  explicit Staging(const std::filesystem::path& outDir) : outDir_(outDir) {
    std::filesystem::create_directories(outDir_);
    for (int attempt = 0; attempt < 100 && folder_.empty(); ++attempt) {
      std::filesystem::path candidate = outDir_ / (".tarrow-run-" + randomSuffix());
      if (std::filesystem::create_directory(candidate)) folder_ = candidate;
    }
    if (folder_.empty()) throw std::runtime_error(displayPath(outDir_) + ": cannot make a temporary folder");
  }

  ~Staging() {
    std::error_code ignored;
    for (const auto& [staged, target] : moves_) std::filesystem::remove(staged, ignored);
    std::filesystem::remove_all(folder_, ignored);
  }

  // Where to write the file that belongs in the output folder under this name.
  std::filesystem::path inFolder(const std::string& name) {
    moves_.emplace_back(folder_ / name, outDir_ / name);
    return moves_.back().first;
  }

  // Where to write a file that belongs elsewhere: beside it, under a hidden name.
  std::filesystem::path beside(const std::filesystem::path& target) {
    const std::filesystem::path staged =
        target.parent_path() / ("." + target.filename().string() + ".tarrow-partial-" + randomSuffix());
    moves_.emplace_back(staged, target);
    return staged;
  }

  // Gives up a file staged earlier; its target stays as it is.
  void drop(const std::filesystem::path& staged) {
    std::error_code ignored;
    std::filesystem::remove(staged, ignored);
    std::erase_if(moves_, [&](const auto& move) { return move.first == staged; });
  }

  std::vector<std::filesystem::path> commit() {
    std::vector<std::filesystem::path> written;
    for (const auto& [staged, target] : moves_) {
      std::filesystem::rename(staged, target);
      written.push_back(target);
    }
    moves_.clear();
    return written;
  }

 private:
  std::filesystem::path outDir_;
  std::filesystem::path folder_;
  std::vector<std::pair<std::filesystem::path, std::filesystem::path>> moves_;
};

void writeFile(const std::filesystem::path& file, const std::string& content) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  if (!out) throw std::runtime_error(displayPath(file) + ": cannot be written");
}

}  // namespace

std::pair<int, int> parseFrameRange(const std::string& text) {
  const size_t colon = text.find(':');
  auto number = [&](const std::string& part) {
    size_t used = 0;
    const int value = std::stoi(part, &used);
    if (used != part.size()) throw std::invalid_argument("not a frame number: " + part);
    return value;
  };
  try {
    const int first = number(text.substr(0, colon));
    const int last = colon == std::string::npos ? first : number(text.substr(colon + 1));
    if (last < first) throw std::invalid_argument("the range ends before it starts: " + text);
    return {first, last};
  } catch (const std::out_of_range&) {
    throw std::invalid_argument("frame out of range: " + text);
  } catch (const std::invalid_argument& error) {
    if (std::string(error.what()).find(':') != std::string::npos) throw;
    throw std::invalid_argument("not a frame range (A:B): " + text);
  }
}

std::string frameFileName(const std::string& object, int frame) {
  char number[16];
  std::snprintf(number, sizeof number, "%04d", frame);
  return object + "_" + number + ".obj";
}

RunSummary runScene(const RunOptions& options) {
  const Scene scene = loadScene(options.scene);
  const auto [first, last] = options.frames.value_or(std::pair{scene.firstFrame, scene.lastFrame});
  Session session(scene, {options.modulePath, options.threads});
  Staging staging(options.outDir);

  const int total = last - first + 1;
  int done = 0;
  long long moved = 0;
  std::string text;
  // Moves the points of a frame and writes its OBJ files.
  auto compute = [&](int frame, FramePoints& points) {
    session.evaluateFrame(frame, points);
    const auto& objects = session.deformedObjects();
    for (size_t k = 0; k < objects.size(); ++k) {
      const SceneItem& item = scene.items[static_cast<size_t>(objects[k].item)];
      text.clear();
      appendObj(text, points[k], item.polygons);
      writeFile(staging.inFolder(frameFileName(item.name, frame)), text);
      moved += static_cast<long long>(points[k].size());
    }
    ++done;
    if (options.progress) options.progress(done, total, moved);
  };

  RunSummary summary;
  summary.frames = total;
  FramePoints points;
  if (!options.picture) {
    for (int frame = first; frame <= last; ++frame) compute(frame, points);
  } else {
    // The still picture's frames come first: with them the view both pictures share is known
    // before the animation draws its first frame. A frame's points do not depend on the order.
    std::vector<PreviewFrame> shots;
    for (int frame : previewFrames(first, last, kPreviewFrames)) {
      shots.push_back({frame, {}});
      compute(frame, shots.back().points);
    }
    const auto& objects = session.deformedObjects();
    PreviewView view(scene);
    view.include(scene, objects, first, last, shots);

    std::vector<std::string> notes(2);
    std::optional<PreviewAnimation> animation;
    std::filesystem::path animationFile;
    if (PreviewAnimation::available(notes[1])) {
      animationFile = staging.inFolder("preview.gif");
      animation.emplace(animationFile, scene, objects, view, first, last);
    }
    auto shot = shots.cbegin();
    for (int frame = first; frame <= last; ++frame) {
      const FramePoints* now = &points;
      if (shot != shots.cend() && shot->frame == frame) {
        now = &(shot++)->points;
      } else {
        compute(frame, points);
      }
      if (animation && animation->wants(frame)) animation->add(frame, *now);
    }

    // Whatever picture cannot be made now keeps what an earlier run left.
    const std::filesystem::path picture = staging.inFolder("preview.png");
    if (!writePreview(picture, scene, objects, shots, notes[0])) staging.drop(picture);
    if (animation && !animation->finish(notes[1])) staging.drop(animationFile);
    for (const std::string& note : notes) {
      if (note.empty()) continue;
      summary.note += (summary.note.empty() ? "" : "; ") + note;
    }
  }
  if (options.saveScene) writeFile(staging.beside(*options.saveScene), savedSceneText(session, *options.saveScene));
  summary.written = staging.commit();
  return summary;
}

}  // namespace tarrow::host
