#include "host/run/scene_run.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <stdexcept>

#include "host/base/atomic_file.h"
#include "host/run/obj_writer.h"
#include "host/run/preview.h"
#include "host/run/preview_animation.h"
#include "host/scene/scene_file.h"
#include "host/run/scene_save.h"
#include "host/run/session.h"

namespace tarrow::host {
namespace {

constexpr int kPreviewFrames = 7;

// Every file of a run is staged and renamed into place only when the whole run has succeeded, so
// a failed run leaves earlier output as it was.
class Staging {
 public:
  // Stages the file and tells where to write it meanwhile.
  std::filesystem::path add(const std::filesystem::path& target) {
    files_.emplace_back(target);
    return files_.back().temporary();
  }

  void write(const std::filesystem::path& target, const std::string& content) {
    files_.emplace_back(target);
    files_.back().write(content);
  }

  // Gives up a file staged earlier; its target stays as it is.
  void drop(const std::filesystem::path& staged) {
    std::erase_if(files_, [&](const AtomicFile& file) { return file.temporary() == staged; });
  }

  std::vector<std::filesystem::path> commit() {
    std::vector<std::filesystem::path> written;
    for (AtomicFile& file : files_) {
      file.commit();
      written.push_back(file.target());
    }
    files_.clear();
    return written;
  }

 private:
  std::vector<AtomicFile> files_;
};

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
  std::filesystem::create_directories(options.outDir);
  Staging staging;

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
      staging.write(options.outDir / frameFileName(item.name, frame), text);
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
      animationFile = staging.add(options.outDir / "preview.gif");
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
    const std::filesystem::path picture = staging.add(options.outDir / "preview.png");
    if (!writePreview(picture, scene, objects, shots, notes[0])) staging.drop(picture);
    if (animation && !animation->finish(notes[1])) staging.drop(animationFile);
    for (const std::string& note : notes) {
      if (note.empty()) continue;
      summary.note += (summary.note.empty() ? "" : "; ") + note;
    }
  }
  if (options.saveScene) staging.write(*options.saveScene, savedSceneText(session, *options.saveScene));
  summary.written = staging.commit();
  return summary;
}

}  // namespace tarrow::host
