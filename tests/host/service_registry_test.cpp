// The registry behind the host's global function: services by name, counted requests.
#include "host/loader/service_registry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>

namespace tarrow::host {
namespace {

void* token(std::uintptr_t value) { return reinterpret_cast<void*>(value); }

TEST(ServiceRegistry, AnswersByNameAndCountsEachNameFromEveryThread) {
  ServiceRegistry registry;
  registry.provide("Alpha", token(1));
  registry.provide(std::string("Beta 2"), token(2));
  registry.makeCurrent();
  GlobalFunc* global = ServiceRegistry::globalFunction();

  constexpr int kRounds = 20000;
  const auto ask = [&] {
    int wrong = 0;
    for (int round = 0; round < kRounds; ++round) {
      wrong += global("Alpha", 0) == token(1) ? 0 : 1;
      wrong += global("Beta 2", 0) == token(2) ? 0 : 1;
      wrong += global("Beta", 0) == nullptr ? 0 : 1;  // a prefix of a name is another name
      wrong += global(nullptr, 0) == nullptr ? 0 : 1;
    }
    return wrong;
  };
  int wrongElsewhere = -1;
  std::thread other([&] { wrongElsewhere = ask(); });
  const int wrongHere = ask();
  other.join();
  EXPECT_EQ(wrongHere, 0);
  EXPECT_EQ(wrongElsewhere, 0);
  EXPECT_EQ(registry.timesRequested("Alpha"), 2 * kRounds);
  EXPECT_EQ(registry.timesRequested("Beta 2"), 2 * kRounds);
  EXPECT_EQ(registry.timesRequested("Beta"), 0);
  EXPECT_EQ(registry.unprovidedRequests(), 4 * kRounds);
  EXPECT_EQ(registry.totalRequests(), 8 * kRounds);
}

TEST(ServiceRegistry, OffersAgainUnderTheSameNameAndHasAFixedRoom) {
  ServiceRegistry registry;
  registry.provide("Alpha", token(1));
  EXPECT_EQ(registry.lookup("Alpha"), token(1));
  registry.provide("Alpha", token(7));  // replaces the service, keeps the name's count
  EXPECT_EQ(registry.lookup("Alpha"), token(7));
  EXPECT_EQ(registry.timesRequested("Alpha"), 2);

  for (std::size_t k = 1; k < ServiceRegistry::kCapacity; ++k)
    registry.provide("Name " + std::to_string(k), token(k));
  EXPECT_EQ(registry.lookup("Name 15"), token(15));
  EXPECT_THROW(registry.provide("One Too Many", token(99)), std::length_error);
  EXPECT_EQ(registry.lookup("One Too Many"), nullptr);
  registry.provide("Name 3", token(33));  // a name offered already still fits
  EXPECT_EQ(registry.lookup("Name 3"), token(33));
}

TEST(ServiceRegistry, TheGlobalFunctionAnswersFromTheRegistryMadeCurrentLast) {
  GlobalFunc* global = ServiceRegistry::globalFunction();
  ServiceRegistry first;
  first.provide("Alpha", token(1));
  {
    ServiceRegistry second;
    second.provide("Alpha", token(2));
    first.makeCurrent();
    second.makeCurrent();
    EXPECT_EQ(global("Alpha", 0), token(2));
    first.makeCurrent();
    EXPECT_EQ(global("Alpha", 0), token(1));
    second.makeCurrent();
  }
  EXPECT_EQ(global("Alpha", 0), nullptr) << "the current registry is gone: nobody answers";
  EXPECT_EQ(first.timesRequested("Alpha"), 1);
}

}  // namespace
}  // namespace tarrow::host
