// The drawing both pictures share, with cairo: the ground grid and its spacing, the axis
// tripod, the items' paths, meshes, markers and names, and texts with a light halo so that they
// stay readable over whatever lies under them.
#pragma once

#ifdef TARROW_HAVE_CAIRO

#include <optional>
#include <string>
#include <vector>

#include <cairo.h>

#include "host/run/preview_scene.h"
#include "host/run/preview_view.h"

namespace tarrow::host {

constexpr Colour kPaper{0.97, 0.97, 0.95};
constexpr Colour kInk{0.12, 0.12, 0.12};
constexpr Colour kNeutral{0.55, 0.55, 0.55};  // objects without a deformer, the grid's lines
constexpr Colour kAxisX{0.80, 0.15, 0.15};
constexpr Colour kAxisY{0.15, 0.60, 0.20};
constexpr Colour kAxisZ{0.15, 0.30, 0.85};

using ProjectedPath = std::vector<std::optional<Point2>>;

class PreviewPainter {
 public:
  // size: the picture's text size in pixels; the other sizes follow it.
  PreviewPainter(cairo_t* cr, const PreviewView& view, const PreviewLabels& labels, double size);

  // The grid on the ground (y = 0) under everything included in the view, with a spacing of 1,
  // 2 or 5 times a power of ten metres; returns the spacing's label ("grid 2 m").
  std::string ground(double width, double height);
  // The world axes X, Y and Z as the view sees them, from the point given.
  void tripod(Point2 at);
  // Every item's path over the run, thin and dashed.
  void paths(const std::vector<ProjectedPath>& paths);

  // A mesh's drawn polygons (or, without polygons, its points as dots): a light fill that does not
  // grow darker where polygons overlap, then the edges, thinner and fainter the smaller the
  // polygons are drawn; a sampled mesh fills its border's shape instead and outlines it.
  void mesh(const DrawnItem& item, const std::vector<Vec3>& points, const Colour& colour, double fill);
  // A small diamond (an item without points) or a ring (a pivot) at a world position.
  void marker(const Vec3& world, const Colour& colour);
  void ring(const Vec3& world, const Colour& colour);
  void dot(const Vec3& world, const Colour& colour, double radius);
  // A square of the size given from its top left corner, filled and edged as a mesh of that colour.
  void swatch(Point2 at, double side, const Colour& colour, double fill);
  // A name beside a world position, moved down clear of the names drawn before.
  void name(const Vec3& world, const std::string& text, const Colour& colour);

  // A text with its left end on the base line at the point given; returns its width.
  double text(Point2 at, const std::string& text, const Colour& colour, bool bold = false);
  double textWidth(const std::string& text, bool bold = false);

 private:
  void font(bool bold);

  cairo_t* cr_;
  const PreviewView& view_;
  const PreviewLabels& labels_;
  double size_;
  std::vector<std::optional<Point2>> placed_;
  struct Box {
    double left, top, right, bottom;
  };
  std::vector<Box> names_;  // where the names drawn so far lie
};

// The path of each plan item's own position over every frame of [first, last].
std::vector<ProjectedPath> projectPaths(const PreviewView& view, const Scene& scene, const PreviewPlan& plan,
                                        int first, int last);

}  // namespace tarrow::host

#endif
