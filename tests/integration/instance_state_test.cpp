// Instances and their saved state through the module file: what a scene stores, and what
// loading a stored (or damaged) state does to the settings.
#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

#include "common/lag_instance.h"
#include "loaded_module_fixture.h"

namespace tarrow::integration {
namespace {

// The six leaf blocks of an instance with default settings, before the node network.
constexpr const char* kDefaultLeaves =
    "{ Version 1 }\n"
    "{ LagRate 0 }\n"
    "{ PivotItem 0 0 }\n"
    "{ PivotLocal 0 }\n"
    "{ WeightMap 0 \"\" }\n"
    "{ UseNode 0 }\n";

// The leaf blocks of a state with every setting changed; the pivot is the "Ball" (3rd object).
constexpr const char* kChangedLeaves =
    "{ Version 1 }\n"
    "{ LagRate -0.125 }\n"
    "{ PivotItem 3 10000002 }\n"
    "{ PivotLocal 1 }\n"
    "{ WeightMap 2 \"Fade {tip} \\\\ end\" }\n"
    "{ UseNode 1 }\n";

std::string leavesOf(const std::string& saved) {
  const auto tree = saved.find("{ NodeTree");
  return tree == std::string::npos ? saved : saved.substr(0, tree);
}

class InstanceStateTest : public LoadedModuleTest {
 protected:
  void SetUp() override { ASSERT_EQ(activateHandler(), AFUNC_OK); }
};

TEST_F(InstanceStateTest, FreshInstanceDescribesAndSavesItsDefaults) {
  LWInstance instance = create();
  EXPECT_STREQ(inst_.descln(instance), "Tarrow_plus (1.00) 03/25");
  const LWItemID* used = item_.useItems(instance);
  EXPECT_EQ(used[0], LWITEM_NULL);

  const std::string saved = save(instance);
  EXPECT_EQ(leavesOf(saved), kDefaultLeaves);
  // The node network travels last, in a block of its own that closes the state.
  ASSERT_EQ(saved.find("{ NodeTree"), std::string(kDefaultLeaves).size());
  EXPECT_TRUE(saved.ends_with("}\n")) << saved;
  inst_.destroy(instance);
}

TEST_F(InstanceStateTest, SaveLoadSaveGivesTheSameTextByteForByte) {
  LWInstance first = create();
  ASSERT_EQ(load(first, kChangedLeaves), nullptr);
  const std::string saved = save(first);
  EXPECT_EQ(leavesOf(saved), kChangedLeaves);

  LWInstance second = create(2);
  ASSERT_EQ(load(second, saved), nullptr);
  EXPECT_EQ(save(second), saved);
  const LWItemID* used = item_.useItems(second);
  EXPECT_EQ(used[0], object(2));
  EXPECT_EQ(used[1], LWITEM_NULL);
  inst_.destroy(first);
  inst_.destroy(second);
}

struct LoadCase {
  const char* name;
  std::string state;     // loaded into an instance holding kChangedLeaves' settings
  std::string expected;  // its leaf blocks afterwards
};

class LoadCases : public InstanceStateTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadCases, ReadsWhatItFindsAndKeepsTheRest) {
  LWInstance instance = create();
  ASSERT_EQ(load(instance, kChangedLeaves), nullptr);
  EXPECT_EQ(load(instance, GetParam().state), nullptr);
  EXPECT_EQ(leavesOf(save(instance)), GetParam().expected);
  inst_.destroy(instance);
}

const std::string kChanged = kChangedLeaves;
std::string replaced(std::string text, const std::string& from, const std::string& to) {
  text.replace(text.find(from), from.size(), to);
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    States, LoadCases,
    ::testing::Values(LoadCase{"OnlyLagRate", "{ LagRate 2.5 }\n", replaced(kChanged, "-0.125", "2.5")},
                      LoadCase{"VersionTwoReadsTheSame", "{ Version 2 }\n{ LagRate 3 }\n",
                               replaced(kChanged, "-0.125", "3")},
                      LoadCase{"OtherOrder",
                               "{ UseNode 0 }\n{ PivotLocal 0 }\n{ LagRate 1 }\n{ PivotItem 0 0 }\n",
                               "{ Version 1 }\n{ LagRate 1 }\n{ PivotItem 0 0 }\n{ PivotLocal 0 }\n"
                               "{ WeightMap 2 \"Fade {tip} \\\\ end\" }\n{ UseNode 0 }\n"},
                      LoadCase{"NothingAfterTheNodeTreeIsRead",
                               "{ LagRate 1 }\n{ NodeTree\n}\n{ LagRate 9 }\n{ UseNode 0 }\n",
                               replaced(kChanged, "-0.125", "1")},
                      LoadCase{"UnknownBlocksAreSkipped",
                               "{ Colour 1 2 3 }\n{ Nested\n  { LagRate 7 }\n}\n{ PivotLocal 0 }\n",
                               replaced(kChanged, "{ PivotLocal 1 }", "{ PivotLocal 0 }")},
                      LoadCase{"Empty", "", kChanged}, LoadCase{"Garbage", "}}}{{{ \"\\", kChanged},
                      LoadCase{"TruncatedInsideABlock", "{ LagRate 4 }\n{ WeightMap 5",
                               replaced(replaced(kChanged, "-0.125", "4"), "WeightMap 2", "WeightMap 5")},
                      LoadCase{"ValueOfTheWrongKind", "{ LagRate \"fast\" }\n{ PivotLocal x }\n", kChanged}),
    [](const ::testing::TestParamInfo<LoadCase>& param) { return std::string(param.param.name); });

TEST_F(InstanceStateTest, WeightMapNamesComeBackWholeUpToTheLongestThePanelTakes) {
  LWInstance instance = create();
  const std::size_t longest = tarrow::kMaxWeightMapNameLength;
  for (const std::size_t length : {std::size_t{300}, longest, longest + 200}) {
    const std::string name(length, 'w');
    ASSERT_EQ(load(instance, "{ WeightMap 1 \"" + name + "\" }\n"), nullptr);
    EXPECT_NE(save(instance).find("{ WeightMap 1 \"" + name.substr(0, longest) + "\" }\n"), std::string::npos)
        << length;
  }
  inst_.destroy(instance);
}

TEST_F(InstanceStateTest, RandomBytesNeverCrashTheLoad) {
  std::mt19937 random(20261208);
  std::string noise(1 << 20, '\0');
  std::generate(noise.begin(), noise.end(), [&] { return static_cast<char>(random() & 0xFF); });
  // Sprinkle tokens the reader looks for, so that it gets past the first brace now and then.
  for (size_t at = 0; at + 16 < noise.size(); at += 4099) noise.replace(at, 11, "{ LagRate 1");
  LWInstance instance = create();
  load(instance, noise);
  EXPECT_EQ(save(instance).substr(0, 14), "{ Version 1 }\n");
  inst_.destroy(instance);
}

TEST_F(InstanceStateTest, ItemReferencesFollowTheHost) {
  LWInstance first = create();
  LWInstance second = create(1);
  ASSERT_EQ(load(first, "{ PivotItem 2 10000001 }\n"), nullptr);  // the "Pivot"
  ASSERT_EQ(load(second, "{ PivotItem 3 10000002 }\n"), nullptr);
  const LWItemID* list = item_.useItems(first);
  EXPECT_EQ(list[0], object(1));
  const LWItemID* other = item_.useItems(second);  // each instance's own list
  EXPECT_EQ(other[0], object(2));
  EXPECT_EQ(list[0], object(1));

  const LWItemID renamed = object(2);
  const LWItemID pairs[] = {object(2), object(0), object(1), renamed, object(1), object(2), nullptr, nullptr};
  item_.changeID(first, pairs);  // the first pair naming the pivot wins; the panel shows its place
  EXPECT_NE(save(first).find("{ PivotItem 3 10000002 }"), std::string::npos);
  const LWItemID toNothing[] = {object(2), nullptr, nullptr, nullptr};
  item_.changeID(first, toNothing);
  EXPECT_NE(save(first).find("{ PivotItem 0 0 }"), std::string::npos);  // item gone: none shown
  const LWItemID none[] = {nullptr, object(1)};
  item_.changeID(second, none);
  EXPECT_NE(save(second).find("{ PivotItem 3 10000002 }"), std::string::npos);
  inst_.destroy(first);
  inst_.destroy(second);
}

TEST_F(InstanceStateTest, CopyTakesSettingsButKeepsTheDestinationsOwnThings) {
  LWInstance from = create(0);
  LWInstance to = create(2);
  ASSERT_EQ(load(from, kChangedLeaves), nullptr);
  EXPECT_STREQ(inst_.copy(to, nullptr), "Copy Error!");
  EXPECT_STREQ(inst_.copy(nullptr, from), "Copy Error!");
  EXPECT_EQ(leavesOf(save(to)), kDefaultLeaves);

  EXPECT_EQ(inst_.copy(to, from), nullptr);
  EXPECT_EQ(save(to), save(from));
  EXPECT_STREQ(inst_.descln(to), "Tarrow_plus (1.00) 03/25");
  EXPECT_EQ(inst_.copy(from, from), nullptr);
  EXPECT_EQ(leavesOf(save(from)), kChangedLeaves);

  // The copy is independent: changing the source afterwards leaves it alone.
  ASSERT_EQ(load(from, "{ LagRate 42 }\n"), nullptr);
  EXPECT_EQ(leavesOf(save(to)), kChangedLeaves);
  inst_.destroy(from);
  inst_.destroy(to);
  inst_.destroy(nullptr);
}

// Run under AddressSanitizer and LeakSanitizer this shows the whole life of an instance leaks
// and corrupts nothing; TARROW_CYCLES shortens it where a run is slow (under Wine).
TEST_F(InstanceStateTest, ManyLifeCyclesRunClean) {
  const char* configured = std::getenv("TARROW_CYCLES");
  const int cycles = configured != nullptr ? std::atoi(configured) : 100000;
  std::string state = kChangedLeaves;
  for (int i = 0; i < cycles; ++i) {
    LWInstance a = create(i % 3);
    LWInstance b = create((i + 1) % 3);
    ASSERT_EQ(load(a, state), nullptr);
    ASSERT_EQ(inst_.copy(b, a), nullptr);
    state = save(b);
    inst_.destroy(a);
    inst_.destroy(b);
  }
  EXPECT_EQ(leavesOf(state), kChangedLeaves);
  EXPECT_EQ(nodeEditor_.liveEditors(), 0u);
}

}  // namespace
}  // namespace tarrow::integration
