#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/service_table.h"
#include "fake_host.h"
#include "module/activation.h"
#include "module_fixture.h"
#include "ui/labels.h"

extern "C" ModuleDescriptor _mod_descrip;

namespace {

using fixture::ModuleTest;

template <typename T>
T at(const void* base, std::size_t offset) {
  T value;
  std::memcpy(&value, static_cast<const unsigned char*>(base) + offset, sizeof value);
  return value;
}

TEST(Descriptor, RecordsHoldTheRegisteredBytes) {
  EXPECT_EQ(at<uint32_t>(&_mod_descrip, 0), 0x04121994u);
  EXPECT_EQ(at<uint32_t>(&_mod_descrip, 4), 3u);
  EXPECT_EQ(at<uint32_t>(&_mod_descrip, 8), 0x300u);
  EXPECT_EQ(at<uint32_t>(&_mod_descrip, 12), 0u);
  EXPECT_EQ(_mod_descrip.startup(), reinterpret_cast<void*>(std::uintptr_t{4}));
  _mod_descrip.shutdown(_mod_descrip.startup());

  const ServerRecord* servers = _mod_descrip.serverDefs;
  ASSERT_NE(servers, nullptr);
  struct Expected {
    const char* className;
    ActivateFunc* activate;
  };
  const Expected expected[] = {{"DisplacementHandler", tarrow::activateHandler},
                               {"DisplacementInterface", tarrow::activateInterface}};
  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE(k);
    EXPECT_STREQ(servers[k].className, expected[k].className);
    EXPECT_STREQ(servers[k].name, "Tarrow_plus");
    EXPECT_EQ(servers[k].activate, expected[k].activate);
    EXPECT_EQ(servers[k].tagInfo, servers[0].tagInfo);
  }
  EXPECT_EQ(servers[2].className, nullptr);
  EXPECT_EQ(servers[2].name, nullptr);
  EXPECT_EQ(servers[2].activate, nullptr);
  EXPECT_EQ(servers[2].tagInfo, nullptr);

  const ServerTagInfo* tags = servers[0].tagInfo;
  EXPECT_STREQ(at<const char*>(tags, 0), "Tarrow_plus");
  EXPECT_EQ(at<uint32_t>(tags, 8), 0x409u);
  EXPECT_EQ(at<uint32_t>(tags, 12), 0u);
  EXPECT_EQ(at<const char*>(tags, 16), nullptr);
  EXPECT_EQ(at<uint32_t>(tags, 24), 0u);
  EXPECT_EQ(at<uint32_t>(tags, 28), 0u);
}

// Slots the tests expect to stay as the host left them.
void* const untouched = reinterpret_cast<void*>(std::uintptr_t{0xDEAD});

// Versions of no generation are refused before anything is asked; 6 belongs to hosts from 2020
// on, and this host, found at the first activation, is 2015.3.
TEST_F(ModuleTest, WrongVersionsAreRefusedWithoutTouchingAnything) {
  for (int32_t version : {4, 6, 7, 0, -5}) {
    SCOPED_TRACE(version);
    LWInstanceFuncs funcs{};
    funcs.create = reinterpret_cast<decltype(funcs.create)>(untouched);
    LWDisplacementHandler local{&funcs, nullptr, nullptr, nullptr, nullptr};
    host.globalRequests.clear();
    EXPECT_EQ(tarrow::activateHandler(version, fake::global, &local, nullptr), AFUNC_BADVERSION);
    EXPECT_EQ(reinterpret_cast<void*>(funcs.create), untouched);
    EXPECT_EQ(local.evaluate, nullptr);
    EXPECT_TRUE(host.globalRequests.empty());
  }
  for (int32_t version : {5, 3, 6, 0}) {
    SCOPED_TRACE(version);
    LWInterface local{untouched, nullptr, nullptr, nullptr};
    EXPECT_EQ(tarrow::activateInterface(version, fake::global, &local, nullptr), AFUNC_BADVERSION);
    EXPECT_EQ(local.inst, untouched);
  }
}

