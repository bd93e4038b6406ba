// The module file as a host's plug-in scan and activation see it.
#include <cstring>
#include <string>

#include "loaded_module_fixture.h"

// Every operator new of this program, counted by run_allocation_counter.cpp.
long long allocationCount() noexcept;

namespace tarrow::integration {
namespace {

using BindingTest = LoadedModuleTest;

TEST_F(BindingTest, DescriptorAndServerTableAsRegistered) {
  const ModuleDescriptor& descriptor = module_->descriptor();
  EXPECT_EQ(descriptor.sysSync, 0x04121994u);
  EXPECT_EQ(descriptor.sysVersion, 3u);
  EXPECT_EQ(descriptor.sysMachine, 0x300u);
  EXPECT_EQ(module_->serverData(), reinterpret_cast<void*>(uintptr_t{4}));

  const auto servers = module_->servers();
  ASSERT_EQ(servers.size(), 2u);
  EXPECT_EQ(servers[0].className, "DisplacementHandler");
  EXPECT_EQ(servers[1].className, "DisplacementInterface");
  for (const auto& server : servers) {
    EXPECT_EQ(server.name, "Tarrow_plus");
    ASSERT_EQ(server.tags.size(), 1u);
    EXPECT_EQ(server.tags[0].text, "Tarrow_plus");
    EXPECT_EQ(server.tags[0].tag, 0x409u);
  }
  // One tag list serves both servers; the table ends with an all-null record.
  const ServerRecord* table = descriptor.serverDefs;
  EXPECT_EQ(table[0].tagInfo, table[1].tagInfo);
  EXPECT_EQ(table[2].className, nullptr);
  EXPECT_EQ(table[2].name, nullptr);
  EXPECT_EQ(table[2].activate, nullptr);
  EXPECT_EQ(table[2].tagInfo, nullptr);
  EXPECT_EQ(table[0].tagInfo[1].string, nullptr);
  EXPECT_EQ(table[0].tagInfo[1].tag, 0u);
}

// Versions of no generation of the host; those of another generation are refused too, once the
// module has found which one it runs in (host_generations_test.cpp).
TEST_F(BindingTest, WrongVersionsAreRefusedWithoutTouchingAnything) {
  for (int version : {0, 4, 7, -5}) {
    LWDisplacementHandler before{};
    std::memset(&before, 0x5A, sizeof before);
    LWDisplacementHandler local = before;
    EXPECT_EQ(module_->activate(LWDISPLACEMENT_HCLASS, "Tarrow_plus", version, &local,
                                host::ServiceRegistry::globalFunction()),
              AFUNC_BADVERSION)
        << version;
    EXPECT_EQ(std::memcmp(&local, &before, sizeof local), 0);
  }
  // A refused activation neither acquires services nor chooses labels.
  EXPECT_EQ(registry_.totalRequests(), 0);

  for (int version : {3, 6}) {
    LWInterface local{};
    EXPECT_EQ(module_->activate(LWDISPLACEMENT_ICLASS, "Tarrow_plus", version, &local,
                                host::ServiceRegistry::globalFunction()),
              AFUNC_BADVERSION);
  }
  EXPECT_EQ(module_->activate(LWDISPLACEMENT_ICLASS, "Tarrow_plus", LWINTERFACE_VERSION, nullptr,
                              host::ServiceRegistry::globalFunction()),
            AFUNC_BADLOCAL);
}

TEST_F(BindingTest, InterfaceWithoutInstanceBuildsNoPanel) {
  ASSERT_EQ(activateHandler(), AFUNC_OK);
  LWInterface local{};
  local.panel = reinterpret_cast<LWXPanelID>(uintptr_t{1});
  local.options = reinterpret_cast<LWError (*)(LWInstance)>(uintptr_t{1});
  EXPECT_EQ(module_->activate(LWDISPLACEMENT_ICLASS, "Tarrow_plus", LWINTERFACE_VERSION, &local,
                              host::ServiceRegistry::globalFunction()),
            AFUNC_OK);
  EXPECT_EQ(local.panel, nullptr);
  EXPECT_EQ(local.options, nullptr);
  EXPECT_EQ(local.command, nullptr);
}

TEST_F(BindingTest, HandlerFillsOnlyTheRecordsTheHostSupplied) {
  LWInstanceFuncs inst{};
  inst.priv = &inst;  // the host's own slot stays as it was
  LWDisplacementHandler local{};
  local.inst = &inst;
  ASSERT_EQ(module_->activate(LWDISPLACEMENT_HCLASS, "Tarrow_plus", LWDISPLACEMENT_VERSION, &local,
                              host::ServiceRegistry::globalFunction()),
            AFUNC_OK);
  EXPECT_EQ(inst.priv, &inst);
  for (void* slot : {reinterpret_cast<void*>(inst.create), reinterpret_cast<void*>(inst.destroy),
                     reinterpret_cast<void*>(inst.copy), reinterpret_cast<void*>(inst.load),
                     reinterpret_cast<void*>(inst.save), reinterpret_cast<void*>(inst.descln),
                     reinterpret_cast<void*>(local.evaluate), reinterpret_cast<void*>(local.flags)}) {
    EXPECT_NE(slot, nullptr);
  }
  EXPECT_EQ(local.item, nullptr);
  EXPECT_EQ(local.rend, nullptr);

  ASSERT_EQ(activateHandler(), AFUNC_OK);
  EXPECT_NE(item_.useItems, nullptr);
  EXPECT_NE(item_.changeID, nullptr);
  EXPECT_EQ(item_.changeName, nullptr) << "the module leaves the host's slot as it was";
  EXPECT_EQ(rend_.init(nullptr, 0), nullptr);
  rend_.cleanup(nullptr);
  LWInstance instance = create();
  EXPECT_EQ(rend_.init(instance, LWINIT_RENDER), nullptr);
  rend_.cleanup(instance);
  EXPECT_EQ(handler_.flags(instance), LWDMF_WORLD);
  EXPECT_EQ(handler_.flags(nullptr), 1u);
  inst_.destroy(instance);
}

TEST_F(BindingTest, ServicesAreAskedForOnceAndTheLanguageEveryTime) {
  for (int i = 0; i < 3; ++i) ASSERT_EQ(activateHandler(), AFUNC_OK);
  for (const char* service :
       {LWOBJECTFUNCS_GLOBAL, LWXPANELFUNCS_GLOBAL, LWNODEEDITORFUNCS_GLOBAL, LWNODEINPUTFUNCS_GLOBAL,
        LWNODEFUNCS_GLOBAL, LWINSTUPDATE_GLOBAL, LWSCENEINFO_GLOBAL}) {
    EXPECT_EQ(registry_.timesRequested(service), 1) << service;
  }
  EXPECT_EQ(registry_.timesRequested(LWITEMINFO_GLOBAL), 2) << "2018 has the same name, and is asked first";
  EXPECT_EQ(registry_.timesRequested(LWLOCALEINFO_GLOBAL), 3);
  // Newer generations are tried first, each up to its first name this host does not offer.
  EXPECT_EQ(registry_.missedNames(),
            (std::vector<std::string>{LWITEMINFO_GLOBAL_2020, LWSCENEINFO_GLOBAL_2018}));
  EXPECT_EQ(registry_.unprovidedRequests(), 2);

  // The scene info is fetched afresh at every new time.
  LWInstance instance = create();
  rend_.newTime(instance, 0, 0.0);
  rend_.newTime(instance, 1, 1.0 / 30);
  EXPECT_EQ(registry_.timesRequested(LWSCENEINFO_GLOBAL), 3);
  inst_.destroy(instance);
}

// Every new time fetches the scene info again, so over a long run the module asks thousands of
// times: answering allocates nothing (the memory of a run does not grow with its length, and no
// allocation failure can reach the module) and counts every request by name.
TEST_F(BindingTest, TheGlobalFunctionAllocatesNothingAndCountsEveryRequest) {
  GlobalFunc* global = host::ServiceRegistry::globalFunction();
  const std::string notOffered = "No Such Service, with a name too long to fit in a short string";
  constexpr int kRounds = 10000;
  int answered = 0;
  const long long before = allocationCount();
  for (int round = 0; round < kRounds; ++round) {
    answered += global(LWSCENEINFO_GLOBAL, GFUSE_TRANSIENT) == sceneServices_.sceneInfo() ? 1 : 0;
    answered += global(LWITEMINFO_GLOBAL, GFUSE_TRANSIENT) == host::SceneServices::itemInfo() ? 1 : 0;
    answered += global(notOffered.c_str(), GFUSE_TRANSIENT) == nullptr ? 1 : 0;
    answered += global(nullptr, GFUSE_TRANSIENT) == nullptr ? 1 : 0;
  }
  EXPECT_EQ(allocationCount() - before, 0);
  EXPECT_EQ(answered, 4 * kRounds);
  EXPECT_EQ(registry_.timesRequested(LWSCENEINFO_GLOBAL), kRounds);
  EXPECT_EQ(registry_.timesRequested(LWITEMINFO_GLOBAL), kRounds);
  EXPECT_EQ(registry_.timesRequested(notOffered), 0) << "a name nobody offers has no count of its own";
  EXPECT_EQ(registry_.unprovidedRequests(), 2 * kRounds);
  EXPECT_EQ(registry_.totalRequests(), 4 * kRounds);
}

}  // namespace
}  // namespace tarrow::integration
