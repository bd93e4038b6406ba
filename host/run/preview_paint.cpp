#include "host/run/preview_paint.h"

#ifdef TARROW_HAVE_CAIRO

#include <algorithm>
#include <cmath>
#include <numbers>

#include "host/base/number_text.h"

namespace tarrow::host {
namespace {

void source(cairo_t* cr, const Colour& colour, double alpha) {
  cairo_set_source_rgba(cr, colour.r, colour.g, colour.b, alpha);
}

// 1, 2 or 5 times a power of ten, the nearest at or above the value.
double niceStep(double value) {
  const double power = std::pow(10.0, std::floor(std::log10(std::max(value, 1e-6))));
  for (double m : {1.0, 2.0, 5.0}) {
    if (m * power >= value * 0.999) return m * power;
  }
  return 10.0 * power;
}

}  // namespace

PreviewPainter::PreviewPainter(cairo_t* cr, const PreviewView& view, const PreviewLabels& labels, double size)
    : cr_(cr), view_(view), labels_(labels), size_(size) {
  cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
}

std::string PreviewPainter::ground(double width, double height) {
  const Vec3& low = view_.worldLow();
  const Vec3& high = view_.worldHigh();
  const double extent = std::max({high[0] - low[0], high[2] - low[2], 1e-3});
  const double step = niceStep(extent / 12.0);
  const double x0 = (std::floor(low[0] / step) - 1) * step;
  const double x1 = (std::ceil(high[0] / step) + 1) * step;
  const double z0 = (std::floor(low[2] / step) - 1) * step;
  const double z1 = (std::ceil(high[2] / step) + 1) * step;
  cairo_save(cr_);
  cairo_rectangle(cr_, 0, 0, width, height);
  cairo_clip(cr_);
  // Each line in short pieces, so that a line passing behind the camera breaks there.
  auto line = [&](const Vec3& from, const Vec3& to) {
    ProjectedPath path;
    constexpr int kPieces = 24;
    for (int i = 0; i <= kPieces; ++i) {
      const double t = static_cast<double>(i) / kPieces;
      path.push_back(view_.project({from[0] + (to[0] - from[0]) * t, from[1] + (to[1] - from[1]) * t,
                                    from[2] + (to[2] - from[2]) * t}));
    }
    view_.trace(
        path, [this](Point2 s) { cairo_move_to(cr_, s.x, s.y); },
        [this](Point2 s) { cairo_line_to(cr_, s.x, s.y); });
  };
  const long countX = std::lround((x1 - x0) / step);
  const long countZ = std::lround((z1 - z0) / step);
  for (long i = 0; i <= countX; ++i) line({x0 + i * step, 0, z0}, {x0 + i * step, 0, z1});
  for (long i = 0; i <= countZ; ++i) line({x0, 0, z0 + i * step}, {x1, 0, z0 + i * step});
  source(cr_, kNeutral, 0.30);
  cairo_set_line_width(cr_, 0.6 * size_ / 13.0);
  cairo_stroke(cr_);
  // The world's own axes on the ground a little stronger, where they lie in the grid.
  if (x0 < 0 && 0 < x1) line({0, 0, z0}, {0, 0, z1});
  if (z0 < 0 && 0 < z1) line({x0, 0, 0}, {x1, 0, 0});
  source(cr_, kNeutral, 0.55);
  cairo_stroke(cr_);
  cairo_restore(cr_);
  std::string spacing = numberText(std::round(step * 1e6) / 1e6);
  return fillLabel(labels_.grid, {spacing});
}

void PreviewPainter::tripod(Point2 at) {
  const double length = 2.0 * size_;
  const std::pair<Vec3, Colour> axes[] = {{{1, 0, 0}, kAxisX}, {{0, 1, 0}, kAxisY}, {{0, 0, 1}, kAxisZ}};
  const char* names[] = {"X", "Y", "Z"};
  cairo_set_line_width(cr_, 2.0 * size_ / 13.0);
  for (int a = 0; a < 3; ++a) {
    const Point2 d = view_.direction(axes[a].first);
    const Point2 end{at.x + d.x * length, at.y + d.y * length};
    source(cr_, axes[a].second, 1.0);
    cairo_move_to(cr_, at.x, at.y);
    cairo_line_to(cr_, end.x, end.y);
    cairo_stroke(cr_);
    const double w = textWidth(names[a], true);
    text({end.x + d.x * 0.5 * size_ - w / 2, end.y + d.y * 0.5 * size_ + 0.35 * size_}, names[a],
         axes[a].second, true);
  }
}

void PreviewPainter::paths(const std::vector<ProjectedPath>& paths) {
  source(cr_, kInk, 0.40);
  cairo_set_line_width(cr_, size_ / 13.0);
  const double dashes[] = {0.4 * size_, 0.3 * size_};
  cairo_set_dash(cr_, dashes, 2, 0.0);
  for (const auto& path : paths) {
    view_.trace(
        path, [this](Point2 s) { cairo_move_to(cr_, s.x, s.y); },
        [this](Point2 s) { cairo_line_to(cr_, s.x, s.y); });
  }
  cairo_stroke(cr_);
  cairo_set_dash(cr_, nullptr, 0, 0.0);
}

void PreviewPainter::mesh(const DrawnItem& item, const std::vector<Vec3>& points, const Colour& colour,
                          double fill) {
  placed_.clear();
  for (const Vec3& point : points) {
    auto p = view_.project(point);
    placed_.push_back(p ? std::optional<Point2>(view_.place(*p)) : std::nullopt);
  }
  const double scale = size_ / 13.0;
  if (item.polygons.empty()) {
    for (const auto& p : placed_) {
      if (!p) continue;
      cairo_new_sub_path(cr_);
      cairo_arc(cr_, p->x, p->y, 2.0 * scale, 0.0, 2 * std::numbers::pi);
    }
    source(cr_, colour, 0.85);
    cairo_fill(cr_);
    return;
  }
  // One path of many pieces: cairo covers each pixel once however many pieces overlap it.
  auto loop = [&](const std::vector<int>& indices) {
    double length = 0.0;
    std::optional<Point2> before;
    bool started = false;
    for (int index : indices) {
      const auto& p = placed_[static_cast<size_t>(index)];
      if (!p) {
        started = false;
        continue;
      }
      if (started) {
        cairo_line_to(cr_, p->x, p->y);
        length += std::hypot(p->x - before->x, p->y - before->y);
      } else {
        cairo_move_to(cr_, p->x, p->y);
      }
      before = p;
      started = true;
    }
    if (started) cairo_close_path(cr_);
    return length;
  };
  double length = 0.0;
  size_t edges = 0;
  for (const auto& polygon : item.polygons) {
    length += loop(polygon);
    edges += polygon.size();
  }
  cairo_path_t* polygons = cairo_copy_path(cr_);
  if (item.outline.empty()) {
    source(cr_, colour, fill);
    cairo_fill(cr_);
  } else {
    cairo_new_path(cr_);
    for (const auto& border : item.outline) loop(border);
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_EVEN_ODD);
    source(cr_, colour, fill);
    cairo_fill_preserve(cr_);
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    cairo_set_line_width(cr_, 1.3 * scale);
    source(cr_, colour, 0.95);
    cairo_stroke(cr_);
  }
  // Edges drawn 8 pixels long or more are solid; shorter ones fade and thin out.
  const double mean = edges == 0 ? 0.0 : length / static_cast<double>(edges);
  const double strength = std::clamp(mean / (8.0 * scale), 0.25, 1.0);
  cairo_new_path(cr_);
  cairo_append_path(cr_, polygons);
  cairo_path_destroy(polygons);
  cairo_set_line_width(cr_, scale * (0.5 + 0.6 * strength));
  source(cr_, colour, 0.95 * strength);
  // Bevelled corners: round ones cost several times as much to stroke and look the same here.
  cairo_set_line_join(cr_, CAIRO_LINE_JOIN_BEVEL);
  cairo_stroke(cr_);
  cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
}

