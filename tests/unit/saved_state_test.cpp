#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_host.h"
#include "instance/saved_state.h"
#include "module_fixture.h"

namespace {

using fake::dp;
using fake::i4;
using fake::leaf;
using fake::str;
using fake::text;
using fake::u4;
using fixture::ModuleTest;
using tarrow::LagInstance;

class SavedStateTest : public ModuleTest {
 protected:
  LWError load(LagInstance& lag, fake::BlockReader& reader) { return inst.load(&lag, &reader.state); }
};

TEST_F(SavedStateTest, DefaultsSaveSevenBlocksInOrder) {
  LagInstance& lag = make();
  fake::BlockWriter writer;
  host.editorCalls.clear();
  EXPECT_EQ(inst.save(&lag, &writer.state), nullptr);
  // clang-format off
  const std::vector<std::string> expected = {
      "begin IVER Version 1",    "I4 1", "end",          "begin LAGR LagRate 1",   "DP 0",  "end",
      "begin PITM PivotItem 1",  "I4 0", "U4 0",         "end",                    "begin PLOC PivotLocal 1",
      "I4 0",                    "end",  "begin WMAP WeightMap 1", "I4 0",         "Str \"\"", "end",
      "begin NODU UseNode 1",    "I4 0", "end",          "begin NODT NodeTree 0",  "Str \"network\"", "end"};
  // clang-format on
  EXPECT_EQ(writer.log, expected);
  EXPECT_EQ(host.editorCalls, std::vector<std::string>{"save(" + text(lag.nodeEditor) + ")"});
  // Each block is opened with its own entry of the one table.
  ASSERT_EQ(writer.idents.size(), 7u);
  for (std::size_t k = 0; k < 7; ++k) EXPECT_EQ(writer.idents[k], &tarrow::kSavedBlocks[k]);
  EXPECT_EQ(tarrow::kSavedBlocks[7].id, 0u);
  EXPECT_EQ(tarrow::kSavedBlocks[7].token, nullptr);
}

TEST_F(SavedStateTest, SaveReportsTheNodeEditorsError) {
  LagInstance& lag = make();
  host.nodeSaveResult = "network refused";
  fake::BlockWriter writer;
  EXPECT_STREQ(inst.save(&lag, &writer.state), "network refused");
  EXPECT_EQ(writer.log.back(), "end");  // the block is closed all the same
}

TEST_F(SavedStateTest, SettingsSurviveSaveAndLoad) {
  LagInstance& from = make();
  from.lagRate = -0.125;
  from.pivotIndex = 3;
  from.pivotItem = fake::item(0x10000003);
  from.localPivot = 1;
  from.weightMapIndex = 2;
  from.weightMapName = "Tail";
  from.useNode = 1;
  fake::BlockWriter writer;
  ASSERT_EQ(inst.save(&from, &writer.state), nullptr);

  LagInstance& to = make(fake::item(0x105));
  fake::BlockReader reader(writer.blocks);
  host.editorCalls.clear();
  EXPECT_EQ(load(to, reader), nullptr);
  EXPECT_EQ(to.lagRate, -0.125);
  EXPECT_EQ(to.pivotIndex, 3);
  EXPECT_EQ(to.pivotItem, fake::item(0x10000003));
  EXPECT_EQ(to.localPivot, 1);
  EXPECT_EQ(to.weightMapIndex, 2);
  EXPECT_EQ(to.weightMapName, "Tail");
  EXPECT_EQ(to.useNode, 1);
  EXPECT_EQ(to.objectId, fake::item(0x105));
  EXPECT_EQ(host.editorCalls, std::vector<std::string>{"load(" + text(to.nodeEditor) + ")"});
}

TEST_F(SavedStateTest, LoadReadsBlocksWhereTheyStand) {
  struct Case {
    const char* name;
    std::vector<fake::Block> blocks;
    double lagRate;
    int32_t pivotIndex;
    std::uintptr_t pivotItem;
    int32_t localPivot;
    int32_t weightMapIndex;
    std::string weightMapName;
    int32_t useNode;
    bool nodeTreeRead;
  };
  const std::string longName(300, 'w');
  const std::string tooLong(tarrow::kMaxWeightMapNameLength + 1, 'x');
  // clang-format off
  const Case cases[] = {
      {"empty", {}, 0, 0, 0, 0, 0, "", 0, false},
      {"only the lag rate", {leaf("LAGR", {dp(1.5)})}, 1.5, 0, 0, 0, 0, "", 0, false},
      {"version 2 reads like 1",
       {leaf("IVER", {i4(2)}), leaf("LAGR", {dp(0.5)}), leaf("NODU", {i4(1)})}, 0.5, 0, 0, 0, 0, "", 1, false},
      {"other order",
       {leaf("NODU", {i4(1)}), leaf("WMAP", {i4(4), str("Map")}), leaf("PLOC", {i4(1)}),
        leaf("PITM", {i4(2), u4(0x2345)}), leaf("LAGR", {dp(2.0)})},
       2.0, 2, 0x2345, 1, 4, "Map", 1, false},
      {"the node tree ends the reading",
       {leaf("LAGR", {dp(0.75)}), leaf("NODT", {}), leaf("NODU", {i4(1)}), leaf("PLOC", {i4(1)})},
       0.75, 0, 0, 0, 0, "", 0, true},
      {"long weight map names come back whole",
       {leaf("WMAP", {i4(1), str(longName)})}, 0, 0, 0, 0, 1, longName, 0, false},
      {"names longer than the panel ever takes are cut to that length",
       {leaf("WMAP", {i4(1), str(tooLong)})}, 0, 0, 0, 0, 1, tooLong.substr(0, tarrow::kMaxWeightMapNameLength),
       0, false},
      {"values a block lacks leave their settings as they were",
       {leaf("PITM", {i4(1), u4(0x10000000)}), leaf("WMAP", {i4(1), str("Tip")}), leaf("PITM", {i4(2)}),
        leaf("WMAP", {i4(1)}), leaf("LAGR", {dp(0.5)}), leaf("LAGR", {}), leaf("PLOC", {i4(1)}), leaf("PLOC", {}),
        leaf("NODU", {i4(1)}), leaf("NODU", {str("1")})},
       0.5, 2, 0x10000000, 1, 1, "Tip", 1, false},
      {"unknown blocks are skipped",
       {leaf("ABCD", {i4(9)}), leaf("PLOC", {i4(1)}), leaf("ZZZZ", {})}, 0, 0, 0, 1, 0, "", 0, false},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LagInstance& lag = make();
    fake::BlockReader reader(c.blocks);
    host.editorCalls.clear();
    EXPECT_EQ(load(lag, reader), nullptr);
    EXPECT_EQ(lag.lagRate, c.lagRate);
    EXPECT_EQ(lag.pivotIndex, c.pivotIndex);
    EXPECT_EQ(lag.pivotItem, fake::item(c.pivotItem));
    EXPECT_EQ(lag.localPivot, c.localPivot);
    EXPECT_EQ(lag.weightMapIndex, c.weightMapIndex);
    EXPECT_EQ(lag.weightMapName, c.weightMapName);
    EXPECT_EQ(lag.useNode, c.useNode);
    EXPECT_STREQ(lag.description, "Tarrow_plus (1.00) 03/25");
    EXPECT_EQ(host.editorCalls.size(), c.nodeTreeRead ? 1u : 0u);
  }
}

TEST_F(SavedStateTest, NodeEditorLoadErrorIsPassedBackAfterEarlierSettings) {
  LagInstance& lag = make();
  host.nodeLoadResult = "broken network";
  fake::BlockReader reader({leaf("LAGR", {dp(0.5)}), leaf("NODT", {}), leaf("PLOC", {i4(1)})});
  EXPECT_STREQ(load(lag, reader), "broken network");
  EXPECT_EQ(lag.lagRate, 0.5);
  EXPECT_EQ(lag.localPivot, 0);
  const std::vector<std::string> expected = {"find LAGR", "read d", "end", "find NODT", "end"};
  EXPECT_EQ(reader.log, expected);
}

}  // namespace
