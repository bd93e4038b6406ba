#include "host/run/preview_view.h"

#include <algorithm>
#include <limits>

namespace tarrow::host {

PreviewView::PreviewView(const Scene& scene)
    : minX_(std::numeric_limits<double>::infinity()),
      minY_(std::numeric_limits<double>::infinity()),
      maxX_(-std::numeric_limits<double>::infinity()),
      maxY_(-std::numeric_limits<double>::infinity()) {
  if (scene.renderCamera >= 0) {
    const double middle = (scene.firstFrame + scene.lastFrame) / 2.0 / scene.fps;
    placement_ = scene.worldPlacement(scene.renderCamera, middle);
    placement_.axes = placement_.unitAxes();  // a camera's scale does not change what it sees
    perspective_ = true;
  } else {
    placement_ = placementOf({{0.0, 0.0, 0.0}, {-30.0, 20.0, 0.0}});
  }
}

std::optional<Point2> PreviewView::project(const Vec3& point) const {
  Vec3 d{};
  for (int i = 0; i < 3; ++i) d[i] = point[i] - placement_.position[i];
  const Vec3 right = placement_.axes.column(0);
  const Vec3 up = placement_.axes.column(1);
  const Vec3 forward = placement_.axes.column(2);
  auto dot = [&](const Vec3& a) { return a[0] * d[0] + a[1] * d[1] + a[2] * d[2]; };
  const double x = dot(right);
  const double y = dot(up);
  if (!perspective_) return Point2{x, -y};
  const double z = dot(forward);
  if (z <= 1e-6) return std::nullopt;
  return Point2{x / z, -y / z};
}

void PreviewView::include(const Point2& point) {
  minX_ = std::min(minX_, point.x);
  minY_ = std::min(minY_, point.y);
  maxX_ = std::max(maxX_, point.x);
  maxY_ = std::max(maxY_, point.y);
}

void PreviewView::include(const Scene& scene, const std::vector<DeformedObject>& objects, int first, int last,
                          const std::vector<PreviewFrame>& frames) {
  for (const DeformedObject& object : objects) {
    for (int f = first; f <= last; ++f) {
      if (auto p = project(scene.worldPlacement(object.item, f / scene.fps).position)) include(*p);
    }
  }
  for (const PreviewFrame& frame : frames) {
    for (const auto& points : frame.points) {
      for (const Vec3& point : points) {
        if (auto p = project(point)) include(*p);
      }
    }
  }
}

void PreviewView::fitInto(double left, double top, double width, double height) {
  if (!(minX_ <= maxX_)) minX_ = maxX_ = minY_ = maxY_ = 0.0;
  const double spanX = std::max(maxX_ - minX_, 1e-9);
  const double spanY = std::max(maxY_ - minY_, 1e-9);
  scale_ = std::min(width / spanX, height / spanY);
  offsetX_ = left + width / 2.0 - scale_ * (minX_ + maxX_) / 2.0;
  offsetY_ = top + height / 2.0 - scale_ * (minY_ + maxY_) / 2.0;
}

}  // namespace tarrow::host