TEST_F(ModuleTest, MissingLocalRecordsAreRefused) {
  EXPECT_EQ(tarrow::activateHandler(5, fake::global, nullptr, nullptr), AFUNC_BADLOCAL);
  LWDisplacementHandler withoutInst{nullptr, nullptr, nullptr, nullptr, nullptr};
  EXPECT_EQ(tarrow::activateHandler(5, fake::global, &withoutInst, nullptr), AFUNC_BADLOCAL);
  EXPECT_EQ(withoutInst.evaluate, nullptr);
  EXPECT_TRUE(host.globalRequests.empty());
  EXPECT_EQ(tarrow::activateInterface(4, fake::global, nullptr, nullptr), AFUNC_BADLOCAL);
}

TEST_F(ModuleTest, InterfaceWithoutInstanceSucceedsWithoutPanel) {
  auto* sentinel = reinterpret_cast<LWError (*)(LWInstance)>(untouched);
  LWInterface local{nullptr, reinterpret_cast<LWXPanelID>(untouched), sentinel, nullptr};
  EXPECT_EQ(tarrow::activateInterface(4, fake::global, &local, nullptr), AFUNC_OK);
  EXPECT_EQ(local.panel, nullptr);
  EXPECT_EQ(local.options, nullptr);
  EXPECT_EQ(local.command, nullptr);
  EXPECT_TRUE(host.globalRequests.empty());
}

TEST_F(ModuleTest, HandlerFillsEverySlotItWasGiven) {
  EXPECT_NE(inst.create, nullptr);
  EXPECT_NE(inst.destroy, nullptr);
  EXPECT_NE(inst.copy, nullptr);
  EXPECT_NE(inst.load, nullptr);
  EXPECT_NE(inst.save, nullptr);
  EXPECT_NE(inst.descln, nullptr);
  EXPECT_EQ(inst.priv, nullptr);
  EXPECT_NE(handler.evaluate, nullptr);
  EXPECT_NE(handler.flags, nullptr);
  EXPECT_NE(item.useItems, nullptr);
  EXPECT_NE(item.changeID, nullptr);
  EXPECT_NE(rend.init, nullptr);
  EXPECT_NE(rend.cleanup, nullptr);
  EXPECT_NE(rend.newTime, nullptr);

  // The host's private slot stays its own, and missing item and render records are skipped.
  LWInstanceFuncs funcs{};
  funcs.priv = untouched;
  LWDisplacementHandler bare{&funcs, nullptr, nullptr, nullptr, nullptr};
  EXPECT_EQ(tarrow::activateHandler(5, fake::global, &bare, nullptr), AFUNC_OK);
  EXPECT_EQ(funcs.priv, untouched);
  EXPECT_EQ(funcs.create, inst.create);
  EXPECT_EQ(bare.evaluate, handler.evaluate);
  EXPECT_EQ(bare.flags, handler.flags);
  EXPECT_EQ(bare.item, nullptr);
  EXPECT_EQ(bare.rend, nullptr);
}

// A render brackets the node editor's: init passes the host's mode on and the editor's error
// back as it is, cleanup follows; flags are the same for every instance.
TEST_F(ModuleTest, RenderInitAndCleanupBracketTheNodeEditor) {
  tarrow::LagInstance& fresh = make();
  tarrow::LagInstance& changed = make();
  changed.lagRate = 2.0;
  changed.useNode = 1;
  const LWError editorError = "the editor's own text";
  for (LWError answer : {static_cast<LWError>(nullptr), editorError}) {
    host.nodeInitResult = answer;
    for (tarrow::LagInstance* lag : {&fresh, &changed}) {
      for (int mode : {LWINIT_PREVIEW, LWINIT_RENDER, lw2025::LWINIT_INTERACTIVE_RENDER}) {
        SCOPED_TRACE(mode);
        host.editorCalls.clear();
        EXPECT_EQ(rend.init(lag, mode), answer);
        rend.cleanup(lag);
        const std::string editor = fake::text(lag->nodeEditor);
        EXPECT_EQ(host.editorCalls,
                  (std::vector<std::string>{"init(" + editor + "," + std::to_string(mode) + ")",
                                            "cleanup(" + editor + ")"}));
      }
      EXPECT_EQ(handler.flags(lag), 1u);
    }
  }
  host.editorCalls.clear();
  EXPECT_EQ(rend.init(nullptr, LWINIT_RENDER), nullptr);
  rend.cleanup(nullptr);
  EXPECT_EQ(handler.flags(nullptr), 1u);
  EXPECT_TRUE(host.editorCalls.empty());
  EXPECT_TRUE(host.paramCalls.empty());
}

