#include "host/run/preview.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>

#ifdef TARROW_HAVE_CAIRO
#include <cairo.h>
#endif

namespace tarrow::host {

std::vector<int> previewFrames(int first, int last, int count) {
  std::vector<int> frames;
  const long long span = static_cast<long long>(last) - first;
  if (count <= 1 || span == 0) return {last};
  for (int i = 0; i < count; ++i) {
    const int frame = static_cast<int>(first + span * i / (count - 1));
    if (frames.empty() || frames.back() != frame) frames.push_back(frame);
  }
  return frames;
}

#ifdef TARROW_HAVE_CAIRO
namespace {

constexpr int kWidth = 1200;
constexpr int kHeight = 800;
constexpr double kMargin = 60.0;
constexpr double kHeader = 50.0;
constexpr double kFooter = 40.0;

// Old frames cool and faint, the last one warm and solid.
Colour colourAt(double age) {
  const Colour old{0.20, 0.45, 0.85};
  const Colour now{0.93, 0.40, 0.12};
  return {old.r + (now.r - old.r) * age, old.g + (now.g - old.g) * age, old.b + (now.b - old.b) * age};
}

double alphaAt(double age) { return 0.3 + 0.7 * std::pow(age, 1.5); }

// How far along the drawn frames the i-th one is: 0 the oldest, 1 the last.
double ageOf(size_t i, size_t count) { return count == 1 ? 1.0 : static_cast<double>(i) / (count - 1); }

using ProjectedPath = std::vector<std::optional<Point2>>;

// The path of each object's own position over every frame of the run.
std::vector<ProjectedPath> projectPaths(const PreviewView& eye, const Scene& scene,
                                        const std::vector<DeformedObject>& objects, int first, int last) {
  std::vector<ProjectedPath> paths(objects.size());
  for (size_t k = 0; k < objects.size(); ++k) {
    for (int f = first; f <= last; ++f) {
      paths[k].push_back(eye.project(scene.worldPlacement(objects[k].item, f / scene.fps).position));
    }
  }
  return paths;
}

// Each drawn frame's points, object by object, in the eye's plane.
std::vector<std::vector<ProjectedPath>> projectShots(const PreviewView& eye, size_t objectCount,
                                                     const std::vector<PreviewFrame>& frames) {
  std::vector<std::vector<ProjectedPath>> shots(frames.size());
  for (size_t i = 0; i < frames.size(); ++i) {
    shots[i].resize(objectCount);
    for (size_t k = 0; k < objectCount && k < frames[i].points.size(); ++k) {
      for (const Vec3& point : frames[i].points[k]) shots[i][k].push_back(eye.project(point));
    }
  }
  return shots;
}

// The objects' paths, thin, grey and dashed, under everything.
void drawPaths(cairo_t* cr, const PreviewView& eye, const std::vector<ProjectedPath>& paths) {
  cairo_set_source_rgba(cr, 0.35, 0.35, 0.35, 0.6);
  cairo_set_line_width(cr, 1.5);
  const double dashes[] = {6.0, 4.0};
  cairo_set_dash(cr, dashes, 2, 0.0);
  for (const auto& path : paths) {
    eye.trace(
        path, [cr](Point2 s) { cairo_move_to(cr, s.x, s.y); },
        [cr](Point2 s) { cairo_line_to(cr, s.x, s.y); });
    cairo_stroke(cr);
  }
  cairo_set_dash(cr, nullptr, 0, 0.0);
}

// Each polygon whose points are all in front of the camera, filled and outlined.
void drawPolygons(cairo_t* cr, const PreviewView& eye, const ProjectedPath& projected,
                  const std::vector<std::vector<int>>& polygons, const Colour& colour, double alpha) {
  for (const auto& polygon : polygons) {
    bool whole = true;
    for (int index : polygon)
      whole = whole && static_cast<size_t>(index) < projected.size() && projected[index];
    if (!whole) continue;
    for (size_t v = 0; v < polygon.size(); ++v) {
      const Point2 s = eye.place(*projected[static_cast<size_t>(polygon[v])]);
      if (v == 0) {
        cairo_move_to(cr, s.x, s.y);
      } else {
        cairo_line_to(cr, s.x, s.y);
      }
    }
    cairo_close_path(cr);
    cairo_set_source_rgba(cr, colour.r, colour.g, colour.b, alpha * 0.35);
    cairo_fill_preserve(cr);
    cairo_set_source_rgba(cr, colour.r, colour.g, colour.b, alpha);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
  }
}

// One drawn frame: every object's polygons (or, without polygons, its points as dots) and the
// object's own position at that frame, where the points trail from.
void drawShot(cairo_t* cr, const PreviewView& eye, const Scene& scene,
              const std::vector<DeformedObject>& objects, int frame, const std::vector<ProjectedPath>& shot,
              double age) {
  const Colour colour = colourAt(age);
  const double alpha = alphaAt(age);
  for (size_t k = 0; k < objects.size(); ++k) {
    const auto& projected = shot[k];
    const auto& polygons = scene.items[static_cast<size_t>(objects[k].item)].polygons;
    drawPolygons(cr, eye, projected, polygons, colour, alpha);
    if (auto pivot = eye.project(scene.worldPlacement(objects[k].item, frame / scene.fps).position)) {
      const Point2 s = eye.place(*pivot);
      cairo_set_source_rgba(cr, 0.1, 0.1, 0.1, alpha);
      cairo_arc(cr, s.x, s.y, 4.0, 0.0, 2 * std::numbers::pi);
      cairo_fill(cr);
    }
    if (polygons.empty()) {
      cairo_set_source_rgba(cr, colour.r, colour.g, colour.b, alpha);
      for (const auto& p : projected) {
        if (!p) continue;
        const Point2 s = eye.place(*p);
        cairo_arc(cr, s.x, s.y, 2.5, 0.0, 2 * std::numbers::pi);
        cairo_fill(cr);
      }
    }
  }
}

// The title above and a legend of the frames drawn below.
void drawTitleAndLegend(cairo_t* cr, const PreviewView& eye, const Scene& scene,
                        const std::vector<PreviewFrame>& frames) {
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, 18.0);
  cairo_set_source_rgb(cr, 0.15, 0.15, 0.15);
  cairo_move_to(cr, 20.0, 32.0);
  const std::string title = scene.file.stem().string() + ": frames " + std::to_string(frames.front().frame) +
                            " to " + std::to_string(frames.back().frame) +
                            (eye.fromRenderCamera() ? ", from the render camera" : "");
  cairo_show_text(cr, title.c_str());
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 13.0);
  double x = 20.0;
  const double y = kHeight - 18.0;
  for (size_t i = 0; i < frames.size(); ++i) {
    const double age = ageOf(i, frames.size());
    const Colour colour = colourAt(age);
    cairo_set_source_rgba(cr, colour.r, colour.g, colour.b, alphaAt(age));
    cairo_rectangle(cr, x, y - 11.0, 14.0, 14.0);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_move_to(cr, x + 19.0, y);
    const std::string label = "frame " + std::to_string(frames[i].frame);
    cairo_show_text(cr, label.c_str());
    x += 110.0;
  }
  cairo_set_source_rgba(cr, 0.35, 0.35, 0.35, 0.8);
  cairo_move_to(cr, x + 10.0, y);
  cairo_show_text(cr, "dots and dashes: the object's own position and path");
}

