#include "host/services/scene_services.h"

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstring>

#include "host/loader/unprovided.h"

namespace tarrow::host {
namespace {

std::atomic<SceneServices*> current{nullptr};

// Changes whenever scene services are made current (every frame of a run, and for every scene),
// so that a frame composed from another scene, or from this one before it changed, is never
// taken for one of now.
std::atomic<uint64_t> currentEpoch{1};

// The item frame this thread composed last. The deformer asks four codes of one item at one
// time for each point, each needing the item's channels and its parents' composed: they are
// composed once, for the first code, and the others read them here. Per thread, so the points
// of a frame evaluated at once never share it.
struct LastFrame {
  uint64_t epoch = 0;  // 0: none yet
  LWItemID item = LWITEM_NULL;
  uint64_t timeBits = 0;  // the time exactly, -0 apart from 0
  ItemFrame frame;
};
constinit thread_local LastFrame lastFrame;

void writeVector(double out[3], const Vec3& value) {
  out[0] = value[0];
  out[1] = value[1];
  out[2] = value[2];
}

}  // namespace

struct SceneServices::Entries {
  static SceneServices* now() { return current.load(std::memory_order_acquire); }

  static LWItemID first(LWItemType type, LWItemID /*parent*/) noexcept {
    const SceneServices* self = now();
    if (self == nullptr) return LWITEM_NULL;
    const auto& items = self->scene_.items;
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i].type == type && !items[i].removed) return self->scene_.idOf(static_cast<int>(i));
    }
    return LWITEM_NULL;
  }

  static LWItemID next(LWItemID item) noexcept {
    const SceneServices* self = now();
    if (self == nullptr) return LWITEM_NULL;
    const int index = self->scene_.indexOf(item);
    if (index < 0) return LWITEM_NULL;
    const auto& items = self->scene_.items;
    for (size_t i = static_cast<size_t>(index) + 1; i < items.size(); ++i) {
      if (items[i].type == items[static_cast<size_t>(index)].type && !items[i].removed)
        return self->scene_.idOf(static_cast<int>(i));
    }
    return LWITEM_NULL;
  }

  static LWItemID parent(LWItemID item) noexcept {
    const SceneServices* self = now();
    if (self == nullptr) return LWITEM_NULL;
    const int index = self->scene_.indexOf(item);
    return index < 0 ? LWITEM_NULL : self->scene_.idOf(self->scene_.items[static_cast<size_t>(index)].parent);
  }

  static LWItemType type(LWItemID item) noexcept {
    const SceneServices* self = now();
    const int index = self == nullptr ? -1 : self->scene_.indexOf(item);
    return index < 0 ? LWI_OBJECT : self->scene_.items[static_cast<size_t>(index)].type;
  }

  static const char* name(LWItemID item) noexcept {
    const SceneServices* self = now();
    const int index = self == nullptr ? -1 : self->scene_.indexOf(item);
    return index < 0 ? "" : self->scene_.items[static_cast<size_t>(index)].name.c_str();
  }

  // The item's frame at the time, composed once per thread for the codes asked at that time;
  // null for an id of no item.
  static const ItemFrame* frameOf(const SceneServices& self, LWItemID item, double time) {
    const uint64_t epoch = currentEpoch.load(std::memory_order_acquire);
    const auto timeBits = std::bit_cast<uint64_t>(time);
    LastFrame& last = lastFrame;
    if (last.epoch == epoch && last.item == item && last.timeBits == timeBits) return &last.frame;
    const int index = self.scene_.indexOf(item);
    if (index < 0) return nullptr;
    last.frame = self.scene_.frameAt(index, time, &self.curves_);
    last.epoch = epoch;
    last.item = item;
    last.timeBits = timeBits;
    return &last.frame;
  }

  static void param(LWItemID item, LWItemParam code, LWTime time, double vector[3]) noexcept {
    const SceneServices* self = now();
    const ItemFrame* frame = self == nullptr ? nullptr : frameOf(*self, item, time);
    if (frame == nullptr) {
      writeVector(vector, {});
      return;
    }
    switch (code) {
      case LWIP_POSITION:
        writeVector(vector, frame->own.position);
        return;
      case LWIP_RIGHT:
      case LWIP_UP:
      case LWIP_FORWARD:
        writeVector(vector, frame->world.axes.column(code - LWIP_RIGHT));
        return;
      case LWIP_ROTATION:
        writeVector(vector, frame->own.rotation);
        return;
      case LWIP_SCALING:
        writeVector(vector, frame->own.scale);
        return;
      case LWIP_PIVOT:
        writeVector(vector, self->scene_.items[static_cast<size_t>(self->scene_.indexOf(item))].pivot);
        return;
      case LWIP_W_POSITION:
        writeVector(vector, frame->world.position);
        return;
      case LWIP_W_RIGHT:
      case LWIP_W_UP:
      case LWIP_W_FORWARD:
        writeVector(vector, frame->world.inverse.column(code - LWIP_W_RIGHT));
        return;
      default:
        writeVector(vector, {});
        return;
    }
  }

  // The stand-in host has no animation channels; an item's group is a token only.
  static LWChanGroupID chanGroup(LWItemID item) noexcept {
    const SceneServices* self = now();
    const int index = self == nullptr ? -1 : self->scene_.indexOf(item);
    return index < 0 ? nullptr : reinterpret_cast<LWChanGroupID>(reinterpret_cast<uintptr_t>(item));
  }

  static LWItemID renderCamera(LWTime /*time*/) noexcept {
    const SceneServices* self = now();
    return self == nullptr ? LWITEM_NULL : self->scene_.idOf(self->scene_.renderCamera);
  }

  static int numObjects() noexcept {
    const SceneServices* self = now();
    return self == nullptr ? 0 : static_cast<int>(self->scene_.itemsOfType(LWI_OBJECT).size());
  }

  static int numVMaps(LWID type) noexcept {
    const SceneServices* self = now();
    return self == nullptr || type != LWVMAP_WGHT ? 0 : static_cast<int>(self->weightMapNames_.size());
  }

  static const char* vmapName(LWID type, int index) noexcept {
    const SceneServices* self = now();
    if (self == nullptr || type != LWVMAP_WGHT || index < 0 ||
        index >= static_cast<int>(self->weightMapNames_.size())) {
      return nullptr;
    }
    return self->weightMapNames_[static_cast<size_t>(index)].c_str();
  }

  static void instUpdate(const char* /*className*/, LWInstance instance) noexcept {
    SceneServices* self = now();
    if (self == nullptr) return;
    try {
      std::lock_guard lock(self->updatesMutex_);
      self->updates_.push_back(instance);
      self->refreshes_.push_back(instance);
    } catch (...) {
      // Nothing to do: a request that cannot be recorded is the same as one made twice.
    }
  }

  static const SceneItem* meshItem(LWMeshInfo* info) {
    return info == nullptr ? nullptr : static_cast<const Mesh*>(info->priv)->item;
  }

  static int numPoints(LWMeshInfo* info) noexcept {
    const SceneItem* item = meshItem(info);
    return item == nullptr ? 0 : static_cast<int>(item->points.size());
  }

  static int numPolygons(LWMeshInfo* info) noexcept {
    const SceneItem* item = meshItem(info);
    return item == nullptr ? 0 : static_cast<int>(item->polygons.size());
  }

  // Layout's pntVLookup also selects the map inside the shared mesh record, which races when
  // points are evaluated on several threads: the calls are counted, for the tests to refuse.
  static LWVMapID pntVLookup(LWMeshInfo* info, LWID type, const char* mapName) noexcept {
    if (info != nullptr) {
      static_cast<const Mesh*>(info->priv)->owner->selectingLookups_.fetch_add(1, std::memory_order_relaxed);
    }
    return pntVIDLookup(info, type, mapName);
  }

  static LWVMapID pntVIDLookup(LWMeshInfo* info, LWID type, const char* mapName) noexcept {
    const SceneItem* item = meshItem(info);
    if (item == nullptr || type != LWVMAP_WGHT || mapName == nullptr) return nullptr;
    for (const WeightMap& map : item->weightMaps) {
      if (map.name == mapName) return const_cast<WeightMap*>(&map);
    }
    return nullptr;
  }

  static int pntVIDGet(LWMeshInfo* info, LWPntID point, float* vector, LWVMapID vmap) noexcept {
    if (info != nullptr && vmap == nullptr) {
      static_cast<const Mesh*>(info->priv)->owner->nullMapReads_.fetch_add(1, std::memory_order_relaxed);
    }
    const SceneItem* item = meshItem(info);
    if (item == nullptr || vmap == nullptr || vector == nullptr) return 0;
    // Only maps of this object answer; a map id of another object reads nothing.
    const WeightMap* found = nullptr;
    for (const WeightMap& map : item->weightMaps) {
      if (&map == vmap) found = &map;
    }
    const auto id = reinterpret_cast<uintptr_t>(point);
    if (found == nullptr || id == 0 || id > found->values.size()) return 0;
    const std::optional<float>& value = found->values[id - 1];
    if (!value) return 0;
    *vector = *value;
    return 1;
  }
};

