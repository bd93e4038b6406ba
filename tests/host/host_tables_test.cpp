// Every table the stand-in host hands to a module, as the module gets it: each function slot holds
// either the host's function or a stopper, none is left empty.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "host/scene/scene_file.h"
#include "host/services/block_store.h"
#include "host/services/node_editor.h"
#include "host/services/scene_services.h"
#include "host/services/xpanel_service.h"

namespace tarrow::host {
namespace {

class HostTablesTest : public ::testing::Test {
 protected:
  HostTablesTest() {
    services_.registerInto(registry_);
    nodeEditor_.registerInto(registry_);
    panels_.registerInto(registry_);
  }

  Scene scene_ = parseScene(R"({"fps": 25, "frames": [2, 40], "items": [
      {"name": "Quad", "type": "object", "points": [[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]],
       "polygons": [[0, 1, 2, 3]]}]})",
                            "tables.json");
  SceneServices services_{scene_};
  NodeEditorService nodeEditor_;
  XPanelService panels_;
  ServiceRegistry registry_;
  BlockWriter writer_;
  BlockReader reader_{""};
};

TEST_F(HostTablesTest, EveryFunctionSlotIsFilled) {
  struct Case {
    const char* table;
    const void* record;
    std::size_t firstSlot;  // offset of the first function member
    std::size_t end;        // sizeof the record, or the end of its last function member we know
  };
  const Case cases[] = {
      {"LWItemInfo", registry_.lookup(LWITEMINFO_GLOBAL), 0, sizeof(LWItemInfo)},
      {"LWObjectFuncs", registry_.lookup(LWOBJECTFUNCS_GLOBAL), 0, sizeof(LWObjectFuncs)},
      {"LWMeshInfo", services_.meshInfo(0), offsetof(LWMeshInfo, destroy), sizeof(LWMeshInfo)},
      {"LWSceneInfo", registry_.lookup(LWSCENEINFO_GLOBAL), offsetof(LWSceneInfo, renderCamera),
       offsetof(LWSceneInfo, laterMembers)},
      {"LWXPanelFuncs", registry_.lookup(LWXPANELFUNCS_GLOBAL), offsetof(LWXPanelFuncs, create),
       sizeof(LWXPanelFuncs)},
      {"LWNodeEditorFuncs", registry_.lookup(LWNODEEDITORFUNCS_GLOBAL), 0, sizeof(LWNodeEditorFuncs)},
      {"LWNodeInputFuncs", registry_.lookup(LWNODEINPUTFUNCS_GLOBAL), 0, sizeof(LWNodeInputFuncs)},
      {"LWNodeFuncs", registry_.lookup(LWNODEFUNCS_GLOBAL), 0, sizeof(LWNodeFuncs)},
      {"LWSaveState", writer_.state(), offsetof(LWSaveState, write), sizeof(LWSaveState)},
      {"LWLoadState", reader_.state(), offsetof(LWLoadState, read), sizeof(LWLoadState)},
  };
  for (const Case& c : cases) {
    ASSERT_NE(c.record, nullptr) << c.table;
    for (std::size_t offset = c.firstSlot; offset < c.end; offset += sizeof(void*)) {
      std::uintptr_t slot = 0;
      std::memcpy(&slot, static_cast<const char*>(c.record) + offset, sizeof slot);
      EXPECT_NE(slot, 0u) << c.table << " member " << offset / sizeof(void*) << " is empty";
    }
  }
}

TEST_F(HostTablesTest, DataMembersHoldTheHostsValues) {
  const auto* xpanel = static_cast<const LWXPanelFuncs*>(registry_.lookup(LWXPANELFUNCS_GLOBAL));
  EXPECT_EQ(xpanel->version, 2);
  EXPECT_EQ(xpanel->drawf, nullptr);

  const auto* scene = static_cast<const LWSceneInfo*>(registry_.lookup(LWSCENEINFO_GLOBAL));
  EXPECT_STREQ(scene->name, "tables");
  EXPECT_STREQ(scene->filename, "tables.json");
  EXPECT_EQ(scene->numPoints, 4);
  EXPECT_EQ(scene->numPolygons, 1);
  EXPECT_EQ(scene->frameStart, 2);
  EXPECT_EQ(scene->frameEnd, 40);
  EXPECT_EQ(scene->frameStep, 1);
  EXPECT_EQ(scene->framesPerSecond, 25.0);
  EXPECT_EQ(scene->frameWidth, 640);
  EXPECT_EQ(scene->frameHeight, 480);
  EXPECT_EQ(scene->pixelAspect, 1.0);
  EXPECT_GE(scene->maxSamplesPerPixel, scene->minSamplesPerPixel);
  EXPECT_GT(scene->minSamplesPerPixel, 0);
  const int wholeFrame[4] = {0, 0, 639, 479};
  EXPECT_EQ(std::memcmp(scene->limitedRegion, wholeFrame, sizeof wholeFrame), 0);

  EXPECT_EQ(writer_.state()->ioMode, LWIO_SCENE);
  EXPECT_EQ(writer_.state()->writeData, &writer_);
  EXPECT_EQ(reader_.state()->ioMode, LWIO_SCENE);
  EXPECT_EQ(reader_.state()->readData, &reader_);
}

}  // namespace
}  // namespace tarrow::host
