// What the pictures of a run draw, decided once for the run: every item of the scene (deformed
// objects in colour, other objects in grey, items without points as labelled markers), the
// pivot each deformed object trails, and for each mesh the few points, polygons and outline
// loops that fit a fixed budget of drawn primitives, so that a mesh of any size costs about the
// same to draw. The still picture and the animation draw from the same plan.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/run/session.h"
#include "host/scene/scene.h"

namespace tarrow::host {

enum class DrawnKind {
  kDeformed,  // a deformed object: its points as the module moved them, in colour
  kStill,     // an object with points and no deformer, in neutral grey
  kMarker,    // an item without points (a null, a light, a camera): a labelled marker
};

struct DrawnItem {
  int item = -1;  // into Scene::items
  DrawnKind kind = DrawnKind::kMarker;
  int deformed = -1;                       // kDeformed: into Session::deformedObjects()
  std::vector<int> points;                 // the item's points drawn, ascending
  std::vector<std::vector<int>> polygons;  // the polygons drawn, as indices into points
  std::vector<std::vector<int>> outline;   // closed loops of the mesh's border, into points
  size_t meshPolygons = 0;                 // the polygons the item has
};

struct DrawnPivot {
  int deformed = -1;  // into Session::deformedObjects()
  int item = -1;      // the item the object's points trail: its pivot item, or the object itself
};

// At most this many points, polygons and outline edges in the still picture (all its frames
// together) and in each image of the animation.
constexpr size_t kPictureBudget = 12000;
constexpr size_t kImageBudget = 4000;

struct PreviewPlan {
  std::vector<DrawnItem> items;  // every item of the scene, in file order (the render camera aside)
  std::vector<DrawnPivot> pivots;

  // The points, polygons and outline edges the plan draws in one copy of the scene.
  size_t primitives() const;
};

// pivotItems: for each deformed object, the pivot items its deformers use (Session::pivotItems);
// the first is its pivot, none means the object itself. budget: the primitives one copy of the scene
// may draw, shared evenly by its meshes.
PreviewPlan planPreview(const Scene& scene, const std::vector<DeformedObject>& objects,
                        const std::vector<std::vector<int>>& pivotItems, size_t budget);

// The world positions of the drawn points of each plan item at a frame: a deformed object's
// from the frame's points, another object's its own points placed at the frame; none for markers.
using DrawnPoints = std::vector<std::vector<Vec3>>;
void drawnPointsAt(const PreviewPlan& plan, const Scene& scene, int frame, const FramePoints& deformed,
                   DrawnPoints& out);

// The texts of the pictures in the host's language (Session's "Locale Info" choice).
struct PreviewLabels {
  std::string font;            // the face the texts are drawn in
  std::string frame;           // "frame %d"
  std::string frames;          // "%s: frames %d to %d"
  std::string animationTitle;  // "%s: frame %d, %s s"
  std::string renderCamera;    // the view named in a corner
  std::string defaultView;     //
  std::string grid;            // "grid %s m"
  std::string colours;         // what the frame colours are and which map they come from
  std::string paths;           // what the dashed lines are
  std::string pivotOf;         // "pivot of %s"
};
const PreviewLabels& previewLabels(unsigned int language);

// "frame %d"-style patterns filled in: each %s and %d in turn by the next text given.
std::string fillLabel(const std::string& pattern, const std::vector<std::string>& values);

// A colour as the pictures paint it: red, green and blue from 0 to 1.
struct Colour {
  double r, g, b;
};

// The viridis colour map (perceptually ordered, dark blue-violet to yellow) at t in [0, 1].
Colour viridis(double t);

}  // namespace tarrow::host
