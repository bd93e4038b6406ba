#include "host/run/scene_run.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <stdexcept>

#include "host/base/atomic_file.h"
#include "host/run/obj_writer.h"
#include "host/run/preview.h"
#include "host/run/preview_animation.h"
#include "host/run/scene_save.h"
#include "host/run/session.h"
#include "host/scene/scene_file.h"

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

namespace {

// Moves the points of a frame and writes its OBJ files, counting for the progress display.
class FrameWriter {
 public:
  FrameWriter(const RunOptions& options, const Scene& scene, Session& session, Staging& staging, int total)
      : options_(options), scene_(scene), session_(session), staging_(staging), total_(total) {}

  void compute(int frame, FramePoints& points) {
    session_.evaluateFrame(frame, points);
    const auto& objects = session_.deformedObjects();
    for (size_t k = 0; k < objects.size(); ++k) {
      const SceneItem& item = scene_.items[static_cast<size_t>(objects[k].item)];
      text_.clear();
      appendObj(text_, points[k], item.polygons);
      staging_.write(options_.outDir / frameFileName(item.name, frame), text_);
      moved_ += static_cast<long long>(points[k].size());
    }
    ++done_;
    if (options_.progress) options_.progress(done_, total_, moved_);
  }

 private:
  const RunOptions& options_;
  const Scene& scene_;
  Session& session_;
  Staging& staging_;
  const int total_;
  int done_ = 0;
  long long moved_ = 0;
  std::string text_;
};

// Computes the frames [first, last] and stages preview.png and preview.gif beside their OBJ
// files. Returns why a picture could not be made ("" when both were), in which case whatever
// picture an earlier run left stays.
std::string computeWithPictures(FrameWriter& writer, const Scene& scene, const Session& session,
                                Staging& staging, const std::filesystem::path& outDir, int first, int last) {
  // The still picture's frames come first: with them the view both pictures share is known
  // before the animation draws its first frame. A frame's points do not depend on the order.
  std::vector<PreviewFrame> shots;
  for (int frame : previewFrames(first, last, kPreviewFrames)) {
    shots.push_back({frame, {}});
    writer.compute(frame, shots.back().points);
  }
  const auto& objects = session.deformedObjects();
  PreviewView view(scene);
  view.include(scene, objects, first, last, shots);

  std::vector<std::string> notes(2);
  std::optional<PreviewAnimation> animation;
  std::filesystem::path animationFile;
  if (PreviewAnimation::available(notes[1])) {
    animationFile = staging.add(outDir / "preview.gif");
    animation.emplace(animationFile, scene, objects, view, first, last);
  }
  FramePoints points;
  auto shot = shots.cbegin();
  for (int frame = first; frame <= last; ++frame) {
    const FramePoints* now = &points;
    if (shot != shots.cend() && shot->frame == frame) {
      now = &(shot++)->points;
    } else {
      writer.compute(frame, points);
    }
    if (animation && animation->wants(frame)) animation->add(frame, *now);
  }

  const std::filesystem::path picture = staging.add(outDir / "preview.png");
  if (!writePreview(picture, scene, objects, shots, notes[0])) staging.drop(picture);
  if (animation && !animation->finish(notes[1])) staging.drop(animationFile);
  std::string note;
  for (const std::string& part : notes) {
    if (!part.empty()) note += (note.empty() ? "" : "; ") + part;
  }
  return note;
}

}  // namespace

RunSummary runScene(const RunOptions& options) {
  const Scene scene = loadScene(options.scene);
  const auto [first, last] = options.frames.value_or(std::pair{scene.firstFrame, scene.lastFrame});
  Session session(
      scene,
      {.modulePath = options.modulePath, .threads = options.threads, .generation = options.generation});
  std::filesystem::create_directories(options.outDir);
  // As Layout renders: every instance's init, newTime and the points frame by frame, cleanup.
  session.beginRender(LWINIT_RENDER);
  Staging staging;

  RunSummary summary;
  summary.frames = last - first + 1;
  FrameWriter writer(options, scene, session, staging, summary.frames);
  if (options.picture) {
    summary.note = computeWithPictures(writer, scene, session, staging, options.outDir, first, last);
  } else {
    FramePoints points;
    for (int frame = first; frame <= last; ++frame) writer.compute(frame, points);
  }
  session.endRender();
  if (options.saveScene) staging.write(*options.saveScene, savedSceneText(session, *options.saveScene));
  summary.written = staging.commit();
  return summary;
}

}  // namespace tarrow::host
