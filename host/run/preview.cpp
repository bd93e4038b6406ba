#include "host/run/preview.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>

#include "host/run/preview_paint.h"

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
constexpr double kText = 15.0;
constexpr double kMargin = 60.0;
constexpr double kHeader = 50.0;
constexpr double kFooter = 40.0;
constexpr double kFill = 0.16;

// How far along the drawn frames the i-th one is: 0 the oldest, 1 the last.
double ageOf(size_t i, size_t count) { return count == 1 ? 1.0 : static_cast<double>(i) / (count - 1); }

// The colour of the i-th frame drawn: viridis from its dark end to short of its palest yellow,
// which would not show on the paper.
Colour frameColour(size_t i, size_t count) { return viridis(0.88 * ageOf(i, count)); }

// The title and the view above; the frames' colours and what the dashes are below.
void drawTitleAndLegend(PreviewPainter& paint, const PreviewView& eye, const Scene& scene,
                        const PreviewLabels& labels, const std::vector<PreviewFrame>& frames) {
  const std::string title =
      fillLabel(labels.frames, {scene.file.stem().string(), std::to_string(frames.front().frame),
                                std::to_string(frames.back().frame)});
  paint.text({20.0, 32.0}, title, kInk, true);
  const std::string& view = eye.fromRenderCamera() ? labels.renderCamera : labels.defaultView;
  paint.text({kWidth - 20.0 - paint.textWidth(view), 32.0}, view, kInk);
  const double y = kHeight - 18.0;
  double x = 20.0;
  x += paint.text({x, y}, labels.colours, kInk) + 14.0;
  for (size_t i = 0; i < frames.size(); ++i) {
    const Colour colour = frameColour(i, frames.size());
    paint.swatch({x, y - 12.0}, 16.0, colour, kFill);
    x += 22.0;
    x += paint.text({x, y}, fillLabel(labels.frame, {std::to_string(frames[i].frame)}), kInk) + 16.0;
  }
  paint.text({x + 10.0, y}, labels.paths, kNeutral);
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

bool writePreview(const std::filesystem::path& file, const Scene& scene, const PreviewPlan& plan,
                  const std::vector<PreviewFrame>& frames, const PreviewLabels& labels, std::string& note) {
  if (frames.empty()) {
    note = "no frames to draw";
    return false;
  }
  const int first = frames.front().frame;
  const int last = frames.back().frame;
  PreviewView eye(scene);
  eye.include(scene, plan, first, last, frames);
  eye.fitInto(kMargin, kHeader + kMargin, kWidth - 2 * kMargin, kHeight - 2 * kMargin - kHeader - kFooter);

  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, kPaper.r, kPaper.g, kPaper.b);
  cairo_paint(cr);
  PreviewPainter paint(cr, eye, labels, kText);
  const std::string grid = paint.ground(kWidth, kHeight);
  paint.paths(projectPaths(eye, scene, plan, first, last));
  auto at = [&](int item, int frame) { return scene.worldPlacement(item, frame / scene.fps).position; };
  const PreviewFrame& now = frames.back();
  // Items without a deformer as they stand at the last frame drawn, under the deformed ones.
  for (size_t k = 0; k < plan.items.size(); ++k) {
    if (plan.items[k].kind == DrawnKind::kStill) paint.mesh(plan.items[k], now.points[k], kNeutral, kFill);
  }
  for (size_t i = 0; i < frames.size(); ++i) {
    const Colour colour = frameColour(i, frames.size());
    for (size_t k = 0; k < plan.items.size(); ++k) {
      if (plan.items[k].kind != DrawnKind::kDeformed) continue;
      paint.mesh(plan.items[k], frames[i].points[k], colour, kFill);
      paint.dot(at(plan.items[k].item, frames[i].frame), kInk, 3.0);
    }
    // Each pivot where it was at the frame, in the colour its object has at that frame.
    for (const DrawnPivot& pivot : plan.pivots) paint.ring(at(pivot.item, frames[i].frame), colour);
  }
  for (const DrawnItem& item : plan.items) {
    if (item.kind == DrawnKind::kMarker) paint.marker(at(item.item, last), kInk);
  }
  for (const DrawnItem& item : plan.items) {
    const SceneItem& source = scene.items[static_cast<size_t>(item.item)];
    paint.name(at(item.item, last), source.name, item.kind == DrawnKind::kStill ? kNeutral : kInk);
  }
  const auto& objects = plan.items;
  for (const DrawnPivot& pivot : plan.pivots) {
    const auto object = std::find_if(objects.begin(), objects.end(),
                                     [&](const DrawnItem& item) { return item.deformed == pivot.deformed; });
    if (object == objects.end() || pivot.item == object->item) continue;  // its own position, named already
    const std::string label =
        fillLabel(labels.pivotOf, {scene.items[static_cast<size_t>(object->item)].name});
    paint.name(at(pivot.item, last), label, kInk);
  }
  const Point2 corner{kWidth - 70.0, kHeight - kFooter - 40.0};
  paint.tripod(corner);
  paint.text({corner.x - 30.0 - paint.textWidth(grid), corner.y + 5.0}, grid, kInk);
  drawTitleAndLegend(paint, eye, scene, labels, frames);
  cairo_destroy(cr);
  const bool saved = savePng(surface, file, note);
  cairo_surface_destroy(surface);
  return saved;
}

#else

bool writePreview(const std::filesystem::path& /*file*/, const Scene& /*scene*/, const PreviewPlan& /*plan*/,
                  const std::vector<PreviewFrame>& /*frames*/, const PreviewLabels& /*labels*/,
                  std::string& note) {
  note = "no preview.png or preview.gif: this build has no cairo";
  return false;
}

#endif

}  // namespace tarrow::host