bool savePng(cairo_surface_t* surface, const std::filesystem::path& file, std::string& note) {
  cairo_surface_flush(surface);
  const cairo_status_t status = cairo_surface_write_to_png(surface, file.string().c_str());
  if (status != CAIRO_STATUS_SUCCESS) {
    // The file is a temporary that becomes preview.png: the note names what the user will look for.
    note = std::string("preview.png cannot be written: ") + cairo_status_to_string(status);
    return false;
  }
  return true;
}

}  // namespace

bool writePreview(const std::filesystem::path& file, const Scene& scene,
                  const std::vector<DeformedObject>& objects, const std::vector<PreviewFrame>& frames,
                  std::string& note) {
  if (frames.empty()) {
    note = "no frames to draw";
    return false;
  }
  const int first = frames.front().frame;
  const int last = frames.back().frame;
  PreviewView eye(scene);
  eye.include(scene, objects, first, last, frames);
  eye.fitInto(kMargin, kHeader + kMargin, kWidth - 2 * kMargin, kHeight - 2 * kMargin - kHeader - kFooter);
  const std::vector<ProjectedPath> paths = projectPaths(eye, scene, objects, first, last);
  const std::vector<std::vector<ProjectedPath>> shots = projectShots(eye, objects.size(), frames);

  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 0.97, 0.97, 0.95);
  cairo_paint(cr);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  drawPaths(cr, eye, paths);
  for (size_t i = 0; i < frames.size(); ++i) {
    drawShot(cr, eye, scene, objects, frames[i].frame, shots[i], ageOf(i, frames.size()));
  }
  drawTitleAndLegend(cr, eye, scene, frames);
  cairo_destroy(cr);
  const bool saved = savePng(surface, file, note);
  cairo_surface_destroy(surface);
  return saved;
}

#else

bool writePreview(const std::filesystem::path& /*file*/, const Scene& /*scene*/,
                  const std::vector<DeformedObject>& /*objects*/, const std::vector<PreviewFrame>& /*frames*/,
                  std::string& note) {
  note = "no preview.png or preview.gif: this build has no cairo";
  return false;
}

#endif

}  // namespace tarrow::host
