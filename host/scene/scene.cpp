#include "host/scene/scene.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace tarrow::host {
namespace {

uint32_t idBase(LWItemType type) {
  switch (type) {
    case LWI_LIGHT:
      return kLightIdBase;
    case LWI_CAMERA:
      return kCameraIdBase;
    default:
      return kObjectIdBase;
  }
}

}  // namespace

std::vector<int> Scene::itemsOfType(LWItemType type) const {
  std::vector<int> found;
  for (int i = 0; i < static_cast<int>(items.size()); ++i) {
    if (items[i].type == type && !items[i].removed) found.push_back(i);
  }
  return found;
}

std::vector<std::string> Scene::weightMapNames() const {
  std::vector<std::string> names;
  for (const auto& item : items) {
    for (const auto& map : item.weightMaps) {
      if (std::find(names.begin(), names.end(), map.name) == names.end()) names.push_back(map.name);
    }
  }
  return names;
}

int Scene::ordinalOf(int item) const {
  int ordinal = 0;
  for (int i = 0; i < item; ++i) ordinal += items[i].type == items[item].type && !items[i].removed ? 1 : 0;
  return ordinal;
}

LWItemID Scene::idOf(int item) const {
  if (item < 0 || item >= static_cast<int>(items.size()) || items[item].removed) return LWITEM_NULL;
  const uintptr_t id = idBase(items[item].type) + static_cast<uint32_t>(ordinalOf(item));
  return reinterpret_cast<LWItemID>(id);
}

int Scene::indexOf(LWItemID id) const {
  const auto value = reinterpret_cast<uintptr_t>(id);
  const uintptr_t base = value & 0xF0000000u;
  if (value > 0xFFFFFFFFu) return -1;
  LWItemType type = LWI_OBJECT;
  if (base == kLightIdBase) {
    type = LWI_LIGHT;
  } else if (base == kCameraIdBase) {
    type = LWI_CAMERA;
  } else if (base != kObjectIdBase) {
    return -1;
  }
  uintptr_t ordinal = value & 0x0FFFFFFFu;
  for (int i = 0; i < static_cast<int>(items.size()); ++i) {
    if (items[i].type != type || items[i].removed) continue;
    if (ordinal == 0) return i;
    --ordinal;
  }
  return -1;
}

std::vector<LWItemID> Scene::removeItem(int item) {
  if (item < 0 || item >= static_cast<int>(items.size()) || items[item].removed) {
    throw std::invalid_argument("no item #" + std::to_string(item) + " to remove");
  }
  const SceneItem& doomed = items[item];
  const auto refuse = [&](const std::string& why) {
    throw std::invalid_argument("item \"" + doomed.name + "\" cannot be removed: " + why);
  };
  if (!doomed.deformers.empty()) refuse("it carries deformers");
  if (item == renderCamera) refuse("it is the render camera");
  for (const SceneItem& other : items) {
    if (!other.removed && other.parent == item) refuse("it is the parent of \"" + other.name + "\"");
  }
  std::vector<LWItemID> before;
  for (int i = 0; i < static_cast<int>(items.size()); ++i) before.push_back(idOf(i));
  items[item].removed = true;
  std::vector<LWItemID> pairs;
  for (int i = 0; i < static_cast<int>(items.size()); ++i) {
    const LWItemID now = idOf(i);
    if (now != LWITEM_NULL && now != before[static_cast<size_t>(i)]) {
      pairs.push_back(before[static_cast<size_t>(i)]);
      pairs.push_back(now);
    }
  }
  pairs.push_back(LWITEM_NULL);
  return pairs;
}

Placement Scene::ownPlacement(int item, double time) const {
  return placementOf(poseAt(items[item].channels, time));
}

ItemFrame Scene::frameAt(int item, double time, const std::vector<PreparedChannels>* prepared) const {
  const auto poseOf = [&](int i) {
    return prepared != nullptr ? (*prepared)[static_cast<size_t>(i)].poseAt(time)
                               : poseAt(items[i].channels, time);
  };
  ItemFrame frame{poseOf(item), {}};
  frame.world = placementOf(frame.own);
  // Parents were checked for cycles when the scene was read.
  for (int up = items[item].parent; up >= 0; up = items[up].parent) {
    frame.world = compose(placementOf(poseOf(up)), frame.world);
  }
  return frame;
}

Placement Scene::worldPlacement(int item, double time) const { return frameAt(item, time).world; }

Placement Scene::meshPlacement(int item, double time) const {
  Placement placement = worldPlacement(item, time);
  const Vec3 moved = placement.axes * items[item].pivot;
  for (int c = 0; c < 3; ++c) placement.position[c] -= moved[c];
  return placement;
}

std::vector<Vec3> pointNormals(const SceneItem& item) {
  std::vector<Vec3> normals(item.points.size());
  for (const std::vector<int>& polygon : item.polygons) {
    // Newell's sum: twice the polygon's area along its normal, for any planar polygon.
    Vec3 normal{};
    for (size_t v = 0; v < polygon.size(); ++v) {
      const Vec3& a = item.points[static_cast<size_t>(polygon[v])];
      const Vec3& b = item.points[static_cast<size_t>(polygon[(v + 1) % polygon.size()])];
      normal[0] += (a[1] - b[1]) * (a[2] + b[2]);
      normal[1] += (a[2] - b[2]) * (a[0] + b[0]);
      normal[2] += (a[0] - b[0]) * (a[1] + b[1]);
    }
    for (int index : polygon) {
      for (int c = 0; c < 3; ++c) normals[static_cast<size_t>(index)][c] += normal[c];
    }
  }
  for (Vec3& normal : normals) {
    const double length = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
    if (length > 0.0) {
      for (double& c : normal) c /= length;
    }
  }
  return normals;
}

}  // namespace tarrow::host
