#include "host/services/scene_services.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "host/scene/scene_file.h"

namespace tarrow::host {
namespace {

LWItemID idFrom(uintptr_t value) { return reinterpret_cast<LWItemID>(value); }

class SceneServicesTest : public ::testing::Test {
 protected:
  SceneServicesTest()
      : scene_(parseScene(R"({"fps": 24, "frames": [3, 9], "renderCamera": "Cam2", "items": [
          {"name": "Rig", "type": "object", "pivot": [5, 5, 5],
           "motion": [{"time": 0, "position": [1, 0, 0], "rotation": [90, 0, 0], "scale": [1, 1, 2]}]},
          {"name": "Cam1", "type": "camera"},
          {"name": "Key", "type": "light"},
          {"name": "Arm", "type": "object", "parent": "Rig", "pivot": [1, 0, 0],
           "motion": [{"time": 0, "position": [0, 0, 2], "rotation": [0, 0, 60], "scale": [0.25, 1, 1]},
                      {"time": 1, "position": [0, 0, 4], "rotation": [0, 0, 120], "scale": [0.75, 1, 1]}],
           "points": [[0, 0, 0], [1, 1, 1]], "weightMaps": {"Tip": [0.25, null], "Root": [1, 1]}},
          {"name": "Cam2", "type": "camera"},
          {"name": "Leg", "type": "object", "points": [[0, 0, 0]], "weightMaps": {"Tip": [0.75], "Side": [1]}}]})",
                          "services.json")),
        services_(scene_) {
    services_.registerInto(registry_);
  }

  Scene scene_;
  ServiceRegistry registry_;
  SceneServices services_;
  const LWItemInfo* items_ = SceneServices::itemInfo();
};

TEST_F(SceneServicesTest, ItemsHaveStableIdsAndWalkInFileOrder) {
  EXPECT_EQ(items_->first(LWI_OBJECT, LWITEM_NULL), idFrom(0x10000000));
  EXPECT_EQ(items_->next(idFrom(0x10000000)), idFrom(0x10000001));
  EXPECT_EQ(items_->next(idFrom(0x10000001)), idFrom(0x10000002));
  EXPECT_EQ(items_->next(idFrom(0x10000002)), LWITEM_NULL);
  EXPECT_EQ(items_->first(LWI_CAMERA, LWITEM_NULL), idFrom(0x30000000));
  EXPECT_EQ(items_->next(idFrom(0x30000000)), idFrom(0x30000001));
  EXPECT_EQ(items_->first(LWI_LIGHT, LWITEM_NULL), idFrom(0x20000000));
  EXPECT_STREQ(items_->name(idFrom(0x10000001)), "Arm");
  EXPECT_STREQ(items_->name(idFrom(0x30000001)), "Cam2");
  EXPECT_EQ(items_->type(idFrom(0x20000000)), LWI_LIGHT);
  EXPECT_EQ(items_->parent(idFrom(0x10000001)), idFrom(0x10000000));
  EXPECT_EQ(items_->parent(idFrom(0x10000000)), LWITEM_NULL);
  EXPECT_NE(items_->chanGroup(idFrom(0x10000000)), nullptr);
  auto* sceneInfo = static_cast<const LWSceneInfo*>(registry_.lookup(LWSCENEINFO_GLOBAL));
  ASSERT_NE(sceneInfo, nullptr);
  EXPECT_EQ(sceneInfo->renderCamera(0.5), idFrom(0x30000001));
  EXPECT_EQ(sceneInfo->framesPerSecond, 24.0);
  EXPECT_EQ(sceneInfo->frameStart, 3);
  EXPECT_EQ(sceneInfo->frameEnd, 9);
}

// Deleting renumbers only the later items of the deleted one's type, and the walk skips it.
TEST_F(SceneServicesTest, ARemovedItemRenumbersTheLaterItemsOfItsType) {
  EXPECT_THROW(scene_.removeItem(0), std::invalid_argument);  // the parent of Arm
  EXPECT_THROW(scene_.removeItem(4), std::invalid_argument);  // the render camera
  EXPECT_THROW(scene_.removeItem(6), std::invalid_argument);  // no such item
  EXPECT_EQ(scene_.removeItem(1), (std::vector<LWItemID>{idFrom(0x30000001), idFrom(0x30000000), nullptr}));
  EXPECT_EQ(items_->first(LWI_CAMERA, LWITEM_NULL), idFrom(0x30000000));
  EXPECT_STREQ(items_->name(idFrom(0x30000000)), "Cam2");
  EXPECT_EQ(items_->next(idFrom(0x30000000)), LWITEM_NULL);
  EXPECT_EQ(scene_.removeItem(3), (std::vector<LWItemID>{idFrom(0x10000002), idFrom(0x10000001), nullptr}));
  EXPECT_EQ(items_->next(idFrom(0x10000000)), idFrom(0x10000001));
  EXPECT_STREQ(items_->name(idFrom(0x10000001)), "Leg");
  EXPECT_EQ(items_->next(idFrom(0x10000001)), LWITEM_NULL);
  EXPECT_EQ(scene_.idOf(3), LWITEM_NULL);
  EXPECT_THROW(scene_.removeItem(3), std::invalid_argument);  // already removed
  EXPECT_EQ(scene_.removeItem(0), (std::vector<LWItemID>{idFrom(0x10000001), idFrom(0x10000000), nullptr}));
}