namespace {

using Entries = SceneServices::Entries;

// The tables as long as the newest generation lays them out: 2015.3's members, then stoppers.
const LongerTable<"LWItemInfo", LWItemInfo, 2> kItemInfoTable(LWItemInfo{
    .first = &Entries::first,
    .next = &Entries::next,
    .firstChild = TARROW_UNPROVIDED(LWItemInfo, firstChild),
    .nextChild = TARROW_UNPROVIDED(LWItemInfo, nextChild),
    .parent = &Entries::parent,
    .target = TARROW_UNPROVIDED(LWItemInfo, target),
    .goal = TARROW_UNPROVIDED(LWItemInfo, goal),
    .type = &Entries::type,
    .name = &Entries::name,
    .param = &Entries::param,
    .limits = TARROW_UNPROVIDED(LWItemInfo, limits),
    .getTag = TARROW_UNPROVIDED(LWItemInfo, getTag),
    .setTag = TARROW_UNPROVIDED(LWItemInfo, setTag),
    .chanGroup = &Entries::chanGroup,
    .laterMembers = {},
});

const LongerTable<"LWObjectFuncs", LWObjectFuncs, 1> kObjectFuncsTable(LWObjectFuncs{
    .numObjects = &Entries::numObjects,
    .filename = TARROW_UNPROVIDED(LWObjectFuncs, filename),
    .maxLayers = TARROW_UNPROVIDED(LWObjectFuncs, maxLayers),
    .layerExists = TARROW_UNPROVIDED(LWObjectFuncs, layerExists),
    .pivotPoint = TARROW_UNPROVIDED(LWObjectFuncs, pivotPoint),
    .layerMesh = TARROW_UNPROVIDED(LWObjectFuncs, layerMesh),
    .numVMaps = &Entries::numVMaps,
    .vmapName = &Entries::vmapName,
    .laterMembers = {},
});
static_assert(sizeof(kItemInfoTable) == sizeof(lw2020::LWItemInfo));
static_assert(sizeof(kObjectFuncsTable) == sizeof(lw2018::LWObjectFuncs));

// One object's mesh: the same functions for every mesh, told apart by priv.
LWMeshInfo meshInfoFor(void* mesh) {
  LWMeshInfo info = withUnprovidedLaterMembers<"LWMeshInfo">(LWMeshInfo{
      .priv = mesh,
      .destroy = TARROW_UNPROVIDED(LWMeshInfo, destroy),
      .numPoints = &Entries::numPoints,
      .numPolygons = &Entries::numPolygons,
      .scanPoints = TARROW_UNPROVIDED(LWMeshInfo, scanPoints),
      .scanPolys = TARROW_UNPROVIDED(LWMeshInfo, scanPolys),
      .pntBasePos = TARROW_UNPROVIDED(LWMeshInfo, pntBasePos),
      .pntOtherPos = TARROW_UNPROVIDED(LWMeshInfo, pntOtherPos),
      .pntVLookup = &Entries::pntVLookup,
      .pntVSelect = TARROW_UNPROVIDED(LWMeshInfo, pntVSelect),
      .pntVGet = TARROW_UNPROVIDED(LWMeshInfo, pntVGet),
      .polType = TARROW_UNPROVIDED(LWMeshInfo, polType),
      .polSize = TARROW_UNPROVIDED(LWMeshInfo, polSize),
      .polVertex = TARROW_UNPROVIDED(LWMeshInfo, polVertex),
      .polTag = TARROW_UNPROVIDED(LWMeshInfo, polTag),
      .pntVPGet = TARROW_UNPROVIDED(LWMeshInfo, pntVPGet),
      .polFlags = TARROW_UNPROVIDED(LWMeshInfo, polFlags),
      .pntVIDGet = &Entries::pntVIDGet,
      .laterMembers = {},
      .pntVIDLookup = &Entries::pntVIDLookup,
      .VIDDimension = TARROW_UNPROVIDED(LWMeshInfo, VIDDimension),
      .pointPolygonMembers = {},
  });
  fillUnprovidedSlots<"LWMeshInfo", offsetof(LWMeshInfo, pointPolygonMembers) / sizeof(LWLaterMember)>(
      info.pointPolygonMembers);
  return info;
}

// The scene as the host renders it: the scene's frame range and rate; no frame size is kept in
// scene files, so a 640 x 480 frame of square pixels, one sample per pixel, no limited region.
LWSceneInfo sceneInfoFor(const Scene& scene, const char* name, const char* fileName) {
  constexpr int kWidth = 640;
  constexpr int kHeight = 480;
  int points = 0;
  int polygons = 0;
  for (const SceneItem& item : scene.items) {
    points += static_cast<int>(item.points.size());
    polygons += static_cast<int>(item.polygons.size());
  }
  return LWSceneInfo{
      .name = name,
      .filename = fileName,
      .numPoints = points,
      .numPolygons = polygons,
      .renderType = 0,
      .renderOpts = 0,
      .frameStart = scene.firstFrame,
      .frameEnd = scene.lastFrame,
      .frameStep = 1,
      .framesPerSecond = scene.fps,
      .frameWidth = kWidth,
      .frameHeight = kHeight,
      .pixelAspect = 1.0,
      .minSamplesPerPixel = 1,
      .maxSamplesPerPixel = 1,
      .limitedRegion = {0, 0, kWidth - 1, kHeight - 1},
      .recursionDepth = 16,
      .renderCamera = &Entries::renderCamera,
      .laterMembers = {},  // data and functions of later versions, unknown here: left zero
  };
}

}  // namespace