TEST_F(ModuleTest, ServicesAreAskedForOnceAndLabelsAtEveryActivation) {
  const tarrow::ServiceTable& table = tarrow::services();
  EXPECT_TRUE(table.acquired);
  EXPECT_EQ(table.global, fake::global);
  EXPECT_EQ(table.itemInfo, &host.itemInfo);
  EXPECT_EQ(table.objectFuncs, &host.objectFuncs);
  EXPECT_EQ(table.xpanel, &host.xpanel);
  EXPECT_EQ(table.nodeEditor, &host.nodeEditor);
  EXPECT_EQ(table.nodeInput, &host.nodeInput);
  EXPECT_EQ(table.nodeFuncs, &host.nodeFuncs);
  EXPECT_NE(table.instUpdate, nullptr);
  EXPECT_STREQ(table.generation->release, "2015.3");
  EXPECT_EQ(table.nodes, &tarrow::kNodeInterface2015);

  for (int activation = 0; activation < 2; ++activation) {
    host.globalRequests.clear();
    EXPECT_EQ(tarrow::activateHandler(5, fake::global, &handler, nullptr), AFUNC_OK);
    EXPECT_EQ(host.globalRequests, std::vector<std::string>{"Locale Info/0"});
  }
}

TEST(ServiceTable, ConcurrentFirstActivationsBothSeeTheWholeTable) {
  fake::Host& host = fake::host();
  host.reset();
  host.recording = false;  // the fake's request log is not for two threads
  for (int round = 0; round < 20; ++round) {
    tarrow::ServiceTable table;
    std::atomic<int> waiting{2};
    bool complete[2] = {false, false};
    auto activate = [&](int k) {
      waiting.fetch_sub(1);
      while (waiting.load() != 0) {
      }
      tarrow::acquireServices(table, fake::global);
      complete[k] = table.itemInfo != nullptr && table.nodeFuncs != nullptr && table.instUpdate != nullptr;
    };
    std::thread first(activate, 0);
    std::thread second(activate, 1);
    first.join();
    second.join();
    EXPECT_TRUE(complete[0] && complete[1]) << round;
  }
  host.recording = true;
}

TEST(ServiceTable, FirstAcquisitionAsksEachServiceOnce) {
  fake::host().reset();
  tarrow::ServiceTable table;
  tarrow::acquireServices(table, fake::global);
  // Newest generation first, each until its first name without an answer.
  const std::vector<std::string> expected = {"LW Item Info 9/0", "LW Item Info 8/0",    "LW Scene Info 11/0",
                                             "LW Item Info 8/0", "LW Scene Info 10/0",  "Scene Objects 7/0",
                                             "LWXPanel 2/0",     "NodeEditorFuncs 4/0", "NodeInputFuncs 4/0",
                                             "NodeFuncs/0",      "Instance Update/0"};
  EXPECT_EQ(fake::host().globalRequests, expected);
  EXPECT_EQ(table.itemInfo, &fake::host().itemInfo);

  // A later acquisition through another global function changes nothing.
  fake::host().globalRequests.clear();
  tarrow::acquireServices(
      table, +[](const char*, int) -> void* { return nullptr; });
  EXPECT_TRUE(fake::host().globalRequests.empty());
  EXPECT_EQ(table.global, fake::global);
  EXPECT_EQ(table.itemInfo, &fake::host().itemInfo);
}

// A host that lacks one service of a generation gives none of it: without a generation whose
// every name answers the table keeps nothing, and a later acquisition asks again.
struct PartialHost {
  static inline const tarrow::HostGeneration* generation = nullptr;
  static inline std::size_t missing = tarrow::kGenerationServices;  // none

  static void* global(const char* name, int /*useMode*/) {
    for (std::size_t k = 0; k < tarrow::kGenerationServices; ++k) {
      if (k != missing && std::strcmp(name, generation->services[k]) == 0) return &missing;
    }
    return nullptr;
  }
};

