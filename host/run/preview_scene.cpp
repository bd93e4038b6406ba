#include "host/run/preview_scene.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <unordered_map>

namespace tarrow::host {
namespace {

// The border of a mesh: the edges only one polygon has, chained into loops along the polygons'
// own direction. A border that does not close (a mesh that is not a surface there) ends where
// its chain breaks.
std::vector<std::vector<int>> borderLoops(const std::vector<std::vector<int>>& polygons) {
  struct Edge {
    std::uint64_t key;  // lower index, higher index
    int from, to;
  };
  std::vector<Edge> edges;
  for (const auto& polygon : polygons) {
    for (size_t v = 0; v < polygon.size(); ++v) {
      const int a = polygon[v];
      const int b = polygon[(v + 1) % polygon.size()];
      const auto low = static_cast<std::uint32_t>(std::min(a, b));
      const auto high = static_cast<std::uint32_t>(std::max(a, b));
      edges.push_back({std::uint64_t{low} << 32 | high, a, b});
    }
  }
  std::sort(edges.begin(), edges.end(), [](const Edge& x, const Edge& y) { return x.key < y.key; });
  std::unordered_map<int, int> next;
  std::vector<int> starts;  // in the order of the sorted edges, so the same every run
  for (size_t i = 0; i < edges.size();) {
    size_t j = i;
    while (j < edges.size() && edges[j].key == edges[i].key) ++j;
    if (j - i == 1 && next.emplace(edges[i].from, edges[i].to).second) starts.push_back(edges[i].from);
    i = j;
  }
  std::vector<std::vector<int>> loops;
  std::unordered_map<int, bool> walked;
  for (int start : starts) {
    if (walked[start]) continue;
    std::vector<int>& loop = loops.emplace_back();
    for (int at = start; !walked[at];) {
      walked[at] = true;
      loop.push_back(at);
      const auto found = next.find(at);
      if (found == next.end()) break;
      at = found->second;
    }
  }
  return loops;
}

// Every step-th of count, from the first: evenly spread and the same every run.
size_t stepFor(size_t count, size_t budget) {
  return budget == 0 ? count + 1 : (count + budget - 1) / budget;
}

// The plan of one object with points: the polygons (or, without polygons, the points) and the
// border that fit its share of the budget, and the points they use, renumbered.
void planMesh(const SceneItem& source, size_t budget, DrawnItem& drawn) {
  drawn.meshPolygons = source.polygons.size();
  std::vector<int> used;
  std::vector<std::vector<int>> polygons;
  std::vector<std::vector<int>> outline;
  auto valid = [&](int index) { return index >= 0 && static_cast<size_t>(index) < source.points.size(); };
  if (source.polygons.empty()) {
    const size_t step = stepFor(source.points.size(), budget);
    for (size_t i = 0; i < source.points.size(); i += step) used.push_back(static_cast<int>(i));
  } else {
    // A mesh drawn whole shows its own edges; a larger one its border over a sample of its
    // polygons, the border taking at most half of the share.
    const bool whole = source.polygons.size() <= budget;
    if (!whole) {
      for (auto& loop : borderLoops(source.polygons)) outline.push_back(std::move(loop));
      size_t edges = 0;
      for (const auto& loop : outline) edges += loop.size();
      const size_t step = stepFor(edges, budget / 2);
      if (step > 1) {
        for (auto& loop : outline) {
          std::vector<int> fewer;
          for (size_t v = 0; v < loop.size(); v += step) fewer.push_back(loop[v]);
          loop.swap(fewer);
        }
        edges = (edges + step - 1) / step;
      }
      budget -= std::min(budget, edges);
    }
    const size_t step = stepFor(source.polygons.size(), budget);
    for (size_t p = 0; p < source.polygons.size(); p += step) {
      const auto& polygon = source.polygons[p];
      if (std::all_of(polygon.begin(), polygon.end(), valid)) polygons.push_back(polygon);
    }
    for (const auto& polygon : polygons) used.insert(used.end(), polygon.begin(), polygon.end());
    for (const auto& loop : outline) used.insert(used.end(), loop.begin(), loop.end());
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
  }
  auto renumber = [&](std::vector<std::vector<int>>& lists) {
    for (auto& list : lists) {
      for (int& index : list)
        index = static_cast<int>(std::lower_bound(used.begin(), used.end(), index) - used.begin());
    }
  };
  renumber(polygons);
  renumber(outline);
  drawn.points = std::move(used);
  drawn.polygons = std::move(polygons);
  drawn.outline = std::move(outline);
}

}  // namespace

size_t PreviewPlan::primitives() const {
  size_t count = 0;
  for (const DrawnItem& item : items) {
    count += item.polygons.empty() ? item.points.size() : item.polygons.size();
    for (const auto& loop : item.outline) count += loop.size();
  }
  return count;
}

PreviewPlan planPreview(const Scene& scene, const std::vector<DeformedObject>& objects,
                        const std::vector<std::vector<int>>& pivotItems, size_t budget) {
  PreviewPlan plan;
  size_t meshes = 0;
  for (const SceneItem& item : scene.items) meshes += item.points.empty() ? 0 : 1;
  const size_t share = budget / std::max<size_t>(1, meshes);
  for (size_t i = 0; i < scene.items.size(); ++i) {
    const int index = static_cast<int>(i);
    if (index == scene.renderCamera) continue;
    DrawnItem drawn;
    drawn.item = index;
    const auto deformed = std::find_if(objects.begin(), objects.end(),
                                       [&](const DeformedObject& o) { return o.item == index; });
    if (deformed != objects.end()) {
      drawn.kind = DrawnKind::kDeformed;
      drawn.deformed = static_cast<int>(deformed - objects.begin());
    } else {
      drawn.kind = scene.items[i].points.empty() ? DrawnKind::kMarker : DrawnKind::kStill;
    }
    if (!scene.items[i].points.empty()) planMesh(scene.items[i], share, drawn);
    plan.items.push_back(std::move(drawn));
  }
  for (size_t k = 0; k < objects.size(); ++k) {
    const bool chosen = k < pivotItems.size() && !pivotItems[k].empty();
    plan.pivots.push_back({static_cast<int>(k), chosen ? pivotItems[k].front() : objects[k].item});
  }
  return plan;
}

void drawnPointsAt(const PreviewPlan& plan, const Scene& scene, int frame, const FramePoints& deformed,
                   DrawnPoints& out) {
  out.resize(plan.items.size());
  for (size_t i = 0; i < plan.items.size(); ++i) {
    const DrawnItem& drawn = plan.items[i];
    std::vector<Vec3>& points = out[i];
    points.clear();
    if (drawn.kind == DrawnKind::kDeformed) {
      const auto& source = deformed[static_cast<size_t>(drawn.deformed)];
      for (int index : drawn.points) points.push_back(source[static_cast<size_t>(index)]);
    } else if (drawn.kind == DrawnKind::kStill) {
      const Placement placement = scene.meshPlacement(drawn.item, frame / scene.fps);
      const auto& own = scene.items[static_cast<size_t>(drawn.item)].points;
      for (int index : drawn.points) points.push_back(placement.apply(own[static_cast<size_t>(index)]));
    }
  }
}

const PreviewLabels& previewLabels(unsigned int language) {
  static const PreviewLabels kEnglish{
      "DejaVu Sans",         "frame %d",
      "%s: frames %d to %d", "%s: frame %d, %s s",
      "render camera view",  "default three-quarter view",
      "grid %s m",           "colour: frame (viridis)",
      "dashed: paths",       "pivot of %s",
  };
  static const PreviewLabels kJapanese{
      "IPAGothic",
      "フレーム %d",
      "%s: フレーム %d〜%d",
      "%s: フレーム %d、%s 秒",
      "レンダーカメラの視点",
      "既定の斜め上からの視点",
      "グリッド %s m",
      "色: フレーム (viridis)",
      "破線: 軌跡",
      "%s のピボット",
  };
  return language == LANGID_JAPANESE ? kJapanese : kEnglish;
}

std::string fillLabel(const std::string& pattern, const std::vector<std::string>& values) {
  std::string text;
  size_t next = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 's' || pattern[i + 1] == 'd')) {
      if (next < values.size()) text += values[next++];
      ++i;
    } else {
      text += pattern[i];
    }
  }
  return text;
}

Colour viridis(double t) {
  // The map at nine evenly spaced stops, from matplotlib's table.
  static constexpr std::array<std::array<int, 3>, 9> kStops{{{68, 1, 84},
                                                             {71, 45, 123},
                                                             {59, 82, 139},
                                                             {44, 114, 142},
                                                             {33, 145, 140},
                                                             {40, 174, 128},
                                                             {94, 201, 98},
                                                             {173, 220, 48},
                                                             {253, 231, 37}}};
  const double at = std::clamp(t, 0.0, 1.0) * (kStops.size() - 1);
  const auto low = std::min(static_cast<size_t>(at), kStops.size() - 2);
  const double f = at - static_cast<double>(low);
  auto channel = [&](int c) { return (kStops[low][c] + (kStops[low + 1][c] - kStops[low][c]) * f) / 255.0; };
  return {channel(0), channel(1), channel(2)};
}

}  // namespace tarrow::host