TEST_F(SceneServicesTest, UnknownIdsAnswerLikeAMissingItem) {
  for (uintptr_t unknown : {uintptr_t{0}, uintptr_t{0x10000003}, uintptr_t{0x20000001}, uintptr_t{0x40000000},
                            uintptr_t{0x7}, uintptr_t{0x110000000}}) {
    SCOPED_TRACE(unknown);
    for (LWItemParam code : {LWIP_POSITION, LWIP_RIGHT, LWIP_UP, LWIP_FORWARD, LWIP_PIVOT, LWIP_W_POSITION,
                             LWIP_W_RIGHT, LWIP_W_UP, LWIP_W_FORWARD}) {
      double v[3] = {7, 7, 7};
      items_->param(idFrom(unknown), code, 0.0, v);
      EXPECT_EQ(v[0], 0.0);
      EXPECT_EQ(v[1], 0.0);
      EXPECT_EQ(v[2], 0.0);
    }
    EXPECT_STREQ(items_->name(idFrom(unknown)), "");
    EXPECT_EQ(items_->chanGroup(idFrom(unknown)), nullptr);
    EXPECT_EQ(items_->next(idFrom(unknown)), LWITEM_NULL);
    EXPECT_EQ(items_->parent(idFrom(unknown)), LWITEM_NULL);
  }
  double v[3] = {7, 7, 7};
  items_->param(idFrom(0x10000000), 12, 0.0, v);  // the pivot's rotation, which this host does not answer
  EXPECT_EQ(v[0] + v[1] + v[2], 0.0);
}