TEST(ServiceTable, AGenerationWithOneServiceMissingIsNotTaken) {
  for (const tarrow::HostGeneration& generation : tarrow::kHostGenerations) {
    SCOPED_TRACE(generation.release);
    PartialHost::generation = &generation;
    tarrow::ServiceTable table;
    for (std::size_t missing = 0; missing < tarrow::kGenerationServices; ++missing) {
      SCOPED_TRACE(generation.services[missing]);
      PartialHost::missing = missing;
      EXPECT_FALSE(tarrow::acquireServices(table, PartialHost::global));
      EXPECT_FALSE(table.acquired);
      EXPECT_EQ(table.generation, nullptr);
      EXPECT_EQ(table.global, nullptr);
      EXPECT_EQ(table.itemInfo, nullptr);
    }
    PartialHost::missing = tarrow::kGenerationServices;
    ASSERT_TRUE(tarrow::acquireServices(table, PartialHost::global));
    EXPECT_EQ(table.generation, &generation);
    EXPECT_EQ(table.nodes, generation.nodes);
    EXPECT_NE(table.nodeEditor, nullptr);
  }
}

TEST_F(ModuleTest, LabelLanguageFollowsTheLowSixteenBitsOfTheLocale) {
  struct Case {
    std::uintptr_t answer;
    const tarrow::LabelTable* expected;
  };
  const Case cases[] = {{1041, &tarrow::kJapaneseLabels},      {0x12340411, &tarrow::kJapaneseLabels},
                        {1033, &tarrow::kEnglishLabels},       {0, &tarrow::kEnglishLabels},
                        {0x0412, &tarrow::kEnglishLabels},     {0x0410, &tarrow::kEnglishLabels},
                        {0x04110000, &tarrow::kEnglishLabels}, {1041, &tarrow::kJapaneseLabels}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    host.localeAnswer = c.answer;
    ASSERT_EQ(tarrow::activateHandler(5, fake::global, &handler, nullptr), AFUNC_OK);
    EXPECT_EQ(tarrow::PanelLabels.load(), c.expected);
  }
  // The interface activation leaves the choice alone.
  host.localeAnswer = 1033;
  LWInterface local{};
  EXPECT_EQ(tarrow::activateInterface(4, fake::global, &local, nullptr), AFUNC_OK);
  EXPECT_EQ(tarrow::PanelLabels.load(), &tarrow::kJapaneseLabels);
}

TEST(Labels, TablesDifferOnlyInTheButtonLabel) {
  const unsigned char editNode[] = {0x83, 0x6D, 0x81, 0x5B, 0x83, 0x68, 0x95, 0xD2, 0x8F, 0x57, 0x00};
  const unsigned char editNodeUtf8[] = {0xE3, 0x83, 0x8E, 0xE3, 0x83, 0xBC, 0xE3, 0x83,
                                        0x89, 0xE7, 0xB7, 0xA8, 0xE9, 0x9B, 0x86, 0x00};
  ASSERT_EQ(std::strlen(tarrow::kJapaneseLabels[0]), 10u);
  EXPECT_EQ(std::memcmp(tarrow::kJapaneseLabels[0], editNode, sizeof editNode), 0);
  ASSERT_EQ(std::strlen(tarrow::kJapaneseLabelsUtf8[0]), 15u);
  EXPECT_EQ(std::memcmp(tarrow::kJapaneseLabelsUtf8[0], editNodeUtf8, sizeof editNodeUtf8), 0);
  EXPECT_STREQ(tarrow::kEnglishLabels[0], "Edit Node");
  const char* const shared[] = {"", "Lag Rate (s/m)", "Tarrow Pivot Object", "Local Pivot", "Weight Map", ""};
  for (int k = 1; k < 7; ++k) {
    SCOPED_TRACE(k);
    EXPECT_STREQ(tarrow::kJapaneseLabels[k], shared[k - 1]);
    EXPECT_STREQ(tarrow::kJapaneseLabelsUtf8[k], shared[k - 1]);
    EXPECT_STREQ(tarrow::kEnglishLabels[k], shared[k - 1]);
  }
}

TEST(Labels, HostsThatReadUtf8GetTheUtf8Table) {
  fake::Host& host = fake::host();
  struct Case {
    unsigned int language;
    bool utf8;
    const tarrow::LabelTable* expected;
  };
  const Case cases[] = {{1041, true, &tarrow::kJapaneseLabelsUtf8},
                        {1041, false, &tarrow::kJapaneseLabels},
                        {1033, true, &tarrow::kEnglishLabels},
                        {0, true, &tarrow::kEnglishLabels}};
  for (const auto& [language, utf8, expected] : cases) {
    host.localeAnswer = language;
    tarrow::selectPanelLabels(fake::global, utf8);
    EXPECT_EQ(tarrow::PanelLabels.load(), expected) << language << " " << utf8;
  }
  host.reset();
}

}  // namespace