void PreviewPainter::marker(const Vec3& world, const Colour& colour) {
  const auto p = view_.project(world);
  if (!p) return;
  const Point2 s = view_.place(*p);
  const double r = 0.45 * size_;
  cairo_move_to(cr_, s.x, s.y - r);
  cairo_line_to(cr_, s.x + r, s.y);
  cairo_line_to(cr_, s.x, s.y + r);
  cairo_line_to(cr_, s.x - r, s.y);
  cairo_close_path(cr_);
  source(cr_, kPaper, 1.0);
  cairo_fill_preserve(cr_);
  cairo_set_line_width(cr_, 1.6 * size_ / 13.0);
  source(cr_, colour, 1.0);
  cairo_stroke(cr_);
}

void PreviewPainter::ring(const Vec3& world, const Colour& colour) {
  const auto p = view_.project(world);
  if (!p) return;
  const Point2 s = view_.place(*p);
  cairo_new_sub_path(cr_);
  cairo_arc(cr_, s.x, s.y, 0.7 * size_, 0.0, 2 * std::numbers::pi);
  cairo_set_line_width(cr_, 2.2 * size_ / 13.0);
  source(cr_, colour, 1.0);
  cairo_stroke(cr_);
}

void PreviewPainter::dot(const Vec3& world, const Colour& colour, double radius) {
  const auto p = view_.project(world);
  if (!p) return;
  const Point2 s = view_.place(*p);
  cairo_new_sub_path(cr_);
  cairo_arc(cr_, s.x, s.y, radius * size_ / 13.0, 0.0, 2 * std::numbers::pi);
  source(cr_, colour, 1.0);
  cairo_fill(cr_);
}

