// The scene as the module sees it: item info, scene info, scene objects, "Instance Update",
// "Locale Info" and one mesh info per object, answered from one scene.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "host/loader/host_generation.h"
#include "host/loader/service_registry.h"
#include "host/scene/scene.h"
#include "sdk/lwdisplace.h"
#include "sdk/lwgenerations.h"
#include "sdk/lwrender.h"

namespace tarrow::host {

// The service tables are plain C functions without user data, so they answer from the scene
// services made current last; the tables themselves never change and outlive every scene.
// Members the host does not provide hold stoppers (host/loader/unprovided.h).
class SceneServices {
 public:
  explicit SceneServices(const Scene& scene);
  ~SceneServices();
  SceneServices(const SceneServices&) = delete;
  SceneServices& operator=(const SceneServices&) = delete;

  // Offers every scene service under the generation's name and makes these services current.
  // Every table is as long as the newest generation's, with stoppers past 2015.3's members.
  // Without a generation, the services are 2015.3's, as the module's own tests know them.
  void registerInto(ServiceRegistry& registry, const HostGeneration& generation = hostGenerations().front());
  // Also sets aside the item frames each thread has composed, so that frames of another scene
  // are never taken for this one's. The scene itself must not change while services answer for
  // it: its normals and its curves' tangents are worked out when the services are made.
  void makeCurrent();

  const Scene& scene() const { return scene_; }
  static const LWItemInfo* itemInfo();
  static const LWObjectFuncs* objectFuncs();
  const LWSceneInfo* sceneInfo() const { return &sceneInfo_.rows; }
  // The mesh info of an object item (by index into the scene's items).
  LWMeshInfo* meshInfo(int item) { return &meshes_[static_cast<size_t>(item)].table.info; }
  // Unit normals of the item's points in its own coordinates, as its polygons give them.
  const std::vector<Vec3>& pointNormals(int item) const { return meshes_[static_cast<size_t>(item)].normals; }

  void setLocale(unsigned int languageId) { locale_ = languageId; }

  // Calls of a mesh's pntVIDGet with a null map id: the mesh reads nothing for them, but a
  // module that makes them reads from a map it never found.
  long long nullMapReads() const { return nullMapReads_.load(std::memory_order_relaxed); }
  // Calls of a mesh's pntVLookup, the lookup that selects the map in the shared mesh record.
  long long selectingLookups() const { return selectingLookups_.load(std::memory_order_relaxed); }

  // Instances that asked for an update since the last call, in order. The host itself has nothing
  // to redraw, so only the tests take them: they prove that an edit made through the panel or
  // the node editor asks for one. A run keeps them (one a request, a handful a run) until it ends.
  std::vector<LWInstance> takeUpdateRequests();
  // Instances that asked for an update since the last call, for the session: Layout evaluates
  // an announced instance's object again, starting with its newTime.
  std::vector<LWInstance> takeRefreshRequests();

  // Stable point ids: the index plus one, so that no point has the null id.
  static LWPntID pointId(size_t index) { return reinterpret_cast<LWPntID>(index + 1); }

  // Service entries, public for the tables; they read the current services.
  struct Entries;

 private:
  // The mesh info as long as 2020 lays it out: 2015.3's members, then stoppers.
  struct MeshTable {
    LWMeshInfo info;
    LWLaterMember appended[3];
  };
  struct Mesh {
    MeshTable table{};
    SceneServices* owner = nullptr;
    const SceneItem* item = nullptr;
    std::vector<Vec3> normals;
  };

  const Scene& scene_;
  std::string sceneName_;
  std::string fileName_;
  struct SceneInfoRecord {
    LWSceneInfo rows;
    unsigned char appended[sizeof(lw2018::LWSceneInfo) - sizeof(LWSceneInfo)];  // render settings: 0
  };
  SceneInfoRecord sceneInfo_{};
  std::vector<Mesh> meshes_;
  // Every item's channels with their spans' tangents worked out, for the frames param composes.
  std::vector<PreparedChannels> curves_;
  std::vector<std::string> weightMapNames_;
  unsigned int locale_ = LANGID_USENGLISH;
  std::atomic<long long> nullMapReads_{0};
  std::atomic<long long> selectingLookups_{0};
  std::mutex updatesMutex_;
  std::vector<LWInstance> updates_;
  std::vector<LWInstance> refreshes_;
};

}  // namespace tarrow::host
