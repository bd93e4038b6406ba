// How the pictures of a run see the scene: the eye (the render camera, or a default view) and
// the scale that fits the deformed objects and their paths into the picture. The still picture
// and the animation share it, so both show the same view.
#pragma once

#include <optional>
#include <vector>

#include "host/run/session.h"
#include "host/scene/scene.h"

namespace tarrow::host {

struct Point2 {
  double x;
  double y;
};

// A colour as both pictures paint it: red, green and blue from 0 to 1.
struct Colour {
  double r, g, b;
};

struct PreviewFrame {
  int frame = 0;
  FramePoints points;  // as Session::evaluateFrame gives them
};

class PreviewView {
 public:
  // The render camera in perspective at the middle of the scene's frame range or, without one,
  // a view from the front, a little to the left and above, without perspective.
  explicit PreviewView(const Scene& scene);

  bool fromRenderCamera() const { return perspective_; }

  // A point in the eye's plane (y grows downwards); none when it is behind the camera.
  std::optional<Point2> project(const Vec3& point) const;

  // Widens the region to fit: the path of each object's own position over [first, last] and
  // the points of the frames given.
  void include(const Scene& scene, const std::vector<DeformedObject>& objects, int first, int last,
               const std::vector<PreviewFrame>& frames);
  void include(const Point2& point);

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
  double scale_ = 1.0;
  double offsetX_ = 0.0;
  double offsetY_ = 0.0;
};

}  // namespace tarrow::host
