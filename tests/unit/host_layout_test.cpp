// Every record and table the module and the stand-in host share with the host, checked member by
// member against the host's binary layout: a member at another offset is a call of the wrong
// host function. The expected values come from the host interface documents (2015.3 and the
// newer generations), through the generated table; the actual ones from our declarations in
// sdk/, as this build compiles them.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "sdk/lwserver.h"

namespace {

struct Layout {
  std::string where;
  std::size_t actualOffset;
  std::size_t actualSize;
  std::size_t expectedOffset;
  std::size_t expectedSize;
};

#define HOST_MEMBER(record, member, offset, size) \
  {#record "." #member, offsetof(record, member), sizeof(record::member), offset, size},
#define HOST_RECORD(record, size) {#record, 0, sizeof(record), 0, size},

const std::vector<Layout> layouts = {
#include "host_layout_table.inc"
    // Past the interface documents' last row, from the host's behaviour sheet: the thread-safe
    // weight-map lookup and its neighbour.
    HOST_MEMBER(LWMeshInfo, pntVIDLookup, 232, 8)  //
    HOST_MEMBER(LWMeshInfo, VIDDimension, 240, 8)  //
    // The tail of 2015.3's "NodeEditorFuncs 4", as the host-behaviour sheet lists it.
    HOST_MEMBER(LWNodeEditorFuncs, getInputNodeID, 208, 8)     //
    HOST_MEMBER(LWNodeEditorFuncs, getEditorID, 216, 8)        //
    HOST_MEMBER(LWNodeEditorFuncs, getParentEditorID, 224, 8)  //
    HOST_MEMBER(LWNodeEditorFuncs, connect, 232, 8)            //
    HOST_MEMBER(LWNodeEditorFuncs, addNode, 240, 8)            //
    HOST_MEMBER(LWNodeEditorFuncs, destroyNode, 248, 8)        //
    HOST_MEMBER(LWNodeEditorFuncs, setXY, 256, 8)              //
    HOST_MEMBER(LWNodeEditorFuncs, setContext, 264, 8)         //
    HOST_MEMBER(LWNodeEditorFuncs, getContext, 272, 8)         //
    HOST_MEMBER(LWNodeEditorFuncs, usedItems, 280, 8)          //
};

#undef HOST_MEMBER
#undef HOST_RECORD

TEST(HostLayout, EveryMemberAndRecordMatchesTheHost) {
  ASSERT_EQ(layouts.size(), 448u);  // 407 members and 41 sizes, of every generation
  for (const Layout& layout : layouts) {
    EXPECT_EQ(layout.actualOffset, layout.expectedOffset) << layout.where;
    EXPECT_EQ(layout.actualSize, layout.expectedSize) << layout.where;
  }
}

}  // namespace
