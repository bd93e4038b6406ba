// The animation of a run: the deformed objects frame by frame, as the still picture's view sees
// them, with each object's path, written as an endlessly looping GIF while the run goes on (so
// no frame's points are kept for it).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/run/preview_view.h"

namespace tarrow::host {

// The frames an animation of [first, last] shows: every frame, or every k-th one when the run is
// long (at most 120 images) or fast (no image lasts less than 2/100 s); the last frame always.
std::vector<int> animationFrames(int first, int last, double fps);

class PreviewAnimation {
 public:
  // Whether this build can draw the animation; when not, why, in note.
  static bool available(std::string& note);

  // Starts the file. view must already be fitted to the run (any rectangle: the animation
  // fits the same region into its own picture).
  PreviewAnimation(const std::filesystem::path& file, const Scene& scene,
                   const std::vector<DeformedObject>& objects, const PreviewView& view, int first, int last);
  ~PreviewAnimation();
  PreviewAnimation(const PreviewAnimation&) = delete;
  PreviewAnimation& operator=(const PreviewAnimation&) = delete;

  // Whether frame is one the animation shows.
  bool wants(int frame) const;
  // Draws the next frame of animationFrames(first, last, fps); call in that order.
  void add(int frame, const FramePoints& points);
  // Ends the file. Returns false with the reason in note when it could not be written whole.
  bool finish(std::string& note);

 private:
  struct Writer;
  std::unique_ptr<Writer> writer_;
};

}  // namespace tarrow::host