SceneServices::SceneServices(const Scene& scene)
    : scene_(scene),
      sceneName_(scene.file.stem().string()),
      fileName_(scene.file.string()),
      sceneInfo_{sceneInfoFor(scene, sceneName_.c_str(), fileName_.c_str()), {}},
      meshes_(scene.items.size()),
      weightMapNames_(scene.weightMapNames()) {
  for (size_t i = 0; i < meshes_.size(); ++i) {
    Mesh& mesh = meshes_[i];
    mesh.owner = this;
    mesh.item = scene.items[i].type == LWI_OBJECT ? &scene.items[i] : nullptr;
    mesh.table.info = meshInfoFor(&mesh);
    fillUnprovidedSlots<"LWMeshInfo", sizeof(LWMeshInfo) / sizeof(LWLaterMember)>(mesh.table.appended);
    mesh.normals = tarrow::host::pointNormals(scene.items[i]);
    curves_.emplace_back(scene.items[i].channels);
  }
}

SceneServices::~SceneServices() {
  SceneServices* self = this;
  current.compare_exchange_strong(self, nullptr);
}

const LWItemInfo* SceneServices::itemInfo() { return &kItemInfoTable.rows; }
const LWObjectFuncs* SceneServices::objectFuncs() { return &kObjectFuncsTable.rows; }