void PreviewPainter::swatch(Point2 at, double side, const Colour& colour, double fill) {
  cairo_rectangle(cr_, at.x, at.y, side, side);
  source(cr_, colour, fill);
  cairo_fill_preserve(cr_);
  cairo_set_line_width(cr_, 1.5 * size_ / 13.0);
  source(cr_, colour, 0.95);
  cairo_stroke(cr_);
}

void PreviewPainter::name(const Vec3& world, const std::string& label, const Colour& colour) {
  const auto p = view_.project(world);
  if (!p) return;
  const Point2 s = view_.place(*p);
  // Below the names drawn before where it would cover one.
  const double width = textWidth(label);
  Point2 at{s.x + 0.8 * size_, s.y - 0.6 * size_};
  // On the left of the point where the right would run off the picture.
  if (at.x + width > cairo_image_surface_get_width(cairo_get_target(cr_))) at.x = s.x - 0.8 * size_ - width;
  auto overlaps = [&](const Box& box) {
    return at.x < box.right && box.left < at.x + width && at.y - size_ < box.bottom &&
           box.top < at.y + 0.3 * size_;
  };
  for (int tries = 0; tries < 6 && std::any_of(names_.begin(), names_.end(), overlaps); ++tries)
    at.y += 1.2 * size_;
  names_.push_back({at.x, at.y - size_, at.x + width, at.y + 0.3 * size_});
  text(at, label, colour);
}

void PreviewPainter::font(bool bold) {
  cairo_select_font_face(cr_, labels_.font.c_str(), CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr_, size_);
}

double PreviewPainter::textWidth(const std::string& label, bool bold) {
  font(bold);
  cairo_text_extents_t extents{};
  cairo_text_extents(cr_, label.c_str(), &extents);
  return extents.x_advance;
}

double PreviewPainter::text(Point2 at, const std::string& label, const Colour& colour, bool bold) {
  font(bold);
  cairo_new_path(cr_);
  cairo_move_to(cr_, at.x, at.y);
  cairo_text_path(cr_, label.c_str());
  source(cr_, kPaper, 0.85);
  cairo_set_line_width(cr_, 0.25 * size_);
  cairo_stroke_preserve(cr_);
  source(cr_, colour, 1.0);
  cairo_fill(cr_);
  return textWidth(label, bold);
}

std::vector<ProjectedPath> projectPaths(const PreviewView& view, const Scene& scene, const PreviewPlan& plan,
                                        int first, int last) {
  std::vector<ProjectedPath> paths(plan.items.size());
  for (size_t k = 0; k < plan.items.size(); ++k) {
    for (int f = first; f <= last; ++f)
      paths[k].push_back(view.project(scene.worldPlacement(plan.items[k].item, f / scene.fps).position));
  }
  return paths;
}

}  // namespace tarrow::host

#endif
