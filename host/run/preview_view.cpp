#include "host/run/preview_view.h"

#include <algorithm>
#include <limits>

namespace tarrow::host {

PreviewView::PreviewView(const Scene& scene)
    : minX_(std::numeric_limits<double>::infinity()),
      minY_(std::numeric_limits<double>::infinity()),
      maxX_(-std::numeric_limits<double>::infinity()),
      maxY_(-std::numeric_limits<double>::infinity()),
      worldLow_{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
                std::numeric_limits<double>::infinity()},
      worldHigh_{-std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                 -std::numeric_limits<double>::infinity()} {
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

Point2 PreviewView::direction(const Vec3& world) const {
  auto dot = [&](const Vec3& a) { return a[0] * world[0] + a[1] * world[1] + a[2] * world[2]; };
  return {dot(placement_.axes.column(0)), -dot(placement_.axes.column(1))};
}

void PreviewView::include(const Vec3& world) {
  for (int c = 0; c < 3; ++c) {
    worldLow_[c] = std::min(worldLow_[c], world[c]);
    worldHigh_[c] = std::max(worldHigh_[c], world[c]);
  }
  if (auto p = project(world)) {
    minX_ = std::min(minX_, p->x);
    minY_ = std::min(minY_, p->y);
    maxX_ = std::max(maxX_, p->x);
    maxY_ = std::max(maxY_, p->y);
  }
}

void PreviewView::include(const Scene& scene, const PreviewPlan& plan, int first, int last,
                          const std::vector<PreviewFrame>& frames) {
  for (const DrawnItem& item : plan.items) {
    for (int f = first; f <= last; ++f) include(scene.worldPlacement(item.item, f / scene.fps).position);
  }
  for (const PreviewFrame& frame : frames) {
    for (const auto& points : frame.points) {
      for (const Vec3& point : points) include(point);
    }
  }
}

void PreviewView::fitInto(double left, double top, double width, double height) {
  if (!(minX_ <= maxX_)) minX_ = maxX_ = minY_ = maxY_ = 0.0;
  if (!(worldLow_[0] <= worldHigh_[0])) worldLow_ = worldHigh_ = Vec3{};
  const double spanX = std::max(maxX_ - minX_, 1e-9);
  const double spanY = std::max(maxY_ - minY_, 1e-9);
  scale_ = std::min(width / spanX, height / spanY);
  offsetX_ = left + width / 2.0 - scale_ * (minX_ + maxX_) / 2.0;
  offsetY_ = top + height / 2.0 - scale_ * (minY_ + maxY_) / 2.0;
}

}  // namespace tarrow::host