void SceneServices::makeCurrent() {
  currentEpoch.fetch_add(1, std::memory_order_acq_rel);
  current.store(this, std::memory_order_release);
}

void SceneServices::registerInto(ServiceRegistry& registry, const HostGeneration& generation) {
  static_assert(sizeof(MeshTable) == sizeof(lw2020::LWMeshInfo));
  static_assert(sizeof(SceneInfoRecord) == sizeof(lw2018::LWSceneInfo));
  registry.provide(generation.itemInfo, const_cast<LWItemInfo*>(&kItemInfoTable.rows));
  registry.provide(generation.sceneInfo, &sceneInfo_.rows);
  registry.provide(generation.objectFuncs, const_cast<LWObjectFuncs*>(&kObjectFuncsTable.rows));
  registry.provide(LWINSTUPDATE_GLOBAL, reinterpret_cast<void*>(&Entries::instUpdate));
  registry.provide(LWLOCALEINFO_GLOBAL, reinterpret_cast<void*>(static_cast<uintptr_t>(locale_)));
  makeCurrent();
}

std::vector<LWInstance> SceneServices::takeUpdateRequests() {
  std::lock_guard lock(updatesMutex_);
  std::vector<LWInstance> taken;
  taken.swap(updates_);
  return taken;
}

std::vector<LWInstance> SceneServices::takeRefreshRequests() {
  std::lock_guard lock(updatesMutex_);
  std::vector<LWInstance> taken;
  taken.swap(refreshes_);
  return taken;
}

}  // namespace tarrow::host