TEST_F(SceneServicesTest, ParamsAnswerAsTheHostDocumentsThem) {
  struct Case {
    LWItemParam code;
    Vec3 expected;
  };
  // Arm at t = 0.5: at (0, 0, 3), banked 90 degrees, scaled (0.5, 1, 1), under Rig, which sits at
  // (1, 0, 0) turned 90 degrees (heading) and scaled (1, 1, 2). Rig's A has the columns
  // (0, 0, -1), (0, 1, 0), (2, 0, 0); Arm's own R * S the columns (0, 0.5, 0), (-1, 0, 0),
  // (0, 0, 1). So Arm's world position is Rig's A * (0, 0, 3) + (1, 0, 0) = (7, 0, 0), its A has
  // the columns (0, 0.5, 0), (0, 0, 1), (2, 0, 0), and the inverse maps world x to (0, 0, 0.5),
  // y to (2, 0, 0) and z to (0, 1, 0). Rig's pivot point, the origin of its frame, takes no
  // part in where Arm is.
  const double quarterTurn = std::acos(0.0);
  const Case cases[] = {
      {LWIP_POSITION, {0, 0, 3}},
      {LWIP_RIGHT, {0, 0.5, 0}},
      {LWIP_UP, {0, 0, 1}},
      {LWIP_FORWARD, {2, 0, 0}},
      {LWIP_ROTATION, {0, 0, quarterTurn}},
      {LWIP_SCALING, {0.5, 1, 1}},
      {LWIP_PIVOT, {1, 0, 0}},
      {LWIP_W_POSITION, {7, 0, 0}},
      {LWIP_W_RIGHT, {0, 0, 0.5}},
      {LWIP_W_UP, {2, 0, 0}},
      {LWIP_W_FORWARD, {0, 1, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    double v[3];
    items_->param(idFrom(0x10000001), c.code, 0.5, v);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(v[i], c.expected[i], 1e-12);
  }
  // Arm's point (1, 1, 1), one up and one forward of its pivot point: A (0, 1, 1) + (7, 0, 0).
  const Vec3 placed = scene_.meshPlacement(3, 0.5).apply(scene_.items[3].points[1]);
  for (int i = 0; i < 3; ++i)
    EXPECT_NEAR(placed[static_cast<size_t>(i)], (Vec3{9, 0, 1})[static_cast<size_t>(i)], 1e-12);
}

TEST_F(SceneServicesTest, WeightMapsByNameAndPoint) {
  const LWObjectFuncs* objects = SceneServices::objectFuncs();
  EXPECT_EQ(objects->numObjects(), 3);
  ASSERT_EQ(objects->numVMaps(LWVMAP_WGHT), 3);
  EXPECT_STREQ(objects->vmapName(LWVMAP_WGHT, 0), "Tip");
  EXPECT_STREQ(objects->vmapName(LWVMAP_WGHT, 1), "Root");
  EXPECT_STREQ(objects->vmapName(LWVMAP_WGHT, 2), "Side");
  EXPECT_EQ(objects->vmapName(LWVMAP_WGHT, 3), nullptr);
  EXPECT_EQ(objects->numVMaps(LWID_('T', 'X', 'U', 'V')), 0);

  LWMeshInfo* arm = services_.meshInfo(3);
  LWMeshInfo* leg = services_.meshInfo(5);
  EXPECT_EQ(arm->numPoints(arm), 2);
  const LWVMapID tip = arm->pntVIDLookup(arm, LWVMAP_WGHT, "Tip");
  ASSERT_NE(tip, nullptr);
  EXPECT_EQ(arm->pntVIDLookup(arm, LWVMAP_WGHT, "Side"), nullptr);
  EXPECT_EQ(arm->pntVIDLookup(arm, LWID_('M', 'O', 'R', 'F'), "Tip"), nullptr);
  // The lookup that selects the map answers the same, and is counted for the tests to refuse.
  EXPECT_EQ(services_.selectingLookups(), 0);
  EXPECT_EQ(arm->pntVLookup(arm, LWVMAP_WGHT, "Tip"), tip);
  EXPECT_EQ(services_.selectingLookups(), 1);

  float value = -1.0f;
  EXPECT_EQ(arm->pntVIDGet(arm, SceneServices::pointId(0), &value, tip), 1);
  EXPECT_EQ(value, 0.25f);
  value = -1.0f;
  EXPECT_EQ(arm->pntVIDGet(arm, SceneServices::pointId(1), &value, tip), 0) << "null weight";
  EXPECT_EQ(services_.nullMapReads(), 0);
  EXPECT_EQ(arm->pntVIDGet(arm, SceneServices::pointId(0), &value, nullptr), 0) << "null map";
  EXPECT_EQ(services_.nullMapReads(), 1) << "a read the module should not make is counted";
  EXPECT_EQ(arm->pntVIDGet(arm, SceneServices::pointId(2), &value, tip), 0) << "no such point";
  EXPECT_EQ(arm->pntVIDGet(arm, nullptr, &value, tip), 0) << "null point";
  EXPECT_EQ(leg->pntVIDGet(leg, SceneServices::pointId(0), &value, tip), 0) << "another object's map";
  EXPECT_EQ(value, -1.0f);
}

TEST(PointNormals, AreAreaWeightedSumsOfThePolygonNormals) {
  // Two faces on the edge from point 0 to point 1: one in the xy plane facing +z, one twice as
  // large in the xz plane facing +y; point 4 is on no polygon.
  const Scene scene = parseScene(R"({"fps": 24, "frames": [0, 1], "items": [{"name": "Tent", "type": "object",
      "points": [[0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 2], [5, 5, 5]], "polygons": [[0, 1, 2], [0, 3, 1]]}]})",
                                 "tent.json");
  const double k = 1.0 / std::sqrt(5.0);
  const std::vector<Vec3> expected = {{0, 2 * k, k}, {0, 2 * k, k}, {0, 0, 1}, {0, 1, 0}, {0, 0, 0}};
  const std::vector<Vec3> normals = pointNormals(scene.items[0]);
  ASSERT_EQ(normals.size(), expected.size());
  for (size_t p = 0; p < normals.size(); ++p) {
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(normals[p][c], expected[p][c], 1e-12) << "point " << p;
  }
}

TEST_F(SceneServicesTest, InstanceUpdatesAndLocaleAreAnswered) {
  auto* update = reinterpret_cast<LWInstUpdate*>(registry_.lookup(LWINSTUPDATE_GLOBAL));
  ASSERT_NE(update, nullptr);
  int a = 0;
  int b = 0;
  update(LWDISPLACEMENT_HCLASS, &a);
  update(LWDISPLACEMENT_HCLASS, &b);
  EXPECT_EQ(services_.takeUpdateRequests(), (std::vector<LWInstance>{&a, &b}));
  EXPECT_TRUE(services_.takeUpdateRequests().empty());
  EXPECT_EQ(reinterpret_cast<uintptr_t>(registry_.lookup(LWLOCALEINFO_GLOBAL)), 0x409u);
}

}  // namespace
}  // namespace tarrow::host
