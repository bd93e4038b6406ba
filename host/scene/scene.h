// The stand-in host's scene: items with motion, objects with points, polygons, weight maps
// and deformers, and the stable item ids the module sees.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/scene/envelope.h"
#include "host/scene/motion.h"
#include "sdk/lwrender.h"

namespace tarrow::host {

struct WeightMap {
  std::string name;
  std::vector<std::optional<float>> values;  // one per point; empty: no value in the map
};

struct DeformerSpec {
  std::string server;
  std::string state;                    // block text handed to the instance's load
  std::optional<nlohmann::json> nodes;  // node network built after the load
  std::optional<nlohmann::json> panel;  // panel settings, kept and written back
  std::string place;  // where the deformer stands in the scene file: a JSON pointer, "line N"
  // Where the state stands in Scene::sourceText ([begin, end) bytes), so that it can be written
  // back in place; both 0 for JSON scenes.
  size_t stateBegin = 0;
  size_t stateEnd = 0;
};

// An item at a time: its own channels' values, and where they and its parents' place it.
struct ItemFrame {
  Pose own;
  Placement world;
};

struct SceneItem {
  std::string name;
  LWItemType type = LWI_OBJECT;
  int parent = -1;    // index into Scene::items, -1 for none
  Channels channels;  // position, heading, pitch, bank and scale, each its own curve
  // The pivot point in the item's own coordinates: the origin of its rotation and scale, which
  // its keyed position places. Children hang from it.
  Vec3 pivot{};
  std::vector<Vec3> points;                // the object's own coordinates
  std::vector<std::vector<int>> polygons;  // 0-based point indices
  std::vector<WeightMap> weightMaps;
  std::vector<DeformerSpec> deformers;
  std::string place;  // where the item stands in the scene file: a JSON pointer, "line N"
  // Taken out of the loaded scene (Scene::removeItem): it has no id and is in no list of items.
  bool removed = false;
};

// NOLINTNEXTLINE(bugprone-exception-escape): its members move without throwing (nlohmann::json too).
struct Scene {
  std::filesystem::path file;
  double fps = 30.0;
  int firstFrame = 0;
  int lastFrame = 0;
  int renderCamera = -1;  // index into items, -1 for none
  std::string host;       // the LightWave 3D release to run as ("2015" ... "2025"); empty: the newest
  std::vector<SceneItem> items;
  nlohmann::ordered_json document;    // a JSON file as read, in its own order, for writing it back
  std::string sourceText;             // an .lws file as read, for writing it back line for line
  std::vector<std::string> warnings;  // one line each: what the file holds that the host does not evaluate

  // Item indices of each type, in file order.
  std::vector<int> itemsOfType(LWItemType type) const;
  // Weight map names over all objects, each once, in order of first appearance.
  std::vector<std::string> weightMapNames() const;

  // Ids: the k-th object 0x10000000 + k, light 0x20000000 + k, camera 0x30000000 + k, counting
  // the items not removed; a removed item has none.
  LWItemID idOf(int item) const;
  // The item of an id, or -1 when the scene has none.
  int indexOf(LWItemID id) const;

  // Takes an item out of the scene as Layout deletes it: the items of its type listed after it
  // are renumbered. Returns the renumbering as Layout hands it to changeID: (old id, new id)
  // pairs, ended by a null. The item stays in items, marked removed, so that indices keep
  // their meaning. Throws std::invalid_argument, changing nothing, for an item already removed,
  // one that carries deformers, is the parent of an item or is the render camera.
  std::vector<LWItemID> removeItem(int item);

  Placement ownPlacement(int item, double time) const;
  Placement worldPlacement(int item, double time) const;
  // Both at once: the item's own channels and its world placement; through the prepared
  // channels of every item when given (one a scene item, in order), the same to the bit.
  ItemFrame frameAt(int item, double time, const std::vector<PreparedChannels>* prepared = nullptr) const;
  // What places the item's own points in the world: a point oP at A (oP - pivot) + P, so the
  // world placement with its position moved back by A pivot.
  Placement meshPlacement(int item, double time) const;

 private:
  int ordinalOf(int item) const;
};

// Unit normals of an object's points in its own coordinates: the sum of the normals of the
// polygons around each point, weighted by their areas; zero for a point on no polygon.
std::vector<Vec3> pointNormals(const SceneItem& item);

constexpr uint32_t kObjectIdBase = 0x10000000u;
constexpr uint32_t kLightIdBase = 0x20000000u;
constexpr uint32_t kCameraIdBase = 0x30000000u;

}  // namespace tarrow::host
