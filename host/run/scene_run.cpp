#include "host/run/scene_run.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <set>
#include <stdexcept>

#include "host/base/atomic_file.h"
#include "host/base/interruption.h"
#include "host/base/number_text.h"
#include "host/run/obj_writer.h"
#include "host/run/point_cache.h"
#include "host/run/preview.h"
#include "host/run/preview_animation.h"
#include "host/run/scene_save.h"
#include "host/run/session.h"
#include "host/scene/scene_file.h"

namespace tarrow::host {
namespace {

constexpr int kPreviewFrames = 5;

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
    // A destination that cannot take its file (a folder of its name, say) is found before any
    // is replaced.
    for (const AtomicFile& file : files_) checkFileTarget(file.target());
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

namespace {

long long magnitude(int frame) { return frame < 0 ? -static_cast<long long>(frame) : frame; }

int digitsOf(long long value) {
  int digits = 1;
  for (; value >= 10; value /= 10) ++digits;
  return digits;
}

}  // namespace

int frameDigits(int first, int last) {
  return std::max({4, digitsOf(magnitude(first)), digitsOf(magnitude(last))});
}

std::string frameFileName(const std::string& object, int frame, int digits) {
  char number[32];
  std::snprintf(number, sizeof number, "%s%0*lld", frame < 0 ? "-" : "", digits, magnitude(frame));
  return object + "_" + number + ".obj";
}

bool isFrameFileOf(const std::string& object, const std::string& name) {
  const std::string_view suffix = ".obj";
  if (name.size() < object.size() + 1 + 4 + suffix.size() || name.compare(0, object.size(), object) != 0 ||
      name[object.size()] != '_' || !name.ends_with(suffix)) {
    return false;
  }
  std::string_view number(name);
  number = number.substr(object.size() + 1, number.size() - object.size() - 1 - suffix.size());
  if (number.starts_with('-')) number.remove_prefix(1);
  return number.size() >= 4 &&
         std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

namespace {

// Moves the points of a frame and writes its OBJ files, counting for the progress display.
class FrameWriter {
 public:
  FrameWriter(const RunOptions& options, const Scene& scene, Session& session, Staging& staging, int total,
              int digits)
      : options_(options),
        scene_(scene),
        session_(session),
        staging_(staging),
        total_(total),
        digits_(digits) {}

  // Stages a point cache of each deformed object, to be filled frame by frame.
  void startCaches(CacheFormat format, int first, int last) {
    for (const DeformedObject& object : session_.deformedObjects()) {
      const SceneItem& item = scene_.items[static_cast<size_t>(object.item)];
      const std::filesystem::path target = options_.outDir / (item.name + cacheExtension(format));
      caches_.emplace_back(format, staging_.add(target), target, first, last, scene_.fps, item.points.size());
    }
  }

  void finishCaches() {
    for (PointCacheWriter& cache : caches_) cache.finish();
  }

  void compute(int frame, FramePoints& points) {
    stopIfInterrupted();
    session_.evaluateFrame(frame, points);
    const auto& objects = session_.deformedObjects();
    for (size_t k = 0; k < objects.size(); ++k) {
      const SceneItem& item = scene_.items[static_cast<size_t>(objects[k].item)];
      text_.clear();
      appendObj(text_, points[k], item.polygons);
      staging_.write(options_.outDir / frameFileName(item.name, frame, digits_), text_);
      if (!caches_.empty()) caches_[k].writeFrame(frame, points[k]);
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
  const int digits_;
  int done_ = 0;
  long long moved_ = 0;
  std::string text_;
  std::vector<PointCacheWriter> caches_;  // one for each deformed object, or none
};

// Computes the frames [first, last] and stages preview.png and preview.gif beside their OBJ
// files. Returns why a picture could not be made ("" when both were), in which case whatever
// picture an earlier run left stays.
std::string computeWithPictures(FrameWriter& writer, const Scene& scene, const Session& session,
                                Staging& staging, const RunOptions& options, int first, int last) {
  const auto& objects = session.deformedObjects();
  std::vector<std::vector<int>> pivots;
  for (size_t k = 0; k < objects.size(); ++k) pivots.push_back(session.pivotItems(k));
  const std::vector<int> stillFrames = previewFrames(first, last, kPreviewFrames);
  // The still picture draws its frames over each other, and they share its budget.
  const PreviewPlan stillPlan = planPreview(scene, objects, pivots, kPictureBudget / stillFrames.size());
  const PreviewPlan animationPlan = planPreview(scene, objects, pivots, kImageBudget);
  const PreviewLabels& labels = previewLabels(options.language);

  // The still picture's frames come first: with them the view both pictures share is known
  // before the animation draws its first frame. A frame's points do not depend on the order.
  // Only the points the pictures draw are kept.
  FramePoints points;
  std::vector<PreviewFrame> shots;
  std::vector<DrawnPoints> animationShots;
  for (int frame : stillFrames) {
    writer.compute(frame, points);
    drawnPointsAt(stillPlan, scene, frame, points, shots.emplace_back(PreviewFrame{frame, {}}).points);
    drawnPointsAt(animationPlan, scene, frame, points, animationShots.emplace_back());
  }
  PreviewView view(scene);
  view.include(scene, stillPlan, first, last, shots);

  std::vector<std::string> notes(2);
  std::optional<PreviewAnimation> animation;
  std::filesystem::path animationFile;
  if (PreviewAnimation::available(notes[1])) {
    animationFile = staging.add(options.outDir / "preview.gif");
    animation.emplace(animationFile, scene, animationPlan, view, labels, first, last);
  }
  DrawnPoints drawn;
  size_t shot = 0;
  for (int frame = first; frame <= last; ++frame) {
    const DrawnPoints* now = &drawn;
    if (shot < shots.size() && shots[shot].frame == frame) {
      now = &animationShots[shot++];
    } else {
      writer.compute(frame, points);
      if (animation && animation->wants(frame)) drawnPointsAt(animationPlan, scene, frame, points, drawn);
    }
    if (animation && animation->wants(frame)) animation->add(frame, *now);
  }

  const std::filesystem::path picture = staging.add(options.outDir / "preview.png");
  if (!writePreview(picture, scene, stillPlan, shots, labels, notes[0])) staging.drop(picture);
  if (animation && !animation->finish(notes[1])) staging.drop(animationFile);
  std::string note;
  for (const std::string& part : notes) {
    if (!part.empty()) note += (note.empty() ? "" : "; ") + part;
  }
  return note;
}

}  // namespace

namespace {

// After a run has succeeded, what earlier runs left that would no longer match it: frames and
// point caches of the objects it wrote that it did not write again, and the pictures it did not
// make. Files of other names are not this scene's, and stay. Returns the frames removed.
int removeStaleOutput(const std::filesystem::path& outDir, const Scene& scene, const Session& session,
                      const std::vector<std::filesystem::path>& written) {
  std::set<std::filesystem::path> fresh(written.begin(), written.end());
  std::error_code failed;
  std::vector<std::filesystem::path> stale;
  int frames = 0;
  for (const auto& entry : std::filesystem::directory_iterator(outDir, failed)) {
    if (fresh.contains(entry.path()) || !entry.is_regular_file(failed)) continue;
    const std::string name = entry.path().filename().string();
    bool ours = name == "preview.png" || name == "preview.gif";
    for (const DeformedObject& object : session.deformedObjects()) {
      const std::string& objectName = scene.items[static_cast<size_t>(object.item)].name;
      if (isFrameFileOf(objectName, name)) {
        ++frames;
        ours = true;
      }
      for (CacheFormat format : {CacheFormat::Mdd, CacheFormat::Pc2}) {
        ours = ours || name == objectName + cacheExtension(format);
      }
    }
    if (ours) stale.push_back(entry.path());
  }
  for (const auto& file : stale) std::filesystem::remove(file, failed);
  return frames;
}

// Layout would not say so, but a deformer that uses an item the scene lacks does not do what its
// settings say: the artist is told which object and which id.
std::vector<std::string> unknownItemWarnings(const Scene& scene, const Session& session) {
  std::vector<std::string> warnings;
  for (size_t k = 0; k < session.deformedObjects().size(); ++k) {
    const std::string& name = scene.items[static_cast<size_t>(session.deformedObjects()[k].item)].name;
    for (LWItemID id : session.unknownItems(k)) {
      const auto bits = static_cast<uint32_t>(reinterpret_cast<std::uintptr_t>(id));
      // As a saved state writes it: in hexadecimal, without the prefix.
      warnings.push_back("\"" + name + "\" uses item " + hexId(bits).substr(2) +
                         ", which is not in the scene");
    }
  }
  return warnings;
}

}  // namespace

RunSummary runScene(const RunOptions& options) {
  const Scene scene = loadScene(options.scene, options.contentDirs);
  if (options.warning) {
    for (const std::string& line : scene.warnings) options.warning(line);
  }
  const auto [first, last] = options.frames.value_or(std::pair{scene.firstFrame, scene.lastFrame});
  Session session(scene, {.modulePath = options.modulePath,
                          .threads = options.threads,
                          .language = options.language,
                          .generation = options.generation,
                          .warn = options.warning});
  if (session.deformedObjects().empty()) {
    failAt(scene.file, "/items",
           "no object has a deformer: there is nothing to deform, and nothing was written");
  }
  // Every destination is checked before the frames are computed, and again before the first is
  // replaced.
  makeOutputFolder(options.outDir);
  if (options.saveScene) checkFileTarget(*options.saveScene);
  removeAbandonedTemporaries(options.outDir);
  if (options.saveScene) removeAbandonedTemporaries(options.saveScene->parent_path());
  // As Layout renders: every instance's init, newTime and the points frame by frame, cleanup.
  session.beginRender(LWINIT_RENDER);
  Staging staging;

  RunSummary summary;
  summary.warnings = unknownItemWarnings(scene, session);
  summary.frames = last - first + 1;
  FrameWriter writer(options, scene, session, staging, summary.frames, frameDigits(first, last));
  if (options.cache) writer.startCaches(*options.cache, first, last);
  if (options.picture) {
    summary.note = computeWithPictures(writer, scene, session, staging, options, first, last);
  } else {
    FramePoints points;
    for (int frame = first; frame <= last; ++frame) writer.compute(frame, points);
  }
  session.endRender();
  writer.finishCaches();
  if (options.saveScene) staging.write(*options.saveScene, savedSceneText(session, *options.saveScene));
  stopIfInterrupted();
  summary.written = staging.commit();
  summary.removedFrames = removeStaleOutput(options.outDir, scene, session, summary.written);
  return summary;
}

}  // namespace tarrow::host
