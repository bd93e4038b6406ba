// The animation of a run: every item frame by frame, as the still picture's view sees them
// (each deformed object in a colour of its own, its pivot ringed in that colour), over the ground
// grid and the items' paths, written as an endlessly looping GIF image by image while the run
// goes on (so no frame's points are kept for it). Each image lasts as long as the frames it
// stands for, to the GIF's 1/100 s.
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
  PreviewAnimation(const std::filesystem::path& file, const Scene& scene, const PreviewPlan& plan,
                   const PreviewView& view, const PreviewLabels& labels, int first, int last);
  ~PreviewAnimation();
  PreviewAnimation(const PreviewAnimation&) = delete;
  PreviewAnimation& operator=(const PreviewAnimation&) = delete;

  // Whether frame is one the animation shows.
  bool wants(int frame) const;
  // Draws the next frame of animationFrames(first, last, fps) (the plan's points at it); call in
  // that order.
  void add(int frame, const DrawnPoints& points);
  // Ends the file. Returns false with the reason in note when it could not be written whole.
  bool finish(std::string& note);

 private:
  struct Writer;
  std::unique_ptr<Writer> writer_;
};

}  // namespace tarrow::host
