// How the pictures of a run see the scene: the eye (the render camera, or a default view) and
// the scale that fits the drawn items and their paths into the picture. The still picture
// and the animation share it, so both show the same view.
#pragma once

#include <optional>
#include <vector>

#include "host/run/preview_scene.h"
#include "host/scene/scene.h"

namespace tarrow::host {

struct Point2 {
  double x;
  double y;
};

struct PreviewFrame {
  int frame = 0;
  DrawnPoints points;  // as drawnPointsAt gives them
};

class PreviewView {
 public:
  // The render camera in perspective at the middle of the scene's frame range or, without one,
  // a three-quarter view from the front, a little to the left and above, without perspective.
  explicit PreviewView(const Scene& scene);

  bool fromRenderCamera() const { return perspective_; }

  // A point in the eye's plane (y grows downwards); none when it is behind the camera.
  std::optional<Point2> project(const Vec3& point) const;

  // The direction a world direction takes in the eye's plane, as at the middle of the picture.
  Point2 direction(const Vec3& world) const;

  // Widens the region to fit: the path of each drawn item's position over [first, last] and
  // the points of the frames given.
  void include(const Scene& scene, const PreviewPlan& plan, int first, int last,
               const std::vector<PreviewFrame>& frames);
  void include(const Vec3& world);

  // The smallest and largest world coordinates included (for the ground under them).
  const Vec3& worldLow() const { return worldLow_; }
  const Vec3& worldHigh() const { return worldHigh_; }
  double scale() const { return scale_; }

  // Scales and moves the region included so far into the rectangle, keeping its proportions.
  void fitInto(double left, double top, double width, double height);
  Point2 place(const Point2& point) const {
    return {offsetX_ + scale_ * point.x, offsetY_ + scale_ * point.y};
  }

  // Traces a path in the picture: moveTo at the start of each run of points, lineTo along it; a
  // point missing from the path (behind the camera) breaks the line.
  template <typename MoveTo, typename LineTo>
  void trace(const std::vector<std::optional<Point2>>& path, MoveTo moveTo, LineTo lineTo) const {
    bool drawing = false;
    for (const auto& p : path) {
      if (!p) {
        drawing = false;
        continue;
      }
      const Point2 s = place(*p);
      drawing ? lineTo(s) : moveTo(s);
      drawing = true;
    }
  }

 private:
  Placement placement_;
  bool perspective_ = false;
  double minX_, minY_, maxX_, maxY_;
  Vec3 worldLow_, worldHigh_;
  double scale_ = 1.0;
  double offsetX_ = 0.0;
  double offsetY_ = 0.0;
};

}  // namespace tarrow::host
